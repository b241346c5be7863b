import QtQuick
import Velnora.Screens

// A value on the right of an InfoRow, cut short to the room its caption leaves.
ScreenText {
    readonly property InfoRow row: parent ? parent.parent as InfoRow : null
    width: Math.min(implicitWidth, row ? row.valueRoom - 20 : implicitWidth)
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    elide: Text.ElideRight
    font.pixelSize: Theme.callout
    color: Theme.primaryText
}
