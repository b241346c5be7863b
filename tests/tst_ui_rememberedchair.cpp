// The remembered chair on the real QML: the wait for it and its Cancel, Try again on the
// disconnected screen, and the settings row that turns the automatic connect off and forgets it.
#include "ScreenFixture.h"

#include <QtTest>

using namespace std::chrono_literals;

class UiRememberedChairTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theWaitCanBeCancelledAndTriedAgain()
    {
        ScreenFixture s;
        auto chair = s.f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        s.f.settings.rememberChair({chair->radioAddress, chair->name()});
        s.load("ContentView.qml", {"bluetooth", "settings", "services"});
        s.bluetooth().connectRememberedChair();
        QTRY_VERIFY(s.shows("Connecting to Velnora Pro 2…"));
        s.ui.click(s.item("cancelButton"));
        QCOMPARE(s.f.state(), ConnectionState::disconnected);
        QTRY_VERIFY(s.item("tryAgainButton"));
        QVERIFY(s.shows("Velnora Pro 2"));

        s.focus(s.item("tryAgainButton"));
        s.ui.press(Qt::Key_Space);
        QCOMPARE(s.f.state(), ConnectionState::connecting);
        QTRY_VERIFY(s.shows("Connecting to Velnora Pro 2…"));
        s.f.central->advertise(chair, chair->name(), -50);
        s.f.central->flush();
        QTRY_VERIFY(s.item("connectedView"));
    }

    void theSettingsRowTurnsOffAndForgets()
    {
        ScreenFixture s;
        s.f.connectChair(s.f.central->makeChair(QStringLiteral("Velnora Pro 3")));
        s.load("SettingsView.qml");
        QVERIFY(s.item("thisChairSection")->isVisible());
        QCOMPARE(s.shown("rememberedChairNameText", "text").toString(),
                 QStringLiteral("Velnora Pro 3"));
        s.focus(s.item("connectAutomaticallyToggle"));
        s.ui.press(Qt::Key_Space);
        QVERIFY(!s.f.settings.connectAutomatically());
        QCOMPARE(s.shown("connectAutomaticallyToggle", "isOn").toBool(), false);

        s.focus(s.item("forgetChairButton")); // the list scrolls it into view
        s.ui.press(Qt::Key_Space);
        QVERIFY(!s.f.settings.hasRememberedChair());
        QVERIFY(!s.item("thisChairSection")); // only visible items are found
        QCOMPARE(s.f.state(), ConnectionState::ready); // forgetting is no disconnect
    }
};

QTEST_MAIN(UiRememberedChairTest)
#include "tst_ui_rememberedchair.moc"
