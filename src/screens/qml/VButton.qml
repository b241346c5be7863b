import QtQuick
import QtQuick.Controls.Basic

// The two button styles of the screens: prominent (filled with the accent colour) and bordered.
// Space and Enter press it when it has the keyboard focus.
Button {
    id: control
    property bool prominent: false
    property bool large: true
    property bool small: false

    focusPolicy: Qt.StrongFocus
    Accessible.name: text
    font.pixelSize: small ? Theme.caption : Theme.body
    font.weight: prominent ? Font.DemiBold : Font.Normal
    leftPadding: small ? 8 : 16
    rightPadding: leftPadding
    topPadding: small ? 3 : (large ? 8 : 5)
    bottomPadding: topPadding
    opacity: enabled ? 1 : 0.45

    Keys.onReturnPressed: if (enabled) clicked()
    Keys.onEnterPressed: if (enabled) clicked()

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.prominent ? "white" : Theme.accent
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        implicitHeight: control.small ? 20 : (control.large ? 34 : 28)
        radius: Theme.buttonRadius
        color: control.prominent ? (control.down ? Qt.darker(Theme.accent, 1.2) : Theme.accent)
                                 : (control.down ? Theme.buttonPressed : Theme.buttonBackground)
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
}
