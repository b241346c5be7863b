pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Qt.labs.folderlistmodel

// The program's own picker for a firmware package, for desktops without a file portal: one
// folder at a time, its folders and .zip files, as a sheet in the window's dark look.
Popup {
    id: root
    property string title
    property url currentFolder
    property url selectedFile
    signal accepted()
    signal rejected()
    property bool isChoosing: false

    function accept() {
        if (String(selectedFile) === "")
            return
        isChoosing = true
        close()
        isChoosing = false
        accepted()
    }
    function reject() { close() }
    function openFolder(folder) {
        currentFolder = folder
        selectedFile = ""
    }

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    width: parent ? parent.width - 2 * Theme.margin : 0
    height: parent ? Math.min(500, parent.height - 2 * Theme.margin) : 0
    modal: true
    focus: true
    padding: Theme.margin
    closePolicy: Popup.CloseOnEscape
    onAboutToShow: selectedFile = ""
    onOpened: upButton.forceActiveFocus(Qt.TabFocusReason)
    onClosed: if (!isChoosing) rejected()
    T.Overlay.modal: Rectangle { color: Theme.sheetDim }

    background: Rectangle {
        color: Theme.sheetBackground
        radius: Theme.sheetRadius
        border.width: 1
        border.color: Theme.divider
    }

    Column {
        anchors.fill: parent
        spacing: 12
        Accessible.role: Accessible.Dialog
        Accessible.name: root.title

        ScreenText {
            text: root.title
            font.pixelSize: Theme.title3
            font.bold: true
            color: Theme.primaryText
            Accessible.role: Accessible.Heading
        }
        Row {
            width: parent.width
            spacing: 8
            VButton {
                id: upButton
                objectName: "pickerUpButton"
                text: qsTr("Up")
                small: true
                enabled: String(folders.parentFolder) !== ""
                onClicked: root.openFolder(folders.parentFolder)
            }
            ScreenText {
                objectName: "pickerFolder"
                width: parent.width - upButton.width - parent.spacing
                anchors.verticalCenter: parent.verticalCenter
                text: decodeURIComponent(String(root.currentFolder).replace(/^file:\/\//, ""))
                font.pixelSize: Theme.caption
                color: Theme.secondaryText
                elide: Text.ElideMiddle
            }
        }
        Rectangle {
            width: parent.width
            height: parent.height - y - buttons.height - parent.spacing
            radius: Theme.listRadius
            color: Theme.listBackground
            clip: true

            ListView {
                id: files
                objectName: "pickerFiles"
                anchors.fill: parent
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}
                Accessible.role: Accessible.List
                Accessible.name: root.title
                model: FolderListModel {
                    id: folders
                    folder: root.currentFolder
                    nameFilters: ["*.zip"]
                    caseSensitive: false
                    showDirsFirst: true
                    sortCaseSensitive: false
                }
                delegate: Tappable {
                    id: entry
                    required property int index
                    required property string fileName
                    required property url fileUrl
                    required property bool fileIsDir
                    readonly property bool isSelected: String(root.selectedFile) === String(entry.fileUrl)
                    objectName: "pickerEntry" + index
                    width: ListView.view.width
                    implicitHeight: 36
                    // Packages are a choice of one; folders are buttons that open them.
                    Accessible.role: fileIsDir ? Accessible.Button : Accessible.RadioButton
                    Accessible.name: fileName
                    Accessible.checkable: !fileIsDir
                    Accessible.checked: isSelected
                    // A folder opens; a package is selected, and chosen when it already was.
                    onClicked: {
                        if (fileIsDir)
                            root.openFolder(entry.fileUrl)
                        else if (isSelected)
                            root.accept()
                        else
                            root.selectedFile = entry.fileUrl
                    }
                    onActiveFocusChanged: if (activeFocus) ListView.view.positionViewAtIndex(entry.index, ListView.Contain)

                    Rectangle {
                        anchors.fill: parent
                        anchors.margins: 3
                        radius: Theme.smallRadius
                        color: entry.isSelected ? Theme.tint(Theme.accent, 0.25)
                                                : entry.down ? Theme.buttonPressed : Theme.clear
                        border.width: entry.visualFocus ? 2 : 0
                        border.color: Theme.focusRing
                    }
                    Row {
                        anchors.fill: parent
                        anchors.leftMargin: 12
                        anchors.rightMargin: 12
                        spacing: 10
                        Icon {
                            id: kind
                            anchors.verticalCenter: parent.verticalCenter
                            name: entry.fileIsDir ? "folder" : "doc.zipper"
                            size: Theme.title3
                            color: entry.fileIsDir ? Theme.accent : Theme.secondaryText
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width - kind.width - parent.spacing
                            text: entry.fileName
                            font.pixelSize: Theme.body
                            color: Theme.primaryText
                            elide: Text.ElideMiddle
                        }
                    }
                }
            }
        }
        Row {
            id: buttons
            anchors.right: parent.right
            spacing: 8
            VButton {
                objectName: "pickerCancelButton"
                text: qsTr("Cancel")
                large: false
                onClicked: root.reject()
            }
            VButton {
                objectName: "pickerOpenButton"
                text: qsTr("Open")
                prominent: true
                large: false
                enabled: String(root.selectedFile) !== ""
                unavailableReason: qsTr("Select a firmware file first")
                onClicked: root.accept()
            }
        }
    }
}
