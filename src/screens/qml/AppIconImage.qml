import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// The application icon, drawn as its SVG is (src/app/icons): our chair, side on, on the dark
// tile, scaled to the frame it is given.
Item {
    id: icon
    implicitWidth: 40
    implicitHeight: 40
    Accessible.ignored: true // artwork beside the title it illustrates

    Rectangle {
        // The tile fills 240 of the SVG's 256 units.
        anchors.fill: parent
        anchors.margins: icon.width * 8 / 256
        radius: width * 56 / 240
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.iconTileTop }
            GradientStop { position: 1; color: Theme.iconTileBottom }
        }
        border.width: 1
        border.color: Theme.buttonBackground
    }
    Shape {
        width: 256
        height: 256
        scale: icon.width / 256
        transformOrigin: Item.TopLeft
        antialiasing: true
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true
        layer.textureSize.width: Math.ceil(icon.width * 2)
        layer.textureSize.height: Math.ceil(icon.height * 2)

        ShapePath {
            strokeColor: Theme.accent
            strokeWidth: 16.25
            fillColor: Theme.clear
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            PathSvg { path: "M 70.5 49 L 90.5 144 L 183 144 M 108 144 L 88 207 M 165.5 144 L 185.5 207" }
        }
    }
}
