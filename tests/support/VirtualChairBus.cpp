#include "VirtualChairBus.h"

#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

const QString connectionName = QStringLiteral("virtual-chair-test");
const QString controlPath = QStringLiteral("/app/velnora/VirtualChair");
const QString controlInterface = QStringLiteral("app.velnora.VirtualChair1");

// Anyone may own and call anything: this bus exists for one test run only.
const char* busConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_type="method_call"/>
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
  </policy>
</busconfig>
)";

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

VirtualChairBus::VirtualChairBus() = default;

VirtualChairBus::~VirtualChairBus()
{
    stopChair();
    QDBusConnection::disconnectFromBus(connectionName);
    stopProcess(daemon);
}

bool VirtualChairBus::start()
{
    if (!dir.isValid())
        return false;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(
        QString::fromLatin1(busConfig).arg(dir.filePath(QStringLiteral("bus.sock"))).toUtf8());
    config.close();
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
        return false;
    busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
    if (busAddress.isEmpty())
        return false;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress.toUtf8());
    return testConnection().isConnected();
}

QDBusConnection VirtualChairBus::testConnection()
{
    QDBusConnection existing(connectionName);
    if (existing.isConnected())
        return existing;
    return QDBusConnection::connectToBus(busAddress, connectionName);
}

bool VirtualChairBus::startChair(const QStringList& options)
{
    stopChair();
    output.clear();
    chair = std::make_unique<QProcess>();
    chair->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress);
    chair->setProcessEnvironment(env);
    // Long runs may take a copy, so that a rebuild does not change the chair under them.
    chair->start(
        qEnvironmentVariable("VELNORA_VIRTUAL_CHAIR", QStringLiteral(VELNORA_VIRTUAL_CHAIR)),
        options);
    if (!chair->waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!chair->waitForReadyRead(int(deadline.remainingTime())))
            break;
        output += QString::fromUtf8(chair->readAll());
        if (output.contains(QLatin1String("virtual-chair ready")))
            return true;
    }
    return false;
}

void VirtualChairBus::stopChair()
{
    if (!chair)
        return;
    stopProcess(*chair);
    output += QString::fromUtf8(chair->readAll());
    chair.reset();
}

QString VirtualChairBus::chairOutput()
{
    if (chair)
        output += QString::fromUtf8(chair->readAll());
    return output;
}

QDBusMessage VirtualChairBus::call(const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), controlPath,
                                                       controlInterface, method);
    call.setArguments(args);
    return testConnection().call(call, QDBus::Block, 10000);
}

bool VirtualChairBus::control(const QString& method, const QVariantList& args)
{
    return call(method, args).type() != QDBusMessage::ErrorMessage;
}

QVariantMap VirtualChairBus::chairState(const QString& address)
{
    const QDBusReply<QVariantMap> reply = call(QStringLiteral("State"), {address});
    return reply.isValid() ? reply.value() : QVariantMap{};
}

bool VirtualChairBus::prepareForSleep(bool goingToSleep)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << goingToSleep;
    return testConnection().send(signal);
}

QString VirtualChairBus::chairAddress(int index)
{
    return QStringLiteral("C0:FF:EE:00:00:%1").arg(index, 2, 16, QLatin1Char('0')).toUpper();
}
