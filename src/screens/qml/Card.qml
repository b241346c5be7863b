import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// A card: a header of icon and title over its rows, on a faint rounded background.
Rectangle {
    id: card
    property string icon
    property string title
    default property alias content: body.data

    width: parent ? parent.width : 0
    implicitHeight: body.implicitHeight + 2 * Theme.margin
    radius: Theme.cardRadius
    color: Theme.cardBackground
    clip: true

    ColumnLayout {
        id: body
        x: Theme.margin
        y: Theme.margin
        width: card.width - 2 * Theme.margin
        spacing: 12

        RowLayout {
            spacing: 6
            Icon {
                name: card.icon
                size: Theme.title3 + 2
                color: Theme.primaryText
            }
            ScreenText {
                text: card.title
                font.pixelSize: Theme.title3
                font.bold: true
                color: Theme.primaryText
                Accessible.role: Accessible.Heading
            }
        }
    }
}
