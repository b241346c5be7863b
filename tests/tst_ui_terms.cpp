// The terms gate on the real QML: what a first start shows, the e-mail check as the user types,
// what accept stores, that decline stores nothing, and that a later start goes straight in.
#include "BluetoothManager.h"
#include "Clock.h"
#include "FakeBleCentral.h"
#include "QmlHarness.h"
#include "Scheduler.h"
#include "ScreenServices.h"
#include "Settings.h"
#include "VelnoraDesktopApp.h"

#include <QtTest>

namespace {

// The program's window on a settings file of its own and a fake radio.
struct Program {
    explicit Program(const QString& settingsFile)
        : settings(settingsFile)
        , services(scheduler, clock, settings)
    {
        app = std::make_unique<VelnoraDesktopApp>(
            settings,
            [this] {
                ++managersMade;
                return std::make_unique<BluetoothManager>(std::make_unique<FakeBleCentral>(),
                                                          scheduler, clock, settings);
            },
            [this] { ++quits; });
    }
    bool open(QmlHarness& ui)
    {
        if (ui.load(QStringLiteral("MainWindow.qml"),
                    {{QStringLiteral("app"), QVariant::fromValue(app.get())},
                     {QStringLiteral("services"), QVariant::fromValue(&services)}}))
            return true;
        qWarning().noquote() << ui.errors();
        return false;
    }

    ManualScheduler scheduler;
    ManualClock clock;
    Settings settings;
    ScreenServices services;
    std::unique_ptr<VelnoraDesktopApp> app;
    int managersMade = 0;
    int quits = 0;
};

} // namespace

class UiTermsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartAcceptsAValidAddressOnly()
    {
        QTemporaryDir dir;
        Program program(dir.filePath(QStringLiteral("settings.ini")));
        QmlHarness ui;
        QVERIFY(program.open(ui));
        QVERIFY(ui.shows(QStringLiteral("Terms of Service")));
        QVERIFY(ui.shows(QStringLiteral("VELNORA SOFTWARE TERMS OF SERVICE")));
        QCOMPARE(ui.window().size(), QSize(420, 660)); // the terms are taller than the root
        QCOMPARE(program.managersMade, 0); // nothing scans before the terms are accepted
        QQuickItem* accept = ui.byName(QStringLiteral("acceptButton"));
        QVERIFY(accept);
        QCOMPARE(accept->opacity(), 0.5);
        QVERIFY(!ui.byName(QStringLiteral("emailError")));

        // Accept with nothing typed shows the error and stays.
        ui.click(accept);
        QTRY_VERIFY(ui.byName(QStringLiteral("emailError")));
        QVERIFY(ui.shows(QStringLiteral("Please enter a valid email address to continue.")));
        QCOMPARE(program.settings.acceptedTermsVersion(), QString());

        ui.click(ui.byName(QStringLiteral("emailField")));
        ui.type(QStringLiteral("  sam@localhost"));
        QVERIFY(ui.byName(QStringLiteral("emailError")));
        ui.type(QStringLiteral(".lan  "));
        QTRY_VERIFY(!ui.byName(QStringLiteral("emailError")));
        QCOMPARE(accept->opacity(), 1.0);
        ui.click(ui.byName(QStringLiteral("displayNameField")));
        ui.type(QStringLiteral("   "));

        ui.click(accept);
        QCOMPARE(program.settings.analyticsUserEmail(), QStringLiteral("sam@localhost.lan"));
        QCOMPARE(program.settings.userDisplayName(), QString());
        QCOMPARE(program.settings.acceptedTermsVersion(), QStringLiteral("1.0"));
        QTRY_VERIFY(ui.byName(QStringLiteral("contentView")));
        QCOMPARE(ui.window().size(), QSize(420, 640));
        QCOMPARE(program.managersMade, 1);
        QVERIFY(ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));

        // The session holds even if the stored version goes away.
        program.settings.setAcceptedTermsVersion(QString());
        QTest::qWait(50);
        QVERIFY(ui.byName(QStringLiteral("contentView")));
    }

    void declineQuitsAndStoresNothing()
    {
        QTemporaryDir dir;
        Program program(dir.filePath(QStringLiteral("settings.ini")));
        program.settings.setAnalyticsUserEmail(QStringLiteral("admin@velnora.app"));
        QmlHarness ui;
        QVERIFY(program.open(ui));
        // The placeholder administrator address is no address.
        QCOMPARE(ui.byName(QStringLiteral("emailField"))->property("text").toString(), QString());
        ui.click(ui.byName(QStringLiteral("emailField")));
        ui.type(QStringLiteral("sam@example.com"));
        ui.click(ui.byName(QStringLiteral("declineButton")));
        QCOMPARE(program.quits, 1);
        QCOMPARE(program.settings.analyticsUserEmail(), QStringLiteral("admin@velnora.app"));
        QCOMPARE(program.settings.acceptedTermsVersion(), QString());
        QCOMPARE(program.managersMade, 0);
    }

    void onlyTheRequiredVersionSkipsTheTerms_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("skips");
        QTest::newRow("1.0") << QStringLiteral("1.0") << true;
        QTest::newRow("1.0.0") << QStringLiteral("1.0.0") << false;
        QTest::newRow("0.9") << QStringLiteral("0.9") << false;
    }
    void onlyTheRequiredVersionSkipsTheTerms()
    {
        QFETCH(QString, stored);
        QFETCH(bool, skips);
        QTemporaryDir dir;
        Program program(dir.filePath(QStringLiteral("settings.ini")));
        program.settings.setAcceptedTermsVersion(stored);
        QmlHarness ui;
        QVERIFY(program.open(ui));
        QCOMPARE(ui.byName(QStringLiteral("contentView")) != nullptr, skips);
        QCOMPARE(ui.shows(QStringLiteral("Terms of Service")), !skips);
    }

    void privacySheetOpensFromTheAgreementAndCloses()
    {
        QTemporaryDir dir;
        Program program(dir.filePath(QStringLiteral("settings.ini")));
        QmlHarness ui;
        QVERIFY(program.open(ui));
        ui.click(ui.byName(QStringLiteral("emailField")));
        ui.type(QStringLiteral("sam@"));
        ui.click(ui.byName(QStringLiteral("privacyPolicyLink")));
        QTRY_VERIFY(ui.shows(QStringLiteral("VELNORA PRIVACY POLICY")));
        ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!ui.shows(QStringLiteral("VELNORA PRIVACY POLICY")));
        QCOMPARE(ui.byName(QStringLiteral("emailField"))->property("text").toString(),
                 QStringLiteral("sam@"));
    }
};

QTEST_MAIN(UiTermsTest)
#include "tst_ui_terms.moc"
