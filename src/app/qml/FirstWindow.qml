import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Velnora

// A first working window on the chair link; the real screens replace it.
ApplicationWindow {
    id: window
    required property var manager

    readonly property var stateNames: ["unavailable", "disconnected", "scanning", "connecting",
        "checkingWifi", "wifiSetup", "wifiConnecting", "ready"]
    readonly property bool hasChair: manager.connectionState >= Link.ConnectionState.connecting

    width: 420
    height: 640
    minimumWidth: 420
    maximumWidth: 420
    minimumHeight: 640
    maximumHeight: 640
    visible: true
    title: "VelnoraDesktop"
    color: "#1C1C1E"
    palette.windowText: "white"
    palette.text: "white"

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        Label {
            text: "Velnora Pro"
            font.pointSize: 22
            font.bold: true
        }
        Label {
            objectName: "stateLabel"
            text: "State: " + window.stateNames[window.manager.connectionState]
                  + (window.manager.isSimulating ? " (simulation)" : "")
        }

        RowLayout {
            spacing: 8
            Button {
                text: window.manager.connectionState === Link.ConnectionState.scanning ? "Cancel" : "Connect"
                enabled: window.manager.connectionState === Link.ConnectionState.scanning
                         || window.manager.connectionState === Link.ConnectionState.disconnected
                onClicked: window.manager.connectionState === Link.ConnectionState.scanning
                           ? window.manager.cancelScan() : window.manager.startScanning()
            }
            Button {
                text: "Simulate"
                enabled: !window.hasChair
                onClicked: window.manager.startSimulation()
            }
            Button {
                text: "Disconnect"
                enabled: window.hasChair
                onClicked: window.manager.disconnect()
            }
        }

        Label {
            visible: window.manager.connectionState === Link.ConnectionState.unavailable
            text: "Bluetooth is not available on this computer."
            color: "#FF9F0A"
        }

        ListView {
            Layout.fillWidth: true
            Layout.preferredHeight: 120
            visible: window.manager.connectionState === Link.ConnectionState.scanning
            clip: true
            model: window.manager.discoveredDevices
            delegate: ItemDelegate {
                required property var modelData
                width: ListView.view.width
                text: modelData.name + "   " + modelData.rssi + " dBm"
                onClicked: window.manager.connect(modelData.id)
            }
        }

        GridLayout {
            columns: 2
            columnSpacing: 12
            rowSpacing: 4
            visible: window.hasChair

            Label { text: "Chair" }
            Label { text: window.manager.deviceName }
            Label { text: "Serial" }
            Label { text: window.manager.serialNumber }
            Label { text: "Software / firmware" }
            Label { text: window.manager.softwareVersion + " / " + window.manager.firmwareVersion }
            Label { text: "Legs (left, right)" }
            Label {
                text: (window.manager.leftLegUp ? "up" : "down") + ", "
                      + (window.manager.rightLegUp ? "up" : "down")
            }
            Label { text: "Automatic mode" }
            Label {
                text: (window.manager.autoModeEnabled ? "on" : "off") + ", pattern "
                      + window.manager.autoModePattern + ", " + window.manager.autoPeriodMinutes
                      + " min, next in " + window.manager.countdownSeconds + " s"
            }
            Label { text: "Vibration" }
            Label { text: window.manager.motorStrength + " %" }
            Label { text: "Moves (session, lifetime)" }
            Label {
                text: window.manager.sessionMoves + ", "
                      + (window.manager.lifetimeMoves === undefined ? "–" : window.manager.lifetimeMoves)
            }
            Label { text: "Asleep" }
            Label { text: window.manager.chairIsAsleep ? "yes" : "no" }
            Label { text: "Firmware update" }
            Label {
                readonly property var ota: window.manager.otaState
                text: ["transferring", "flashing", "preparing", "error", "idle", "success"][ota.kind]
                      + (ota.cpu ? " " + ota.cpu : "") + (ota.kind === 0 ? " " + Math.round(ota.progress * 100) + "%" : "")
                      + (ota.kind === 1 ? " " + ota.page + "/" + ota.totalPages : "")
            }
            Label { text: "WiFi networks" }
            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                text: window.manager.isLoadingNetworks ? "loading…"
                                                       : window.manager.availableNetworks.join(", ")
            }
        }

        ComboBox {
            id: networkPicker
            visible: window.manager.connectionState === Link.ConnectionState.wifiSetup
            Layout.fillWidth: true
            model: window.manager.availableNetworks
        }
        RowLayout {
            visible: window.manager.connectionState === Link.ConnectionState.wifiSetup
            spacing: 8
            TextField {
                id: passwordField
                Layout.fillWidth: true
                placeholderText: "Password"
                echoMode: TextInput.Password
            }
            Button {
                text: "Join"
                enabled: networkPicker.currentIndex >= 0
                onClicked: window.manager.connectToWiFi(networkPicker.currentText, passwordField.text)
            }
            Button { text: "Refresh"; onClicked: window.manager.scanForNetworks() }
        }
        Label {
            visible: window.manager.wifiErrorMessage !== undefined
                     && window.manager.connectionState === Link.ConnectionState.wifiSetup
            text: window.manager.wifiErrorMessage === undefined ? "" : window.manager.wifiErrorMessage
            color: "#FF453A"
        }

        RowLayout {
            visible: window.hasChair
            spacing: 8
            Button { text: "Left leg"; Layout.preferredWidth: 84; onClicked: window.manager.toggleLeg(false) }
            Button { text: "Right leg"; Layout.preferredWidth: 84; onClicked: window.manager.toggleLeg(true) }
            Button {
                text: "Update"
                Layout.preferredWidth: 84
                visible: window.manager.isSimulating
                onClicked: window.manager.otaState.kind === 4
                           ? window.manager.startFirmwareUpdate("") : window.manager.resetOTA()
            }
            Switch {
                text: "Auto"
                checked: window.manager.autoModeEnabled
                onToggled: window.manager.setAutoMode(checked)
            }
        }

        Item { Layout.fillHeight: true }
    }
}
