import QtQuick
import QtQuick.Layouts

// The chair is connected and online. A plain stand-in until the connected screen with its tabs
// is built.
Item {
    id: root
    objectName: "connectedView"
    required property var bluetooth
    property var services

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.margin
        spacing: 12

        Text {
            text: root.bluetooth.deviceName
            color: Theme.primaryText
            font.pixelSize: Theme.title2
            font.bold: true
        }
        Text {
            text: "Legs: " + (root.bluetooth.leftLegUp ? "left up" : "left down") + ", "
                  + (root.bluetooth.rightLegUp ? "right up" : "right down")
                  + " · moves this session: " + root.bluetooth.sessionMoves
            color: Theme.secondaryText
            font.pixelSize: Theme.callout
        }
        RowLayout {
            spacing: 12
            VButton { objectName: "leftLegButton"; text: "Left leg"; onClicked: root.bluetooth.toggleLeg(false) }
            VButton { objectName: "rightLegButton"; text: "Right leg"; onClicked: root.bluetooth.toggleLeg(true) }
        }
        Item { Layout.fillHeight: true }
        VButton {
            objectName: "disconnectButton"
            text: "Disconnect"
            onClicked: root.bluetooth.disconnect()
        }
    }
}
