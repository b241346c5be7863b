import QtQuick
import Velnora.Screens

// Bluetooth is off or not allowed; the screen goes away by itself once the adapter is on.
Item {
    id: root
    property BluetoothManager bluetooth

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    Column {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin
        spacing: 16

        Icon {
            objectName: "unavailableIcon"
            anchors.horizontalCenter: parent.horizontalCenter
            name: "bluetooth.slash"
            size: Theme.iconLarge
            color: Theme.red
        }
        ScreenText {
            Accessible.role: Accessible.Heading
            objectName: "unavailableTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Bluetooth Unavailable")
            font.pixelSize: Theme.title2
            font.bold: true
            color: Theme.primaryText
        }
        ScreenText {
            objectName: "unavailableMessage"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Enable Bluetooth in System Settings to continue.")
            font.pixelSize: Theme.body
            color: Theme.secondaryText
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
