// What the program remembers between runs, and who hears about a change.
#include "Settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class SettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesSurviveARestart()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        {
            Settings settings(file);
            settings.setAcceptedTermsVersion(QStringLiteral("1.0"));
            settings.setAnalyticsUserEmail(QStringLiteral("rider@example.com"));
            settings.setUserDisplayName(QStringLiteral("Ana Lúcia"));
            settings.setDebugModeActive(true);
            settings.setDebugChairSerial(QStringLiteral("VP-0042"));

            // On disk at the moment of the change, not at exit.
            QFile onDisk(file);
            QVERIFY(onDisk.open(QIODevice::ReadOnly));
            const QByteArray text = onDisk.readAll();
            QVERIFY(text.contains("rider@example.com"));
            QVERIFY(text.contains("VP-0042"));
        }
        Settings restarted(file);
        QCOMPARE(restarted.acceptedTermsVersion(), QStringLiteral("1.0"));
        QCOMPARE(restarted.analyticsUserEmail(), QStringLiteral("rider@example.com"));
        QCOMPARE(restarted.registeredEmail(), QStringLiteral("rider@example.com"));
        QCOMPARE(restarted.userDisplayName(), QStringLiteral("Ana Lúcia"));
        QCOMPARE(restarted.debugModeActive(), true);
        QCOMPARE(restarted.debugChairSerial(), QStringLiteral("VP-0042"));
    }

    void eachRealChangeIsAnnouncedOnce()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.ini")));
        QSignalSpy terms(&settings, &Settings::acceptedTermsVersionChanged);
        QSignalSpy email(&settings, &Settings::analyticsUserEmailChanged);
        QSignalSpy name(&settings, &Settings::userDisplayNameChanged);
        QSignalSpy debugMode(&settings, &Settings::debugModeActiveChanged);
        QSignalSpy debugSerial(&settings, &Settings::debugChairSerialChanged);
        const auto counts = [&] {
            return QList<qsizetype>{terms.count(), email.count(), name.count(), debugMode.count(),
                                    debugSerial.count()};
        };

        // Writing what is already there (here: the defaults) is no change.
        settings.setDebugModeActive(false);
        settings.setDebugChairSerial(QString());
        settings.setUserDisplayName(QString());
        QCOMPARE(counts(), (QList<qsizetype>{0, 0, 0, 0, 0}));

        settings.setAcceptedTermsVersion(QStringLiteral("1.0"));
        QCOMPARE(counts(), (QList<qsizetype>{1, 0, 0, 0, 0}));
        settings.setAnalyticsUserEmail(QStringLiteral("rider@example.com"));
        settings.setAnalyticsUserEmail(QStringLiteral("rider@example.com"));
        QCOMPARE(counts(), (QList<qsizetype>{1, 1, 0, 0, 0}));
        settings.setUserDisplayName(QStringLiteral("Ana"));
        settings.setDebugModeActive(true);
        settings.setDebugModeActive(true);
        settings.setDebugChairSerial(QStringLiteral("VP-0042"));
        QCOMPARE(counts(), (QList<qsizetype>{1, 1, 1, 1, 1}));

        settings.setAnalyticsUserEmail(QStringLiteral("other@example.com"));
        settings.setDebugModeActive(false);
        settings.setUserDisplayName(QString());
        QCOMPARE(counts(), (QList<qsizetype>{1, 2, 2, 2, 1}));
        QCOMPARE(settings.userDisplayName(), QString());
    }

    void placeholderAddressIsNoEmail()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.ini")));
        QSignalSpy registered(&settings, &Settings::analyticsUserEmailChanged);

        settings.setAnalyticsUserEmail(Settings::placeholderAdminEmail);
        QCOMPARE(settings.analyticsUserEmail(), QStringLiteral("admin@velnora.app"));
        QCOMPARE(settings.registeredEmail(), QString());
        settings.setAnalyticsUserEmail(QStringLiteral("rider@example.com"));
        QCOMPARE(settings.registeredEmail(), QStringLiteral("rider@example.com"));
        QCOMPARE(registered.count(), 2);
        // Only the exact address is the placeholder.
        settings.setAnalyticsUserEmail(QStringLiteral("admin@velnora.app.example"));
        QCOMPARE(settings.registeredEmail(), QStringLiteral("admin@velnora.app.example"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
