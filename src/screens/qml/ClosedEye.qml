import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// One closed eye of the sleeping chair: a curve bowing downwards.
Shape {
    implicitWidth: 18
    implicitHeight: 10
    antialiasing: true
    Accessible.ignored: true

    ShapePath {
        strokeColor: Theme.sleepingEye
        strokeWidth: 2.5
        capStyle: ShapePath.RoundCap
        fillColor: Theme.clear
        PathSvg { path: "M 0 0 Q 9 8 18 0" }
    }
}
