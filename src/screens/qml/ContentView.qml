import QtQuick
import Velnora 1.0

// Chooses the one screen the window shows from the debug flag and the link state.
Item {
    id: root
    objectName: "contentView"
    required property var bluetooth
    required property var settings
    required property var services // what screens make for themselves

    readonly property string screen: {
        if (settings.debugModeActive)
            return "debug"
        switch (bluetooth.connectionState) {
        case Link.ConnectionState.unavailable: return "unavailable"
        case Link.ConnectionState.disconnected: return "disconnected"
        case Link.ConnectionState.scanning: return "scanning"
        case Link.ConnectionState.connecting:
            return bluetooth.isReconnectingAfterOTA ? "restarting" : "connecting"
        case Link.ConnectionState.checkingWifi: return "checkingWifi"
        case Link.ConnectionState.wifiSetup: return "wifiSetup"
        case Link.ConnectionState.wifiConnecting: return "wifiConnecting"
        case Link.ConnectionState.ready: return "ready"
        }
        return "disconnected"
    }

    width: Theme.contentWidth
    height: Theme.contentHeight

    Loader {
        id: current
        objectName: "currentScreen"
        anchors.fill: parent
        // A new screen takes the keyboard focus on its first control, so that a keyboard or
        // screen-reader user starts there rather than on a control that is gone.
        onLoaded: {
            const first = item.nextItemInFocusChain(true)
            for (let inside = first; inside; inside = inside.parent) {
                if (inside === item) {
                    first.forceActiveFocus(Qt.TabFocusReason)
                    return
                }
            }
        }
        sourceComponent: {
            switch (root.screen) {
            case "debug": return debugScreen
            case "unavailable": return unavailableScreen
            case "scanning": return scanningScreen
            case "restarting":
            case "connecting":
            case "checkingWifi": return statusScreen
            case "wifiSetup": return wifiSetupScreen
            case "wifiConnecting": return wifiConnectingScreen
            case "ready": return connectedScreen
            }
            return disconnectedScreen
        }
    }

    Component {
        id: debugScreen
        DebugAnalyticsView { settings: root.settings; services: root.services }
    }
    Component {
        id: unavailableScreen
        UnavailableView { bluetooth: root.bluetooth }
    }
    Component {
        id: disconnectedScreen
        DisconnectedView { bluetooth: root.bluetooth; settings: root.settings }
    }
    Component {
        id: scanningScreen
        ScanningView { bluetooth: root.bluetooth }
    }
    Component {
        id: statusScreen
        StatusView {
            message: root.screen === "restarting" ? "Chair restarting after update…"
                   : root.screen === "connecting" ? "Connecting…"
                   : "Checking WiFi connection…"
            // A connect the platform never completes, or a chair that never comes back after its
            // update, must not trap the user.
            showsCancel: root.screen === "connecting" || root.screen === "restarting"
            onCancelled: root.bluetooth.disconnect()
        }
    }
    Component {
        id: wifiSetupScreen
        WiFiSetupView { bluetooth: root.bluetooth; showsDisconnect: true }
    }
    Component {
        id: wifiConnectingScreen
        WiFiConnectingView { onDisconnectRequested: root.bluetooth.disconnect() }
    }
    Component {
        id: connectedScreen
        ConnectedView { bluetooth: root.bluetooth; services: root.services }
    }
}
