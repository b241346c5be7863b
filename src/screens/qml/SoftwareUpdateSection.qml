import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Velnora.Screens

// The chair's versions and its firmware update, from the file picker to success or error.
Card {
    id: root
    property BluetoothManager bluetooth
    property ScreenServices services
    signal filePickerRequested()

    readonly property string updateArea: bluetooth ? SettingsText.updateArea(bluetooth.otaState)
                                                   : "picker"
    readonly property string updateStatus: bluetooth ? SettingsText.updateStatus(bluetooth.otaState)
                                                     : ""
    readonly property string updateDetail: bluetooth ? SettingsText.updateDetail(bluetooth.otaState)
                                                     : ""

    objectName: "softwareUpdateSection"
    icon: "arrow.down.circle"
    title: "Chair Software Update"

    TransferRate {
        id: rate
        services: root.services
        state: root.bluetooth.otaState
    }

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
        onClicked: root.filePickerRequested()
        contentItem: Item {
            // The row's own size: a size taken from childrenRect would move it as it centres.
            implicitWidth: children[0].implicitWidth
            implicitHeight: children[0].implicitHeight
            Row {
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
