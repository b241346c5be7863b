// The analytics tab and the debug analytics mode on the real QML, against a real HTTPS server on
// 127.0.0.1: the tab's own service and its polling, the figures reaching the screen, failures,
// the live total and the way into and out of debug mode.
#include "AnalyticsAnswers.h"
#include "AnalyticsService.h"
#include "HttpsTestServer.h"
#include "LinkFixture.h"
#include "LiveMoves.h"
#include "QmlHarness.h"
#include "ScreenServices.h"

#include <QQuickItem>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Answer = HttpsTestServer::Answer;
using Request = HttpsTestServer::Request;
using namespace AnalyticsAnswers;

namespace {

// A server whose answer depends on the window a query opens with; other windows are empty.
struct AnalyticsRig {
    AnalyticsRig()
        : services(f.scheduler, f.clock, f.settings,
                   AnalyticsService::Options{server.url(), {HttpsTestServer::caCertificate()}, 5s})
    {
        f.clock.setNow(QDateTime(QDate(2026, 3, 5), QTime(9, 30), QTimeZone::utc()));
        server.setResponder([this](const Request& request) -> std::optional<Answer> {
            if (isHolding)
                return std::nullopt;
            return answers.value(windowStart(request), usage({}));
        });
    }

    int requests() const { return int(server.requests().size()); }
    // Releases held requests with the answers of their windows.
    void answerHeld(std::initializer_list<int> indexes)
    {
        for (int i : indexes)
            server.answer(i, answers.value(windowStart(server.requests().at(i)), usage({})));
    }
    // The tab on its own, as the connected screen makes it; the test may delete it.
    QQuickItem* showTab(QVariantMap properties)
    {
        properties.insert(QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get()));
        properties.insert(QStringLiteral("services"), QVariant::fromValue(&services));
        return ui.load(QStringLiteral("AnalyticsTab.qml"), properties);
    }
    QString textOf(const QString& name) const
    {
        QQuickItem* item = ui.byName(name);
        return item ? item->property("text").toString() : QStringLiteral("<not shown>");
    }
    bool isShown(const QString& name) const { return ui.byName(name) != nullptr; }

    HttpsTestServer server;
    LinkFixture f;
    ScreenServices services;
    QHash<QString, Answer> answers{{QStringLiteral("2026-03-05"), mixedDay},
                                   {QStringLiteral("2026-03-04"), dayBefore}};
    bool isHolding = false;
    QmlHarness ui;
};

AnalyticsService* serviceOf(QQuickItem* tab)
{
    return tab ? qobject_cast<AnalyticsService*>(tab->property("analytics").value<QObject*>())
               : nullptr;
}

} // namespace

class UiAnalyticsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toLocal8Bit()); }

    // The tab makes and owns its service: it polls from the first showing, fetches once the
    // chair tells its serial, and stops with the tab.
    void tabOwnsItsServiceWaitsForTheSerialAndStopsWithIt()
    {
        AnalyticsRig rig;
        rig.isHolding = true;
        const int linkTimers = rig.f.scheduler.activeTimers();
        QQuickItem* tab = rig.showTab({});
        QPointer<AnalyticsService> service = serviceOf(tab);
        QVERIFY(service);
        QVERIFY(rig.ui.shows(QStringLiteral("Waiting for chair…")));
        QTest::qWait(100);
        QCOMPARE(rig.requests(), 0);
        QCOMPARE(rig.f.scheduler.activeTimers(), linkTimers + 1); // the poll is armed all the same

        tab->setProperty("serialNumber", QStringLiteral("SN9"));
        QTRY_COMPARE(rig.requests(), 2);
        QCOMPARE(serialOf(rig.server.requests().first()), QStringLiteral("SN9"));
        QVERIFY(rig.ui.shows(QStringLiteral("SN9")));
        // Loading with nothing to show yet: no cards, no spinner.
        QVERIFY(service->isLoading());
        QVERIFY(!rig.isShown("totalMovesCard"));
        QVERIFY(!rig.isShown("postureBreakdownCard"));
        rig.answerHeld({0, 1});
        QTRY_COMPARE(rig.textOf("totalMoves"), QStringLiteral("10"));
        // Later refreshes keep the figures on screen while they load.
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QVERIFY(service->isLoading());
        QVERIFY(rig.isShown("totalMovesCard"));

        delete tab;
        QVERIFY(!service);
        QCOMPARE(rig.f.scheduler.activeTimers(), linkTimers);
        rig.f.scheduler.advance(600s);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), 4);

        // Coming back makes a new service that fetches at once.
        QVERIFY(serviceOf(rig.showTab({{"serialNumber", "SN123"}})));
        QTRY_COMPARE(rig.requests(), 6);
    }

    // The service's figures reach the screen; the picker, by click or keyboard, reaches the
    // service.
    void figuresOfThePeriodAndTheRangePicker()
    {
        AnalyticsRig rig;
        QQuickItem* tab =
            rig.showTab({{"serialNumber", "SN123"}, {"leftLegUp", true}, {"rightLegUp", false}});
        QTRY_COMPARE(rig.textOf("totalMoves"), QStringLiteral("10"));
        // (10 - 7) / 7 is 42.9 %.
        QTRY_COMPARE(rig.textOf("comparisonLine"), QStringLiteral("+43% vs yesterday"));
        QStringList bars;
        for (const QString bar : {"sitBar", "standBar", "stiltaBar"})
            for (const char* part : {"Share", "Duration", "Transitions"})
                bars << rig.textOf(bar + part);
        QCOMPARE(bars, (QStringList{"62%", "2m 1s", "3 transitions", "31%", "1m", "2 transitions",
                                    "8%", "15s", "5 transitions"}));
        QQuickItem* fill = rig.ui.byName(QStringLiteral("sitBarFill"));
        QTRY_COMPARE(qRound(fill->width()), qRound(fill->parentItem()->width() * 120.5 / 195.5));
        // The live legs choose the marked posture: one up and one down is Stilta.
        const auto marked = [&](const QString& bar) { return rig.isShown(bar + "BarCheckmark"); };
        QVERIFY(marked("stilta") && !marked("sit") && !marked("stand"));
        tab->setProperty("leftLegUp", false);
        QVERIFY(marked("stand") && !marked("sit") && !marked("stilta"));

        rig.ui.click(rig.ui.byName(QStringLiteral("range7Days")));
        QCOMPARE(serviceOf(tab)->selectedRange(), TimeRange::week);
        QTRY_COMPARE(rig.requests(), 4);
        // Choosing the shown range again is no new choice.
        rig.ui.click(rig.ui.byName(QStringLiteral("range7Days")));
        QTest::qWait(100);
        QCOMPARE(rig.requests(), 4);
        // Tab reaches the segments; Space chooses one.
        QQuickItem* year = rig.ui.byName(QStringLiteral("rangeYear"));
        for (int i = 0; i < 8 && rig.ui.window().activeFocusItem() != year; ++i)
            rig.ui.press(Qt::Key_Tab);
        QCOMPARE(rig.ui.window().activeFocusItem(), year);
        rig.ui.press(Qt::Key_Space);
        QCOMPARE(serviceOf(tab)->selectedRange(), TimeRange::year);
        QTRY_COMPARE(rig.requests(), 6);
    }

    // Down from the start: the failure and the moves counted this session show, and stay
    // while the poll tries again; the next good answer clears the line.
    void aFailureShowsItsLineBesideTheSessionsMoves()
    {
        AnalyticsRig rig;
        const Answer serverDown{500, R"({"errors":[{"message":"down"}]})"};
        rig.answers = {{QStringLiteral("2026-03-05"), serverDown},
                       {QStringLiteral("2026-03-04"), serverDown}};
        const auto chair = rig.f.connectChair();
        for (int right : {0x00, 0x01, 0x00}) // the first report only tells where the legs are
            rig.f.report(*chair, ChairProfile::chairStateUUID, bytes({0x01, right, 0x00}));
        QQuickItem* tab = rig.showTab({{"serialNumber", "SN123"}});
        QTRY_VERIFY(rig.isShown("analyticsError"));
        QCOMPARE(rig.textOf("analyticsErrorText"),
                 QStringLiteral("Analytics service error (HTTP 500)"));
        QTRY_COMPARE(rig.textOf("totalMoves"), QStringLiteral("2"));
        QVERIFY(!rig.isShown("comparisonLine")); // nothing to compare with

        rig.isHolding = true;
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QVERIFY(serviceOf(tab)->isLoading());
        QVERIFY(rig.isShown("analyticsError"));
        QVERIFY(rig.isShown("totalMovesCard"));

        rig.answers = {{QStringLiteral("2026-03-05"), mixedDay},
                       {QStringLiteral("2026-03-04"), dayBefore}};
        rig.answerHeld({2, 3});
        QTRY_VERIFY(!rig.isShown("analyticsError"));
        QTRY_COMPARE(rig.textOf("totalMoves"), QStringLiteral("10"));
    }

    // Moves the chair counted before the baseline are already in the server's figure; under
    // "Today" a new day takes the baseline again, under another range the day is left alone.
    void liveMovesAddOnlyWhatCameAfterTheBaseline()
    {
        AnalyticsRig rig;
        std::unique_ptr<AnalyticsService> service(rig.services.makeAnalyticsService(nullptr));
        LiveMoves live(rig.f.clock);
        live.setSessionMoves(5);
        live.setAnalytics(service.get());
        QCOMPARE(live.totalMoves(), qint64(5)); // no answer yet: the session's moves
        service->setChairSerial(QStringLiteral("SN123"));
        service->fetchAnalytics();
        service->startPolling();
        QTRY_COMPARE(service->orvBaselineMoves(), qint64(10));
        QCOMPARE(live.totalMoves(), qint64(10));
        live.setSessionMoves(8);
        QCOMPARE(live.totalMoves(), qint64(13));
        // The server's own total takes over once it passes the live one.
        rig.answers[QStringLiteral("2026-03-05")] = usage(row("Up", "Up", 15));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(live.totalMoves(), qint64(15));

        // Past midnight the window is the 6th, which has one move so far.
        rig.answers[QStringLiteral("2026-03-06")] = usage(row("Up", "Up", 1));
        rig.f.clock.setNow(QDateTime(QDate(2026, 3, 6), QTime(0, 0, 5), QTimeZone::utc()));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(service->orvBaselineMoves(), qint64(1));
        QTRY_VERIFY(!service->isLoading());
        QCOMPARE(service->selectedRange(), TimeRange::today);
        QCOMPARE(live.totalMoves(), qint64(1));
        live.setSessionMoves(10);
        QCOMPARE(live.totalMoves(), qint64(3));

        // A new range takes a new baseline, with the session moves of that moment; until its
        // answer the session's moves stand alone.
        live.setSessionMoves(20);
        service->setSelectedRange(TimeRange::week);
        QCOMPARE(live.totalMoves(), qint64(20));
        QTRY_VERIFY(!service->isLoading());
        QCOMPARE(live.totalMoves(), qint64(0)); // the week is empty on this server
        live.setSessionMoves(21);
        QCOMPARE(live.totalMoves(), qint64(1));
        const int asked = rig.requests();
        rig.f.clock.setNow(QDateTime(QDate(2026, 3, 7), QTime(0, 0, 5), QTimeZone::utc()));
        rig.f.scheduler.advance(30s);
        QTRY_COMPARE(rig.requests(), asked + 2);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), asked + 2);
    }

    void debugEntryStoresTheSerialAndDebugModeTakesOver()
    {
        AnalyticsRig rig;
        QmlHarness& ui = rig.ui;
        QVERIFY(ui.load(QStringLiteral("ContentView.qml"),
                        {{"bluetooth", QVariant::fromValue(rig.f.manager.get())},
                         {"settings", QVariant::fromValue(&rig.f.settings)},
                         {"services", QVariant::fromValue(&rig.services)}}));
        const QString title = QStringLiteral("Debug Analytics Mode");
        const auto tap = [&](int times, int pauseMs) {
            for (int i = 0; i < times; ++i) {
                ui.click(ui.byName(QStringLiteral("logo")));
                QTest::qWait(pauseMs);
            }
        };
        const auto openSheet = [&] {
            tap(5, 0);
            QTRY_VERIFY(ui.shows(title));
        };
        // Five taps on the logo, none 2 s or more after the one before, open the entry; a longer
        // pause starts the count again.
        QObject* screen =
            ui.byName(QStringLiteral("currentScreen"))->property("item").value<QObject*>();
        tap(4, 0);
        QTest::qWait(2500);
        tap(1, 1900);
        QCOMPARE(screen->property("tapCount").toInt(), 1);
        tap(3, 1900);
        QVERIFY(!ui.shows(title));
        tap(1, 0);
        QTRY_VERIFY(ui.shows(title));
        QCOMPARE(screen->property("tapCount").toInt(), 0);
        QQuickItem* enable = ui.byName(QStringLiteral("debugEnableButton"));
        QCOMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("debugSerialField")));
        ui.type(QStringLiteral("   "));
        QVERIFY(!enable->isEnabled()); // spaces only

        // Cancel stores nothing.
        ui.type(QStringLiteral("SN1"));
        ui.click(ui.byName(QStringLiteral("debugCancelButton")));
        QTRY_VERIFY(!ui.shows(title));
        QCOMPARE(rig.f.settings.debugChairSerial(), QString());
        QVERIFY(!rig.f.settings.debugModeActive());

        // Escape closes the sheet too, and it opens empty again.
        openSheet();
        QCOMPARE(rig.textOf("debugSerialField"), QString());
        ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!ui.shows(title));

        openSheet();
        ui.type(QStringLiteral("  SN777  "));
        // Tab goes on to the buttons.
        ui.press(Qt::Key_Tab);
        QCOMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("debugCancelButton")));
        ui.press(Qt::Key_Tab);
        QCOMPARE(ui.window().activeFocusItem(), enable);
        ui.press(Qt::Key_Return);
        QCOMPARE(rig.f.settings.debugChairSerial(), QStringLiteral("SN777"));
        QVERIFY(rig.f.settings.debugModeActive());

        // The debug view queries the stored serial once, both legs down, nothing live.
        QTRY_VERIFY(rig.isShown("debugAnalyticsView"));
        QTRY_COMPARE(rig.textOf("totalMoves"), QStringLiteral("10"));
        QCOMPARE(rig.requests(), 2); // one fetch, not one per property set
        QCOMPARE(serialOf(rig.server.requests().first()), QStringLiteral("SN777"));
        QVERIFY(rig.isShown("standBarCheckmark"));

        // Leaving takes its service along: no more polling.
        ui.click(ui.byName(QStringLiteral("exitDebugButton")));
        QVERIFY(!rig.f.settings.debugModeActive());
        QTRY_VERIFY(ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));
        QTRY_VERIFY(!rig.isShown("debugAnalyticsView"));
        QCOMPARE(rig.f.settings.debugChairSerial(), QStringLiteral("SN777"));
        rig.f.scheduler.advance(60s);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), 2);

        // The entry offers the last serial again.
        openSheet();
        QCOMPARE(rig.textOf("debugSerialField"), QStringLiteral("SN777"));
    }
};

QTEST_MAIN(UiAnalyticsTest)
#include "tst_ui_analytics.moc"
