import QtQuick

// A control of our own drawing that a screen reader sees as what it is and can operate. Qt 6.4's
// controls put their own role over the one a screen gives them (a switch reads as a push button)
// and do nothing on a reader's Press; this one keeps its role and acts on Press and Toggle, a
// click or tap, and Space or Enter.
Item {
    id: control
    signal clicked()
    readonly property bool down: tap.pressed
    // Focus from the keyboard (or a reader) is drawn; the focus a click leaves is not.
    readonly property bool visualFocus: activeFocus && !isPointerFocus
    property bool isPointerFocus: false

    activeFocusOnTab: true
    Accessible.focusable: true
    Accessible.onPressAction: if (enabled) clicked()
    Accessible.onToggleAction: if (enabled) clicked()
    Keys.onSpacePressed: (event) => { if (!event.isAutoRepeat) control.clicked() }
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    onActiveFocusChanged: if (!activeFocus) isPointerFocus = false

    TapHandler {
        id: tap
        onTapped: {
            control.isPointerFocus = true
            control.forceActiveFocus(Qt.MouseFocusReason)
            control.clicked()
        }
    }
}
