// The computer's resume reaches the link through logind's PrepareForSleep signal; a private bus
// plays logind here.
#include "LogindSystemWake.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class SystemWakeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address")});
        if (!daemon.waitForStarted(5000))
            QSKIP("dbus-daemon is not installed");
        QVERIFY(daemon.waitForReadyRead(5000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        QVERIFY(!address.isEmpty());
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("wake"));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        daemon.kill();
        daemon.waitForFinished();
    }

    void onlyTheEndOfSleepIsAResume()
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("wake"));
        QDBusConnection logind = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
        QVERIFY(bus.isConnected());
        LogindSystemWake wake(bus);
        QVERIFY(wake.isListening());
        QSignalSpy resumed(&wake, &SystemWake::resumed);

        auto prepareForSleep = [&logind](bool goingToSleep) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << goingToSleep;
            QVERIFY(logind.send(signal));
        };
        prepareForSleep(true);
        QTest::qWait(200);
        QCOMPARE(resumed.count(), 0);
        prepareForSleep(false);
        QTRY_COMPARE(resumed.count(), 1);

        // The same member on another object is not logind.
        QDBusMessage other = QDBusMessage::createSignal(
            QStringLiteral("/elsewhere"), QStringLiteral("org.freedesktop.login1.Manager"),
            QStringLiteral("PrepareForSleep"));
        other << false;
        QVERIFY(logind.send(other));
        QTest::qWait(200);
        QCOMPARE(resumed.count(), 1);
    }

    void noBusMeansNoResumeAndNoFailure()
    {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/velnora-bus"), QStringLiteral("nowhere"));
        LogindSystemWake wake(nowhere);
        QVERIFY(!wake.isListening());
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
    }

private:
    QProcess daemon;
    QString address;
};

QTEST_GUILESS_MAIN(SystemWakeTest)
#include "tst_systemwake.moc"
