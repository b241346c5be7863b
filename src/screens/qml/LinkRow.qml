import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Velnora.Screens

// A plain button over a row of a title and a chevron, opening a sheet.
AbstractButton {
    id: link
    Layout.fillWidth: true
    focusPolicy: Qt.StrongFocus
    topPadding: 2
    bottomPadding: 2
    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: RowLayout {
        Text {
            Layout.fillWidth: true
            text: link.text
            font.pixelSize: Theme.body
            color: Theme.primaryText
        }
        Icon {
            name: "chevron.right"
            size: Theme.caption + 4
            color: Theme.secondaryText
            opacity: 0.5
        }
    }
    background: Rectangle {
        color: link.down ? Theme.buttonPressed : Theme.clear
        radius: 4
        border.width: link.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
