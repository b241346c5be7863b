import QtQuick
import Velnora.Screens

// The privacy policy on its own, as a modal sheet (the settings screen and the terms screen open it).
TermsSheetView {
    objectName: "privacyPolicySheet"
    heading: "Privacy Policy"
    documentSource: Qt.resolvedUrl("../legal/privacy.json")
}
