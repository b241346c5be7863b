import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// A caption on the left and its value on the right.
Item {
    id: infoRow
    property string caption
    property alias spacing: slot.spacing
    default property alias value: slot.data
    readonly property real valueRoom: width - captionText.implicitWidth - 12

    Layout.fillWidth: true
    implicitHeight: Math.max(captionText.implicitHeight, slot.implicitHeight)

    ScreenText {
        id: captionText
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        text: infoRow.caption
        font.pixelSize: Theme.caption
        color: Theme.secondaryText
    }
    Row {
        id: slot
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
    }
}
