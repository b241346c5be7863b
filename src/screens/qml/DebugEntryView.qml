import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Templates as T

// The hidden debug entry, reached by the five taps on the disconnected screen's logo: any
// chair's cloud analytics by its serial, without a Bluetooth connection.
Popup {
    id: root
    objectName: "debugEntryView"
    property Settings settings
    readonly property string serialInput: serialField.text
    readonly property string trimmedSerial: AnalyticsText.debugSerial(serialInput)

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: 320 + 2 * padding
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 28

    T.Overlay.modal: Rectangle { color: Theme.sheetDim }
    background: Rectangle {
        color: Theme.sheetBackground
        radius: Theme.sheetRadius
    }

    // The last serial used is offered again.
    onAboutToShow: serialField.text = settings ? settings.debugChairSerial : ""
    onOpened: serialField.forceActiveFocus()

    function enable() {
        if (trimmedSerial === "")
            return
        const serial = trimmedSerial
        // Closed first: turning the mode on replaces the screen this sheet belongs to.
        close()
        settings.debugChairSerial = serial
        settings.debugModeActive = true
    }

    Column {
        width: parent.width
        spacing: 20
        Accessible.role: Accessible.Dialog
        Accessible.name: "Debug Analytics Mode"
        ScreenText {
            Accessible.role: Accessible.Heading
            objectName: "debugEntryTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Debug Analytics Mode"
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        ScreenText {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: "Enter a chair serial number to query ORV without a BLE connection."
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
        TextField {
            id: serialField
            objectName: "debugSerialField"
            width: parent.width
            placeholderText: "Chair serial number"
            placeholderTextColor: Theme.secondaryText
            color: Theme.primaryText
            selectionColor: Theme.accent
            font.pixelSize: Theme.body
            inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase | Qt.ImhSensitiveData
            Accessible.name: "Chair serial number"
            onAccepted: root.enable()
            background: Rectangle {
                implicitHeight: 30
                radius: Theme.buttonRadius
                color: Theme.fieldBackground
                border.width: serialField.activeFocus ? 2 : 1
                border.color: serialField.activeFocus ? Theme.focusRing : Theme.divider
            }
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            VButton {
                objectName: "debugCancelButton"
                text: "Cancel"
                onClicked: root.close()
            }
            VButton {
                objectName: "debugEnableButton"
                text: "Enable"
                prominent: true
                enabled: root.trimmedSerial !== ""
                unavailableReason: "Type a chair serial number first."
                onClicked: root.enable()
            }
        }
    }
}
