import QtQuick
import Velnora.Screens
import Velnora 1.0
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Layouts
import QtQuick.Dialogs

// The connected screen's second tab: what the user can see and change about the chair beyond
// the daily controls, in four cards.
Item {
    id: root
    objectName: "settingsView"
    property var bluetooth
    property var services

    // Screen state: starts closed each time the tab is built anew.
    property bool showTerms: false
    property bool showPrivacyPolicy: false
    property bool showFilePicker: false
    property bool showWiFiConfig: false

    readonly property string updateArea: bluetooth ? SettingsText.updateArea(bluetooth.otaState)
                                                   : "picker"
    readonly property string updateStatus: bluetooth ? SettingsText.updateStatus(bluetooth.otaState)
                                                     : ""
    readonly property string updateDetail: bluetooth ? SettingsText.updateDetail(bluetooth.otaState)
                                                     : ""

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    onShowTermsChanged: if (showTerms) termsSheet.open()
    onShowPrivacyPolicyChanged: if (showPrivacyPolicy) privacySheet.open()
    onShowWiFiConfigChanged: if (showWiFiConfig) wifiSheet.open()
    onShowFilePickerChanged: if (showFilePicker) openPicker()

    // A system without a usable file panel is the picker's failure, shown like any update
    // error; staying silent would leave the button doing nothing.
    function openPicker() {
        picker.open()
        if (picker.visible)
            return
        showFilePicker = false
        bluetooth.reportFirmwarePickerError(SettingsText.pickerUnavailable())
    }

    // The picker's answer. The update belongs to the manager, which outlives this tab; a
    // cancelled picker leaves the update card as it was.
    function firmwareFileChosen(file) {
        showFilePicker = false
        if (!bluetooth || file.toString() === "")
            return
        const problem = SettingsText.pickerProblem(file)
        if (problem !== "")
            bluetooth.reportFirmwarePickerError(problem)
        else
            bluetooth.startFirmwareUpdate(file.toString())
    }

    // A picker still open when the tab goes away must not answer into it.
    Component.onDestruction: picker.close()

    FileDialog {
        id: picker
        objectName: "firmwarePicker"
        title: "Select Firmware File"
        fileMode: FileDialog.OpenFile
        // The window the tab is in now, not the one (if any) it was made in.
        parentWindow: root.Window.window
        nameFilters: ["Firmware packages (*.zip)"]
        onAccepted: root.firmwareFileChosen(selectedFile)
        onRejected: root.showFilePicker = false
        onVisibleChanged: if (!visible) root.showFilePicker = false
    }

    TransferRate {
        id: rate
        services: root.services
        state: root.bluetooth.otaState
    }

    // Keeps the control that Tab reached in view.
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() { flick.reveal(root.Window.activeFocusItem) }
    }

    Flickable {
        id: flick
        objectName: "settingsScroll"
        anchors.fill: parent
        contentWidth: width
        contentHeight: cards.implicitHeight + 2 * Theme.margin
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { objectName: "settingsScrollBar" }

        function reveal(item) {
            let inside = item
            while (inside && inside !== flick.contentItem)
                inside = inside.parent
            if (!inside)
                return
            const top = item.mapToItem(flick.contentItem, 0, 0).y - Theme.margin
            const bottom = top + item.height + 2 * Theme.margin
            if (top < contentY)
                contentY = Math.max(0, top)
            else if (bottom > contentY + height)
                contentY = Math.min(contentHeight - height, bottom - height)
        }

        Column {
            id: cards
            x: Theme.margin
            y: Theme.margin
            width: flick.width - 2 * Theme.margin
            spacing: 20

            // General.
            Card {
                objectName: "generalSection"
                icon: "info.circle"
                title: "General"

                InfoRow {
                    caption: "Serial Number"
                    ValueText {
                        objectName: "serialNumberText"
                        text: SettingsText.serialNumber(root.bluetooth.serialNumber)
                    }
                }
                InfoRow {
                    caption: "Lifetime Moves"
                    ValueText {
                        objectName: "lifetimeMovesText"
                        readonly property bool known: root.bluetooth.lifetimeMoves !== undefined
                                                      && root.bluetooth.lifetimeMoves !== null
                        text: SettingsText.lifetimeMoves(root.bluetooth.lifetimeMoves)
                        color: known ? Theme.primaryText : Theme.secondaryText
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 1
                    color: Theme.cardDivider
                }
                LinkRow {
                    objectName: "termsButton"
                    text: "Terms of Service"
                    onClicked: root.showTerms = true
                }
                LinkRow {
                    objectName: "privacyPolicyButton"
                    text: "Privacy Policy"
                    onClicked: root.showPrivacyPolicy = true
                }
            }

            // Vibration.
            Card {
                objectName: "vibrationSection"
                icon: "waveform.path"
                title: "Vibration"

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 6
                    RowLayout {
                        Layout.fillWidth: true
                        ScreenText {
                            text: "Motor Strength"
                            font.pixelSize: Theme.caption
                            color: Theme.secondaryText
                        }
                        Item { Layout.fillWidth: true }
                        ScreenText {
                            objectName: "motorStrengthText"
                            text: SettingsText.percent(root.bluetooth.motorStrength)
                            font.pixelSize: Theme.caption
                            font.bold: true
                            color: Theme.primaryText
                        }
                    }
                    ChairSlider {
                        objectName: "motorStrengthSlider"
                        Layout.fillWidth: true
                        from: 20
                        to: 50
                        stepSize: 1
                        trackColor: Theme.buttonBackground
                        value: root.bluetooth.motorStrength
                        Accessible.name: "Motor Strength"
                        Accessible.description: SettingsText.percent(value)
                        onEditingChanged: root.bluetooth.isEditingMotor = editing
                        onEdited: (value) => root.bluetooth.motorStrength
                                  = SettingsText.strengthFromSlider(value)
                        onCommitted: root.bluetooth.writeMotorStrength()
                    }
                }
                FootnoteText {
                    text: "Controls the vibration intensity when legs transition. Range: 20% - 50%."
                }
            }

            // Chair software update.
            Card {
                objectName: "softwareUpdateSection"
                icon: "arrow.down.circle"
                title: "Chair Software Update"

                InfoRow {
                    caption: "Current Version"
                    ValueText {
                        objectName: "currentVersionText"
                        text: SettingsText.currentVersion(root.bluetooth.softwareVersion,
                                                          root.bluetooth.firmwareVersion)
                        color: root.bluetooth.softwareVersion !== "" ? Theme.primaryText
                                                                     : Theme.secondaryText
                    }
                }

                VButton {
                    id: selectButton
                    objectName: "selectFirmwareButton"
                    visible: root.updateArea === "picker"
                    Layout.fillWidth: true
                    large: false
                    text: "Select Firmware File"
                    onClicked: root.showFilePicker = true
                    contentItem: Item {
                        implicitWidth: selectLabel.implicitWidth
                        implicitHeight: selectLabel.implicitHeight
                        Row {
                            id: selectLabel
                            anchors.centerIn: parent
                            spacing: 6
                            Icon {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "doc.badge.arrow.up"
                                size: Theme.title3
                                color: Theme.accent
                            }
                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: selectButton.text
                                font: selectButton.font
                                color: Theme.accent
                            }
                        }
                    }
                }

                ColumnLayout {
                    objectName: "updateSpinner"
                    visible: root.updateArea === "spinner"
                    Layout.fillWidth: true
                    spacing: 8
                    BusyIndicator {
                        Layout.alignment: Qt.AlignHCenter
                        implicitWidth: Theme.spinnerSize
                        implicitHeight: Theme.spinnerSize
                        padding: 0
                        running: parent.visible
                        palette.dark: Theme.secondaryText
                        Accessible.ignored: true // the text below says what is under way
                    }
                    ScreenText {
                        id: spinnerStatus
                        objectName: "updateSpinnerStatus"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: root.updateStatus
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }

                ColumnLayout {
                    objectName: "updateProgress"
                    visible: root.updateArea === "progressBar"
                    Layout.fillWidth: true
                    spacing: 8
                    ScreenText {
                        objectName: "updateProgressStatus"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        text: root.updateStatus
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                    ProgressBar {
                        id: bar
                        objectName: "updateProgressBar"
                        Layout.fillWidth: true
                        value: root.bluetooth ? SettingsText.updateFraction(root.bluetooth.otaState) : 0
                        // Qt 6.4 gives a progress bar no value for a screen reader: its name
                        // carries the figure shown below it.
                        Accessible.name: root.updateDetail
                        Accessible.description: root.updateStatus
                        background: Rectangle {
                            implicitHeight: 4
                            radius: 2
                            color: Theme.buttonBackground
                        }
                        contentItem: Item {
                            implicitHeight: 4
                            Rectangle {
                                width: bar.visualPosition * parent.width
                                height: parent.height
                                radius: 2
                                color: Theme.accent
                            }
                        }
                    }
                    ScreenText {
                        objectName: "updateProgressDetail"
                        Layout.alignment: Qt.AlignHCenter
                        text: root.updateDetail
                        font.pixelSize: Theme.caption
                        font.bold: true
                        color: Theme.primaryText
                    }
                    ScreenText {
                        objectName: "transferRateText"
                        visible: rate.hasEstimate
                        Layout.alignment: Qt.AlignHCenter
                        text: rate.text
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }

                Column {
                    objectName: "updateSuccess"
                    visible: root.updateArea === "success"
                    Layout.fillWidth: true
                    spacing: 8
                    RowLayout {
                        width: parent.width
                        spacing: 6
                        Icon {
                            name: "checkmark.circle.fill"
                            size: Theme.title3
                            color: Theme.green
                        }
                        ScreenText {
                            Layout.fillWidth: true
                            wrapMode: Text.Wrap
                            text: root.updateArea === "success" ? root.updateStatus : ""
                            font.pixelSize: Theme.callout
                            color: Theme.primaryText
                        }
                    }
                    VButton {
                        objectName: "updateDoneButton"
                        text: "Done"
                        small: true
                        onClicked: root.bluetooth.resetOTA()
                    }
                }

                Column {
                    objectName: "updateError"
                    visible: root.updateArea === "error"
                    Layout.fillWidth: true
                    spacing: 8
                    RowLayout {
                        width: parent.width
                        spacing: 6
                        Icon {
                            Layout.alignment: Qt.AlignTop
                            name: "exclamationmark.triangle.fill"
                            size: Theme.callout
                            color: Theme.orange
                        }
                        ScreenText {
                            Accessible.role: Accessible.AlertMessage
                            objectName: "updateErrorText"
                            Layout.fillWidth: true
                            Layout.alignment: Qt.AlignTop
                            wrapMode: Text.Wrap
                            text: root.updateArea === "error" ? root.updateStatus : ""
                            font.pixelSize: Theme.caption
                            color: Theme.orange
                        }
                    }
                    VButton {
                        objectName: "tryAgainButton"
                        text: "Try Again"
                        small: true
                        onClicked: root.bluetooth.resetOTA()
                    }
                }

                FootnoteText {
                    text: "Upload a firmware .zip file to update your chair over Bluetooth."
                }
            }

            // WiFi.
            Card {
                objectName: "wifiSection"
                icon: "wifi"
                title: "WiFi"

                InfoRow {
                    caption: "Status"
                    Rectangle {
                        objectName: "wifiStatusDot"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 8
                        height: 8
                        radius: 4
                        color: root.bluetooth.wifiStatus === Wifi.WiFiStatus.connected
                               ? Theme.green : Theme.orange
                    }
                    ValueText {
                        objectName: "wifiStatusText"
                        text: SettingsText.wifiStatus(root.bluetooth.wifiStatus)
                    }
                }
                InfoRow {
                    objectName: "wifiNetworkRow"
                    visible: SettingsText.showsNetwork(root.bluetooth.wifiStatus,
                                                       root.bluetooth.connectedSSID)
                    caption: "Network"
                    spacing: 5
                    Icon {
                        anchors.verticalCenter: parent.verticalCenter
                        name: "wifi"
                        size: Theme.caption
                        color: Theme.secondaryText
                    }
                    ValueText {
                        objectName: "wifiNetworkText"
                        text: root.bluetooth.connectedSSID
                    }
                }
                VButton {
                    objectName: "configureWiFiButton"
                    Layout.fillWidth: true
                    large: false
                    text: "Configure WiFi"
                    onClicked: root.showWiFiConfig = true
                }
            }
        }
    }

    TermsSheetView {
        id: termsSheet
        onClosed: root.showTerms = false
    }
    PrivacyPolicySheetView {
        id: privacySheet
        onClosed: root.showPrivacyPolicy = false
    }

    Popup {
        id: wifiSheet
        objectName: "wifiSheet"
        parent: T.Overlay.overlay
        anchors.centerIn: parent
        width: 420
        height: 500
        modal: true
        focus: true
        padding: 0
        closePolicy: Popup.CloseOnEscape
        onOpened: wifiLoader.item.forceActiveFocus(Qt.TabFocusReason)
        onClosed: root.showWiFiConfig = false
        T.Overlay.modal: Rectangle { color: Theme.sheetDim }

        background: Rectangle {
            color: Theme.background
            radius: Theme.sheetRadius
            border.width: 1
            border.color: Theme.divider
        }
        // Built only while open: a closed sheet holds no second view of the networks.
        contentItem: Loader {
            id: wifiLoader
            active: wifiSheet.visible
            sourceComponent: WiFiSetupView {
                objectName: "wifiSheetSetup"
                bluetooth: root.bluetooth
                showsCancel: true
                focus: true
                Accessible.role: Accessible.Dialog
                Accessible.name: "WiFi Setup"
                onCancelled: wifiSheet.close()
            }
        }
    }

    // A card: a header of icon and title over its rows, on a faint rounded background.
    component Card: Rectangle {
        id: card
        property string icon
        property string title
        default property alias content: body.data

        width: parent ? parent.width : 0
        implicitHeight: body.implicitHeight + 2 * Theme.margin
        radius: Theme.cardRadius
        color: Theme.cardBackground
        clip: true

        ColumnLayout {
            id: body
            x: Theme.margin
            y: Theme.margin
            width: card.width - 2 * Theme.margin
            spacing: 12

            RowLayout {
                spacing: 6
                Icon {
                    name: card.icon
                    size: Theme.title3 + 2
                    color: Theme.primaryText
                }
                ScreenText {
                    text: card.title
                    font.pixelSize: Theme.title3
                    font.bold: true
                    color: Theme.primaryText
                    Accessible.role: Accessible.Heading
                }
            }
        }
    }

    // A caption on the left and its value on the right.
    component InfoRow: Item {
        id: infoRow
        property string caption
        property alias spacing: slot.spacing
        default property alias value: slot.data
        readonly property real valueRoom: width - captionText.implicitWidth - 12

        Layout.fillWidth: true
        implicitHeight: Math.max(captionText.implicitHeight, slot.implicitHeight)

        ScreenText {
            id: captionText
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            text: infoRow.caption
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
        Row {
            id: slot
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
        }
    }

    component ValueText: ScreenText {
        width: Math.min(implicitWidth, parent ? parent.parent.valueRoom - 20 : implicitWidth)
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        elide: Text.ElideRight
        font.pixelSize: Theme.callout
        color: Theme.primaryText
    }

    component FootnoteText: ScreenText {
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        font.pixelSize: Theme.caption2
        color: Theme.secondaryText
    }

    // A plain button over a row of a title and a chevron, opening a sheet.
    component LinkRow: AbstractButton {
        id: link
        Layout.fillWidth: true
        focusPolicy: Qt.StrongFocus
        topPadding: 2
        bottomPadding: 2
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: clicked()
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()

        contentItem: RowLayout {
            Text {
                Layout.fillWidth: true
                text: link.text
                font.pixelSize: Theme.body
                color: Theme.primaryText
            }
            Icon {
                name: "chevron.right"
                size: Theme.caption + 4
                color: Theme.secondaryText
                opacity: 0.5
            }
        }
        background: Rectangle {
            color: link.down ? Theme.buttonPressed : Theme.clear
            radius: 4
            border.width: link.visualFocus ? 2 : 0
            border.color: Theme.focusRing
        }
    }
}
