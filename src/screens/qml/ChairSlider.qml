import QtQuick
import QtQuick.Controls.Basic
import Velnora.Screens

// A slider whose value reaches the chair once per gesture. While the user handles it (a drag, a
// held key, a press on the track) `editing` is set, so the chair's own reports of the field are
// held off; letting go ends the gesture with one `committed`, and so does the slider being taken
// down mid-drag (the chair fell asleep, the link went). The wheel scrolls the page around it,
// never the value.
Slider {
    id: control

    property bool editing: false
    // Qt 6.4 gives a screen reader the slider's range from these names, not from `from` and `to`.
    readonly property real minimumValue: from
    readonly property real maximumValue: to
    property color trackColor: Theme.unlitBar
    // The user moved the handle to value; the owner stores it (the screen follows at once).
    signal edited(real value)
    // The gesture is over: the owner writes the value to the chair.
    signal committed()

    function finish() {
        if (!editing)
            return
        editing = false
        committed()
    }

    focusPolicy: Qt.StrongFocus
    snapMode: Slider.SnapAlways
    wheelEnabled: false
    onPressedChanged: pressed ? editing = true : finish()
    onMoved: {
        edited(value)
        // A change without a press (an assistive tool setting the value) is a gesture of its own.
        if (!pressed && !editing)
            committed()
    }
    Component.onDestruction: finish()

    background: Rectangle {
        x: control.leftPadding
        y: control.topPadding + control.availableHeight / 2 - height / 2
        implicitWidth: 200
        implicitHeight: 4
        width: control.availableWidth
        height: implicitHeight
        radius: 2
        color: control.trackColor
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: Theme.accent
        }
    }
    handle: Rectangle {
        x: control.leftPadding + control.visualPosition * (control.availableWidth - width)
        y: control.topPadding + control.availableHeight / 2 - height / 2
        implicitWidth: 18
        implicitHeight: 18
        radius: 9
        color: control.pressed ? Theme.secondaryText : Theme.toggleKnob
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
