import QtQuick
import Velnora.Screens

// One tab of the connected screen's bar: its icon (the chair pictogram for Controls) over its
// label, in the accent colour when selected. The whole rectangle is the click target; a screen
// reader reads a page tab, selected or not. (`iconName` and `clicked` stand for the icon and the
// action.)
Tappable {
    id: control
    property string iconName
    property string label
    property bool isSelected: false
    property bool useChairIcon: false
    readonly property color tint: isSelected ? Theme.accent : Theme.secondaryText

    implicitWidth: content.implicitWidth
    implicitHeight: content.implicitHeight + 12
    Accessible.role: Accessible.PageTab
    Accessible.name: label
    Accessible.selectable: true
    Accessible.selected: isSelected

    Rectangle {
        anchors.fill: parent
        color: Theme.clear
        radius: Theme.buttonRadius
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
    Column {
        id: content
        anchors.centerIn: parent
        width: parent.width
        spacing: 4
        Item {
            anchors.horizontalCenter: parent.horizontalCenter
            width: control.useChairIcon ? 22 : tabIcon.implicitWidth
            height: control.useChairIcon ? 20 : tabIcon.implicitHeight
            ChairIcon {
                visible: control.useChairIcon
                anchors.fill: parent
                color: control.tint
            }
            Icon {
                id: tabIcon
                visible: !control.useChairIcon
                anchors.centerIn: parent
                name: control.iconName
                size: Theme.tabIcon
                color: control.tint
            }
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: control.label
            font.pixelSize: Theme.caption2
            color: control.tint
        }
    }
}
