import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// How strongly the legs vibrate while they move.
Card {
    id: root
    property BluetoothManager bluetooth
    objectName: "vibrationSection"
    icon: "waveform.path"
    title: "Vibration"

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 6
        RowLayout {
            Layout.fillWidth: true
            ScreenText {
                text: "Motor Strength"
                font.pixelSize: Theme.caption
                color: Theme.secondaryText
            }
            Item { Layout.fillWidth: true }
            ScreenText {
                objectName: "motorStrengthText"
                text: SettingsText.percent(root.bluetooth.motorStrength)
                font.pixelSize: Theme.caption
                font.bold: true
                color: Theme.primaryText
            }
        }
        ChairSlider {
            objectName: "motorStrengthSlider"
            Layout.fillWidth: true
            from: 20
            to: 50
            stepSize: 1
            trackColor: Theme.buttonBackground
            value: root.bluetooth.motorStrength
            Accessible.name: "Motor Strength"
            Accessible.description: SettingsText.percent(value)
            onEditingChanged: root.bluetooth.isEditingMotor = editing
            onEdited: (value) => root.bluetooth.motorStrength
                      = SettingsText.strengthFromSlider(value)
            onCommitted: root.bluetooth.writeMotorStrength()
        }
    }
    FootnoteText {
        text: "Controls the vibration intensity when legs transition. Range: 20% - 50%."
    }
}
