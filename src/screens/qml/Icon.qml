import QtQuick

// One symbol of the screens' vocabulary ("chevron.right", "wifi.slash", …), drawn from the
// bundled Material Icons font.
Text {
    id: icon
    property string name
    property real size: Theme.body

    readonly property var ligatures: ({
        "bluetooth": "bluetooth",
        "bluetooth.slash": "bluetooth_disabled",
        "chevron.right": "chevron_right",
        "wifi": "wifi",
        "wifi.slash": "wifi_off",
        "checkmark": "check",
        "checkmark.circle.fill": "check_circle",
        "exclamationmark.triangle.fill": "warning",
        "info.circle": "info_outline",
        "arrow.clockwise": "refresh",
        "arrow.up.circle.fill": "arrow_circle_up",
        "arrow.down.circle.fill": "arrow_circle_down",
        "arrow.down.circle": "arrow_circle_down",
        "eye": "visibility",
        "eye.slash": "visibility_off",
        "gearshape.fill": "settings",
        "chart.bar.fill": "bar_chart",
        "doc.badge.arrow.up": "upload_file",
        "doc.zipper": "folder_zip",
        "folder": "folder",
        "sun.rise.fill": "wb_twilight",
        "waveform.path": "graphic_eq"
    })

    FontLoader {
        id: materialIcons
        source: "qrc:/velnora/fonts/MaterialIcons-Regular.ttf"
    }

    text: ligatures[name] !== undefined ? ligatures[name] : ""
    font.family: materialIcons.name
    font.pixelSize: size
    color: Theme.primaryText
    renderType: Text.QtRendering
    Accessible.ignored: true
}
