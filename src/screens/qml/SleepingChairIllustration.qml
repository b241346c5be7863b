import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// The sleeping chair, seen from the front: a backrest panel with its grid of cushions and a
// sleeping face (two closed eyes over a small mouth), then the seat on its post, the two legs,
// the stem and the base. Designed on a 140 × 186 box.
Item {
    id: drawing
    implicitWidth: 140
    implicitHeight: 186
    Accessible.ignored: true // artwork; the text below says the chair is resting

    readonly property real panelX: 20
    readonly property real panelWidth: 100
    readonly property real panelHeight: 92

    function rect(x, y, w, h, corner) {
        return Artwork.continuousRoundedRect(x, y, w, h, corner)
    }
    // The cushions: 5 columns and 6 rows inside the panel.
    function grid() {
        const parts = []
        for (let row = 0; row < 6; ++row)
            for (let column = 0; column < 5; ++column)
                parts.push(rect(28 + column * 17.5, 10 + row * 12.6, 14, 9, 3))
        return parts.join(" ")
    }

    Shape {
        anchors.fill: parent
        antialiasing: true
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true

        // Backrest panel, outlined.
        ShapePath {
            fillColor: Theme.sleepingPanel
            strokeColor: Theme.sleepingOutline
            strokeWidth: 1.5
            PathSvg { path: drawing.rect(drawing.panelX, 0, drawing.panelWidth, drawing.panelHeight, 18) }
        }
        ShapePath {
            fillColor: Theme.sleepingGrid
            strokeColor: Theme.clear
            strokeWidth: -1
            PathSvg { path: drawing.grid() }
        }
        // Post, seat, legs, stem and base.
        ShapePath {
            fillColor: Theme.sleepingBody
            strokeColor: Theme.clear
            strokeWidth: -1
            PathSvg {
                path: drawing.rect(64, 92, 12, 12, 0) + " " + drawing.rect(66, 122, 8, 50, 0)
            }
        }
        ShapePath {
            fillColor: Theme.sleepingBody
            strokeColor: Theme.sleepingOutline
            strokeWidth: 1.5
            PathSvg {
                path: drawing.rect(8, 104, 124, 18, 9) + " " + drawing.rect(0, 172, 140, 14, 7)
            }
        }
        ShapePath {
            fillColor: Theme.sleepingLeg
            strokeColor: Theme.clear
            strokeWidth: -1
            PathSvg {
                path: drawing.rect(20, 122, 24, 50, 6) + " " + drawing.rect(96, 122, 24, 50, 6)
            }
        }
        // The mouth: a small capsule.
        ShapePath {
            fillColor: Theme.sleepingMouth
            strokeColor: Theme.clear
            strokeWidth: -1
            PathSvg { path: drawing.rect(63, 56, 14, 6, 3) }
        }
    }

    ClosedEye {
        objectName: "leftEye"
        x: 44
        y: 38
    }
    ClosedEye {
        objectName: "rightEye"
        x: 78
        y: 38
    }
}
