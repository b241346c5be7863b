import QtQuick
import QtQuick.Controls.Basic
import Velnora.Screens

// A segmented picker: one segment per entry of `model`, the one at `currentIndex` (if any)
// selected. It asks for a choice through activated; whoever owns the value decides.
FocusScope {
    id: picker
    property var model: []
    property int currentIndex: -1
    signal activated(int index)

    implicitWidth: 300
    implicitHeight: 26
    Accessible.role: Accessible.PageTabList

    Rectangle {
        anchors.fill: parent
        radius: Theme.buttonRadius
        color: Theme.fieldBackground
    }
    Row {
        anchors.fill: parent
        anchors.margins: 2
        Repeater {
            model: picker.model
            AbstractButton {
                id: segment
                required property string modelData
                required property int index
                readonly property bool isSelected: index === picker.currentIndex
                objectName: "patternSegment" + index
                width: (picker.width - 4) / Math.max(1, picker.model.length)
                height: picker.height - 4
                focusPolicy: Qt.StrongFocus
                text: modelData
                Accessible.role: Accessible.RadioButton
                Accessible.name: modelData
                Accessible.checkable: true
                Accessible.checked: isSelected

                onClicked: picker.activated(index)
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()

                contentItem: Text {
                    text: segment.modelData
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: Theme.callout
                    font.weight: segment.isSelected ? Font.DemiBold : Font.Normal
                    color: Theme.primaryText
                }
                background: Rectangle {
                    radius: Theme.buttonRadius - 1
                    color: segment.isSelected ? Theme.buttonPressed
                         : segment.down ? Theme.buttonBackground : Theme.clear
                    border.width: segment.visualFocus ? 2 : 0
                    border.color: Theme.focusRing
                }
            }
        }
    }
}
