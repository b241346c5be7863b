// The connected screen on the real QML: each control of the Controls tab reaches the chair (by
// mouse, keyboard and a screen reader's action), the screen shows what the chair reports, the
// interval slider writes once per gesture, the sleeping screen and its wake button, the offline
// banner and the tab bar.
#include "ScreenFixture.h"

#include <QAccessible>
#include <QPointer>
#include <QtTest>

using namespace std::chrono_literals;
using namespace ChairProfile;

namespace {

// A ready chair and its connected screen.
struct Connected : ScreenFixture {
    Connected()
    {
        chair = f.connectChair();
        load("ConnectedView.qml");
    }
    using ScreenFixture::sliderPoint;
    QPoint sliderPoint(double minutes) const { return sliderPoint("intervalSlider", minutes); }
};

} // namespace

class UiConnectedTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The request goes to the chair; what shows is what the chair then reports.
    void eachControlReachesTheChair_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("how"); // click, Space, or a screen reader's action
        QTest::addColumn<QBluetoothUuid>("characteristic");
        QTest::addColumn<QByteArray>("value");
        const QString press = QAccessibleActionInterface::pressAction();
        QTest::newRow("left leg") << "leftLegButton"
                                  << "click" << chairToggleUUID << bytes({0});
        QTest::newRow("right leg, reader")
            << "rightLegButton" << press << chairToggleUUID << bytes({1});
        QTest::newRow("switch") << "autoModeToggle"
                                << "click" << autoModeUUID << bytes({1});
        QTest::newRow("switch, Space") << "autoModeToggle"
                                       << "Space" << autoModeUUID << bytes({1});
        QTest::newRow("switch, reader")
            << "autoModeToggle" << QAccessibleActionInterface::toggleAction() << autoModeUUID
            << bytes({1});
        QTest::newRow("pattern") << "patternSegment2"
                                 << "click" << autoModeSelectorUUID << bytes({2});
        QTest::newRow("pattern, reader")
            << "patternSegment1" << press << autoModeSelectorUUID << bytes({1});
        QTest::newRow("disconnect, reader")
            << "disconnectButton" << press << QBluetoothUuid() << QByteArray();
    }
    void eachControlReachesTheChair()
    {
        QFETCH(QString, control);
        QFETCH(QString, how);
        QFETCH(QBluetoothUuid, characteristic);
        QFETCH(QByteArray, value);
        Connected s;
        QTRY_VERIFY(s.item(control));
        QQuickItem* target = s.item(control);
        if (how == u"click") {
            s.ui.click(target);
        } else if (how == u"Space") {
            s.focus(target);
            s.ui.press(Qt::Key_Space);
        } else {
            QAccessible::queryAccessibleInterface(target)->actionInterface()->doAction(how);
        }
        s.f.central->flush();
        if (characteristic.isNull())
            QCOMPARE(s.f.state(), ConnectionState::disconnected);
        else
            QCOMPARE(s.writes(characteristic), QList<QByteArray>{value});
    }

    void theScreenShowsWhatTheChairReports()
    {
        Connected s;
        QTRY_VERIFY(s.item("leftLegButton"));
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Up"));
        QCOMPARE(s.shown("leftLegButton", "iconName").toString(),
                 QStringLiteral("arrow.down.circle.fill"));
        s.ui.click(s.item("leftLegButton"));
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Up"));
        s.f.report(*s.chair, chairStateUUID, bytes({0x01, 0x00, 0x00}));
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Down"));
        QCOMPARE(s.shown("leftLegButton", "iconName").toString(),
                 QStringLiteral("arrow.up.circle.fill"));
        QCOMPARE(s.shown("rightLegButton", "statusText").toString(), QStringLiteral("Up"));

        // Automatic mode: off, the title starts at the card's edge; on, the ring stands before it.
        QQuickItem* card = s.item("autoModeCard");
        QQuickItem* title = s.item("autoModeTitle");
        QVERIFY(!s.item("countdownRing"));
        QCOMPARE(title->mapToItem(card, QPointF(0, 0)).x(), 16.0);
        s.f.report(*s.chair, autoModeUUID, bytes({0x01}));
        QTRY_VERIFY(s.item("countdownRing"));
        QVERIFY(s.shown("autoModeToggle", "isOn").toBool());
        QVERIFY(s.writes(autoModeUUID).isEmpty());
        QTRY_VERIFY(title->mapToItem(card, QPointF(0, 0)).x() > 16.0 + 48.0);
        QCOMPARE(s.shown("countdownRing", "total").toDouble(), 300.0);
        s.f.report(*s.chair, timeToNextTransitionUUID, floatBytes(150.4f));
        QCOMPARE(s.shown("countdownText", "text").toString(), QStringLiteral("2:30"));
        QTRY_COMPARE(s.shown("countdownRing", "shownProgress").toDouble(), 0.5); // it glides there
        s.f.report(*s.chair, timeToNextTransitionUUID, floatBytes(10.0f));
        s.f.advance(5s); // the local tick counts down between polls
        QCOMPARE(s.shown("countdownText", "text").toString(), QStringLiteral("0:05"));
        QCOMPARE(s.shown("countdownRing", "arcColorName").toString(), QStringLiteral("red"));
        s.ui.click(s.item("autoModeToggle"));
        QCOMPARE(s.writes(autoModeUUID), QList<QByteArray>{bytes({0x00})});
        QTRY_VERIFY(!s.item("countdownRing"));

        // The pattern and its description; a pattern the table does not know shows neither.
        s.f.report(*s.chair, autoModeSelectorUUID, bytes({0x01}));
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), 1);
        QVERIFY(s.ui.shows(QStringLiteral("Alternate legs in Stilta")));
        s.f.report(*s.chair, autoModeSelectorUUID, bytes({0x07}));
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), -1);
        QCOMPARE(s.shown("patternDescription", "text").toString(), QString());
        // The user's choice shows at once, before the chair answers.
        s.ui.click(s.item("patternSegment2"));
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), 2);
        QVERIFY(s.ui.shows(QStringLiteral("Try them all: Sit, stilta, stand...and repeat!")));
    }

    // One write per gesture: a key step, a click on the track, a drag (during which the chair's
    // own value is held off); the wheel changes nothing.
    void theIntervalSliderWritesOncePerGesture()
    {
        Connected s;
        QTRY_VERIFY(s.item("intervalSlider"));
        QWindow* window = &s.ui.window();
        s.focus(s.item("intervalSlider"));
        s.ui.press(Qt::Key_Right);
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{u32Bytes(310)});
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("5 min 10s"));
        QVERIFY(!s.bluetooth().isEditingPeriod());

        s.f.central->clearCalls();
        const QPointF centre = s.sliderPoint(5.0);
        QWheelEvent wheel(centre, window->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(window, &wheel);
        QCOMPARE(s.bluetooth().autoPeriodMinutes(), 31.0 / 6.0);
        QTest::qWait(30);
        QTest::mouseClick(window, Qt::LeftButton, {}, s.sliderPoint(8.0));
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{u32Bytes(480)});

        s.f.central->clearCalls();
        QTest::qWait(30);
        QTest::mousePress(window, Qt::LeftButton, {}, s.sliderPoint(8.0));
        QVERIFY(s.bluetooth().isEditingPeriod());
        for (int sixth = 47; sixth >= 45; --sixth)
            QTest::mouseMove(window, s.sliderPoint(sixth / 6.0));
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("7 min 30s"));
        s.f.report(*s.chair, autoPeriodUUID, u32Bytes(600));
        QCOMPARE(s.bluetooth().autoPeriodMinutes(), 7.5);
        QVERIFY(s.writes(autoPeriodUUID).isEmpty());
        QTest::mouseRelease(window, Qt::LeftButton, {}, s.sliderPoint(7.5));
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{u32Bytes(450)});
        QVERIFY(!s.bluetooth().isEditingPeriod());
        // Let go, the slider follows the chair again.
        s.f.report(*s.chair, autoPeriodUUID, u32Bytes(90));
        QCOMPARE(s.shown("intervalSlider", "value").toDouble(), 1.5);
    }

    // Mid-drag, or with an arrow key still held, when the chair falls asleep.
    void aTabTakenDownMidDragEndsTheDrag_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<bool>("byKey");
        for (const char* slider : {"intervalSlider", "motorStrengthSlider"}) {
            QTest::addRow("%s, drag", slider) << QString::fromLatin1(slider) << false;
            QTest::addRow("%s, key held", slider) << QString::fromLatin1(slider) << true;
        }
    }
    void aTabTakenDownMidDragEndsTheDrag()
    {
        QFETCH(QString, slider);
        QFETCH(bool, byKey);
        const bool isVibration = slider.startsWith(u"motor");
        Connected s;
        if (isVibration)
            s.ui.click(s.item("settingsTabButton"));
        QTRY_VERIFY(s.item(slider));
        QPointer<QQuickItem> handled = s.item(slider);
        QWindow* window = &s.ui.window();
        const QByteArray name = slider.toLatin1();
        const double from = handled->property("value").toDouble();
        const QPoint letGo = s.sliderPoint(name.constData(), from + 1);
        if (byKey) {
            s.focus(handled);
            QTest::keyPress(window, Qt::Key_Right);
        } else {
            QTest::qWait(30);
            QTest::mousePress(window, Qt::LeftButton, {}, s.sliderPoint(name.constData(), from));
            QTest::mouseMove(window, letGo);
        }
        const auto isEditing = [&] {
            return isVibration ? s.bluetooth().isEditingMotor() : s.bluetooth().isEditingPeriod();
        };
        QVERIFY(isEditing());
        const QBluetoothUuid written = isVibration ? leftMotorSoundUUID : autoPeriodUUID;
        QVERIFY(s.writes(written).isEmpty());

        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        QTRY_VERIFY(handled.isNull());
        QVERIFY(!isEditing());
        const QByteArray value =
            isVibration ? bytes({int(s.bluetooth().motorStrength())})
                        : u32Bytes(quint32(std::lround(s.bluetooth().autoPeriodMinutes() * 60)));
        QCOMPARE(s.writes(written), QList<QByteArray>{value});
        if (byKey)
            QTest::keyRelease(window, Qt::Key_Right);
        else
            QTest::mouseRelease(window, Qt::LeftButton, {}, letGo);
        QCOMPARE(s.writes(written).size(), 1);
    }

    void aSleepingChairShowsTheSleepingScreenAndCanBeWoken()
    {
        Connected s;
        QTRY_VERIFY(s.item("settingsTabButton"));
        s.ui.click(s.item("settingsTabButton"));
        QTRY_VERIFY(s.item("settingsView"));
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        // Both fade over one another, then only the sleeping screen is left; header and tab
        // bar stay.
        QTRY_VERIFY(s.item("sleepingView"));
        QTest::qWait(100);
        QVERIFY(s.item("settingsView"));
        QTRY_VERIFY(!s.item("settingsView"));
        QVERIFY(s.item("disconnectButton") && s.item("tabBar"));

        const QString confirmation =
            QStringLiteral("Wake signal sent — the chair should respond shortly.");
        QVERIFY(!s.ui.shows(confirmation));
        s.ui.click(s.item("wakeButton"));
        QCOMPARE(s.writes(autoModeUUID), QList<QByteArray>{bytes({0x01})});
        QVERIFY(s.ui.shows(confirmation)); // before the chair answers
        s.f.advance(1s);
        s.ui.click(s.item("wakeButton")); // every press sends the pulse again
        QCOMPARE(s.writes(autoModeUUID).size(), 3);
        // A tab chosen while asleep shows on waking.
        s.ui.click(s.item("analyticsTabButton"));
        QVERIFY(!s.item("analyticsLoader"));

        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x00}));
        QTRY_VERIFY(s.shown("analyticsLoader", "active").toBool());
        QTRY_VERIFY(!s.item("sleepingView"));
        // The next episode starts without the confirmation.
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        QTRY_VERIFY(s.item("sleepingView"));
        QVERIFY(!s.ui.shows(confirmation));
    }

    void theLettersRiseOneAfterAnotherAndAreHiddenAtTheirStart()
    {
        Connected s;
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        QTRY_VERIFY(s.item("floatingZ1"));
        QElapsedTimer clock;
        clock.start();
        QList<qint64> firstSeen(3, -1);
        bool hiddenAtStart = true;
        while (clock.elapsed() < 3500 && firstSeen.contains(-1)) {
            for (int i = 0; i < 3; ++i) {
                QQuickItem* letter = s.item(QStringLiteral("floatingZ%1").arg(i + 1));
                if (firstSeen[i] < 0 && letter->opacity() > 0.02)
                    firstSeen[i] = clock.elapsed();
                // Near its starting point a letter is (nearly) transparent.
                if (letter->property("yOffset").toDouble() > -1.0 && letter->opacity() > 0.1)
                    hiddenAtStart = false;
            }
            QTest::qWait(15);
        }
        QVERIFY2(!firstSeen.contains(-1), "a letter never showed");
        QVERIFY(hiddenAtStart);
        QVERIFY2(firstSeen[0] < 500, qPrintable(QString::number(firstSeen[0])));
        for (int i = 1; i < 3; ++i) {
            const qint64 gap = firstSeen[i] - firstSeen[i - 1];
            QVERIFY2(gap > 600 && gap < 1600, qPrintable(QString::number(gap)));
        }
    }

    void theBannerShowsWhileTheWifiGracePeriodRuns()
    {
        Connected s;
        QTRY_VERIFY(s.item("controlsTab"));
        QVERIFY(!s.item("offlineBanner"));
        s.f.report(*s.chair, wifiStatusUUID, bytes({5}));
        QTRY_VERIFY(s.item("offlineBanner")); // its time counting down: tst_accessibility
        QVERIFY(s.item("controlsTab"));       // over the controls, not instead of them
        s.f.report(*s.chair, wifiStatusUUID, bytes({4})); // online again
        QTRY_VERIFY(!s.item("offlineBanner"));
    }

    void theTabBarShowsEachTabAndRebuildsIt()
    {
        Connected s;
        QTRY_VERIFY(s.item("controlsTab"));
        QVERIFY(s.shown("controlsTabButton", "isSelected").toBool());
        QPointer<QQuickItem> firstControls = s.item("controlsTab");
        for (const char* tab : {"settings", "analytics", "controls"}) {
            s.ui.click(s.item(QLatin1String(tab) + QStringLiteral("TabButton")));
            QVERIFY(s.shown((QByteArray(tab) + "TabButton").constData(), "isSelected").toBool());
            QTRY_VERIFY(s.shown((QByteArray(tab) + "Loader").constData(), "active").toBool());
            // Built with the shared link and services.
            auto* built = s.item(QLatin1String(tab) + QStringLiteral("Loader"))
                              ->property("item")
                              .value<QQuickItem*>();
            QCOMPARE(built->property("bluetooth").value<QObject*>(), s.f.manager.get());
            if (QByteArray(tab) != "controls")
                QCOMPARE(built->property("services").value<QObject*>(), &s.services);
        }
        QVERIFY(firstControls.isNull()); // a tab switch takes the old tab down
        QVERIFY(!s.item("settingsView") && !s.item("analyticsTab"));
    }

    void nothingIsDrawnWhileNothingMoves()
    {
        Connected s;
        QTRY_VERIFY(s.item("controlsTab"));
        s.ui.click(s.item("rightLegButton"));
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x01, 0x00}));
        QTest::qWait(800); // the arrow's cross-fade ends
        int frames = 0;
        QObject::connect(&s.ui.window(), &QQuickWindow::frameSwapped, [&frames] { ++frames; });
        QTest::qWait(600);
        QCOMPARE(frames, 0);

        // The ring glides only while the countdown moves it.
        s.f.report(*s.chair, autoModeUUID, bytes({0x01}));
        s.f.report(*s.chair, timeToNextTransitionUUID, floatBytes(100.0f));
        QTRY_VERIFY(frames > 0);
    }
};

QTEST_MAIN(UiConnectedTest)
#include "tst_ui_connected.moc"
