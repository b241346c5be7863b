import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// Time to the chair's next automatic move: a track, the arc of the part still to run (from the
// top, clockwise) and the time as "m:ss". The arc glides over each second between the
// countdown's once-a-second ticks.
Item {
    id: ring
    property real remaining: 0 // seconds
    property real total: 0     // seconds

    readonly property real progress: ControlsText.ringProgress(remaining, total)
    readonly property string arcColorName: ControlsText.ringColor(remaining)
    readonly property color arcColor: arcColorName === "red" ? Theme.red
                                    : arcColorName === "orange" ? Theme.orange : Theme.green
    readonly property string timeText: ControlsText.countdownText(remaining)
    // The drawn part, following progress over 1 s.
    property real shownProgress: progress
    Behavior on shownProgress {
        NumberAnimation { duration: 1000; easing.type: Easing.Linear }
    }

    readonly property real lineWidth: 4
    readonly property real radius: (Math.min(width, height) - lineWidth) / 2

    implicitWidth: 48
    implicitHeight: 48
    // Read as a status: the time as shown, and what it counts down to.
    Accessible.role: Accessible.StatusBar
    Accessible.name: timeText
    Accessible.description: qsTr("Time to the next move")

    Shape {
        anchors.fill: parent
        antialiasing: true
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true

        ShapePath {
            strokeColor: Theme.ringTrack
            strokeWidth: ring.lineWidth
            capStyle: ShapePath.FlatCap
            fillColor: Theme.clear
            PathAngleArc {
                centerX: ring.width / 2
                centerY: ring.height / 2
                radiusX: ring.radius
                radiusY: ring.radius
                startAngle: 0
                sweepAngle: 360
            }
        }
        ShapePath {
            // An empty arc draws nothing, not the dot of its round caps.
            strokeColor: ring.shownProgress > 0 ? ring.arcColor : Theme.clear
            strokeWidth: ring.lineWidth
            capStyle: ShapePath.RoundCap
            fillColor: Theme.clear
            PathAngleArc {
                centerX: ring.width / 2
                centerY: ring.height / 2
                radiusX: ring.radius
                radiusY: ring.radius
                startAngle: -90
                sweepAngle: 360 * ring.shownProgress
            }
        }
    }
    Text {
        objectName: "countdownText"
        anchors.centerIn: parent
        text: ring.timeText
        font.family: Theme.monospaceFamily
        font.pixelSize: Theme.ringText
        font.weight: Font.DemiBold
        color: Theme.primaryText
    }
}
