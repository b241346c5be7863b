import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// The chair pictogram of the Controls tab button: backrest, seat and stem, drawn on a 20 × 22
// design box and stretched to the frame it is given.
Shape {
    id: icon
    property color color: Theme.primaryText

    readonly property real sx: width / 20
    readonly property real sy: height / 22

    function part(x, y, w, h, corner) {
        return Artwork.continuousRoundedRect(x * sx, y * sy, w * sx, h * sy, corner * sx)
    }

    implicitWidth: 22
    implicitHeight: 20
    antialiasing: true
    layer.enabled: true
    layer.samples: 4
    layer.smooth: true
    Accessible.ignored: true

    ShapePath {
        fillColor: icon.color
        strokeColor: Theme.clear
        strokeWidth: -1
        PathSvg {
            path: icon.part(3, 0, 14, 12, 3) + " " + icon.part(4, 13.5, 12, 4.5, 2.5) + " "
                  + icon.part(8.5, 18.5, 3, 3.5, 1)
        }
    }
}
