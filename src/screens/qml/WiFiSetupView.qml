pragma ComponentBehavior: Bound
import QtQuick
import Velnora.Screens
import QtQuick.Controls.Basic

// Puts the chair on a WiFi network: pick one of the networks the chair sees, type its password.
// Starts no scan by itself; the list is whatever the chair last reported.
Item {
    id: root
    property BluetoothManager bluetooth
    property bool showsDisconnect: false
    property bool showsCancel: false
    signal cancelled()

    property var selectedSSID: null
    readonly property string password: passwordField.password
    property bool showPassword: false

    readonly property var networks: bluetooth?.availableNetworks ?? []
    readonly property bool isLoading: bluetooth?.isLoadingNetworks ?? false
    readonly property var errorMessage: bluetooth?.wifiErrorMessage ?? null
    readonly property bool hasSelection: selectedSSID !== null && selectedSSID !== undefined
    // Open networks cannot be joined from here: the chair needs a password.
    readonly property bool canConnect: hasSelection && password.length > 0 && !isLoading

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    function refresh() {
        selectedSSID = null
        bluetooth.scanForNetworks()
    }
    function select(ssid) {
        selectedSSID = ssid
        passwordField.clear()
    }
    function connectToSelection() {
        if (hasSelection)
            bluetooth.connectToWiFi(selectedSSID, password)
    }

    Keys.onEscapePressed: (event) => {
        event.accepted = root.showsCancel
        if (root.showsCancel)
            root.cancelled()
    }

    Column {
        id: header
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        topPadding: 24
        bottomPadding: 16
        spacing: 6

        Item {
            anchors.horizontalCenter: parent.horizontalCenter
            width: headerLogo.width
            height: headerLogo.height + 4
            VelnoraLogo {
                id: headerLogo
                width: 180
            }
        }
        ScreenText {
            Accessible.role: Accessible.Heading
            objectName: "wifiSetupTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("WiFi Setup")
            font.pixelSize: Theme.title2
            font.bold: true
            color: Theme.primaryText
        }
        ScreenText {
            objectName: "wifiSetupSubtitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Connect your chair to a WiFi network")
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
        ScreenText {
            objectName: "wifiSetupExplanation"
            width: parent.width
            leftPadding: 24
            rightPadding: 24
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Your chair must be connected to the internet to use the Velnora App.")
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
    }

    Rectangle {
        id: topDivider
        anchors.top: header.bottom
        width: parent.width
        height: 1
        color: Theme.divider
    }

    Flickable {
        id: flick
        objectName: "networkScroll"
        anchors.top: topDivider.bottom
        anchors.bottom: bottomDivider.top
        anchors.left: parent.left
        anchors.right: parent.right
        contentWidth: width
        contentHeight: networkBlock.implicitHeight + 2 * Theme.margin
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { objectName: "networkScrollBar" }

        function reveal(item) {
            const top = item.mapToItem(flick.contentItem, 0, 0).y
            if (top < contentY)
                contentY = top
            else if (top + item.height > contentY + height)
                contentY = top + item.height - height
        }

        Column {
            id: networkBlock
            x: Theme.margin
            y: Theme.margin
            width: flick.width - 2 * Theme.margin
            spacing: 20

            Item {
                width: parent.width
                height: Math.max(networksTitle.implicitHeight, refreshButton.implicitHeight)
                ScreenText {
                    Accessible.role: Accessible.Heading
                    id: networksTitle
                    objectName: "availableNetworksTitle"
                    anchors.left: parent.left
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Available Networks")
                    font.pixelSize: Theme.headline
                    font.weight: Font.DemiBold
                    color: Theme.primaryText
                }
                VButton {
                    id: refreshButton
                    objectName: "refreshButton"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Refresh")
                    small: true
                    enabled: !root.isLoading
                    unavailableReason: qsTr("Scanning for networks…")
                    onClicked: root.refresh()
                    contentItem: Row {
                        spacing: 4
                        Icon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "arrow.clockwise"
                            size: Theme.callout
                            color: Theme.accent
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: refreshButton.text
                            font: refreshButton.font
                            color: Theme.accent
                        }
                    }
                }
            }

            Column {
                width: parent.width
                spacing: 8

                Row {
                    objectName: "networksLoading"
                    visible: root.isLoading
                    anchors.horizontalCenter: parent.horizontalCenter
                    topPadding: 16
                    bottomPadding: 16
                    spacing: 8
                    BusyIndicator {
                        anchors.verticalCenter: parent.verticalCenter
                        width: Theme.spinnerSize * 0.75
                        height: width
                        padding: 0
                        palette.dark: Theme.secondaryText
                        Accessible.ignored: true // the text beside it says what is under way
                    }
                    ScreenText {
                        id: loadingText
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Scanning for networks…")
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }

                ScreenText {
                    objectName: "noNetworksText"
                    visible: !root.isLoading && root.networks.length === 0
                    width: parent.width
                    topPadding: 16
                    bottomPadding: 16
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: qsTr("No networks found. Tap Refresh to scan again.")
                    font.pixelSize: Theme.caption
                    color: Theme.secondaryText
                }

                Rectangle {
                    objectName: "networkList"
                    visible: !root.isLoading && root.networks.length > 0
                    width: parent.width
                    height: networkRows.implicitHeight
                    radius: Theme.listRadius
                    color: Theme.white(0.06)

                    Column {
                        id: networkRows
                        width: parent.width
                        Repeater {
                            model: root.networks
                            delegate: Column {
                                id: networkEntry
                                required property string modelData
                                required property int index
                                readonly property bool isSelected: root.hasSelection
                                                                   && root.selectedSSID === modelData
                                readonly property bool isFirst: index === 0
                                readonly property bool isLast: index === root.networks.length - 1
                                width: networkRows.width

                                Rectangle {
                                    visible: !networkEntry.isFirst
                                    x: 44
                                    width: parent.width - x
                                    height: 1
                                    color: Theme.divider
                                }
                                Tappable {
                                    id: networkButton
                                    objectName: "networkRow" + networkEntry.index
                                    width: parent.width
                                    implicitHeight: networkLine.implicitHeight + 20
                                    Accessible.role: Accessible.RadioButton
                                    Accessible.checkable: true
                                    Accessible.checked: networkEntry.isSelected
                                    Accessible.name: networkEntry.modelData
                                    onClicked: root.select(networkEntry.modelData)
                                    onActiveFocusChanged: if (activeFocus) flick.reveal(networkEntry)

                                    // The selected row's tint follows the list's rounded corners
                                    // at its ends; drawn opaque in a layer so that the two
                                    // shapes do not add up where they overlap.
                                    Item {
                                        anchors.fill: parent
                                        visible: networkEntry.isSelected
                                        opacity: 0.12
                                        layer.enabled: visible
                                        Rectangle {
                                            anchors.fill: parent
                                            radius: networkEntry.isFirst || networkEntry.isLast ? Theme.listRadius : 0
                                            color: Theme.accent
                                        }
                                        // Squares the corners that face the neighbouring rows.
                                        Rectangle {
                                            visible: networkEntry.isFirst !== networkEntry.isLast
                                            anchors.left: parent.left
                                            anchors.right: parent.right
                                            y: networkEntry.isFirst ? parent.height / 2 : 0
                                            height: parent.height / 2
                                            color: Theme.accent
                                        }
                                    }
                                    Rectangle {
                                        visible: networkButton.visualFocus || networkButton.down
                                        anchors.fill: parent
                                        anchors.margins: 3
                                        radius: Theme.smallRadius
                                        color: networkButton.down ? Theme.buttonPressed : Theme.clear
                                        border.width: networkButton.visualFocus ? 2 : 0
                                        border.color: Theme.focusRing
                                    }
                                    Row {
                                        id: networkLine
                                        anchors.fill: parent
                                        anchors.leftMargin: 14
                                        anchors.rightMargin: 14
                                        spacing: 10
                                        Icon {
                                            id: wifiIcon
                                            anchors.verticalCenter: parent.verticalCenter
                                            width: 20
                                            horizontalAlignment: Text.AlignHCenter
                                            name: "wifi"
                                            size: Theme.title3
                                            color: networkEntry.isSelected ? Theme.accent : Theme.secondaryText
                                        }
                                        Text {
                                            objectName: "networkName"
                                            anchors.verticalCenter: parent.verticalCenter
                                            width: parent.width - wifiIcon.width - check.width - 2 * parent.spacing
                                            elide: Text.ElideRight
                                            text: networkEntry.modelData
                                            font.pixelSize: Theme.body
                                            color: Theme.primaryText
                                        }
                                        Icon {
                                            id: check
                                            objectName: "selectedCheck"
                                            anchors.verticalCenter: parent.verticalCenter
                                            opacity: networkEntry.isSelected ? 1 : 0
                                            name: "checkmark.circle.fill"
                                            size: Theme.title3
                                            color: Theme.accent
                                        }
                                    }
                                }
                            }
                        }
                    }
                }

                Row {
                    objectName: "wifiError"
                    visible: root.errorMessage !== null && root.errorMessage !== undefined
                    width: parent.width
                    topPadding: 4
                    bottomPadding: 4
                    spacing: 6
                    Icon {
                        id: warningIcon
                        name: "exclamationmark.triangle.fill"
                        size: Theme.callout
                        color: Theme.orange
                    }
                    ScreenText {
                        Accessible.role: Accessible.AlertMessage
                        objectName: "wifiErrorText"
                        width: parent.width - warningIcon.width - parent.spacing
                        wrapMode: Text.Wrap
                        text: root.errorMessage ?? ""
                        font.pixelSize: Theme.caption
                        color: Theme.orange
                    }
                }
            }
        }
    }

    Rectangle {
        id: bottomDivider
        anchors.bottom: bottomArea.top
        width: parent.width
        height: 1
        color: Theme.divider
    }

    Column {
        id: bottomArea
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        padding: 16
        spacing: 12

        Column {
            objectName: "passwordBlock"
            visible: root.hasSelection
            width: parent.width - 2 * parent.padding
            spacing: 6
            ScreenText {
                id: passwordCaption
                objectName: "passwordCaption"
                width: parent.width
                elide: Text.ElideRight
                text: Format.passwordCaption(root.selectedSSID ?? "")
                font.pixelSize: Theme.caption
                color: Theme.secondaryText
            }
            Rectangle {
                width: parent.width
                height: fieldRow.implicitHeight + 2 * 10
                radius: Theme.smallRadius
                color: Theme.fieldBackground
                border.width: passwordField.activeFocus ? 2 : 0
                border.color: Theme.focusRing

                Row {
                    id: fieldRow
                    anchors.fill: parent
                    anchors.margins: 10
                    spacing: 8
                    PasswordField {
                        id: passwordField
                        objectName: "passwordField"
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - eyeButton.width - parent.spacing
                        echoMode: root.showPassword ? TextInput.Normal : TextInput.Password
                        placeholderText: qsTr("Enter password")
                        color: Theme.primaryText
                        selectionColor: Theme.accent
                        selectedTextColor: Theme.primaryText
                        font.pixelSize: Theme.body
                        inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
                        Accessible.name: passwordCaption.text
                        Keys.onReturnPressed: if (root.canConnect) root.connectToSelection()
                        Keys.onEnterPressed: if (root.canConnect) root.connectToSelection()
                    }
                    AbstractButton {
                        id: eyeButton
                        objectName: "showPasswordButton"
                        anchors.verticalCenter: parent.verticalCenter
                        focusPolicy: Qt.StrongFocus
                        padding: 2
                        Accessible.role: Accessible.Button
                        Accessible.name: root.showPassword ? qsTr("Hide password") : qsTr("Show password")
                        Accessible.onPressAction: clicked()
                        Keys.onReturnPressed: clicked()
                        Keys.onEnterPressed: clicked()
                        onClicked: root.showPassword = !root.showPassword
                        contentItem: Icon {
                            objectName: "showPasswordIcon"
                            name: root.showPassword ? "eye.slash" : "eye"
                            size: Theme.title3
                            color: Theme.secondaryText
                        }
                        background: Rectangle {
                            radius: 4
                            color: Theme.clear
                            border.width: eyeButton.visualFocus ? 2 : 0
                            border.color: Theme.focusRing
                        }
                    }
                }
            }
        }

        VButton {
            objectName: "connectButton"
            width: parent.width - 2 * parent.padding
            text: qsTr("Connect to WiFi")
            prominent: true
            enabled: root.canConnect
            unavailableReason: root.isLoading ? qsTr("Scanning for networks…")
                             : qsTr("Choose a network and type its password first.")
            onClicked: root.connectToSelection()
        }

        Row {
            visible: root.showsCancel || root.showsDisconnect
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            VButton {
                objectName: "cancelButton"
                visible: root.showsCancel
                text: qsTr("Cancel")
                small: true
                onClicked: root.cancelled()
            }
            VButton {
                objectName: "disconnectButton"
                visible: root.showsDisconnect
                text: qsTr("Disconnect")
                small: true
                onClicked: root.bluetooth.disconnect()
            }
        }
    }
}
