// velnora-ctl as a script runs it, without the program: its own link to the virtual chair on a
// private bus, the user's settings in a temporary home, and the chair's state read back.
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString firstChair = VirtualChairBus::chairAddress(1);
const QString chairName = QStringLiteral("Velnora Pro 0001");

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

class CtlTest : public QObject {
    Q_OBJECT

private:
    // Runs velnora-ctl to its end; the session bus leads nowhere, so it makes its own link.
    void start(QProcess& process, const QStringList& args, bool termsAccepted = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"),
                   termsAccepted ? home.path() : home.filePath(QStringLiteral("fresh")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELNORA_CTL), args);
    }

    Outcome ctl(const QStringList& args, const QByteArray& input = {}, bool termsAccepted = true)
    {
        QProcess process;
        start(process, args, termsAccepted);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QVariant chair(const char* key) { return bus.chairState(firstChair).value(QLatin1String(key)); }

    QStringList named(QStringList args)
    {
        return QStringList{QStringLiteral("--chair"), chairName} + args;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
        QVERIFY(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("Velnora"));
        QFile conf(home.filePath(QStringLiteral("Velnora/VelnoraDesktop.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[General]\nacceptedTermsVersion=1.0\n");
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << "virtual chair said:\n" << bus.chairOutput();
        bus.stopChair();
    }

    void nothingReachesTheChair_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("termsAccepted");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const QString notZip = home.filePath(QStringLiteral("notes.zip"));
        QFile file(notZip);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a zip") > 0);
        QTest::newRow("terms not accepted")
            << QStringList{QStringLiteral("status")} << false << 1 << QStringLiteral("terms");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("dance")} << true << 2
                                         << QStringLiteral("unknown command");
        QTest::newRow("period not a number")
            << QStringList{QStringLiteral("period"), QStringLiteral("abc")} << true << 2
            << QStringLiteral("period");
        QTest::newRow("strength out of range")
            << QStringList{QStringLiteral("strength"), QStringLiteral("60")} << true << 2
            << QStringLiteral("20 to 50");
        QTest::newRow("missing package")
            << QStringList{QStringLiteral("update"), home.filePath(QStringLiteral("gone.zip"))}
            << true << 1 << QStringLiteral("no such file");
        QTest::newRow("not a zip") << QStringList{QStringLiteral("update"), notZip} << true << 1
                                   << QStringLiteral("notes.zip");
    }

    void nothingReachesTheChair()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, termsAccepted);
        QFETCH(int, status);
        QFETCH(QString, error);
        QVERIFY(bus.startChair());
        const Outcome run = ctl(named(args), {}, termsAccepted);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.startsWith(QStringLiteral("velnora-ctl: ")) && run.err.contains(error),
                 qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(chair("connects").toInt(), 0);
        QCOMPARE(chair("writes").toInt(), 0);
    }

    void scanListsTheChairWithoutConnecting()
    {
        QVERIFY(bus.startChair());
        const Outcome run =
            ctl({QStringLiteral("scan"), QStringLiteral("--timeout"), QStringLiteral("2")});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.startsWith(chairName + QLatin1Char('\t') + firstChair + QLatin1Char('\t')),
                 qPrintable(run.out));
        QCOMPARE(run.out.count(QLatin1Char('\n')), 1);
        QCOMPARE(chair("connects").toInt(), 0);
    }

    void controlsChangeTheChairAndStatusShowsThem()
    {
        QVERIFY(bus.startChair(
            {QStringLiteral("--online=Office_5G"), QStringLiteral("--motor-delay-ms=200")}));
        QVERIFY(chair("leftLegUp").toBool());
        // Without --chair the only chair in range is taken.
        Outcome run = ctl({QStringLiteral("--scan-time"), QStringLiteral("1.5"),
                           QStringLiteral("leg"), QStringLiteral("left"), QStringLiteral("down")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Left leg down.\n"));
        QVERIFY(!chair("leftLegUp").toBool());
        QVERIFY(chair("rightLegUp").toBool());
        // Each command lets the chair go before it ends.
        QVERIFY(!chair("connected").toBool());

        QCOMPARE(ctl(named({QStringLiteral("auto"), QStringLiteral("on")})).status, 0);
        QVERIFY(chair("autoMode").toBool());
        QCOMPARE(ctl(named({QStringLiteral("period"), QStringLiteral("2.5")})).status, 0);
        QCOMPARE(chair("periodSeconds").toInt(), 150);

        run = ctl(named({QStringLiteral("status"), QStringLiteral("--json")}));
        QCOMPARE(run.status, 0);
        const QJsonObject status = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(status.value(QStringLiteral("ConnectionState")).toString(),
                 QStringLiteral("ready"));
        QCOMPARE(status.value(QStringLiteral("SerialNumber")).toString(),
                 QStringLiteral("VP-2026-0001"));
        QCOMPARE(status.value(QStringLiteral("LeftLegUp")).toBool(true), false);
        QCOMPARE(status.value(QStringLiteral("AutoMode")).toBool(), true);
        QCOMPARE(status.value(QStringLiteral("PeriodMinutes")).toDouble(), 2.5);
        QVERIFY(!chair("connected").toBool());
        QCOMPARE(chair("connects").toInt(), 4);
    }

    void wifiJoinTakesThePasswordFromStandardInput()
    {
        QVERIFY(bus.startChair({QStringLiteral("--restart-seconds=1")}));
        Outcome run = ctl(named({QStringLiteral("wifi"), QStringLiteral("list")}));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QStringLiteral("Office_5G\nHome_Network\nCafe_WiFi\n"));

        run = ctl(
            named({QStringLiteral("wifi"), QStringLiteral("join"), QStringLiteral("Home_Network")}),
            "velnora-wifi\nnot this line\n");
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(chair("wifiSsid").toString(), QStringLiteral("Home_Network"));
        QVERIFY(!chair("connected").toBool());
    }

    void updateSendsBothImagesAndCtrlCStopsOne()
    {
        QVERIFY(bus.startChair({QStringLiteral("--online=Office_5G"),
                                QStringLiteral("--flash-ms-per-page=5"),
                                QStringLiteral("--write-delay-ms=1")}));
        const QByteArray cpu1 = firmwareImage(20'000, 1);
        const QByteArray cpu2 = firmwareImage(30'123, 2);
        const QString package = home.filePath(QStringLiteral("update.zip"));
        QVERIFY(
            writeZip(package, {{"StiltaB1.bin", cpu1}, {"firmware/Stilta-Firmware.bin", cpu2}}));
        Outcome run = ctl(named({QStringLiteral("update"), package}));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("CPU1 (STM32): sending 50%")),
                 qPrintable(run.out));
        QVERIFY(run.out.contains(QStringLiteral("CPU1 (STM32): flashing")));
        QVERIFY(run.out.endsWith(QStringLiteral("Firmware updated.\n")));
        QCOMPARE(chair("cpu1Sha256").toString(), sha256(cpu1));
        QCOMPARE(chair("cpu2Sha256").toString(), sha256(cpu2));

        // Ctrl-C halfway: the chair is let go and no success is claimed.
        QVERIFY(bus.control(QStringLiteral("SetWriteDelay"), {5.0}));
        QVERIFY(writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(400'000, 3)}}));
        QProcess process;
        start(process, named({QStringLiteral("update"), package}));
        QByteArray out;
        QTRY_VERIFY2_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("sending 10%"),
                                  (out + process.readAllStandardError()).constData(), 30000);
        process.terminate();
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardOutput().contains("updated"));
        QVERIFY(
            process.readAllStandardError().contains("Chair disconnected during firmware update."));
        QVERIFY(!chair("connected").toBool());
    }

private:
    VirtualChairBus bus;
    QTemporaryDir home;
};

QTEST_GUILESS_MAIN(CtlTest)
#include "tst_ctl.moc"
