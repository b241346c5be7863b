import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Velnora.Screens

// The Controls tab: automatic mode (switch, countdown ring, pattern and interval) and the two
// leg buttons. The switch and the legs show what the chair reports; the pattern and the
// interval show the user's choice at once.
Item {
    id: root
    objectName: "controlsTab"
    required property BluetoothManager bluetooth
    property var patternNames: ControlsText.patternNames
    property var patternDescriptions: ControlsText.patternDescriptions

    implicitWidth: Theme.contentWidth
    implicitHeight: content.implicitHeight + 2 * Theme.margin

    Flickable {
        id: flickable
        anchors.fill: parent
        contentWidth: width
        contentHeight: content.implicitHeight + 2 * Theme.margin
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollIndicator.vertical: ScrollIndicator { Accessible.ignored: true }

        ColumnLayout {
            id: content
            x: Theme.margin
            y: Theme.margin
            width: flickable.width - 2 * Theme.margin
            spacing: 20

            // Automatic mode.
            Rectangle {
                objectName: "autoModeCard"
                Layout.fillWidth: true
                implicitHeight: card.implicitHeight + 2 * Theme.margin
                radius: Theme.cardRadius
                color: Theme.autoCard
                clip: true

                ColumnLayout {
                    id: card
                    x: Theme.margin
                    y: Theme.margin
                    width: parent.width - 2 * Theme.margin
                    spacing: 14

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        CountdownRing {
                            objectName: "countdownRing"
                            visible: root.bluetooth.autoModeEnabled
                            Layout.preferredWidth: 48
                            Layout.preferredHeight: 48
                            remaining: root.bluetooth.countdownSeconds
                            total: root.bluetooth.autoPeriodMinutes * 60
                        }
                        ScreenText {
                            Accessible.role: Accessible.Heading
                            objectName: "autoModeTitle"
                            text: qsTr("Auto Mode")
                            font.pixelSize: Theme.title3
                            font.bold: true
                            color: Theme.primaryText
                        }
                        Item { Layout.fillWidth: true }
                        AlwaysActiveToggle {
                            objectName: "autoModeToggle"
                            Accessible.name: qsTr("Auto Mode")
                            isOn: root.bluetooth.autoModeEnabled
                            colorWhenOn: Theme.autoToggleOn
                            colorWhenOff: Theme.autoToggleOff
                            onFlipRequested: on => root.bluetooth.setAutoMode(on)
                        }
                    }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 6
                        ScreenText {
                            Layout.leftMargin: 2
                            text: qsTr("Movement Pattern")
                            font.pixelSize: Theme.caption
                            color: Theme.secondaryText
                        }
                        SegmentedPicker {
                            objectName: "patternPicker"
                            Layout.fillWidth: true
                            Accessible.name: qsTr("Movement Pattern")
                            segmentPrefix: "patternSegment"
                            model: root.patternNames
                            currentIndex: ControlsText.patternSegment(
                                              root.bluetooth.autoModePattern, root.patternNames.length)
                            onActivated: index => root.bluetooth.setAutoModePattern(index)
                        }
                        ScreenText {
                            objectName: "patternDescription"
                            Layout.fillWidth: true
                            Layout.leftMargin: 2
                            wrapMode: Text.Wrap
                            text: ControlsText.patternDescription(root.patternDescriptions,
                                                                  root.bluetooth.autoModePattern)
                            font.pixelSize: Theme.caption2
                            color: Theme.secondaryText
                        }
                    }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 6
                        RowLayout {
                            Layout.fillWidth: true
                            ScreenText {
                                text: qsTr("Movement Interval")
                                font.pixelSize: Theme.caption
                                color: Theme.secondaryText
                            }
                            Item { Layout.fillWidth: true }
                            ScreenText {
                                objectName: "intervalLabel"
                                text: ControlsText.intervalLabel(root.bluetooth.autoPeriodMinutes)
                                font.pixelSize: Theme.caption
                                font.bold: true
                                color: Theme.primaryText
                            }
                        }
                        ChairSlider {
                            objectName: "intervalSlider"
                            Layout.fillWidth: true
                            Accessible.name: qsTr("Movement Interval")
                            Accessible.description: ControlsText.intervalLabel(value)
                            from: ControlsText.periodMinimum
                            to: ControlsText.periodMaximum
                            stepSize: ControlsText.periodStep
                            value: root.bluetooth.autoPeriodMinutes
                            onEditingChanged: root.bluetooth.isEditingPeriod = editing
                            onEdited: (value) => root.bluetooth.autoPeriodMinutes
                                      = ControlsText.periodFromSlider(value)
                            onCommitted: root.bluetooth.writeAutoPeriod()
                        }
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 1
                color: Theme.sectionDivider
            }

            // Manual control.
            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 16
                ScreenText {
                    Accessible.role: Accessible.Heading
                    Layout.alignment: Qt.AlignHCenter
                    text: qsTr("Manual Control")
                    font.pixelSize: Theme.title3
                    font.bold: true
                    color: Theme.primaryText
                }
                Row {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 40
                    LegButton {
                        objectName: "leftLegButton"
                        label: qsTr("Left")
                        statusText: ControlsText.legStatusText(root.bluetooth.leftLegUp)
                        statusUp: root.bluetooth.leftLegUp
                        onClicked: root.bluetooth.toggleLeg(false)
                    }
                    LegButton {
                        objectName: "rightLegButton"
                        label: qsTr("Right")
                        statusText: ControlsText.legStatusText(root.bluetooth.rightLegUp)
                        statusUp: root.bluetooth.rightLegUp
                        onClicked: root.bluetooth.toggleLeg(true)
                    }
                }
            }
        }
    }
}
