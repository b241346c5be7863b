import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Templates as T

// The hidden debug entry, reached by the five taps on the disconnected screen's logo.
Popup {
    id: root
    objectName: "debugEntryView"

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: parent ? parent.width - 2 * Theme.margin : Theme.contentWidth
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 20

    T.Overlay.modal: Rectangle { color: Theme.sheetDim }
    background: Rectangle {
        color: Theme.sheetBackground
        radius: Theme.sheetRadius
    }

    // The first control takes the focus so that Tab and Escape work without a click.
    onOpened: closeButton.forceActiveFocus()

    contentItem: Column {
        spacing: 20
        Text {
            objectName: "debugEntryTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("Debug Analytics")
            font.pixelSize: Theme.title2
            font.bold: true
            color: Theme.primaryText
        }
        VButton {
            id: closeButton
            objectName: "debugEntryCloseButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Close")
            onClicked: root.close()
        }
    }
}
