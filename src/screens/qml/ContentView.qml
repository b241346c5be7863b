import QtQuick
import Velnora.Screens

// Chooses the one screen the window shows from the debug flag and the link state.
Item {
    id: root
    objectName: "contentView"
    required property BluetoothManager bluetooth
    required property Settings settings
    required property ScreenServices services // what screens make for themselves

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
    }

    // Each screen is compiled and built from its own file when it is first shown, so that start-up
    // pays only for the screen it shows.
    function show() {
        const bluetooth = {bluetooth: root.bluetooth}
        switch (root.screen) {
        case "debug":
            current.setSource("DebugAnalyticsView.qml", {settings: root.settings, services: root.services})
            return
        case "unavailable": current.setSource("UnavailableView.qml", bluetooth); return
        case "scanning": current.setSource("ScanningView.qml", bluetooth); return
        case "restarting":
        case "connecting":
        case "checkingWifi":
            current.setSource("StatusView.qml", {
                bluetooth: root.bluetooth,
                message: root.screen === "restarting" ? "Chair restarting after update…"
                       : root.screen === "connecting"
                         ? (root.bluetooth.autoConnectName !== ""
                            ? Format.connectingTo(root.bluetooth.autoConnectName) : "Connecting…")
                       : "Checking WiFi connection…",
                // A connect the platform never completes, or a chair that never comes back
                // after its update, must not trap the user.
                showsCancel: root.screen !== "checkingWifi"
            })
            return
        case "wifiSetup":
            current.setSource("WiFiSetupView.qml", {bluetooth: root.bluetooth, showsDisconnect: true})
            return
        case "wifiConnecting": current.setSource("WiFiConnectingView.qml", bluetooth); return
        case "ready":
            current.setSource("ConnectedView.qml", {bluetooth: root.bluetooth, services: root.services})
            return
        }
        current.setSource("DisconnectedView.qml", {bluetooth: root.bluetooth, settings: root.settings})
    }
    onScreenChanged: show()
    Component.onCompleted: show()
}
