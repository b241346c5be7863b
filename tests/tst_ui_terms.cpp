// The terms gate on the real QML: what a first start shows, the e-mail check when the user
// accepts, what accept stores, that decline stores nothing, that a later start goes straight
// in, and the privacy policy the agreement links to.
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
    Program()
        : settings(dir.filePath(QStringLiteral("settings.ini")))
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
    bool open()
    {
        return ui.load(QStringLiteral("MainWindow.qml"),
                       {{QStringLiteral("app"), QVariant::fromValue(app.get())},
                        {QStringLiteral("services"), QVariant::fromValue(&services)}});
    }
    QQuickItem* item(const char* name) const { return ui.byName(QString::fromLatin1(name)); }
    void typeInto(const char* name, const QString& text)
    {
        ui.click(item(name));
        ui.type(text);
    }

    QTemporaryDir dir;
    ManualScheduler scheduler;
    ManualClock clock;
    Settings settings;
    ScreenServices services;
    std::unique_ptr<VelnoraDesktopApp> app;
    QmlHarness ui;
    int managersMade = 0;
    int quits = 0;
};

} // namespace

class UiTermsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartAcceptsAValidAddressOnly()
    {
        Program p;
        QVERIFY(p.open());
        QVERIFY(p.ui.shows(QStringLiteral("Terms of Service")));
        QVERIFY(p.ui.shows(QStringLiteral("VELNORA SOFTWARE TERMS OF SERVICE")));
        QCOMPARE(p.ui.window().size(), QSize(420, 660)); // the terms are taller than the root
        QCOMPARE(p.managersMade, 0); // nothing scans before the terms are accepted
        QQuickItem* accept = p.item("acceptButton");
        QVERIFY(accept);
        QCOMPARE(accept->opacity(), 0.5);
        QVERIFY(!p.item("emailError"));

        // Accept with nothing typed shows the error and stays; the error goes once the address
        // is good.
        p.ui.click(accept);
        QTRY_VERIFY(p.ui.shows(QStringLiteral("Please enter a valid email address to continue.")));
        QCOMPARE(p.settings.acceptedTermsVersion(), QString());
        p.typeInto("emailField", QStringLiteral("  sam@localhost"));
        QVERIFY(p.item("emailError"));
        // The privacy policy the agreement links to leaves what was typed alone.
        p.ui.click(p.item("privacyPolicyLink"));
        QTRY_VERIFY(p.ui.shows(QStringLiteral("VELNORA PRIVACY POLICY")));
        p.ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!p.ui.shows(QStringLiteral("VELNORA PRIVACY POLICY")));
        p.typeInto("emailField", QStringLiteral(".lan  "));
        QTRY_VERIFY(!p.item("emailError"));
        QCOMPARE(accept->opacity(), 1.0);
        p.typeInto("displayNameField", QStringLiteral("   "));

        p.ui.click(accept);
        QCOMPARE(p.settings.analyticsUserEmail(), QStringLiteral("sam@localhost.lan"));
        QCOMPARE(p.settings.userDisplayName(), QString());
        QCOMPARE(p.settings.acceptedTermsVersion(), QStringLiteral("1.0"));
        QTRY_VERIFY(p.item("contentView"));
        QCOMPARE(p.ui.window().size(), QSize(420, 640));
        QCOMPARE(p.managersMade, 1);
        QVERIFY(p.ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));

        // The session holds even if the stored version goes away.
        p.settings.setAcceptedTermsVersion(QString());
        QTest::qWait(50);
        QVERIFY(p.item("contentView"));
    }

    void declineQuitsAndStoresNothing()
    {
        Program p;
        p.settings.setAnalyticsUserEmail(QStringLiteral("admin@velnora.app"));
        QVERIFY(p.open());
        // The placeholder administrator address is no address.
        QCOMPARE(p.item("emailField")->property("text").toString(), QString());
        p.typeInto("emailField", QStringLiteral("sam@example.com"));
        p.ui.click(p.item("declineButton"));
        QCOMPARE(p.quits, 1);
        QCOMPARE(p.settings.analyticsUserEmail(), QStringLiteral("admin@velnora.app"));
        QCOMPARE(p.settings.acceptedTermsVersion(), QString());
        QCOMPARE(p.managersMade, 0);
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
        Program p;
        p.settings.setAcceptedTermsVersion(stored);
        QVERIFY(p.open());
        QCOMPARE(p.item("contentView") != nullptr, skips);
        QCOMPARE(p.ui.shows(QStringLiteral("Terms of Service")), !skips);
    }
};

QTEST_MAIN(UiTermsTest)
#include "tst_ui_terms.moc"
