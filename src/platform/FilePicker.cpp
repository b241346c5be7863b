#include "FilePicker.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QStandardPaths>

QDBusArgument& operator<<(QDBusArgument& out, const PortalFilterRule& rule)
{
    out.beginStructure();
    out << rule.kind << rule.pattern;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalFilterRule& rule)
{
    in.beginStructure();
    in >> rule.kind >> rule.pattern;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const PortalFileFilter& filter)
{
    out.beginStructure();
    out << filter.name << filter.rules;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalFileFilter& filter)
{
    in.beginStructure();
    in >> filter.name >> filter.rules;
    in.endStructure();
    return in;
}

namespace {

enum Response : uint { picked = 0, cancelledByUser = 1 };

// Unique per process: two pickers never wait on the same Request object.
QString nextToken()
{
    static uint counter = 0;
    return QStringLiteral("velnora%1").arg(++counter);
}

// The Request object the portal answers on, as the portal derives it from the caller's bus
// name and the token.
QString requestPath(const QString& uniqueName, const QString& token)
{
    QString sender = uniqueName.startsWith(QLatin1Char(':')) ? uniqueName.mid(1) : uniqueName;
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

} // namespace

FilePicker::FilePicker(const QDBusConnection& bus, ParentWindow parentWindow, QObject* parent)
    : QObject(parent)
    , bus(bus)
    , parentWindow(std::move(parentWindow))
{
    qDBusRegisterMetaType<PortalFilterRule>();
    qDBusRegisterMetaType<QList<PortalFilterRule>>();
    qDBusRegisterMetaType<PortalFileFilter>();
    qDBusRegisterMetaType<QList<PortalFileFilter>>();
}

FilePicker::~FilePicker()
{
    if (!isOpen())
        return;
    bus.send(QDBusMessage::createMethodCall(portalService, request, requestInterface,
                                            QStringLiteral("Close")));
    stopListening();
}

PortalFileFilter FilePicker::zipFilter()
{
    // The MIME type also takes packages whose name ends in upper case.
    return {QStringLiteral("Firmware package (.zip)"),
            {{0, QStringLiteral("*.zip")}, {1, QStringLiteral("application/zip")}}};
}

QUrl FilePicker::startFolder() const
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return QUrl::fromLocalFile(QDir(downloads).exists() ? downloads : QDir::homePath());
}

void FilePicker::openZip(const QString& title)
{
    if (isOpen())
        return;
    if (!bus.isConnected()) {
        Q_EMIT unavailable();
        return;
    }
    // Listening before asking: a quick portal may answer before its reply arrives.
    const QString token = nextToken();
    const QString expected = requestPath(bus.baseService(), token);
    listenOn(expected);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, chooserInterface,
                                                       QStringLiteral("OpenFile"));
    const QVariantMap options{
        {QStringLiteral("handle_token"), token},
        {QStringLiteral("modal"), true},
        {QStringLiteral("filters"), QVariant::fromValue(QList<PortalFileFilter>{zipFilter()})},
        {QStringLiteral("current_filter"), QVariant::fromValue(zipFilter())},
    };
    call << (parentWindow ? parentWindow() : QString()) << title << options;

    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, expected] {
        watcher->deleteLater();
        if (request != expected)
            return; // answered already
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            // No portal, or one that refuses at once: the program's own picker takes over.
            stopListening();
            Q_EMIT unavailable();
            return;
        }
        // Older portals may choose their own handle; the answer comes there.
        const QString handle = reply.value().path();
        if (handle != expected)
            listenOn(handle);
    });
}

void FilePicker::listenOn(const QString& path)
{
    stopListening();
    request = path;
    bus.connect(portalService, request, requestInterface, QStringLiteral("Response"), this,
                SLOT(response(uint, QVariantMap)));
}

void FilePicker::stopListening()
{
    if (!isOpen())
        return;
    bus.disconnect(portalService, request, requestInterface, QStringLiteral("Response"), this,
                   SLOT(response(uint, QVariantMap)));
    request.clear();
}

void FilePicker::response(uint code, const QVariantMap& results)
{
    stopListening();
    if (code == cancelledByUser) {
        Q_EMIT cancelled();
        return;
    }
    if (code != picked) {
        Q_EMIT failed();
        return;
    }
    const QStringList uris = results.value(QStringLiteral("uris")).toStringList();
    if (uris.isEmpty())
        Q_EMIT cancelled();
    else
        Q_EMIT chosen(QUrl(uris.first()));
}
