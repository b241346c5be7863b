pragma ComponentBehavior: Bound
import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic

// One legal document (terms or privacy policy), read from its JSON in the module's resources and
// shown as a scrolling column: title, version line, then the numbered sections.
ScrollView {
    id: root
    property url source
    // Filled once the document has been read; empty while it is missing or malformed.
    readonly property string title: document.title
    readonly property string version: document.version
    readonly property var sections: document.sections
    property color fill: Theme.clear

    QtObject {
        id: document
        property string title
        property string version
        property var sections: []
    }

    function load() {
        document.title = ""
        document.version = ""
        document.sections = []
        if (String(source) === "")
            return
        // The document is our own resource; the screen is complete at its first frame.
        const parsed = Format.legalDocument(source)
        if (parsed.sections.length === 0)
            console.warn("Legal document unreadable:", source)
        document.title = typeof parsed.title === "string" ? parsed.title : ""
        document.version = typeof parsed.version === "string" ? parsed.version : ""
        document.sections = Array.isArray(parsed.sections) ? parsed.sections : []
    }
    onSourceChanged: load()

    // The section's heading line as the documents print it: its number, then the heading.

    contentWidth: availableWidth
    clip: true
    activeFocusOnTab: true
    Accessible.name: title
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
    background: Rectangle {
        color: root.fill
        border.width: root.activeFocus ? 2 : 0
        border.color: Theme.focusRing
    }

    // Reading the document from the keyboard: arrows and page keys scroll it.
    Keys.onUpPressed: ScrollBar.vertical.decrease()
    Keys.onDownPressed: ScrollBar.vertical.increase()
    Keys.onPressed: (event) => {
        const bar = ScrollBar.vertical
        const page = root.availableHeight / Math.max(root.contentHeight, 1)
        if (event.key === Qt.Key_PageDown || event.key === Qt.Key_Space)
            bar.position = Math.min(bar.position + page, 1 - bar.size)
        else if (event.key === Qt.Key_PageUp)
            bar.position = Math.max(bar.position - page, 0)
        else if (event.key === Qt.Key_Home)
            bar.position = 0
        else if (event.key === Qt.Key_End)
            bar.position = 1 - bar.size
        else
            return
        event.accepted = true
    }

    Column {
        id: column
        x: Theme.margin
        width: root.availableWidth - 2 * Theme.margin
        topPadding: Theme.margin
        bottomPadding: Theme.margin
        spacing: 14

        Column {
            width: parent.width
            spacing: 2
            ScreenText {
                Accessible.role: Accessible.Heading
                objectName: "documentTitle"
                width: parent.width
                text: root.title
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: Theme.primaryText
                font.pixelSize: Theme.callout
                font.bold: true
            }
            ScreenText {
                objectName: "documentVersion"
                width: parent.width
                text: root.version
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: Theme.secondaryText
                font.pixelSize: Theme.caption
            }
        }

        Repeater {
            model: root.sections
            delegate: Column {
                id: entry
                required property int index
                required property var modelData
                width: column.width
                spacing: 4
                ScreenText {
                    Accessible.role: Accessible.Heading
                    width: parent.width
                    text: entry.modelData.heading
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    color: Theme.white(0.9)
                    font.pixelSize: Theme.footnote
                    font.weight: Font.DemiBold
                }
                ScreenText {
                    width: parent.width
                    text: entry.modelData.body
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    lineHeight: 1.15
                    color: Theme.white(0.75)
                    font.pixelSize: Theme.caption
                }
            }
        }
    }
}
