import QtQuick
import QtQuick.Window
import Velnora.Screens

// The one window: the terms until they are accepted, then the root screen.
Window {
    id: window
    required property var app
    required property ScreenServices services

    // The window follows the screen it shows: the terms are taller than the root screen.
    width: Theme.contentWidth
    height: app.termsAccepted ? Theme.contentHeight : Theme.termsHeight
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    visible: true
    color: Theme.background
    title: "Velnora"

    Loader {
        id: content
        objectName: "rootContent"
        anchors.fill: parent
        // The root screen is compiled only once the terms are accepted, and the terms never
        // after that.
        readonly property bool showsTerms: !window.app.termsAccepted
        onShowsTermsChanged: show()
        Component.onCompleted: show()
        function show() {
            if (showsTerms)
                setSource("TermsView.qml", {settings: window.app.settings})
            else
                setSource("ContentView.qml", {bluetooth: window.app.bluetooth,
                                              settings: window.app.settings,
                                              services: window.services})
        }
    }
    Connections {
        // Untyped: naming the terms' type here would compile them with the window.
        target: content.item
        ignoreUnknownSignals: true
        function onAccepted() { window.app.accept() }
        function onDeclined() { window.app.decline() }
    }
}
