import QtQuick
import Velnora.Screens
import QtQuick.Layouts

// The chair lost its internet connection; the grace period counts down to WiFi setup.
Rectangle {
    id: root
    objectName: "offlineBanner"
    property BluetoothManager bluetooth
    property int secondsRemaining: bluetooth?.wifiOfflineSeconds ?? 0
    readonly property string timeText: Format.bannerTime(secondsRemaining)

    implicitWidth: Theme.contentWidth
    implicitHeight: row.implicitHeight + 20
    color: Theme.tint(Theme.orange, 0.12)
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title.text + ". " + subtitle.text

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        spacing: 10

        Icon {
            objectName: "bannerIcon"
            name: "wifi.slash"
            size: Theme.title2
            color: Theme.orange
        }
        Column {
            Layout.fillWidth: true
            spacing: 1
            Text {
                id: title
                objectName: "bannerTitle"
                width: parent.width
                elide: Text.ElideRight
                text: qsTr("Chair internet connection lost")
                font.pixelSize: Theme.caption
                font.bold: true
                color: Theme.primaryText
            }
            Text {
                id: subtitle
                objectName: "bannerSubtitle"
                width: parent.width
                elide: Text.ElideRight
                text: Format.bannerCountdown(root.secondsRemaining)
                font.pixelSize: Theme.caption2
                color: Theme.secondaryText
            }
        }
        Text {
            objectName: "bannerTime"
            text: root.timeText
            font.family: Theme.monospaceFamily
            font.pixelSize: Theme.callout
            font.weight: Font.DemiBold
            color: Theme.orange
        }
    }
}
