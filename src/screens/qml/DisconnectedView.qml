import QtQuick
import Velnora.Screens

// No chair yet. The logo hides the debug entry: five taps, none 2 s or more after the one before.
Item {
    id: root
    property BluetoothManager bluetooth
    property Settings settings
    property int tapCount: 0
    property bool showDebugEntry: false
    readonly property bool remembersChair: settings !== null && settings.hasRememberedChair

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    function logoTapped() {
        tapResetTask.stop()
        tapCount += 1
        if (tapCount < 5) {
            tapResetTask.restart()
            return
        }
        tapCount = 0
        showDebugEntry = true
    }

    // The entry is compiled the first time it is asked for, not with the screen, and kept.
    onShowDebugEntryChanged: {
        if (showDebugEntry && debugEntry.status === Loader.Null)
            debugEntry.setSource("DebugEntryView.qml", {settings: root.settings})
    }

    Timer {
        id: tapResetTask
        objectName: "tapResetTask"
        interval: 2000
        onTriggered: root.tapCount = 0
    }

    Column {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin
        spacing: 28

        Item {
            anchors.horizontalCenter: parent.horizontalCenter
            width: logo.width
            height: logo.height + 8
            VelnoraLogo {
                id: logo
                objectName: "logo"
                width: 260
                TapHandler {
                    onTapped: root.logoTapped()
                }
            }
        }
        ScreenText {
            objectName: "disconnectedMessage"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Connect to your Velnora Pro chair via Bluetooth.")
            font.pixelSize: Theme.body
            color: Theme.secondaryText
        }
        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            ScreenText {
                objectName: "rememberedChairName"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: root.remembersChair
                text: root.remembersChair ? root.settings.rememberedChairName : ""
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 12
                VButton {
                    objectName: "connectButton"
                    text: qsTr("Connect")
                    prominent: true
                    focus: true
                    onClicked: root.bluetooth.startScanning()
                }
                VButton {
                    objectName: "tryAgainButton"
                    visible: root.remembersChair
                    text: qsTr("Try again")
                    onClicked: root.bluetooth.connectRememberedChair()
                }
            }
            VButton {
                objectName: "simulateButton"
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Try without a chair")
                small: true
                onClicked: root.bluetooth.startSimulation()
            }
        }
    }

    Loader {
        id: debugEntry
    }
    // By name, so that the entry's type stays out of this screen's compilation.
    Binding {
        target: debugEntry.item
        property: "visible"
        value: root.showDebugEntry
        when: debugEntry.status === Loader.Ready
    }
    Connections {
        target: debugEntry.item
        ignoreUnknownSignals: true
        function onClosed() { root.showDebugEntry = false }
    }
}
