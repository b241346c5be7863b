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
    readonly property color cardDivider: Qt.rgba(1, 1, 1, 0.1)
    readonly property color cardBackground: Qt.rgba(1, 1, 1, 0.06)
    readonly property color barTrack: Qt.rgba(1, 1, 1, 0.1)
    readonly property color faintText: Qt.rgba(1, 1, 1, 0.55 * 0.7)
    readonly property color debugBadge: Qt.rgba(1, 0.624, 0.039, 0.18)
    // The application icon's tile, as in its SVG.
    readonly property color iconTileTop: "#3A3A3C"
    readonly property color iconTileBottom: "#1C1C1E"

    // The connected screen and its Controls tab.
    readonly property color headerDivider: Qt.rgba(1, 1, 1, 0.15)
    readonly property color sectionDivider: Qt.rgba(1, 1, 1, 0.1)
    readonly property color autoCard: Qt.rgba(1, 1, 1, 0.06)
    readonly property color autoToggleOn: Qt.rgba(0.2, 0.78, 0.35, 1)
    readonly property color autoToggleOff: Qt.rgba(1, 1, 1, 0.2)
    readonly property color toggleKnob: "#FFFFFF"
    readonly property color toggleKnobShadow: Qt.rgba(0, 0, 0, 0.25)
    readonly property color ringTrack: Qt.rgba(1, 1, 1, 0.12)
    readonly property color legTile: Qt.rgba(1, 1, 1, 0.08)
    readonly property color legTilePressed: Qt.rgba(1, 1, 1, 0.14)
    // The sleeping chair and its letters.
    readonly property color sleepingLetter: Qt.rgba(0.369, 0.361, 0.902, 0.75)
    readonly property color sleepingEye: Qt.rgba(1, 1, 1, 0.72)
    readonly property color sleepingBody: Qt.rgba(1, 1, 1, 0.14)
    readonly property color sleepingPanel: Qt.rgba(1, 1, 1, 0.1)
    readonly property color sleepingOutline: Qt.rgba(1, 1, 1, 0.28)
    readonly property color sleepingGrid: Qt.rgba(1, 1, 1, 0.07)
    readonly property color sleepingLeg: Qt.rgba(1, 1, 1, 0.2)
    readonly property color sleepingMouth: Qt.rgba(0, 0, 0, 0.28)

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
    readonly property int display: 48
    readonly property string monospaceFamily: "DejaVu Sans Mono"

    readonly property int legIcon: 44
    readonly property int tabIcon: 20
    readonly property int ringText: 13

    // Spacing and radii.
    readonly property int margin: 16
    readonly property int smallRadius: 8
    readonly property int listRadius: 10
    readonly property int buttonRadius: 6
    readonly property int sheetRadius: 12
    readonly property int cardRadius: 12
    // A spinner at scale 1; the screens scale it.
    readonly property real spinnerSize: 20

    // The window.
    readonly property int contentWidth: 420
    readonly property int contentHeight: 640
    readonly property int termsHeight: 660
}
