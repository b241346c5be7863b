// The window's chair on the session bus: velnora-ctl drives the window's own link, what the
// window does shows in `velnora-ctl watch`, and a second start only raises the window.
#include "AppBus.h"
#include "BluetoothManager.h"
#include "ChairBus.h"
#include "ChairControl.h"
#include "Clock.h"
#include "LogindSystemWake.h"
#include "QmlHarness.h"
#include "QtBleCentral.h"
#include "VelnoraDesktopApp.h"
#include "VirtualChairBus.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString chairName = QStringLiteral("Velnora Pro 0001");

struct CtlResult {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class AppBusTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
        session.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        QVERIFY(session.waitForStarted(5000) && session.waitForReadyRead(5000));
        sessionAddress = QString::fromUtf8(session.readLine()).trimmed();
        // The user's store, where velnora-ctl reads that the terms were accepted.
        Settings(config.filePath(QStringLiteral("Velnora/VelnoraDesktop.conf")))
            .setAcceptedTermsVersion(VelnoraDesktopApp::requiredTermsVersion);
    }

    void cleanupTestCase()
    {
        session.kill();
        session.waitForFinished(3000);
    }

    void scriptsAndTheWindowDriveOneLink()
    {
        QVERIFY(bus.startChair({QStringLiteral("--online=Office_5G")}));
        Settings settings(config.filePath(QStringLiteral("Velnora/VelnoraDesktop.conf")));
        QtScheduler scheduler;
        SystemClock clock;
        LogindSystemWake wake;
        VelnoraDesktopApp app(
            settings,
            [&] {
                return std::make_unique<BluetoothManager>(std::make_unique<QtBleCentral>(),
                                                          scheduler, clock, settings, &wake);
            },
            [] {});
        QDBusConnection sessionBus =
            QDBusConnection::connectToBus(sessionAddress, QStringLiteral("window-session"));
        int raised = 0;
        AppBus appBus(app, sessionBus, [&raised] { ++raised; });
        QVERIFY(appBus.isPublished());
        BluetoothManager& window = *app.bluetooth();
        QTRY_COMPARE(window.connectionState(), ConnectionState::disconnected);

        // A second start finds the window and brings it to the front.
        QVERIFY(ChairBus::activateRunning(sessionBus));
        QCOMPARE(raised, 1);

        // Before a chair is linked a control is refused by name, and the tool says so.
        QDBusMessage setLeg = QDBusMessage::createMethodCall(
            QStringLiteral("app.velnora.VelnoraDesktop"), QStringLiteral("/app/velnora/Chair"),
            ChairControl::interfaceName, QStringLiteral("SetLeg"));
        setLeg << QStringLiteral("left") << false;
        const QDBusPendingCall refused =
            QDBusConnection::connectToBus(sessionAddress, QStringLiteral("script"))
                .asyncCall(setLeg);
        QTRY_VERIFY(refused.isFinished()); // the window answers from this test's event loop
        QCOMPARE(refused.error().name(), QStringLiteral("app.velnora.Error.NotConnected"));
        const CtlResult notLinked =
            ctl({QStringLiteral("leg"), QStringLiteral("left"), QStringLiteral("down")});
        QCOMPARE(notLinked.exitCode, 3);
        QVERIFY2(notLinked.err.startsWith(QStringLiteral("velnora-ctl: ")),
                 qPrintable(notLinked.err));

        // The tool scans and connects the window's link.
        CtlResult scan =
            ctl({QStringLiteral("scan"), QStringLiteral("--timeout"), QStringLiteral("3")});
        QCOMPARE(scan.exitCode, 0);
        QVERIFY2(scan.out.contains(chairName), qPrintable(scan.out + scan.err));
        QCOMPARE(ctl({QStringLiteral("connect"), chairName}).exitCode, 0);
        QCOMPARE(window.connectionState(), ConnectionState::ready);

        // A command changes the window's state, once the chair has confirmed it.
        QVERIFY(window.leftLegUp());
        QCOMPARE(
            ctl({QStringLiteral("leg"), QStringLiteral("left"), QStringLiteral("down")}).exitCode,
            0);
        QTRY_VERIFY(!window.leftLegUp());
        QCOMPARE(ctl({QStringLiteral("period"), QStringLiteral("7.5")}).exitCode, 0);
        QCOMPARE(window.autoPeriodMinutes(), 7.5);

        // A click in the window shows in watch.
        QProcess watch;
        watch.setProcessEnvironment(ctlEnvironment());
        watch.start(QStringLiteral(VELNORA_CTL),
                    {QStringLiteral("watch"), QStringLiteral("--json")});
        QVERIFY(watch.waitForStarted(5000));
        QTest::qWait(1000); // until it has subscribed
        QmlHarness ui;
        QVERIFY2(ui.load(QStringLiteral("ControlsTab.qml"),
                         {{QStringLiteral("bluetooth"), QVariant::fromValue(&window)}}),
                 qPrintable(ui.errors()));
        ui.click(ui.byName(QStringLiteral("leftLegButton")));
        QString watched;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (watched += QString::fromUtf8(watch.readAllStandardOutput()))
                .contains(QLatin1String("\"LeftLegUp\":true")),
            qPrintable(watched + QString::fromUtf8(watch.readAllStandardError())), 10000);
        watch.terminate();
        QVERIFY(watch.waitForFinished(5000));

        // Refusals name what is wrong and change nothing.
        QDBusMessage wrongLeg =
            QDBusMessage::createMethodCall(ChairBus::serviceName, ChairBus::chairPath,
                                           ChairControl::interfaceName, QStringLiteral("SetLeg"));
        wrongLeg << QStringLiteral("middle") << true;
        const QDBusMessage answer = sessionBus.call(wrongLeg);
        QCOMPARE(answer.errorName(), ControlErrors::invalidArgument);
        QCOMPARE(ctl({QStringLiteral("strength"), QStringLiteral("80")}).exitCode, 2);
        QVERIFY(window.motorStrength() != 80);

        // The tool lets the window's chair go; then there is nothing to drive.
        QCOMPARE(ctl({QStringLiteral("disconnect")}).exitCode, 0);
        QTRY_COMPARE(window.connectionState(), ConnectionState::disconnected);
        const CtlResult none = ctl({QStringLiteral("leg"), QStringLiteral("left")});
        QCOMPARE(none.exitCode, 3);
        QVERIFY(!none.err.isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("window-session"));
    }

private:
    QProcessEnvironment ctlEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionAddress);
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        return env;
    }

    // Runs the tool while this process goes on answering its calls.
    CtlResult ctl(const QStringList& args)
    {
        QProcess process;
        process.setProcessEnvironment(ctlEnvironment());
        process.start(QStringLiteral(VELNORA_CTL), args);
        if (!process.waitForStarted(5000))
            return {};
        QDeadlineTimer deadline(60000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    VirtualChairBus bus;
    QProcess session;
    QString sessionAddress;
    QTemporaryDir config;
};

QTEST_MAIN(AppBusTest)
#include "tst_app_bus.moc"
