import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic

// The chair restarts to join the network it was given; the link comes back by itself.
Item {
    id: root
    required property BluetoothManager bluetooth

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    Column {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin
        spacing: 20

        BusyIndicator {
            objectName: "wifiConnectingSpinner"
            anchors.horizontalCenter: parent.horizontalCenter
            width: Theme.spinnerSize * 1.5
            height: width
            padding: 0
            palette.dark: Theme.secondaryText
            Accessible.ignored: true // the title below says what is under way
        }
        ScreenText {
            Accessible.role: Accessible.Heading
            id: title
            objectName: "wifiConnectingTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Configuring WiFi…")
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        ScreenText {
            objectName: "wifiConnectingMessage"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Your chair is restarting to apply the\nWiFi settings. This takes a few seconds.")
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
    }

    VButton {
        objectName: "disconnectButton"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 24
        text: qsTr("Disconnect")
        onClicked: root.bluetooth.disconnect()
    }
}
