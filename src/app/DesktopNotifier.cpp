#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotices, "velnora.notifications")

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int serverDefaultTimeout = -1;
} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , bus(bus)
{
}

void DesktopNotifier::notify(const QString& summary, const QString& body, const QString& key)
{
    if (!bus.isConnected()) {
        reportUnavailable(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry}};
    call << appName << shownIds.value(key) << desktopEntry << summary << body << QStringList()
         << hints << serverDefaultTimeout;
    // Owned by this notifier, so that a reply still due when the program ends is not leaked.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            reportUnavailable(reply.error().message());
        else
            shownIds.insert(key, reply.value());
        watcher->deleteLater();
    });
}

void DesktopNotifier::reportUnavailable(const QString& reason)
{
    // The desktop may simply have no notification service: say so once, quietly.
    if (std::exchange(hasReportedUnavailable, true))
        return;
    qCDebug(lcNotices) << "desktop notifications unavailable:" << reason;
}
