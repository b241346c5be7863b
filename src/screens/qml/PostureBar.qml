import QtQuick
import Velnora.Screens

// One posture of the breakdown: its share of the time as a bar, its time and its transitions.
Column {
    id: root
    property string label
    property real percent: 0
    property real count: 0 // a whole number; qint64 reaches QML as a number
    property color color: Theme.accent
    property real duration: 0
    property bool isActive: false
    property bool isCalculating: false

    spacing: 4
    Accessible.role: Accessible.StaticText
    Accessible.name: label + (isActive ? ", current posture" : "") + ", " + share.text + ", "
                     + time.text + ", " + transitions.text

    Row {
        spacing: 4
        Icon {
            objectName: root.objectName + "Checkmark"
            anchors.verticalCenter: parent.verticalCenter
            visible: root.isActive
            name: "checkmark"
            size: 10
            font.bold: true
            color: Theme.primaryText
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.label
            font.pixelSize: Theme.callout
            font.bold: true
            color: Theme.primaryText
        }
        Text {
            id: share
            objectName: root.objectName + "Share"
            anchors.verticalCenter: parent.verticalCenter
            text: AnalyticsText.percent(root.percent)
            font.pixelSize: Theme.callout
            font.bold: true
            color: Theme.primaryText
        }
        Text {
            id: time
            objectName: root.objectName + "Duration"
            anchors.verticalCenter: parent.verticalCenter
            text: AnalyticsText.duration(root.duration)
            font.pixelSize: Theme.caption2
            color: Theme.faintText
        }
    }

    Rectangle {
        id: track
        width: root.width
        height: 8
        radius: 4
        color: Theme.barTrack
        Rectangle {
            objectName: root.objectName + "Fill"
            height: parent.height
            radius: parent.radius
            color: root.color
            width: Math.max(0, Math.min(track.width, track.width * root.percent / 100))
            Behavior on width {
                NumberAnimation { duration: 400; easing.type: Easing.InOutQuad }
            }
        }
    }

    Text {
        id: transitions
        objectName: root.objectName + "Transitions"
        text: AnalyticsText.transitions(root.count)
        font.pixelSize: Theme.caption2
        color: Theme.secondaryText
    }
}
