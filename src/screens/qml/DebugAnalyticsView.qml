import QtQuick
import QtQuick.Layouts

// Debug analytics takes over the window. A stand-in until its analytics are built: it says
// what it is and lets the user leave.
Item {
    id: root
    objectName: "debugAnalyticsView"
    required property var settings
    property var services

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 16
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "Debug Analytics"
            color: Theme.primaryText
            font.pixelSize: Theme.title2
            font.bold: true
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: root.settings.debugChairSerial
            color: Theme.secondaryText
            font.pixelSize: Theme.caption
        }
        VButton {
            objectName: "exitDebugButton"
            Layout.alignment: Qt.AlignHCenter
            text: "Exit Debug"
            onClicked: root.settings.debugModeActive = false
        }
    }
}
