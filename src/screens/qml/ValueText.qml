import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// A value on the right of an InfoRow, cut short to the room its caption leaves.
ScreenText {
    width: Math.min(implicitWidth, parent ? parent.parent.valueRoom - 20 : implicitWidth)
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    elide: Text.ElideRight
    font.pixelSize: Theme.callout
    color: Theme.primaryText
}
