import QtQuick
import QtQuick.Controls.Basic
import Velnora.Screens

// The chair's posture analytics: total moves against the period before, and how the time split
// between sitting, standing and Stilta. Owns its analytics service, so leaving the tab (which
// destroys it) ends the polling.
Item {
    id: root
    objectName: "analyticsTab"
    property BluetoothManager bluetooth
    property ScreenServices services
    property string serialNumber: bluetooth ? bluetooth.serialNumber : ""
    property bool leftLegUp: bluetooth ? bluetooth.leftLegUp : false
    property bool rightLegUp: bluetooth ? bluetooth.rightLegUp : false
    // Made on the first showing and owned by this item.
    property AnalyticsService analytics: null

    readonly property var breakdown: analytics ? analytics.breakdown : null
    readonly property real breakdownTotal: breakdown ? breakdown.moveTotal : 0
    // Nothing to show only until the first answer or failure: while the poll retries after a
    // failure, the cards (with the moves counted live) stay on screen.
    readonly property bool showsCards: analytics !== null
                                       && !(breakdownTotal <= 0 && analytics.isLoading
                                            && analytics.errorMessage === undefined)
    readonly property string currentPosture: AnalyticsText.posture(leftLegUp, rightLegUp)
    readonly property var comparison: AnalyticsText.comparison(
        analytics ? analytics.previousDayMoves : undefined, live.totalMoves,
        analytics ? analytics.selectedRange : Analytics.TimeRange.today)

    implicitWidth: Theme.contentWidth
    implicitHeight: Theme.contentHeight

    function startIfShown() {
        if (analytics !== null || !visible || !services)
            return
        // Told its chair before it is published, so that the serial handler cannot fetch too.
        const service = services.makeAnalyticsService(root)
        service.chairSerial = serialNumber
        analytics = service
        service.stopPolling()
        service.fetchAnalytics()
        service.startPolling()
    }
    Component.onCompleted: startIfShown()
    onVisibleChanged: startIfShown()
    onServicesChanged: startIfShown()
    // The chair reports its serial some time after connecting: fetch for it at once.
    onSerialNumberChanged: {
        if (analytics === null || serialNumber === analytics.chairSerial)
            return
        analytics.chairSerial = serialNumber
        analytics.fetchAnalytics()
    }

    function share(part) {
        if (!breakdown)
            return 0
        return AnalyticsText.share(part, breakdown.sitDuration, breakdown.standDuration,
                                   breakdown.stiltaDuration)
    }

    LiveMoves {
        id: live
        services: root.services ? root.services : null
        analytics: root.analytics
        sessionMoves: root.bluetooth ? root.bluetooth.sessionMoves : 0
    }

    ScrollView {
        id: scroll
        objectName: "analyticsScroll"
        anchors.fill: parent
        contentWidth: availableWidth
        contentHeight: column.implicitHeight
        ScrollBar.vertical.policy: ScrollBar.AlwaysOn
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

        Column {
            id: column
            x: Theme.margin
            width: scroll.availableWidth - 2 * Theme.margin
            topPadding: Theme.margin
            bottomPadding: Theme.margin
            spacing: 16

            Row {
                objectName: "chairLine"
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 5
                Accessible.role: Accessible.StaticText
                Accessible.name: serialText.text

                VelnoraProMiniIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 9
                    height: 12
                    color: Theme.secondaryText
                }
                Text {
                    id: serialText
                    objectName: "chairSerial"
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.serialNumber !== "" ? root.serialNumber : "Waiting for chair…"
                    font.pixelSize: Theme.caption2
                    color: Theme.secondaryText
                }
            }

            SegmentedPicker {
                id: rangePicker
                objectName: "rangePicker"
                readonly property var ranges: AnalyticsText.ranges()
                width: parent.width
                height: 28
                fill: Theme.buttonBackground
                dimsUnselected: true
                Accessible.name: "Time range"
                model: ranges.map(entry => entry.name)
                segmentPrefix: "range"
                namesSegmentsByText: true
                currentIndex: root.analytics === null ? -1
                              : ranges.findIndex(entry => entry.range === root.analytics.selectedRange)
                onActivated: index => {
                    if (root.analytics !== null && index !== currentIndex)
                        root.analytics.selectedRange = ranges[index].range
                }
            }

            Row {
                objectName: "analyticsError"
                width: parent.width
                spacing: 6
                visible: root.analytics !== null && root.analytics.errorMessage !== undefined
                Accessible.role: Accessible.AlertMessage
                Accessible.name: errorText.text
                Icon {
                    id: errorIcon
                    name: "exclamationmark.triangle.fill"
                    size: Theme.caption + 2
                    color: Theme.orange
                }
                Text {
                    id: errorText
                    objectName: "analyticsErrorText"
                    width: parent.width - errorIcon.width - parent.spacing
                    text: root.analytics !== null && root.analytics.errorMessage !== undefined
                          ? root.analytics.errorMessage : ""
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.caption
                    color: Theme.orange
                }
            }

            Rectangle {
                objectName: "totalMovesCard"
                visible: root.showsCards
                width: parent.width
                height: totalColumn.implicitHeight + 32
                radius: Theme.cardRadius
                color: Theme.cardBackground
                Accessible.role: Accessible.StaticText
                Accessible.name: "Total Moves " + AnalyticsText.moves(live.totalMoves)
                                 + (comparisonText.visible ? ", " + comparisonText.text : "")

                Column {
                    id: totalColumn
                    anchors.centerIn: parent
                    width: parent.width - 32
                    spacing: 6
                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "Total Moves"
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                    Text {
                        id: totalText
                        objectName: "totalMoves"
                        // Rolls to a new figure rather than jumping.
                        property real shown: live.totalMoves
                        Behavior on shown {
                            NumberAnimation { duration: 300; easing.type: Easing.OutCubic }
                        }
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: AnalyticsText.moves(Math.round(shown))
                        font.pixelSize: Theme.display
                        font.bold: true
                        color: Theme.primaryText
                    }
                    Text {
                        id: comparisonText
                        objectName: "comparisonLine"
                        anchors.horizontalCenter: parent.horizontalCenter
                        visible: text !== ""
                        text: root.comparison.text
                        font.pixelSize: Theme.caption2
                        font.bold: root.comparison.bold
                        color: Theme.named(root.comparison.tone)
                    }
                }
            }

            Rectangle {
                objectName: "postureBreakdownCard"
                visible: root.showsCards
                width: parent.width
                height: bars.implicitHeight + 32
                radius: Theme.cardRadius
                color: Theme.cardBackground

                Column {
                    id: bars
                    x: 16
                    y: 16
                    width: parent.width - 32
                    spacing: 10
                    ScreenText {
                        Accessible.role: Accessible.Heading
                        text: "Posture Breakdown"
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                    PostureBar {
                        objectName: "sitBar"
                        width: parent.width
                        label: "Sit"
                        percent: root.share(root.breakdown ? root.breakdown.sitDuration : 0)
                        count: root.breakdown ? root.breakdown.sitCount : 0
                        color: Theme.blue
                        duration: root.breakdown ? root.breakdown.sitDuration : 0
                        isActive: root.currentPosture === "Sit"
                    }
                    PostureBar {
                        objectName: "standBar"
                        width: parent.width
                        label: "Stand"
                        percent: root.share(root.breakdown ? root.breakdown.standDuration : 0)
                        count: root.breakdown ? root.breakdown.standCount : 0
                        color: Theme.green
                        duration: root.breakdown ? root.breakdown.standDuration : 0
                        isActive: root.currentPosture === "Stand"
                    }
                    PostureBar {
                        objectName: "stiltaBar"
                        width: parent.width
                        label: "Stilta"
                        percent: root.share(root.breakdown ? root.breakdown.stiltaDuration : 0)
                        count: root.breakdown ? root.breakdown.stiltaCount : 0
                        color: Theme.orange
                        duration: root.breakdown ? root.breakdown.stiltaDuration : 0
                        isActive: root.currentPosture === "Stilta"
                    }
                }
            }
        }
    }
}
