import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// The chair's identity and the legal documents.
Card {
    id: root
    property BluetoothManager bluetooth
    signal termsRequested()
    signal privacyPolicyRequested()
    objectName: "generalSection"
    icon: "info.circle"
    title: "General"

    InfoRow {
        caption: "Serial Number"
        ValueText {
            objectName: "serialNumberText"
            text: SettingsText.serialNumber(root.bluetooth.serialNumber)
        }
    }
    InfoRow {
        caption: "Lifetime Moves"
        ValueText {
            objectName: "lifetimeMovesText"
            readonly property bool known: root.bluetooth.lifetimeMoves !== undefined
                                          && root.bluetooth.lifetimeMoves !== null
            text: SettingsText.lifetimeMoves(root.bluetooth.lifetimeMoves)
            color: known ? Theme.primaryText : Theme.secondaryText
        }
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Theme.cardDivider
    }
    LinkRow {
        objectName: "termsButton"
        text: "Terms of Service"
        onClicked: root.termsRequested()
    }
    LinkRow {
        objectName: "privacyPolicyButton"
        text: "Privacy Policy"
        onClicked: root.privacyPolicyRequested()
    }
}
