import QtQuick
import Velnora.Screens

// Our logo: the chair on its two legs in the accent colour beside the "VELNORA" word mark in
// white, drawn for a dark background, scaled to the width. One SVG drawing costs the first frame
// far less than the same outlines as Shapes.
SvgArtwork {
    implicitWidth: 260
    implicitHeight: width * 0.32
    source: ":/velnora/artwork/velnora-logo.svg"
    Accessible.ignored: true // artwork; the screens say in words what they are
}
