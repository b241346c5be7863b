// The connected screen on the real QML: what each control of the Controls tab writes to the
// chair, the interval slider's one write per committed change (and its shield against the
// chair's values while it is handled), the countdown ring, the sleeping screen and its wake
// button, the offline banner and the tab bar.
#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"

#include <QPointer>
#include <QtTest>

using namespace std::chrono_literals;
using namespace ChairProfile;

namespace {

// A ready chair and its connected screen.
struct Connected {
    Connected()
    {
        chair = f.connectChair();
        root = ui.load(QStringLiteral("ConnectedView.qml"),
                       {{QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get())},
                        {QStringLiteral("services"), QVariant::fromValue(&services)}});
        if (!root)
            qWarning().noquote() << ui.errors();
        f.central->clearCalls();
    }

    QQuickItem* item(const QString& name) const { return ui.byName(name); }
    QQuickItem* item(const char* name) const { return ui.byName(QString::fromLatin1(name)); }
    QVariant shown(const char* name, const char* property) const
    {
        QQuickItem* found = item(name);
        return found ? found->property(property) : QVariant();
    }
    QList<QByteArray> writes(const QBluetoothUuid& characteristic) const
    {
        return f.central->writesTo(characteristic);
    }
    BluetoothManager& bluetooth() const { return *f.manager; }

    // Where a slider's handle stands for a value, in the window.
    QPoint sliderPoint(const char* name, double value) const
    {
        QQuickItem* slider = item(name);
        auto* handle = slider->property("handle").value<QQuickItem*>();
        const double from = slider->property("from").toDouble();
        const double to = slider->property("to").toDouble();
        const double left = slider->property("leftPadding").toDouble();
        const double travel = slider->property("availableWidth").toDouble() - handle->width();
        const double x = left + (value - from) / (to - from) * travel + handle->width() / 2;
        return slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint();
    }
    QPoint sliderPoint(double minutes) const { return sliderPoint("intervalSlider", minutes); }
    void wheel(QQuickItem* target, int notches)
    {
        const QPointF at = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QWheelEvent event(at, ui.window().mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(&ui.window(), &event);
    }

    // A tab of another screen file, once that file is part of the module, is built with the
    // shared link and services.
    void verifyTabGetsTheLink(const char* tabName) const
    {
        QTRY_VERIFY(item(tabName));
        QObject* tab = item(tabName);
        QCOMPARE(tab->property("bluetooth").value<QObject*>(), f.manager.get());
        QCOMPARE(tab->property("services").value<QObject*>(), &services);
    }

    LinkFixture f;
    QSharedPointer<FakePeripheral> chair;
    ScreenServices services{f.scheduler, f.clock, f.settings};
    QmlHarness ui;
    QQuickItem* root = nullptr;
};

QByteArray periodBytes(quint32 seconds)
{
    return u32Bytes(seconds);
}

} // namespace

class UiConnectedTest : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void legButtonsAskTheChairAndShowWhatItReports()
    {
        Connected s;
        QVERIFY(s.root);
        QTRY_VERIFY(s.item("leftLegButton"));
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Up"));
        QCOMPARE(s.shown("leftLegButton", "iconName").toString(),
                 QStringLiteral("arrow.down.circle.fill"));

        s.ui.click(s.item("leftLegButton"));
        QCOMPARE(s.writes(chairToggleUUID), QList<QByteArray>{bytes({0x00})});
        s.ui.click(s.item("rightLegButton"));
        QCOMPARE(s.writes(chairToggleUUID), (QList<QByteArray>{bytes({0x00}), bytes({0x01})}));
        // Nothing changes until the chair says so.
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Up"));

        s.f.report(*s.chair, chairStateUUID, bytes({0x01, 0x00, 0x00}));
        QCOMPARE(s.shown("leftLegButton", "statusText").toString(), QStringLiteral("Down"));
        QCOMPARE(s.shown("leftLegButton", "iconName").toString(),
                 QStringLiteral("arrow.up.circle.fill"));
        QCOMPARE(s.shown("rightLegButton", "statusText").toString(), QStringLiteral("Up"));
        QVERIFY(s.ui.shows(QStringLiteral("Down")));
    }

    void autoToggleSwitchesAutomaticModeAndTheRingFollowsTheCountdown()
    {
        Connected s;
        QTRY_VERIFY(s.item("autoModeToggle"));
        // Off: no ring, and "Auto Mode" starts at the card's left edge.
        QVERIFY(!s.item("countdownRing"));
        QQuickItem* card = s.item("autoModeCard");
        QQuickItem* title = s.item("autoModeTitle");
        QCOMPARE(title->mapToItem(card, QPointF(0, 0)).x(), 16.0);

        s.ui.click(s.item("autoModeToggle"));
        QCOMPARE(s.writes(autoModeUUID), QList<QByteArray>{bytes({0x01})});
        QVERIFY(s.bluetooth().autoModeEnabled());
        QTRY_VERIFY(s.item("countdownRing"));
        QVERIFY(s.shown("autoModeToggle", "isOn").toBool());
        QCOMPARE(s.shown("countdownRing", "total").toDouble(), 300.0);
        QCOMPARE(s.shown("countdownText", "text").toString(), QStringLiteral("5:00"));
        QTRY_VERIFY(title->mapToItem(card, QPointF(0, 0)).x() > 16.0 + 48.0);

        s.f.report(*s.chair, timeToNextTransitionUUID, floatBytes(150.4f));
        QCOMPARE(s.shown("countdownText", "text").toString(), QStringLiteral("2:30"));
        QCOMPARE(s.shown("countdownRing", "progress").toDouble(), 0.5);
        QCOMPARE(s.shown("countdownRing", "arcColorName").toString(), QStringLiteral("green"));
        // The arc glides to its new length.
        QTRY_COMPARE(s.shown("countdownRing", "shownProgress").toDouble(), 0.5);

        s.f.report(*s.chair, timeToNextTransitionUUID, floatBytes(10.0f));
        QCOMPARE(s.shown("countdownRing", "arcColorName").toString(), QStringLiteral("orange"));
        s.f.advance(5s); // the local tick counts down between polls
        QCOMPARE(s.shown("countdownText", "text").toString(), QStringLiteral("0:05"));
        QCOMPARE(s.shown("countdownRing", "arcColorName").toString(), QStringLiteral("red"));

        s.ui.click(s.item("autoModeToggle"));
        QCOMPARE(s.writes(autoModeUUID), (QList<QByteArray>{bytes({0x01}), bytes({0x00})}));
        QTRY_VERIFY(!s.item("countdownRing"));
        QVERIFY(!s.shown("autoModeToggle", "isOn").toBool());

        // The chair switching it on shows the ring too, without a write of ours.
        s.f.report(*s.chair, autoModeUUID, bytes({0x01}));
        QTRY_VERIFY(s.item("countdownRing"));
        QCOMPARE(s.writes(autoModeUUID).size(), 2);
    }

    void toggleWorksFromTheKeyboard()
    {
        Connected s;
        QTRY_VERIFY(s.item("autoModeToggle"));
        s.ui.window().requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&s.ui.window()));
        s.item("autoModeToggle")->forceActiveFocus(Qt::TabFocusReason);
        s.ui.press(Qt::Key_Space);
        QCOMPARE(s.writes(autoModeUUID), QList<QByteArray>{bytes({0x01})});
    }

    void patternPickerWritesTheChosenPattern()
    {
        Connected s;
        QTRY_VERIFY(s.item("patternPicker"));
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), 0);
        QVERIFY(s.ui.shows(QStringLiteral("Transition directly between sitting and standing")));

        s.ui.click(s.item("patternSegment2"));
        QCOMPARE(s.writes(autoModeSelectorUUID), QList<QByteArray>{bytes({0x02})});
        // Shown at once, before the chair answers.
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), 2);
        QVERIFY(s.ui.shows(QStringLiteral("Try them all: Sit, stilta, stand...and repeat!")));

        s.f.report(*s.chair, autoModeSelectorUUID, bytes({0x01}));
        QVERIFY(s.ui.shows(QStringLiteral("Alternate legs in Stilta")));

        // A pattern the table does not know: no description, no segment, and the picker still
        // works.
        s.f.report(*s.chair, autoModeSelectorUUID, bytes({0x07}));
        QCOMPARE(s.shown("patternPicker", "currentIndex").toInt(), -1);
        QCOMPARE(s.shown("patternDescription", "text").toString(), QString());
        s.ui.click(s.item("patternSegment0"));
        QCOMPARE(s.writes(autoModeSelectorUUID), (QList<QByteArray>{bytes({0x02}), bytes({0x00})}));
        QCOMPARE(s.bluetooth().autoModePattern(), 0);
    }

    void aKeyboardStepOfTheSliderWritesTheIntervalOnce()
    {
        Connected s;
        QTRY_VERIFY(s.item("intervalSlider"));
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("5 min"));
        s.ui.window().requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&s.ui.window()));
        s.item("intervalSlider")->forceActiveFocus(Qt::TabFocusReason);

        s.ui.press(Qt::Key_Right);
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{periodBytes(310)});
        QCOMPARE(s.bluetooth().autoPeriodMinutes(), 31.0 / 6.0);
        QVERIFY(!s.bluetooth().isEditingPeriod());
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("5 min 10s"));

        s.ui.press(Qt::Key_Left);
        s.ui.press(Qt::Key_Left);
        QCOMPARE(s.writes(autoPeriodUUID),
                 (QList<QByteArray>{periodBytes(310), periodBytes(300), periodBytes(290)}));
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("4 min 50s"));
    }

    void theWheelLeavesTheIntervalAloneATrackClickWritesOnce()
    {
        Connected s;
        QTRY_VERIFY(s.item("intervalSlider"));
        s.wheel(s.item("intervalSlider"), 1);
        QCOMPARE(s.bluetooth().autoPeriodMinutes(), 5.0);
        QVERIFY(s.writes(autoPeriodUUID).isEmpty());

        QTest::qWait(30);
        QTest::mouseClick(&s.ui.window(), Qt::LeftButton, {}, s.sliderPoint(8.0));
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{periodBytes(480)});
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("8 min"));
        QVERIFY(!s.bluetooth().isEditingPeriod());
    }

    void aDragLabelsEveryStepShieldsTheFieldAndWritesOnceOnRelease()
    {
        Connected s;
        QTRY_VERIFY(s.item("intervalSlider"));
        QTest::qWait(30);
        QWindow* window = &s.ui.window();
        QTest::mousePress(window, Qt::LeftButton, {}, s.sliderPoint(5.0));
        QVERIFY(s.bluetooth().isEditingPeriod());

        QStringList labels;
        for (int sixth = 30; sixth <= 45; ++sixth) {
            QTest::mouseMove(window, s.sliderPoint(sixth / 6.0));
            const QString label = s.shown("intervalLabel", "text").toString();
            if (labels.isEmpty() || labels.last() != label)
                labels << label;
            if (sixth == 40) {
                // The chair's own value arrives mid-drag: dropped.
                s.f.report(*s.chair, autoPeriodUUID, periodBytes(600));
                QCOMPARE(s.bluetooth().autoPeriodMinutes(), 40.0 / 6.0);
            }
        }
        QCOMPARE(labels.first(), QStringLiteral("5 min"));
        QVERIFY(labels.contains(QStringLiteral("5 min 10s")));
        QVERIFY(labels.contains(QStringLiteral("6 min 30s")));
        QCOMPARE(labels.last(), QStringLiteral("7 min 30s"));
        QVERIFY(s.writes(autoPeriodUUID).isEmpty());
        QVERIFY(s.bluetooth().isEditingPeriod());

        QTest::mouseRelease(window, Qt::LeftButton, {}, s.sliderPoint(7.5));
        QCOMPARE(s.writes(autoPeriodUUID), QList<QByteArray>{periodBytes(450)});
        QVERIFY(!s.bluetooth().isEditingPeriod());
        QCOMPARE(s.bluetooth().autoPeriodMinutes(), 7.5);

        // Let go, the slider follows the chair again.
        s.f.report(*s.chair, autoPeriodUUID, periodBytes(90));
        QCOMPARE(s.shown("intervalLabel", "text").toString(), QStringLiteral("1 min 30s"));
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
        const QByteArray name = slider.toLatin1();
        const bool isVibration = slider.startsWith(u"motor");
        Connected s;
        if (isVibration)
            s.ui.click(s.item("settingsTabButton"));
        QTRY_VERIFY(s.item(name.constData()));
        QPointer<QQuickItem> handled = s.item(name.constData());
        QWindow* window = &s.ui.window();
        const double from = handled->property("value").toDouble();
        const QPoint letGo = s.sliderPoint(name.constData(), from + 1);
        if (byKey) {
            window->requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(window));
            handled->forceActiveFocus(Qt::TabFocusReason);
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
                        : periodBytes(quint32(std::lround(s.bluetooth().autoPeriodMinutes() * 60)));
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
        QTRY_VERIFY(s.item("controlsTab"));
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        QVERIFY(s.bluetooth().chairIsAsleep());
        // Both fade over one another, then only the sleeping screen is left.
        QTRY_VERIFY(s.item("sleepingView"));
        QTest::qWait(100);
        QVERIFY(s.item("controlsTab"));
        QTRY_VERIFY(!s.item("controlsTab"));
        QVERIFY(s.ui.shows(QStringLiteral("Velnora is resting now")));
        QVERIFY(s.ui.shows(QStringLiteral("Come back anytime!")));
        // The header and the tab bar stay.
        QVERIFY(s.item("disconnectButton"));
        QVERIFY(s.item("tabBar"));

        const QString confirmation =
            QStringLiteral("Wake signal sent — the chair should respond shortly.");
        QVERIFY(!s.ui.shows(confirmation));
        s.ui.click(s.item("wakeButton"));
        QCOMPARE(s.writes(autoModeUUID), QList<QByteArray>{bytes({0x01})});
        QVERIFY(s.ui.shows(confirmation)); // before the chair answers
        s.f.advance(1s);
        QCOMPARE(s.writes(autoModeUUID), (QList<QByteArray>{bytes({0x01}), bytes({0x00})}));
        s.ui.click(s.item("wakeButton")); // every press sends the pulse again
        QCOMPARE(s.writes(autoModeUUID).size(), 3);
        QVERIFY(s.ui.shows(confirmation));

        // The chair reports activity: the tabs come back.
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x00}));
        QTRY_VERIFY(s.item("controlsTab"));
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
                const double opacity = letter->opacity();
                const double rise = letter->property("yOffset").toDouble();
                if (firstSeen[i] < 0 && opacity > 0.02)
                    firstSeen[i] = clock.elapsed();
                // Near its starting point a letter is (nearly) transparent.
                if (rise > -1.0 && opacity > 0.1)
                    hiddenAtStart = false;
            }
            QTest::qWait(15);
        }
        QVERIFY2(!firstSeen.contains(-1), "a letter never showed");
        QVERIFY(hiddenAtStart);
        QVERIFY2(firstSeen[0] < 500, qPrintable(QString::number(firstSeen[0])));
        const qint64 second = firstSeen[1] - firstSeen[0];
        const qint64 third = firstSeen[2] - firstSeen[1];
        QVERIFY2(second > 600 && second < 1600, qPrintable(QString::number(second)));
        QVERIFY2(third > 600 && third < 1600, qPrintable(QString::number(third)));
    }

    void theBannerShowsWhileTheWifiGracePeriodRuns()
    {
        Connected s;
        QTRY_VERIFY(s.item("controlsTab"));
        QVERIFY(!s.item("offlineBanner"));
        s.chair->values[wifiStatusUUID] = bytes({5});
        s.f.report(*s.chair, wifiStatusUUID, bytes({5}));
        QTRY_VERIFY(s.item("offlineBanner"));
        QCOMPARE(s.shown("bannerTime", "text").toString(), QStringLiteral("5:00"));
        QVERIFY(s.item("controlsTab")); // over the controls, not instead of them
        s.f.advance(1s);
        QCOMPARE(s.shown("bannerTime", "text").toString(), QStringLiteral("4:59"));

        s.f.report(*s.chair, wifiStatusUUID, bytes({4})); // online again
        QTRY_VERIFY(!s.item("offlineBanner"));
    }

    void theTabBarShowsEachTabAndRebuildsIt()
    {
        Connected s;
        QTRY_VERIFY(s.item("controlsTab"));
        QVERIFY(s.shown("controlsTabButton", "isSelected").toBool());
        QPointer<QQuickItem> firstControls = s.item("controlsTab");

        s.ui.click(s.item("settingsTabButton"));
        QCOMPARE(s.root->property("selectedTab").toInt(), 1);
        QVERIFY(s.shown("settingsTabButton", "isSelected").toBool());
        QVERIFY(!s.shown("controlsTabButton", "isSelected").toBool());
        QTRY_VERIFY(firstControls.isNull()); // a tab switch takes the old tab down
        s.verifyTabGetsTheLink("settingsView");
        QVERIFY(!s.item("controlsTab"));

        s.ui.click(s.item("analyticsTabButton"));
        QCOMPARE(s.root->property("selectedTab").toInt(), 2);
        s.verifyTabGetsTheLink("analyticsTab");
        QTRY_VERIFY(!s.item("settingsView"));

        s.ui.click(s.item("controlsTabButton"));
        QTRY_VERIFY(s.item("controlsTab"));
        QVERIFY(s.shown("controlsTabButton", "isSelected").toBool());
        QTRY_VERIFY(!s.item("analyticsTab"));
    }

    void theTabChosenWhileAsleepShowsOnWaking()
    {
        Connected s;
        QTRY_VERIFY(s.item("settingsTabButton"));
        s.ui.click(s.item("settingsTabButton"));
        QTRY_VERIFY(s.shown("settingsLoader", "active").toBool());
        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x03}));
        QTRY_VERIFY(s.item("sleepingView"));
        QTRY_VERIFY(!s.item("settingsLoader"));

        s.ui.click(s.item("analyticsTabButton")); // takes effect when the chair wakes
        QCOMPARE(s.root->property("selectedTab").toInt(), 2);
        QVERIFY(s.item("sleepingView"));
        QVERIFY(!s.item("analyticsLoader"));

        s.f.report(*s.chair, chairStateUUID, bytes({0x00, 0x00, 0x00}));
        QTRY_VERIFY(s.shown("analyticsLoader", "active").toBool());
        QTRY_VERIFY(!s.item("sleepingView"));
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

    void disconnectLeavesTheChair()
    {
        Connected s;
        QTRY_VERIFY(s.item("disconnectButton"));
        s.ui.click(s.item("disconnectButton"));
        s.f.central->flush();
        QCOMPARE(s.f.state(), ConnectionState::disconnected);
    }
};

QTEST_MAIN(UiConnectedTest)
#include "tst_ui_connected.moc"
