import QtQuick
import QtQuick.Shapes
import Velnora.Screens

// The automatic-mode switch (AlwaysActiveToggleStyle): a capsule track in its on or off colour
// and a white knob that slides to the right when on. It shows `isOn` and asks for the other
// value through flipRequested; whoever owns the value decides. Drawn from the value and the two
// colours alone, so it looks the same whether the window is active or not. A screen reader
// reads it as a check box whose state is the value shown.
Tappable {
    id: control
    property bool isOn: false
    property color colorWhenOn: Theme.autoToggleOn
    property color colorWhenOff: Theme.autoToggleOff
    signal flipRequested(bool on)

    implicitWidth: 51
    implicitHeight: 31
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: isOn

    onClicked: flipRequested(!isOn)

    Item {
        anchors.fill: parent

        Rectangle {
            objectName: "toggleTrack"
            anchors.fill: parent
            radius: height / 2 // 16, capped by the 31-point height
            color: control.isOn ? control.colorWhenOn : control.colorWhenOff
            border.width: control.visualFocus ? 2 : 0
            border.color: Theme.focusRing
        }
        Item {
            id: knob
            objectName: "toggleKnob"
            width: 27
            height: 27
            y: (parent.height - height) / 2
            x: (parent.width - width) / 2 + (control.isOn ? 10 : -10)
            Behavior on x {
                NumberAnimation { duration: 200; easing.type: Easing.InOutQuad }
            }

            // Shadow: black at 25 %, blurred over 2 points, 1 point down.
            Shape {
                x: -2
                y: -1
                width: 31
                height: 31
                ShapePath {
                    strokeColor: Theme.clear
                    strokeWidth: -1
                    fillGradient: RadialGradient {
                        centerX: 15.5; centerY: 15.5; centerRadius: 15.5
                        focalX: 15.5; focalY: 15.5
                        GradientStop { position: 0; color: Theme.toggleKnobShadow }
                        GradientStop { position: 0.74; color: Theme.toggleKnobShadow }
                        GradientStop { position: 1; color: Theme.clear }
                    }
                    PathAngleArc {
                        centerX: 15.5; centerY: 15.5; radiusX: 15.5; radiusY: 15.5
                        startAngle: 0; sweepAngle: 360
                    }
                }
            }
            Rectangle {
                anchors.fill: parent
                radius: width / 2
                color: Theme.toggleKnob
                antialiasing: true
            }
        }
    }
}
