import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// The chair pictogram in small sizes (the Analytics tab draws it 9 × 12): backrest, post, seat,
// two legs, stem and base on a 20 × 27 design box, stretched to the frame it is given.
Shape {
    id: icon
    property color color: Theme.primaryText

    readonly property real sx: width / 20
    readonly property real sy: height / 27

    // Corners scale like the box they sit in, separately in x and in y.
    function part(x, y, w, h, corner) {
        return Artwork.continuousRoundedRect(x * sx, y * sy, w * sx, h * sy, corner * sx,
                                             corner * sy)
    }

    implicitWidth: 9
    implicitHeight: 12
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
            path: icon.part(3, 0, 14, 6, 2)          // backrest
                  + " " + icon.part(9, 6, 2, 3.5, 0)       // back post
                  + " " + icon.part(1, 9.5, 18, 2.5, 1.5)  // seat
                  + " " + icon.part(2, 12, 5.5, 9, 1.5)    // left leg
                  + " " + icon.part(12.5, 12, 5.5, 9, 1.5) // right leg
                  + " " + icon.part(9, 21, 2, 2.5, 0)      // stem
                  + " " + icon.part(0, 23.5, 20, 3.5, 2)   // base
        }
    }
}
