pragma ComponentBehavior: Bound
import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Layouts

// Chairs heard so far, in order of first sighting; picking one connects to it.
Item {
    id: root
    property BluetoothManager bluetooth
    readonly property var devices: bluetooth?.discoveredDevices ?? []
    // The row that had the keyboard focus, so that a list rebuilt by a newly heard chair
    // gives it back.
    property int focusedRow: -1

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    Row {
        id: header
        anchors.top: parent.top
        anchors.topMargin: 32
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 12
        BusyIndicator {
            objectName: "scanSpinner"
            anchors.verticalCenter: parent.verticalCenter
            width: Theme.spinnerSize * 0.9
            height: width
            padding: 0
            palette.dark: Theme.secondaryText
            Accessible.ignored: true // the title beside it says what is under way
        }
        ScreenText {
            Accessible.role: Accessible.Heading
            id: headerText
            objectName: "scanTitle"
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Scanning for chairs...")
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.secondaryText
        }
    }

    ScreenText {
        objectName: "scanHint"
        visible: root.devices.length === 0
        anchors.top: header.bottom
        anchors.topMargin: 20 + 4
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: Theme.margin
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: qsTr("Make sure your chair is powered on.")
        font.pixelSize: Theme.caption
        color: Theme.secondaryText
    }

    Rectangle {
        id: listBox
        objectName: "deviceList"
        visible: root.devices.length > 0
        anchors.top: header.bottom
        anchors.topMargin: 20
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: Theme.margin
        anchors.rightMargin: Theme.margin
        // As tall as its rows, scrolling once they no longer fit above Cancel.
        height: Math.min(rows.implicitHeight, cancelButton.y - 20 - y)
        radius: Theme.listRadius
        color: Theme.listBackground
        clip: true

        Flickable {
            id: flick
            anchors.fill: parent
            contentWidth: width
            contentHeight: rows.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { objectName: "deviceListScrollBar" }

            function reveal(item) {
                const top = item.mapToItem(rows, 0, 0).y
                if (top < contentY)
                    contentY = top
                else if (top + item.height > contentY + height)
                    contentY = top + item.height - height
            }

            Column {
                id: rows
                width: flick.width
                Repeater {
                    model: root.devices.length
                    delegate: Column {
                        id: entry
                        required property int index
                        readonly property var device: root.devices[index]
                        width: rows.width

                        AbstractButton {
                            id: rowButton
                            objectName: "deviceRow" + entry.index
                            width: parent.width
                            focusPolicy: Qt.StrongFocus
                            padding: Theme.margin
                            Accessible.role: Accessible.Button
                            Accessible.name: qsTr("Connect to %1").arg(entry.device?.name ?? "")
                            Accessible.description: Format.signalDescription(
                                4, Format.signalStrength(entry.device?.rssi ?? 0))
                            Accessible.onPressAction: clicked()
                            Keys.onReturnPressed: clicked()
                            Keys.onEnterPressed: clicked()
                            onClicked: root.bluetooth.connect(entry.device.id)
                            onActiveFocusChanged: {
                                if (!activeFocus)
                                    return
                                root.focusedRow = entry.index
                                flick.reveal(entry)
                            }
                            Component.onCompleted: if (entry.index === root.focusedRow) forceActiveFocus()

                            contentItem: RowLayout {
                                spacing: 12
                                Item {
                                    Layout.preferredWidth: 20
                                    Layout.preferredHeight: 16
                                    SignalBars {
                                        objectName: "signalBars"
                                        Accessible.ignored: true // the row's description says it
                                        anchors.centerIn: parent
                                        barCount: 4
                                        strength: Format.signalStrength(entry.device?.rssi ?? 0)
                                    }
                                }
                                Text {
                                    objectName: "deviceName"
                                    Layout.fillWidth: true
                                    elide: Text.ElideRight
                                    text: entry.device?.name ?? ""
                                    font.pixelSize: Theme.body
                                    color: Theme.primaryText
                                }
                                Icon {
                                    name: "chevron.right"
                                    size: Theme.caption * 1.6
                                    color: Theme.secondaryText
                                }
                            }
                            // Inset, so that it stays inside the list's rounded corners.
                            background: Rectangle {
                                visible: rowButton.down || rowButton.visualFocus
                                anchors.fill: parent
                                anchors.margins: 3
                                radius: Theme.smallRadius
                                color: rowButton.down ? Theme.buttonPressed : Theme.clear
                                border.width: rowButton.visualFocus ? 2 : 0
                                border.color: Theme.focusRing
                            }
                        }
                        // The last one stops where the list's rounded corners begin.
                        Rectangle {
                            readonly property real inset: entry.index === root.devices.length - 1 ? 6 : 0
                            x: inset
                            width: parent.width - 2 * inset
                            height: 1
                            color: Theme.divider
                        }
                    }
                }
            }
        }
    }

    VButton {
        id: cancelButton
        objectName: "cancelButton"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 24
        text: qsTr("Cancel")
        onClicked: root.bluetooth.cancelScan()
        onActiveFocusChanged: if (activeFocus) root.focusedRow = -1
    }
}
