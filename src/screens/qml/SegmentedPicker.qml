pragma ComponentBehavior: Bound
import QtQuick
import Velnora.Screens

// A segmented picker: one segment per entry of `model`, the one at `currentIndex` (if any)
// selected. It asks for a choice through activated; whoever owns the value decides. A screen
// reader reads a group of radio buttons, the chosen one checked.
FocusScope {
    id: picker
    property var model: []
    property int currentIndex: -1
    property color fill: Theme.fieldBackground
    property bool dimsUnselected: false
    // Names the segments for tests and tools: the prefix, then the index or the text.
    property string segmentPrefix: "segment"
    property bool namesSegmentsByText: false
    signal activated(int index)

    implicitWidth: 300
    implicitHeight: 26
    Accessible.role: Accessible.Grouping

    Rectangle {
        anchors.fill: parent
        radius: Theme.buttonRadius
        color: picker.fill
    }
    Row {
        anchors.fill: parent
        anchors.margins: 2
        Repeater {
            model: picker.model
            Tappable {
                id: segment
                required property string modelData
                required property int index
                readonly property bool isSelected: index === picker.currentIndex
                objectName: picker.segmentPrefix
                            + (picker.namesSegmentsByText ? modelData.replace(" ", "") : index)
                width: (picker.width - 4) / Math.max(1, picker.model.length)
                height: picker.height - 4
                Accessible.role: Accessible.RadioButton
                Accessible.name: modelData
                Accessible.checkable: true
                Accessible.checked: isSelected
                onClicked: picker.activated(index)

                Rectangle {
                    anchors.fill: parent
                    radius: Theme.buttonRadius - 1
                    color: segment.isSelected ? Theme.buttonPressed
                         : segment.down ? Theme.buttonBackground : Theme.clear
                    border.width: segment.visualFocus ? 2 : 0
                    border.color: Theme.focusRing
                }
                Text {
                    anchors.fill: parent
                    text: segment.modelData
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    font.pixelSize: Theme.callout
                    font.weight: segment.isSelected ? Font.DemiBold : Font.Normal
                    color: segment.isSelected || !picker.dimsUnselected ? Theme.primaryText
                                                                        : Theme.secondaryText
                }
            }
        }
    }
}
