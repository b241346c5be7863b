// The remembered chair on the real QML: Cancel and Try again on the root screen, and the
// settings card's switch and Forget, all from the keyboard. (What a reader hears of these
// screens: tst_accessibility.)
#include "ScreenFixture.h"

#include <QtTest>

class UiRememberedChairTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cancelAndTryAgain()
    {
        ScreenFixture s;
        auto chair = s.f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        s.f.settings.rememberChair({chair->radioAddress, chair->name()});
        s.load("ContentView.qml", {"bluetooth", "settings", "services"});
        s.bluetooth().connectRememberedChair();
        QTRY_VERIFY(s.shows("Connecting to Velnora Pro 2…"));
        s.ui.click(s.item("cancelButton"));
        QTRY_VERIFY(s.shows("Velnora Pro 2"));
        s.focus(s.item("tryAgainButton"));
        s.ui.press(Qt::Key_Space);
        QTRY_VERIFY(s.shows("Connecting to Velnora Pro 2…"));
        s.f.central->advertise(chair, chair->name(), -50);
        s.f.central->flush();
        QCOMPARE(s.f.state(), ConnectionState::ready);
    }

    void theSettingsCardSwitchesOffAndForgets()
    {
        ScreenFixture s;
        s.f.connectChair();
        s.load("SettingsView.qml");
        for (const char* control : {"connectAutomaticallyToggle", "forgetChairButton"}) {
            s.focus(s.item(control)); // the list scrolls it into view
            s.ui.press(Qt::Key_Space);
        }
        QVERIFY(!s.f.settings.connectAutomatically());
        QVERIFY(!s.f.settings.hasRememberedChair());
        QVERIFY(!s.item("thisChairSection"));          // gone with the chair
        QCOMPARE(s.f.state(), ConnectionState::ready); // forgetting is no disconnect
    }
};

QTEST_MAIN(UiRememberedChairTest)
#include "tst_ui_rememberedchair.moc"
