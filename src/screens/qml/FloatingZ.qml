import QtQuick
import Velnora.Screens

// A letter "z" that fades in while rising over the sleeping chair, then fades out rising on.
// Its cycle: wait `delay`, rise 30 points in 1.2 s (easing out) while fading in, rise on to
// 75 points in 1.4 s (easing in) while fading out, stay hidden until 3.2 s after the rise
// began, jump back to the start, and wait `delay` again. It runs only while the letter exists;
// being animations, its steps go with it when the sleeping screen is taken down.
Text {
    id: letter
    property real size: 18
    property real delay: 0       // seconds
    property real xOffset: 0     // from the centre of the drawing
    property real yBase: 0       // negative is up
    property real yOffset: 0     // the rise, animated

    anchors.centerIn: parent
    anchors.horizontalCenterOffset: xOffset
    anchors.verticalCenterOffset: yBase + yOffset
    opacity: 0
    font.pixelSize: size
    font.bold: true
    color: Theme.sleepingLetter
    Accessible.ignored: true

    // From the beginning: hidden at the start, then the wait.
    function restart() {
        cycle.restart()
    }

    SequentialAnimation {
        id: cycle
        running: true
        loops: Animation.Infinite
        PropertyAction { target: letter; property: "yOffset"; value: 0 }
        PropertyAction { target: letter; property: "opacity"; value: 0 }
        PauseAnimation { duration: letter.delay * 1000 }
        ParallelAnimation {
            NumberAnimation {
                target: letter; property: "yOffset"; to: -30
                duration: 1200; easing.type: Easing.OutQuad
            }
            NumberAnimation {
                target: letter; property: "opacity"; to: 1
                duration: 1200; easing.type: Easing.OutQuad
            }
        }
        ParallelAnimation {
            NumberAnimation {
                target: letter; property: "yOffset"; to: -75
                duration: 1400; easing.type: Easing.InQuad
            }
            NumberAnimation {
                target: letter; property: "opacity"; to: 0
                duration: 1400; easing.type: Easing.InQuad
            }
        }
        PauseAnimation { duration: 600 }
    }
}
