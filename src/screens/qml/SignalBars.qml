pragma ComponentBehavior: Bound
import QtQuick
import Velnora.Screens

// Signal strength of a chair in the scan list as rising bars; all lit bars share one colour.
Item {
    id: root
    property real strength: 0
    property int barCount: 4

    readonly property real barWidth: 4
    readonly property real barSpacing: 2
    readonly property real fullHeight: 16
    readonly property color litColour: Theme.named(Format.barColor(strength))

    implicitWidth: barCount * barWidth + Math.max(barCount - 1, 0) * barSpacing
    implicitHeight: fullHeight
    Accessible.role: Accessible.Indicator
    Accessible.name: Format.signalDescription(barCount, strength)

    Row {
        anchors.bottom: parent.bottom
        spacing: root.barSpacing
        Repeater {
            model: root.barCount
            Rectangle {
                required property int index
                objectName: "signalBar" + index
                property bool isLit: Format.isBarLit(index, root.barCount, root.strength)
                anchors.bottom: parent.bottom
                width: root.barWidth
                height: (index + 1) / root.barCount * root.fullHeight
                radius: 1
                color: isLit ? root.litColour : Theme.unlitBar
            }
        }
    }
}
