import QtQuick
import QtQuick.Controls.Basic

// The smallest Qt Quick Controls window of the program's size: the start-up baseline.
Window {
    width: 420
    height: 640
    visible: true
    color: "#333333"
    Column {
        anchors.centerIn: parent
        spacing: 12
        Label { text: "Connect to your chair"; color: "white" }
        Button { text: "Connect" }
    }
}
