import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Velnora.Screens

// The chair has gone to sleep: the sleeping chair with its drifting letters, a short message
// and Wake Up. The screen goes when the chair reports activity again (the connected screen
// watches for that); a press only sends the wake pulse.
Item {
    id: root
    objectName: "sleepingView"
    property BluetoothManager bluetooth
    property bool wakeAttempted: false

    // A new sleeping episode, even one that starts while this screen is still fading out: no
    // wake attempt yet, the letters from the beginning.
    Connections {
        target: root.bluetooth
        function onChairIsAsleepChanged() {
            if (!root.bluetooth.chairIsAsleep)
                return
            root.wakeAttempted = false
            letter1.restart()
            letter2.restart()
            letter3.restart()
        }
    }
    function wake() {
        wakeAttempted = true
        bluetooth.wakeChair()
    }

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    ColumnLayout {
        anchors.fill: parent
        spacing: 36

        Item { Layout.fillHeight: true }

        Item {
            objectName: "sleepingDrawing"
            Layout.fillWidth: true
            Layout.preferredHeight: 240

            SleepingChairIllustration { anchors.centerIn: parent }
            FloatingZ {
                id: letter1
                objectName: "floatingZ1"
                text: "z"; size: 18; delay: 0.0; xOffset: 52; yBase: -60
            }
            FloatingZ {
                id: letter2
                objectName: "floatingZ2"
                text: "z"; size: 26; delay: 1.0; xOffset: 68; yBase: -82
            }
            FloatingZ {
                id: letter3
                objectName: "floatingZ3"
                text: "Z"; size: 34; delay: 2.0; xOffset: 86; yBase: -104
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 10
            ScreenText {
                Accessible.role: Accessible.Heading
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Velnora is resting now")
                font.pixelSize: Theme.title3
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            ScreenText {
                Layout.alignment: Qt.AlignHCenter
                text: qsTr("Come back anytime!")
                font.pixelSize: Theme.body
                color: Theme.secondaryText
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.fillWidth: true
            spacing: 8
            Button {
                id: wakeButton
                objectName: "wakeButton"
                Layout.alignment: Qt.AlignHCenter
                Layout.minimumWidth: 140
                focusPolicy: Qt.StrongFocus
                text: qsTr("Wake Up")
                Accessible.name: text
                Accessible.onPressAction: clicked()
                leftPadding: 20
                rightPadding: 20
                topPadding: 9
                bottomPadding: 9
                onClicked: root.wake()
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()

                contentItem: Row {
                    spacing: 6
                    Icon {
                        anchors.verticalCenter: parent.verticalCenter
                        name: "sun.rise.fill"
                        size: Theme.title2
                        color: Theme.primaryText
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: wakeButton.text
                        font.pixelSize: Theme.body
                        font.weight: Font.DemiBold
                        color: Theme.primaryText
                    }
                }
                background: Rectangle {
                    implicitHeight: 36
                    radius: Theme.buttonRadius + 2
                    color: wakeButton.down ? Qt.darker(Theme.indigo, 1.2) : Theme.indigo
                    border.width: wakeButton.visualFocus ? 2 : 0
                    border.color: Theme.focusRing
                }
            }
            ScreenText {
                objectName: "wakeConfirmation"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.margin
                Layout.rightMargin: Theme.margin
                visible: root.wakeAttempted
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: qsTr("Wake signal sent — the chair should respond shortly.")
                font.pixelSize: Theme.caption
                color: Theme.secondaryText
            }
        }

        Item { Layout.fillHeight: true }
    }
}
