import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// The chair the program remembers: whether it connects to it at start, and forgetting it.
Card {
    id: root
    property Settings settings
    objectName: "thisChairSection"
    icon: "bluetooth"
    title: "This chair"
    // Only while a chair is remembered.
    readonly property bool remembersChair: settings !== null && settings.hasRememberedChair
    visible: remembersChair

    InfoRow {
        caption: "Name"
        ValueText {
            objectName: "rememberedChairNameText"
            text: root.remembersChair ? root.settings.rememberedChairName : ""
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        ScreenText {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "Connect automatically when the app starts"
            font.pixelSize: Theme.callout
            color: Theme.primaryText
        }
        AlwaysActiveToggle {
            objectName: "connectAutomaticallyToggle"
            Accessible.name: "Connect automatically when the app starts"
            isOn: root.remembersChair && root.settings.connectAutomatically
            onFlipRequested: on => root.settings.connectAutomatically = on
        }
    }
    VButton {
        objectName: "forgetChairButton"
        Layout.fillWidth: true
        text: "Forget this chair"
        large: false
        onClicked: root.settings.forgetChair()
    }
}
