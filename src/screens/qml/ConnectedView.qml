import QtQuick
import QtQuick.Layouts
import Velnora.Screens

// The chair is connected and online: the header with Disconnect, the content (the sleeping
// screen while the chair sleeps, otherwise the selected tab), the WiFi-offline banner while
// the grace period runs, and the tab bar. Each tab is built when it is shown and taken down
// when it is left; the chair falling asleep or waking cross-fades the content over 0.6 s.
Item {
    id: root
    objectName: "connectedView"
    required property BluetoothManager bluetooth
    property ScreenServices services
    property int selectedTab: 0

    readonly property bool chairIsAsleep: bluetooth.chairIsAsleep
    readonly property bool showsBanner: ControlsText.showsOfflineBanner(bluetooth.wifiOfflineSeconds)
    // "sleeping", "controls", "settings" or "analytics".
    readonly property string content: ControlsText.contentFor(chairIsAsleep, selectedTab)

    // Each tab is compiled when it is first chosen.
    Component.onCompleted: {
        const shared = {bluetooth: root.bluetooth, services: root.services}
        controlsLoader.setSource("ControlsTab.qml", {bluetooth: root.bluetooth})
        settingsLoader.setSource("SettingsView.qml", shared)
        analyticsLoader.setSource("AnalyticsTab.qml", shared)
        sleepingLoader.setSource("SleepingView.qml", {bluetooth: root.bluetooth})
        bannerLoader.setSource("WiFiOfflineBanner.qml", {bluetooth: root.bluetooth})
    }

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.margin
            spacing: 12
            AppIconImage {
                objectName: "appIconImage"
                Layout.preferredWidth: 40
                Layout.preferredHeight: 40
            }
            ColumnLayout {
                spacing: 2
                ScreenText {
                    Accessible.role: Accessible.Heading
                    text: "Velnora Pro"
                    font.pixelSize: Theme.title
                    color: Theme.primaryText
                }
                ScreenText {
                    text: "Velnora Desktop V1.0.0"
                    font.pixelSize: Theme.caption2
                    color: Theme.secondaryText
                }
            }
            Item { Layout.fillWidth: true }
            VButton {
                objectName: "disconnectButton"
                text: qsTr("Disconnect")
                large: false
                onClicked: root.bluetooth.disconnect()
            }
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.headerDivider
        }

        Item {
            objectName: "contentArea"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true

            // The tabs stay while they fade out, so that both contents show during the change.
            Item {
                id: tabLayer
                anchors.fill: parent
                opacity: root.chairIsAsleep ? 0 : 1
                visible: opacity > 0
                Behavior on opacity {
                    NumberAnimation { duration: 600; easing.type: Easing.InOutQuad }
                }

                Loader {
                    id: controlsLoader
                    objectName: "controlsLoader"
                    anchors.fill: parent
                    active: tabLayer.visible && root.selectedTab === 0
                }
                Loader {
                    id: settingsLoader
                    objectName: "settingsLoader"
                    anchors.fill: parent
                    active: tabLayer.visible && root.selectedTab === 1
                }
                Loader {
                    id: analyticsLoader
                    objectName: "analyticsLoader"
                    anchors.fill: parent
                    active: tabLayer.visible && root.selectedTab === 2
                }
            }
            Item {
                id: sleepingLayer
                anchors.fill: parent
                opacity: root.chairIsAsleep ? 1 : 0
                visible: opacity > 0
                Behavior on opacity {
                    NumberAnimation { duration: 600; easing.type: Easing.InOutQuad }
                }
                Loader {
                    id: sleepingLoader
                    objectName: "sleepingLoader"
                    anchors.fill: parent
                    active: sleepingLayer.visible
                }
            }
        }

        Loader {
            id: bannerLoader
            objectName: "offlineBannerLoader"
            Layout.fillWidth: true
            active: root.showsBanner
            visible: active
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.headerDivider
        }

        Row {
            id: tabBar
            objectName: "tabBar"
            Layout.fillWidth: true
            topPadding: 8
            bottomPadding: 8
            readonly property real tabWidth: width / 3

            TabBarButton {
                objectName: "controlsTabButton"
                width: tabBar.tabWidth
                iconName: ""
                label: qsTr("Controls")
                useChairIcon: true
                isSelected: root.selectedTab === 0
                onClicked: root.selectedTab = 0
            }
            TabBarButton {
                objectName: "settingsTabButton"
                width: tabBar.tabWidth
                iconName: "gearshape.fill"
                label: qsTr("Settings")
                isSelected: root.selectedTab === 1
                onClicked: root.selectedTab = 1
            }
            TabBarButton {
                objectName: "analyticsTabButton"
                width: tabBar.tabWidth
                iconName: "chart.bar.fill"
                label: qsTr("Analytics")
                isSelected: root.selectedTab === 2
                onClicked: root.selectedTab = 2
            }
        }
    }
}
