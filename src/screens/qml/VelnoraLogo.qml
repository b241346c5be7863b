import QtQuick
import Velnora.Screens
import QtQuick.Shapes

// Our logo: the chair on its two legs in the accent colour beside the "VELNORA" word mark in
// white, drawn for a dark background. Designed on a 260 × 83.2 grid and scaled to the width.
Item {
    id: logo
    implicitWidth: 260
    implicitHeight: width * 0.32
    Accessible.ignored: true // artwork; the screens say in words what they are

    Item {
        width: 260
        height: 83.2
        scale: logo.width / 260
        transformOrigin: Item.TopLeft
        // Multisampled, so the strokes stay smooth on the hardware renderer too.
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true
        layer.textureSize.width: Math.ceil(logo.width)
        layer.textureSize.height: Math.ceil(logo.width * 0.32)

        Shape {
            anchors.fill: parent
            antialiasing: true

            // Chair, side on: a reclined back, the seat, and the two splayed legs.
            ShapePath {
                strokeColor: Theme.accent
                strokeWidth: 6.5
                fillColor: Theme.clear
                capStyle: ShapePath.RoundCap
                joinStyle: ShapePath.RoundJoin
                PathSvg { path: "M 29 11 L 37 49 L 74 49 M 44 49 L 36 74 M 67 49 L 75 74" }
            }

            // Word mark, monoline capitals on a 28-unit cap height: the upright strokes...
            ShapePath {
                strokeColor: Theme.primaryText
                strokeWidth: 4.4
                fillColor: Theme.clear
                capStyle: ShapePath.FlatCap
                joinStyle: ShapePath.MiterJoin
                PathSvg {
                    path: "M 133 29.8 L 119.2 29.8 L 119.2 53.4 L 133 53.4 M 119.2 41.6 L 131 41.6"
                          + " M 140.2 27.6 L 140.2 53.4 L 153 53.4"
                          + " M 160.2 55.6 L 160.2 27.6 M 175.8 55.6 L 175.8 27.6"
                          + " M 185.2 41.6 A 11.8 11.8 0 1 1 208.8 41.6 A 11.8 11.8 0 1 1 185.2 41.6 Z"
                          + " M 218.2 55.6 L 218.2 29.8 L 226 29.8 A 6.4 6.4 0 0 1 226 42.6 L 218.2 42.6"
                          + " M 225.5 42.6 L 232.6 55.6"
                          + " M 242.5 47 L 255.5 47"
                }
            }
            // ...and the slanted ones filled, so that V, N and A keep flat feet and points.
            ShapePath {
                strokeColor: Theme.clear
                fillColor: Theme.primaryText
                PathSvg {
                    path: "M 92 27.6 L 96.6 27.6 L 102 47.2 L 107.4 27.6 L 112 27.6 L 104.3 55.6 L 99.7 55.6 Z"
                          + " M 158 27.6 L 163 27.6 L 178 55.6 L 173 55.6 Z"
                          + " M 239 55.6 L 246.7 27.6 L 251.3 27.6 L 259 55.6 L 254.4 55.6 L 249 36 L 243.6 55.6 Z"
                }
            }
        }
    }
}
