import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// Debug analytics takes over the window: the analytics of the stored serial, with a chair link
// of its own that never connects, so no live moves are added and both legs read as down.
Item {
    id: root
    objectName: "debugAnalyticsView"
    required property Settings settings
    property ScreenServices services
    // Made on the first showing and owned by this screen.
    property var dummyBluetooth: null

    Component.onCompleted: {
        if (services)
            dummyBluetooth = services.makeOfflineBluetooth(root)
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            spacing: 10

            AppIconImage {
                objectName: "appIconImage"
                Layout.preferredWidth: 40
                Layout.preferredHeight: 40
            }
            ScreenText {
                Accessible.role: Accessible.Heading
                text: "Velnora Pro"
                font.pixelSize: Theme.title
                color: Theme.primaryText
            }
            Rectangle {
                objectName: "debugBadge"
                implicitWidth: badgeText.implicitWidth + 12
                implicitHeight: badgeText.implicitHeight + 4
                radius: 4
                color: Theme.debugBadge
                ScreenText {
                    id: badgeText
                    anchors.centerIn: parent
                    text: "DEBUG"
                    font.pixelSize: Theme.caption2
                    font.bold: true
                    color: Theme.orange
                }
            }
            Item { Layout.fillWidth: true }
            VButton {
                objectName: "exitDebugButton"
                text: "Exit Debug"
                small: true
                focus: true
                onClicked: root.settings.debugModeActive = false
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Theme.divider
        }

        AnalyticsTab {
            objectName: "debugAnalyticsTab"
            Layout.fillWidth: true
            Layout.fillHeight: true
            bluetooth: root.dummyBluetooth
            services: root.services
            serialNumber: root.settings.debugChairSerial
            leftLegUp: false
            rightLegUp: false
        }
    }
}
