#include "LogindSystemWake.h"

LogindSystemWake::LogindSystemWake(QObject* parent)
    : LogindSystemWake(QDBusConnection::systemBus(), parent)
{
}

LogindSystemWake::LogindSystemWake(const QDBusConnection& bus, QObject* parent)
    : SystemWake(parent)
{
    QDBusConnection connection(bus);
    if (!connection.isConnected())
        return;
    listening =
        connection.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"),
                           QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void LogindSystemWake::prepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        Q_EMIT resumed();
}
