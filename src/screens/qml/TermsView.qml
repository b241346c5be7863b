import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Layouts

// The onboarding gate: the terms of service, the e-mail the chair's warranty and uploads are
// registered under, an optional display name, and Decline / Accept.
Rectangle {
    id: root
    property Settings settings
    signal accepted()
    signal declined()

    property string email
    property string displayName
    property bool emailTouched: false
    property bool showPrivacyPolicy: false

    readonly property bool isEmailValid: Format.isValidEmail(email)
    readonly property bool showsEmailError: emailTouched && !isEmailValid

    // The e-mail and name are stored only on a valid accept, so quitting here keeps what was stored.
    function accept() {
        emailTouched = true
        if (!isEmailValid)
            return
        settings.analyticsUserEmail = Format.trimmed(email)
        settings.userDisplayName = Format.trimmed(displayName)
        accepted()
    }

    QtObject {
        id: store
        property bool loaded: false
        property bool loading: false
        // The prefill is not the user's typing, so it leaves emailTouched alone.
        function load() {
            if (loaded || !root.settings)
                return
            loaded = true
            loading = true
            root.email = root.settings.registeredEmail
            root.displayName = root.settings.userDisplayName
            loading = false
        }
    }
    Component.onCompleted: store.load()
    onSettingsChanged: store.load()
    onEmailChanged: if (!store.loading) emailTouched = true

    onShowPrivacyPolicyChanged: showPrivacyPolicy ? privacySheet.open() : privacySheet.close()

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.termsHeight
    width: parent ? parent.width : implicitWidth
    height: parent ? parent.height : implicitHeight
    color: Theme.background

    component FormField: TextField {
        id: field
        Layout.fillWidth: true
        font.pixelSize: Theme.callout
        padding: 8
        color: Theme.primaryText
        placeholderTextColor: Theme.secondaryText
        selectionColor: Theme.accent
        selectedTextColor: Theme.primaryText
        property bool isFlagged: false
        background: Rectangle {
            radius: Theme.smallRadius
            color: Theme.fieldBackground
            border.width: field.isFlagged ? 1 : (field.activeFocus ? 2 : 0)
            border.color: field.isFlagged ? Theme.tint(Theme.red, 0.7) : Theme.focusRing
        }
    }

    component FieldLabel: ScreenText {
        color: Theme.secondaryText
        font.pixelSize: Theme.caption
        textFormat: Text.PlainText
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Theme.divider
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 32
            Layout.bottomMargin: 20
            spacing: 6
            VelnoraLogo {
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 220
                Layout.preferredHeight: implicitHeight
            }
            ScreenText {
                Accessible.role: Accessible.Heading
                Layout.alignment: Qt.AlignHCenter
                text: "Terms of Service"
                color: Theme.secondaryText
                font.pixelSize: Theme.subheadline
            }
        }

        Divider {}

        LegalDocumentView {
            objectName: "termsDocument"
            Layout.fillWidth: true
            Layout.fillHeight: true
            fill: Theme.white(0.04)
            source: Qt.resolvedUrl("../legal/terms.json")
        }

        Divider {}

        ColumnLayout {
            Layout.fillWidth: true
            Layout.margins: 24
            spacing: 16

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                RowLayout {
                    spacing: 3
                    FieldLabel {
                        Layout.alignment: Qt.AlignBaseline
                        text: "Email address"
                    }
                    FieldLabel {
                        Layout.alignment: Qt.AlignBaseline
                        text: "*"
                        color: Theme.red
                        Accessible.ignored: true // the field itself says it is required
                    }
                    FieldLabel {
                        Layout.alignment: Qt.AlignBaseline
                        text: "Required for warranty registration"
                        color: Theme.tint(Theme.secondaryText, Theme.secondaryText.a * 0.65)
                        font.pixelSize: Theme.caption2
                    }
                }
                FormField {
                    id: emailField
                    objectName: "emailField"
                    Accessible.name: "Email address"
                    Accessible.description: "Required for warranty registration"
                    placeholderText: "you@example.com"
                    inputMethodHints: Qt.ImhEmailCharactersOnly | Qt.ImhNoAutoUppercase
                    isFlagged: root.showsEmailError
                    text: root.email
                    onTextChanged: root.email = text
                }
                ScreenText {
                    Accessible.role: Accessible.AlertMessage
                    objectName: "emailError"
                    Layout.fillWidth: true
                    visible: root.showsEmailError
                    text: "Please enter a valid email address to continue."
                    wrapMode: Text.Wrap
                    color: Theme.tint(Theme.red, 0.85)
                    font.pixelSize: Theme.caption2
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                FieldLabel {
                    text: "Display name (optional)"
                }
                FormField {
                    id: displayNameField
                    objectName: "displayNameField"
                    Accessible.name: "Display name (optional)"
                    placeholderText: "How you'll appear on leaderboards"
                    text: root.displayName
                    onTextChanged: root.displayName = text
                }
            }

            // The two agreement lines are one target: a click anywhere on them opens the policy.
            VButton {
                id: agreement
                objectName: "privacyPolicyLink"
                Layout.alignment: Qt.AlignHCenter
                text: "By tapping Accept you agree to these Terms and acknowledge our Privacy Policy."
                padding: 2
                onClicked: root.showPrivacyPolicy = true
                contentItem: Column {
                    spacing: 2
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "By tapping Accept you agree to these Terms"
                        color: Theme.secondaryText
                        font.pixelSize: Theme.caption2
                    }
                    Row {
                        anchors.horizontalCenter: parent.horizontalCenter
                        Text {
                            text: "and acknowledge our"
                            color: Theme.secondaryText
                            font.pixelSize: Theme.caption2
                        }
                        Text {
                            text: " Privacy Policy"
                            color: Theme.accent
                            font.pixelSize: Theme.caption2
                        }
                        Text {
                            text: "."
                            color: Theme.secondaryText
                            font.pixelSize: Theme.caption2
                        }
                    }
                }
                background: Rectangle {
                    color: Theme.clear
                    radius: Theme.buttonRadius
                    border.width: agreement.visualFocus ? 2 : 0
                    border.color: Theme.focusRing
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 16
                VButton {
                    objectName: "declineButton"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    text: "Decline"
                    onClicked: root.declined()
                }
                VButton {
                    objectName: "acceptButton"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    text: "Accept & Continue"
                    prominent: true
                    // Stays enabled: pressing it with a bad address is what reveals the error.
                    opacity: root.isEmailValid ? 1 : 0.5
                    onClicked: root.accept()
                }
            }
        }
    }

    PrivacyPolicySheetView {
        id: privacySheet
        onClosed: root.showPrivacyPolicy = false
    }
}
