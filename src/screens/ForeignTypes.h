#pragma once

// The program's own types as the screens see them: QML tooling and the QML compiler then know
// their properties, and the screens type what they are handed.
#include "AnalyticsService.h"
#include "BluetoothManager.h"
#include "FilePicker.h"
#include "Settings.h"

#include <QtQml/qqml.h>

struct BluetoothManagerForeign {
    Q_GADGET
    QML_FOREIGN(BluetoothManager)
    QML_NAMED_ELEMENT(BluetoothManager)
    QML_UNCREATABLE("The program makes the chair link.")
};

struct AnalyticsServiceForeign {
    Q_GADGET
    QML_FOREIGN(AnalyticsService)
    QML_NAMED_ELEMENT(AnalyticsService)
    QML_UNCREATABLE("Screens ask ScreenServices for one.")
};

struct SettingsForeign {
    Q_GADGET
    QML_FOREIGN(Settings)
    QML_NAMED_ELEMENT(Settings)
    QML_UNCREATABLE("The program owns the stored settings.")
};

struct FilePickerForeign {
    Q_GADGET
    QML_FOREIGN(FilePicker)
    QML_NAMED_ELEMENT(FilePicker)
    QML_UNCREATABLE("Screens ask ScreenServices for one.")
};

namespace LinkForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Link)
QML_NAMED_ELEMENT(Link)
} // namespace LinkForeign

namespace AnalyticsForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Analytics)
QML_NAMED_ELEMENT(Analytics)
} // namespace AnalyticsForeign

namespace WifiForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Wifi)
QML_NAMED_ELEMENT(Wifi)
} // namespace WifiForeign

struct PostureBreakdownForeign {
    Q_GADGET
    QML_FOREIGN(PostureBreakdown)
    QML_ANONYMOUS
};

struct OTAStateForeign {
    Q_GADGET
    QML_FOREIGN(OTAState)
    QML_ANONYMOUS
};
