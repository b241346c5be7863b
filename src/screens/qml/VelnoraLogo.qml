import QtQuick

// Our logo: the chair on its two legs in the accent colour beside the "VELNORA" word mark in
// white, drawn for a dark background, scaled to the width. An SVG drawn once at the size shown
// costs the first frame far less than the same outlines as Shapes.
Item {
    implicitWidth: 260
    implicitHeight: width * 0.32
    Accessible.ignored: true // artwork; the screens say in words what they are

    Image {
        anchors.fill: parent
        source: "qrc:/velnora/artwork/velnora-logo.svg"
        sourceSize.width: width
        sourceSize.height: height
        smooth: true
        // Drawn again when the size is known; an uncached drawing leaves no pixmap behind whose
        // expiry would wake the idle program.
        cache: false
    }
}
