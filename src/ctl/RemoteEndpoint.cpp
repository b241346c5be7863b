#include "RemoteEndpoint.h"

#include "CtlOutput.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Connect waits for a scan and a link; the program bounds it itself.
constexpr int callTimeoutMs = 120'000;

ControlError errorOf(const QDBusMessage& answer)
{
    return {answer.errorName(), answer.errorMessage()};
}

// The interface is strict about its argument types: give each the type of its signature.
QVariant typed(const QVariant& value, QChar code)
{
    switch (code.toLatin1()) {
    case 's': return value.toString();
    case 'b': return value.toBool();
    case 'u': return value.toUInt();
    case 'i': return value.toInt();
    case 'x': return value.toLongLong();
    case 'd': return value.toDouble();
    default: return value;
    }
}

} // namespace

bool RemoteEndpoint::isAvailable()
{
    const QDBusConnection session = QDBusConnection::sessionBus();
    return session.isConnected() && session.interface() &&
           session.interface()->isServiceRegistered(service).value();
}

RemoteEndpoint::RemoteEndpoint(QObject* parent)
    : ChairEndpoint(parent)
    , bus(QDBusConnection::sessionBus())
{
    bus.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                SLOT(handlePropertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher =
        new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        Q_EMIT lost({ControlErrors::failed, QStringLiteral("VelnoraDesktop quit.")});
    });
}

void RemoteEndpoint::sendAsync(const QDBusMessage& message, int timeoutMs,
                               const std::function<void(const QDBusMessage&)>& answered)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answered](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                answered(done->reply());
            });
}

void RemoteEndpoint::open(const ControlReply& opened)
{
    QDBusMessage getAll = QDBusMessage::createMethodCall(service, path, propertiesInterface,
                                                         QStringLiteral("GetAll"));
    getAll << ChairControl::interfaceName;
    sendAsync(getAll, 10'000, [this, opened](const QDBusMessage& answer) {
        if (answer.type() == QDBusMessage::ErrorMessage)
            return opened(errorOf(answer));
        if (answer.arguments().isEmpty())
            return opened(ControlError{ControlErrors::failed,
                                       QStringLiteral("VelnoraDesktop sent no properties.")});
        cache = Out::plainMap(Out::plain(answer.arguments().constFirst()).toMap());
        opened(std::nullopt);
    });
}

void RemoteEndpoint::call(const QString& method, const QVariantList& arguments,
                          const ControlReply& reply)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, ChairControl::interfaceName, method);
    const ControlMethod* spec = ChairControl::method(method);
    QVariantList args;
    for (qsizetype i = 0; i < arguments.size(); ++i)
        args << (spec && i < spec->signature.size() ? typed(arguments.at(i), spec->signature.at(i))
                                                    : arguments.at(i));
    message.setArguments(args);
    sendAsync(message, callTimeoutMs, [reply](const QDBusMessage& answer) {
        if (answer.type() == QDBusMessage::ErrorMessage)
            return reply(errorOf(answer));
        reply(std::nullopt);
    });
}

void RemoteEndpoint::handlePropertiesChanged(const QString& interface, const QVariantMap& changed,
                                             const QStringList& invalidated)
{
    Q_UNUSED(invalidated); // every property of the chair is sent with its value
    if (interface != ChairControl::interfaceName)
        return;
    const QVariantMap plain = Out::plainMap(changed);
    for (auto it = plain.cbegin(); it != plain.cend(); ++it)
        cache.insert(it.key(), it.value());
    if (!plain.isEmpty())
        Q_EMIT this->changed(plain);
}
