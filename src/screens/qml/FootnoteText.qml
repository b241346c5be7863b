import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// The small print under a card's rows.
ScreenText {
    Layout.fillWidth: true
    wrapMode: Text.Wrap
    font.pixelSize: Theme.caption2
    color: Theme.secondaryText
}
