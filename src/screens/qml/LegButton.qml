pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Shapes
import Velnora.Screens

// One leg of the chair as a 110-point tile: an arrow showing where a press takes the leg, the
// leg's name and its position. The tile shows what the chair reports, never its own guess.
AbstractButton {
    id: control
    property string label
    property string statusText
    property bool statusUp: true

    readonly property string iconName: ControlsText.legIcon(statusUp)

    implicitWidth: 110
    implicitHeight: 110
    padding: 0
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.Button
    Accessible.name: statusText.length > 0 ? label + ", " + statusText : label

    Accessible.onPressAction: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: Item {
        Column {
            anchors.centerIn: parent
            spacing: 8

            // The two arrows cross-fade when the leg changes.
            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: Theme.legIcon
                height: Theme.legIcon
                Repeater {
                    model: ["arrow.down.circle.fill", "arrow.up.circle.fill"]
                    Icon {
                        required property string modelData
                        anchors.centerIn: parent
                        name: modelData
                        size: Theme.legIcon
                        color: Theme.primaryText
                        opacity: control.iconName === modelData ? 1 : 0
                        Behavior on opacity {
                            NumberAnimation { duration: 200; easing.type: Easing.InOutQuad }
                        }
                    }
                }
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: control.label
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: control.statusText.length > 0
                text: control.statusText
                font.pixelSize: Theme.caption2
                font.bold: true
                color: control.statusUp ? Theme.green : Theme.orange
            }
        }
    }
    background: Shape {
        implicitWidth: 110
        implicitHeight: 110
        antialiasing: true
        layer.enabled: true
        layer.samples: 4
        layer.smooth: true
        ShapePath {
            fillColor: control.down ? Theme.legTilePressed : Theme.legTile
            strokeColor: control.visualFocus ? Theme.focusRing : Theme.clear
            strokeWidth: control.visualFocus ? 2 : -1
            PathSvg {
                path: Artwork.continuousRoundedRect(1, 1, control.width - 2, control.height - 2, 16)
            }
        }
    }
}
