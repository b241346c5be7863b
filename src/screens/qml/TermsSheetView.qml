import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Layouts

// The terms of service on their own, as a modal sheet. The privacy policy sheet is the same
// frame around the other document.
Popup {
    id: sheet
    property string heading: "Terms of Service"
    property url documentSource: Qt.resolvedUrl("../legal/terms.json")
    readonly property alias document: document

    objectName: "termsSheet"
    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: 420
    height: 580
    modal: true
    focus: true
    padding: 0
    closePolicy: Popup.CloseOnEscape

    // Done holds the focus first, so Space or Enter closes the sheet at once.
    onOpened: done.forceActiveFocus(Qt.TabFocusReason)

    background: Rectangle {
        color: Theme.background
        radius: Theme.listRadius
        border.width: 1
        border.color: Theme.divider
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        Accessible.role: Accessible.Dialog
        Accessible.name: sheet.heading

        RowLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            spacing: Theme.margin
            ScreenText {
                Accessible.role: Accessible.Heading
                objectName: "sheetTitle"
                Layout.fillWidth: true
                text: sheet.heading
                color: Theme.primaryText
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
                elide: Text.ElideRight
            }
            VButton {
                id: done
                objectName: "doneButton"
                text: "Done"
                large: false
                onClicked: sheet.close()
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.divider
        }

        LegalDocumentView {
            id: document
            objectName: "sheetDocument"
            Layout.fillWidth: true
            Layout.fillHeight: true
            source: sheet.documentSource
        }
    }
}
