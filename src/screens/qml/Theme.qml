pragma Singleton
import QtQuick

// The window's palette, type scale, spacing and radii. Sizes are in points, one point per
// logical pixel.
QtObject {
    // Palette (dark).
    readonly property color background: Qt.rgba(0.2, 0.2, 0.2, 1)
    readonly property color primaryText: "#FFFFFF"
    readonly property color secondaryText: Qt.rgba(1, 1, 1, 0.55)
    readonly property color accent: blue
    readonly property color blue: "#0A84FF"
    readonly property color green: "#30D158"
    readonly property color orange: "#FF9F0A"
    readonly property color red: "#FF453A"
    readonly property color yellow: "#FFD60A"
    readonly property color indigo: "#5E5CE6"
    readonly property color divider: Qt.rgba(1, 1, 1, 0.15)
    readonly property color unlitBar: Qt.rgba(1, 1, 1, 0.15)
    readonly property color listBackground: Qt.rgba(1, 1, 1, 0.05)
    readonly property color fieldBackground: Qt.rgba(1, 1, 1, 0.08)
    readonly property color buttonBackground: Qt.rgba(1, 1, 1, 0.12)
    readonly property color buttonPressed: Qt.rgba(1, 1, 1, 0.2)
    readonly property color focusRing: Qt.rgba(0.04, 0.52, 1, 0.8)
    readonly property color sheetBackground: Qt.rgba(0.14, 0.14, 0.14, 1)
    readonly property color sheetDim: Qt.rgba(0, 0, 0, 0.5)
    readonly property color clear: "transparent"

    function white(opacity) { return Qt.rgba(1, 1, 1, opacity) }
    function tint(colour, opacity) { return Qt.rgba(colour.r, colour.g, colour.b, opacity) }
    // Named colours the formatters choose ("green", "yellow", "orange").
    function named(name) { return name === "green" ? green : name === "yellow" ? yellow : orange }

    // Type scale.
    readonly property int title: 22
    readonly property int title2: 17
    readonly property int title3: 15
    readonly property int headline: 13
    readonly property int body: 13
    readonly property int callout: 12
    readonly property int subheadline: 11
    readonly property int footnote: 10
    readonly property int caption: 10
    readonly property int caption2: 10
    readonly property int iconLarge: 56
    readonly property string monospaceFamily: "DejaVu Sans Mono"

    // Spacing and radii.
    readonly property int margin: 16
    readonly property int smallRadius: 8
    readonly property int listRadius: 10
    readonly property int buttonRadius: 6
    readonly property int sheetRadius: 12
    // A spinner at scale 1; the screens scale it.
    readonly property real spinnerSize: 20

    // The window.
    readonly property int contentWidth: 420
    readonly property int contentHeight: 640
}
