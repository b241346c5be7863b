import QtQuick
import Velnora.Screens

// A password entry whose characters never reach the accessibility bus. Qt 6.4 hands assistive
// tools the `text` property of an entry as its content, so here `text` is what the screen shows
// (dots, or the clear text while the user shows it) and the password itself is `password`.
// A TextInput rather than a TextField: Qt 6.4's TextField drops its accessible name in password
// mode, and so does an explicit password state.
TextInput {
    id: field
    // What the user typed.
    property string password: ""
    property string text: displayText
    property string placeholderText
    property color placeholderTextColor: Theme.secondaryText

    function sync() { password = getText(0, length) }
    onTextEdited: sync()
    onLengthChanged: sync()

    activeFocusOnTab: true
    selectByMouse: true
    clip: true
    echoMode: TextInput.Password
    passwordCharacter: "●"
    Accessible.role: Accessible.EditableText
    Accessible.description: placeholderText

    Text {
        anchors.fill: parent
        visible: field.length === 0 && field.preeditText === ""
        verticalAlignment: field.verticalAlignment
        text: field.placeholderText
        color: field.placeholderTextColor
        font: field.font
        elide: Text.ElideRight
    }
}
