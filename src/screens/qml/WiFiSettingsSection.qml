import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// The chair's network and the way to change it.
Card {
    id: root
    property BluetoothManager bluetooth
    signal wifiConfigRequested()
    objectName: "wifiSection"
    icon: "wifi"
    title: "WiFi"

    InfoRow {
        caption: "Status"
        Rectangle {
            objectName: "wifiStatusDot"
            anchors.verticalCenter: parent.verticalCenter
            width: 8
            height: 8
            radius: 4
            color: root.bluetooth.wifiStatus === Wifi.WiFiStatus.connected
                   ? Theme.green : Theme.orange
        }
        ValueText {
            objectName: "wifiStatusText"
            text: SettingsText.wifiStatus(root.bluetooth.wifiStatus)
        }
    }
    InfoRow {
        objectName: "wifiNetworkRow"
        visible: SettingsText.showsNetwork(root.bluetooth.wifiStatus,
                                           root.bluetooth.connectedSSID)
        caption: "Network"
        spacing: 5
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            name: "wifi"
            size: Theme.caption
            color: Theme.secondaryText
        }
        ValueText {
            objectName: "wifiNetworkText"
            text: root.bluetooth.connectedSSID
        }
    }
    VButton {
        objectName: "configureWiFiButton"
        Layout.fillWidth: true
        large: false
        text: "Configure WiFi"
        onClicked: root.wifiConfigRequested()
    }
}
