import QtQuick

// A text of a screen as a screen reader reads it: the words shown, as static text unless the
// screen says they are something else (a heading, an alert, a status).
Text {
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
