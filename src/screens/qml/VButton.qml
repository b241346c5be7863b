import QtQuick
import QtQuick.Controls.Basic

// The two button styles of the screens: prominent (filled with the accent colour) and bordered.
// Space and Enter press it when it has the keyboard focus, and so does a screen reader's Press.
// Qt 6.4 reports a disabled button as enabled, so a dimmed one says why in its description.
Button {
    id: control
    property bool prominent: false
    property bool large: true
    property bool small: false
    property string unavailableReason: qsTr("Unavailable")

    focusPolicy: Qt.StrongFocus
    Accessible.name: text
    Accessible.description: enabled ? "" : unavailableReason
    Accessible.onPressAction: if (enabled) clicked()
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
