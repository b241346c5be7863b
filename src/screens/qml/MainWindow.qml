import QtQuick
import QtQuick.Window

// The one window: the terms until they are accepted, then the root screen.
Window {
    id: window
    required property var app
    required property var services

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
        sourceComponent: window.app.termsAccepted ? rootScreen : termsScreen
    }

    Component {
        id: termsScreen
        TermsView {
            settings: window.app.settings
            onAccepted: window.app.accept()
            onDeclined: window.app.decline()
        }
    }

    Component {
        id: rootScreen
        ContentView {
            bluetooth: window.app.bluetooth
            settings: window.app.settings
            services: window.services
        }
    }
}
