#include "ChairNotices.h"

#include "DesktopNotifier.h"

namespace {
// One notice per concern: a newer one about the same thing takes the place of the older.
const QString updateKey = QStringLiteral("update");
const QString wifiKey = QStringLiteral("wifi");
const QString linkKey = QStringLiteral("link");

static_assert(BluetoothManager::wifiGraceDuration % 60 == 0, "the notice speaks in minutes");
constexpr int graceMinutes = BluetoothManager::wifiGraceDuration / 60;
} // namespace

ChairNotices::ChairNotices(BluetoothManager& chair, DesktopNotifier& notifier,
                           std::function<bool()> isWindowActive, QObject* parent)
    : QObject(parent)
    , chair(chair)
    , notifier(notifier)
    , isWindowActive(std::move(isWindowActive))
    , wasWifiOffline(chair.wifiOfflineSeconds().has_value())
    , previousState(chair.connectionState())
{
    QObject::connect(&chair, &BluetoothManager::otaStateChanged, this, &ChairNotices::followUpdate);
    QObject::connect(&chair, &BluetoothManager::wifiOfflineSecondsChanged, this,
                     &ChairNotices::followWifiOffline);
    QObject::connect(&chair, &BluetoothManager::connectionStateChanged, this,
                     &ChairNotices::followConnectionState);
    QObject::connect(&chair, &BluetoothManager::reconnectFailed, this, [this](const QString& name) {
        say(linkKey, QStringLiteral("Chair disconnected"),
            QStringLiteral("%1 could not be reconnected. Open Velnora to connect again.")
                .arg(name.isEmpty() ? QStringLiteral("The chair") : name));
    });
}

void ChairNotices::followUpdate()
{
    // Announced only when the state changes, so each outcome is told once.
    const OTAState state = chair.otaState();
    if (state.kind == OTAState::Kind::success)
        say(updateKey, QStringLiteral("Firmware updated"),
            QStringLiteral("%1 is up to date and will restart.").arg(chairName()));
    else if (state.kind == OTAState::Kind::error)
        say(updateKey, QStringLiteral("Firmware update failed"), state.message);
}

void ChairNotices::followWifiOffline()
{
    // The countdown starting is the chair going offline; its ticks are not news.
    const bool isOffline = chair.wifiOfflineSeconds().has_value();
    if (isOffline && !wasWifiOffline)
        say(wifiKey, QStringLiteral("Chair WiFi offline"),
            QStringLiteral("If it is not back within %1 minutes, you will be asked to set up WiFi "
                           "again.")
                .arg(graceMinutes));
    wasWifiOffline = isOffline;
}

void ChairNotices::followConnectionState()
{
    // A ready chair is sent back to setup only when its grace period ran out.
    const ConnectionState state = chair.connectionState();
    if (previousState == ConnectionState::ready && state == ConnectionState::wifiSetup)
        say(wifiKey, QStringLiteral("Chair WiFi setup needed"),
            QStringLiteral("The chair stayed offline. Open Velnora to set up WiFi again."));
    previousState = state;
}

void ChairNotices::say(const QString& key, const QString& summary, const QString& body)
{
    if (isWindowActive())
        return;
    notifier.notify(summary, body, key);
}

QString ChairNotices::chairName() const
{
    const QString name = chair.deviceName();
    return name.isEmpty() ? QStringLiteral("The chair") : name;
}
