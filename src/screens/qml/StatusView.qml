import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic

// A wait with nothing to choose: connecting, a restart after an update, the WiFi check.
Item {
    id: root
    required property BluetoothManager bluetooth
    property string message
    property bool showsCancel: false

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    Column {
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin
        spacing: 20

        BusyIndicator {
            objectName: "statusSpinner"
            anchors.horizontalCenter: parent.horizontalCenter
            width: Theme.spinnerSize * 1.5
            height: width
            padding: 0
            palette.dark: Theme.secondaryText
            Accessible.ignored: true // the message below says what is under way
        }
        ScreenText {
            objectName: "statusMessage"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: root.message
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.secondaryText
        }
    }

    VButton {
        objectName: "cancelButton"
        visible: root.showsCancel
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 24
        text: qsTr("Cancel")
        onClicked: root.bluetooth.disconnect()
    }
}
