// A Velnora Pro chair (or several) for a machine without a radio: plays BlueZ on a D-Bus bus so
// that Qt Bluetooth and the program connect to it as to the real thing.
#include "BusObjects.h"
#include "ChairControl.h"
#include "ChairSettings.h"
#include "VirtualBluez.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// Qt Bluetooth runs the executable of the org.bluez owner with --version to choose its BlueZ
// backend; the D-Bus LE backend needs 5.42 or later.
constexpr const char* bluezVersion = "5.66";

int fail(const QString& text)
{
    std::fprintf(stderr, "virtual-chair: %s\n", qUtf8Printable(text));
    return 2;
}

std::optional<double> number(const QCommandLineParser& parser, const QCommandLineOption& option,
                             double minimum)
{
    bool ok = false;
    const double value = parser.value(option).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum)
        return std::nullopt;
    return value;
}

std::chrono::milliseconds fromSeconds(double seconds)
{
    return std::chrono::milliseconds(std::llround(seconds * 1000.0));
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before anything else: Qt asks while it sets up its own Bluetooth, and expects
    // nothing but the number.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", bluezVersion);
            return 0;
        }
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("virtual-chair"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays BlueZ and one or more Velnora Pro chairs on a D-Bus bus."));
    parser.addHelpOption();
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Prints the BlueZ version played."));
    const QCommandLineOption busOption(QStringLiteral("bus"),
                                       QStringLiteral("D-Bus address (default: the system bus)."),
                                       QStringLiteral("address"));
    const QCommandLineOption chairsOption(QStringLiteral("chairs"),
                                          QStringLiteral("Number of chairs (default 1)."),
                                          QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption networksOption(
        QStringLiteral("networks"), QStringLiteral("Comma-separated WiFi networks the chairs see."),
        QStringLiteral("list"), QStringLiteral("Office_5G,Home_Network,Cafe_WiFi"));
    const QCommandLineOption passwordOption(
        QStringLiteral("wifi-password"), QStringLiteral("Password every listed network accepts."),
        QStringLiteral("password"), QStringLiteral("velnora-wifi"));
    const QCommandLineOption onlineOption(QStringLiteral("online"),
                                          QStringLiteral("Chairs start online on this network."),
                                          QStringLiteral("ssid"));
    const QCommandLineOption idleOption(
        QStringLiteral("idle-sleep"),
        QStringLiteral("Idle seconds before a chair sleeps (default 900, 0 never)."),
        QStringLiteral("seconds"), QStringLiteral("900"));
    const QCommandLineOption restartOption(
        QStringLiteral("restart-seconds"),
        QStringLiteral("Seconds a chair is gone while it restarts (default 3)."),
        QStringLiteral("seconds"), QStringLiteral("3"));
    const QCommandLineOption motorOption(
        QStringLiteral("motor-delay-ms"),
        QStringLiteral("Milliseconds from a leg command to the leg's new state (default 600)."),
        QStringLiteral("ms"), QStringLiteral("600"));
    const QCommandLineOption writeDelayOption(
        QStringLiteral("write-delay-ms"),
        QStringLiteral("Connection interval pacing write confirmations, may be fractional "
                       "(default 0)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption flashOption(
        QStringLiteral("flash-ms-per-page"),
        QStringLiteral("Flashing time per 2 KiB page (default 20)."), QStringLiteral("ms"),
        QStringLiteral("20"));
    const QCommandLineOption intervalOption(
        QStringLiteral("connection-interval-ms"),
        QStringLiteral("Connection interval pacing every ATT round trip, link set-up and "
                       "discovery included (default 0: only writes are paced)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption poweredOffOption(QStringLiteral("powered-off"),
                                              QStringLiteral("The adapter starts powered off."));
    const QCommandLineOption noAdapterOption(QStringLiteral("no-adapter"),
                                             QStringLiteral("No Bluetooth adapter at all."));
    const QCommandLineOption firmwareOption(QStringLiteral("firmware-revision"),
                                            QStringLiteral("Firmware revision text."),
                                            QStringLiteral("text"), QStringLiteral("2.4.1"));
    const QCommandLineOption softwareOption(QStringLiteral("software-revision"),
                                            QStringLiteral("Software revision text."),
                                            QStringLiteral("text"), QStringLiteral("1.8.0"));
    const QCommandLineOption noCacheOption(
        QStringLiteral("no-gatt-cache"),
        QStringLiteral("BlueZ's Cache = no: GATT objects go with each link (default: they stay)."));
    const QCommandLineOption reportOption(
        QStringLiteral("report-interval-ms"),
        QStringLiteral("While connected, notify the chair state every MS ms (default 0: never)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Logs every GATT operation and control call."));
    parser.addOptions({versionOption, busOption, chairsOption, networksOption, passwordOption,
                       onlineOption, idleOption, restartOption, motorOption, writeDelayOption,
                       intervalOption, flashOption, poweredOffOption, noAdapterOption,
                       firmwareOption, softwareOption, noCacheOption, reportOption, verboseOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    bool chairsOk = false;
    const int chairs = parser.value(chairsOption).toInt(&chairsOk);
    if (!chairsOk || chairs < 0 || chairs > 255)
        return fail(QStringLiteral("--chairs takes 0 to 255"));
    const auto idle = number(parser, idleOption, 0);
    const auto restart = number(parser, restartOption, 0);
    const auto motor = number(parser, motorOption, 0);
    const auto writeDelay = number(parser, writeDelayOption, 0);
    const auto flash = number(parser, flashOption, 0);
    const auto interval = number(parser, intervalOption, 0);
    const auto reportInterval = number(parser, reportOption, 0);
    if (!idle || !restart || !motor || !writeDelay || !flash || !interval || !reportInterval ||
        *reportInterval > 3600000)
        return fail(QStringLiteral("times are numbers of zero or more"));

    ChairSettings settings;
    settings.networks = parser.value(networksOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    settings.wifiPassword = parser.value(passwordOption);
    settings.onlineSsid = parser.value(onlineOption);
    settings.idleSleep = fromSeconds(*idle);
    settings.restartTime = fromSeconds(*restart);
    settings.motorDelay = std::chrono::milliseconds(std::llround(*motor));
    settings.flashPerPage = std::chrono::milliseconds(std::llround(*flash));
    settings.firmwareRevision = parser.value(firmwareOption);
    settings.softwareRevision = parser.value(softwareOption);

    VirtualBluez::Options options;
    options.hasAdapter = !parser.isSet(noAdapterOption);
    options.powered = !parser.isSet(poweredOffOption);
    options.verbose = parser.isSet(verboseOption);
    options.writeDelayMs = *writeDelay;
    options.connectionIntervalMs = *interval;
    options.gattCache = !parser.isSet(noCacheOption);
    options.reportIntervalMs = int(std::llround(*reportInterval));

    QDBusConnection bus = parser.isSet(busOption)
                              ? QDBusConnection::connectToBus(parser.value(busOption),
                                                              QStringLiteral("virtual-chair"))
                              : QDBusConnection::systemBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no D-Bus connection: %1").arg(bus.lastError().message()));

    BusObjects::registerTypes();
    BusObjects objects(bus);
    VirtualBluez bluez(objects, settings, options);
    ChairControl control(objects, bluez);
    for (int i = 1; i <= chairs; ++i) {
        const QString address =
            QStringLiteral("C0:FF:EE:00:00:%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        bluez.addChair(address, QStringLiteral("Velnora Pro %1").arg(i, 4, 10, QLatin1Char('0')),
                       {}, std::chrono::milliseconds(-1), qint16(-52 - 4 * (i - 1)));
    }

    if (!bus.registerVirtualObject(QStringLiteral("/"), &objects, QDBusConnection::SubPath))
        return fail(QStringLiteral("cannot register the object tree"));
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned =
        bus.interface()->registerService(QStringLiteral("org.bluez"),
                                         QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!owned.isValid() || owned.value() != QDBusConnectionInterface::ServiceRegistered)
        return fail(QStringLiteral("cannot own org.bluez: %1").arg(owned.error().message()));

    std::printf("virtual-chair ready\n");
    std::fflush(stdout);
    return app.exec();
}
