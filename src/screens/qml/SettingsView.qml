import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic
import QtQuick.Templates as T

// The connected screen's second tab: what the user can see and change about the chair beyond
// the daily controls, in four cards.
Item {
    id: root
    objectName: "settingsView"
    property BluetoothManager bluetooth
    property ScreenServices services

    // Screen state: starts closed each time the tab is built anew.
    property bool showTerms: false
    property bool showPrivacyPolicy: false
    property bool showFilePicker: false
    property bool showWiFiConfig: false

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    onShowTermsChanged: if (showTerms) termsSheet.open()
    onShowPrivacyPolicyChanged: if (showPrivacyPolicy) privacySheet.open()
    onShowWiFiConfigChanged: if (showWiFiConfig) wifiSheet.open()
    onShowFilePickerChanged: if (showFilePicker) openPicker()

    // The desktop's own picker where it offers one; dies with the tab, closing it if open.
    readonly property FilePicker filePicker: services ? services.makeFilePicker(root) : null

    function openPicker() {
        if (filePicker)
            filePicker.openZip("Select Firmware File")
        else
            openOwnPicker()
    }

    // A system without a usable file panel is the picker's failure, shown like any update
    // error; staying silent would leave the button doing nothing.
    function openOwnPicker() {
        picker.open()
        if (picker.visible)
            return
        pickerFailed()
    }
    function pickerFailed() {
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

    Connections {
        target: root.filePicker
        function onChosen(file) { root.firmwareFileChosen(file) }
        function onCancelled() { root.showFilePicker = false }
        function onFailed() { root.pickerFailed() }
        function onUnavailable() { root.openOwnPicker() }
    }

    FirmwareFilePicker {
        id: picker
        objectName: "firmwarePicker"
        title: "Select Firmware File"
        currentFolder: root.filePicker ? root.filePicker.startFolder : ""
        onAccepted: root.firmwareFileChosen(selectedFile)
        onRejected: root.showFilePicker = false
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

            GeneralSection {
                bluetooth: root.bluetooth
                onTermsRequested: root.showTerms = true
                onPrivacyPolicyRequested: root.showPrivacyPolicy = true
            }
            VibrationSettingsSection {
                bluetooth: root.bluetooth
            }
            SoftwareUpdateSection {
                bluetooth: root.bluetooth
                services: root.services
                onFilePickerRequested: root.showFilePicker = true
            }
            WiFiSettingsSection {
                bluetooth: root.bluetooth
                onWifiConfigRequested: root.showWiFiConfig = true
            }
            ThisChairSection {
                settings: root.services ? root.services.settings : null
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
        onOpened: wifiLoader.item?.forceActiveFocus(Qt.TabFocusReason)
        onClosed: root.showWiFiConfig = false
        T.Overlay.modal: Rectangle { color: Theme.sheetDim }

        background: Rectangle {
            color: Theme.background
            radius: Theme.sheetRadius
            border.width: 1
            border.color: Theme.divider
        }
        // Built only while open: a closed sheet holds no second view of the networks.
        Loader {
            id: wifiLoader
            anchors.fill: parent
            active: wifiSheet.visible
            Accessible.role: Accessible.Dialog
            Accessible.name: "WiFi Setup"
            Component.onCompleted: setSource("WiFiSetupView.qml", {
                objectName: "wifiSheetSetup",
                bluetooth: root.bluetooth,
                showsCancel: true,
                focus: true
            })
        }
        Connections {
            target: wifiLoader.item as WiFiSetupView
            function onCancelled() { wifiSheet.close() }
        }
    }
}
