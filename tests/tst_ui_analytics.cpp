// The analytics tab and the debug analytics mode on the real QML, against a real HTTPS server on
// 127.0.0.1: the tab's own service and its polling, the figures, failures, the live total and
// the way into and out of debug mode.
#include "AnalyticsAnswers.h"
#include "AnalyticsService.h"
#include "HttpsTestServer.h"
#include "LinkFixture.h"
#include "LiveMoves.h"
#include "QmlHarness.h"
#include "ScreenServices.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Answer = HttpsTestServer::Answer;
using Request = HttpsTestServer::Request;
using namespace AnalyticsAnswers;

namespace {

const Answer serverDown{500, R"({"errors":[{"message":"down"}]})"};

QString queryOf(const Request& request)
{
    return QJsonDocument::fromJson(request.body).object().value(u"query").toString();
}

QString captured(const Request& request, const char* pattern)
{
    return QRegularExpression(QLatin1String(pattern)).match(queryOf(request)).captured(1);
}

QString windowStart(const Request& request)
{
    return captured(request, "eventTimeFrom\\(from: \"([0-9-]*)\"\\)");
}

QString serialOf(const Request& request)
{
    return captured(request, "name\\(like: \"([^\"]*)\"\\)");
}

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
        answers = {{QStringLiteral("2026-03-05"), mixedDay},
                   {QStringLiteral("2026-03-04"), dayBefore}};
    }

    int requests() const { return int(server.requests().size()); }
    QStringList windowsAsked(int from = 0) const
    {
        QStringList starts;
        for (int i = from; i < requests(); ++i)
            starts << windowStart(server.requests().at(i));
        starts.sort();
        return starts;
    }

    HttpsTestServer server;
    LinkFixture f;
    ScreenServices services;
    QHash<QString, Answer> answers;
    bool isHolding = false;
};

// The tab on its own, as the connected screen makes it: the test owns it and can destroy it.
struct TabUnderTest {
    TabUnderTest(QmlHarness& ui, AnalyticsRig& rig, QVariantMap properties = {})
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine,
                                QUrl(QStringLiteral("qrc:/Velnora/Screens/qml/AnalyticsTab.qml")));
        properties.insert(QStringLiteral("bluetooth"), QVariant::fromValue(rig.f.manager.get()));
        properties.insert(QStringLiteral("services"), QVariant::fromValue(&rig.services));
        properties.insert(QStringLiteral("width"), 420);
        properties.insert(QStringLiteral("height"), 640);
        tab.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(properties)));
        if (!tab) {
            qWarning().noquote() << component.errorString();
            return;
        }
        tab->setParentItem(ui.window().contentItem());
    }
    AnalyticsService* service() const
    {
        return qobject_cast<AnalyticsService*>(tab->property("analytics").value<QObject*>());
    }

    QQmlEngine engine;
    std::unique_ptr<QQuickItem> tab;
};

QString textOf(QmlHarness& ui, const char* objectName)
{
    QQuickItem* item = ui.byName(QString::fromLatin1(objectName));
    return item ? item->property("text").toString() : QStringLiteral("<not shown>");
}

bool isShown(QmlHarness& ui, const char* objectName)
{
    return ui.byName(QString::fromLatin1(objectName)) != nullptr;
}

} // namespace

class UiAnalyticsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toLocal8Bit()); }

    void tabOwnsItsServiceAndPollingEndsWithIt()
    {
        AnalyticsRig rig;
        QmlHarness ui;
        const int linkTimers = rig.f.scheduler.activeTimers();
        auto tabUnderTest =
            std::make_unique<TabUnderTest>(ui, rig, QVariantMap{{"serialNumber", "SN123"}});
        QVERIFY(tabUnderTest->tab);
        QPointer<AnalyticsService> service = tabUnderTest->service();
        QVERIFY(service);
        QCOMPARE(service->parent(), tabUnderTest->tab.get());
        // The first showing fetches both periods at once and arms the poll.
        QTRY_COMPARE(rig.requests(), 2);
        QCOMPARE(rig.windowsAsked(),
                 (QStringList{QStringLiteral("2026-03-04"), QStringLiteral("2026-03-05")}));
        QCOMPARE(serialOf(rig.server.requests().first()), QStringLiteral("SN123"));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));

        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QTRY_VERIFY(!service->isLoading());

        tabUnderTest.reset();
        QVERIFY(!service); // gone with the tab
        QCOMPARE(rig.f.scheduler.activeTimers(), linkTimers);
        rig.f.scheduler.advance(600s);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), 4);

        // Coming back makes a new service: back to Today and a fresh fetch.
        TabUnderTest again(ui, rig, {{"serialNumber", "SN123"}});
        QVERIFY(again.service());
        QVERIFY(again.service() != service.data());
        QTRY_COMPARE(rig.requests(), 6);
    }

    void figuresOfThePeriodAndThePostureBars()
    {
        AnalyticsRig rig;
        QmlHarness ui;
        TabUnderTest t(ui, rig,
                       {{"serialNumber", "SN123"}, {"leftLegUp", true}, {"rightLegUp", false}});
        QVERIFY(t.tab);
        QVERIFY(ui.shows(QStringLiteral("SN123")));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));
        // (10 - 7) / 7 is 42.9 %.
        QTRY_COMPARE(textOf(ui, "comparisonLine"), QStringLiteral("+43% vs yesterday"));
        QVERIFY(ui.shows(QStringLiteral("Total Moves")));
        QVERIFY(ui.shows(QStringLiteral("Posture Breakdown")));

        QCOMPARE(textOf(ui, "sitBarShare"), QStringLiteral("62%"));
        QCOMPARE(textOf(ui, "standBarShare"), QStringLiteral("31%"));
        QCOMPARE(textOf(ui, "stiltaBarShare"), QStringLiteral("8%"));
        QCOMPARE(textOf(ui, "sitBarDuration"), QStringLiteral("2m 1s"));
        QCOMPARE(textOf(ui, "standBarDuration"), QStringLiteral("1m"));
        QCOMPARE(textOf(ui, "stiltaBarDuration"), QStringLiteral("15s"));
        QCOMPARE(textOf(ui, "sitBarTransitions"), QStringLiteral("3 transitions"));
        QCOMPARE(textOf(ui, "stiltaBarTransitions"), QStringLiteral("5 transitions"));
        // One leg up and one down: Stilta carries the mark, the others do not.
        QVERIFY(isShown(ui, "stiltaBarCheckmark"));
        QVERIFY(!isShown(ui, "sitBarCheckmark"));
        QVERIFY(!isShown(ui, "standBarCheckmark"));
        t.tab->setProperty("leftLegUp", false);
        QVERIFY(isShown(ui, "standBarCheckmark"));
        QVERIFY(!isShown(ui, "stiltaBarCheckmark"));
        // The fill is the share of the track.
        QQuickItem* fill = ui.byName(QStringLiteral("sitBarFill"));
        QTRY_COMPARE(qRound(fill->width()), qRound(fill->parentItem()->width() * 120.5 / 195.5));
    }

    void rangePickerAsksForTheChosenWindowByKeyboardToo()
    {
        AnalyticsRig rig;
        QmlHarness ui;
        TabUnderTest t(ui, rig, {{"serialNumber", "SN123"}});
        QTRY_COMPARE(rig.requests(), 2);
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));

        ui.click(ui.byName(QStringLiteral("range7Days")));
        QCOMPARE(t.service()->selectedRange(), TimeRange::week);
        QTRY_COMPARE(rig.requests(), 4);
        QCOMPARE(rig.windowsAsked(2),
                 (QStringList{QStringLiteral("2026-02-18"), QStringLiteral("2026-02-26")}));
        // Nothing logged in that week: zeros, no comparison against an empty period.
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("0"));
        QTRY_VERIFY(!isShown(ui, "comparisonLine"));
        QCOMPARE(textOf(ui, "sitBarShare"), QStringLiteral("0%"));
        QTRY_COMPARE(ui.byName(QStringLiteral("sitBarFill"))->width(), 0.0);

        // Choosing the shown range again is no new choice.
        ui.click(ui.byName(QStringLiteral("range7Days")));
        QTest::qWait(100);
        QCOMPARE(rig.requests(), 4);

        // Tab reaches the segments; Space chooses one.
        QQuickItem* year = ui.byName(QStringLiteral("rangeYear"));
        for (int i = 0; i < 8 && ui.window().activeFocusItem() != year; ++i)
            ui.press(Qt::Key_Tab);
        QCOMPARE(ui.window().activeFocusItem(), year);
        ui.press(Qt::Key_Space);
        QCOMPARE(t.service()->selectedRange(), TimeRange::year);
        QTRY_COMPARE(rig.requests(), 6);
        QCOMPARE(rig.windowsAsked(4),
                 (QStringList{QStringLiteral("2024-03-04"), QStringLiteral("2025-03-05")}));
    }

    void loadingAndWaitingForTheSerial()
    {
        AnalyticsRig rig;
        rig.isHolding = true;
        QmlHarness ui;
        const int linkTimers = rig.f.scheduler.activeTimers();
        TabUnderTest t(ui, rig);
        QVERIFY(t.tab);
        QVERIFY(ui.shows(QStringLiteral("Waiting for chair…")));
        QTest::qWait(100);
        QCOMPARE(rig.requests(), 0);
        QCOMPARE(rig.f.scheduler.activeTimers(), linkTimers + 1); // the poll is armed all the same

        t.tab->setProperty("serialNumber", QStringLiteral("SN9"));
        QTRY_COMPARE(rig.requests(), 2);
        QCOMPARE(serialOf(rig.server.requests().first()), QStringLiteral("SN9"));
        QVERIFY(ui.shows(QStringLiteral("SN9")));
        // Loading with nothing to show yet: no cards, no spinner.
        QVERIFY(t.service()->isLoading());
        QVERIFY(!isShown(ui, "totalMovesCard"));
        QVERIFY(!isShown(ui, "postureBreakdownCard"));

        for (int i = 0; i < 2; ++i)
            rig.server.answer(i, windowStart(rig.server.requests().at(i)) == u"2026-03-05"
                                     ? mixedDay
                                     : dayBefore);
        QTRY_VERIFY(isShown(ui, "totalMovesCard"));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));
        // Later refreshes keep the figures on screen while they load.
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QVERIFY(t.service()->isLoading());
        QVERIFY(isShown(ui, "totalMovesCard"));
    }

    void failingServerShowsTheErrorAndKeepsTheFigures()
    {
        AnalyticsRig rig;
        QmlHarness ui;
        TabUnderTest t(ui, rig, {{"serialNumber", "SN123"}});
        QTRY_COMPARE(textOf(ui, "comparisonLine"), QStringLiteral("+43% vs yesterday"));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));
        QVERIFY(!isShown(ui, "analyticsError"));

        rig.answers = {{QStringLiteral("2026-03-05"), serverDown},
                       {QStringLiteral("2026-03-04"), serverDown}};
        rig.f.scheduler.advance(10s);
        QTRY_VERIFY(isShown(ui, "analyticsError"));
        QCOMPARE(textOf(ui, "analyticsErrorText"),
                 QStringLiteral("Analytics service error (HTTP 500)"));
        QCOMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));
        QCOMPARE(textOf(ui, "sitBarShare"), QStringLiteral("62%"));
        // The previous period is unknown again, so there is nothing to compare with.
        QTRY_VERIFY(!isShown(ui, "comparisonLine"));

        // The next good answer clears the line.
        rig.answers = {{QStringLiteral("2026-03-05"), mixedDay},
                       {QStringLiteral("2026-03-04"), usage(row("Up", "Up", 10))}};
        rig.f.scheduler.advance(10s);
        QTRY_VERIFY(!isShown(ui, "analyticsError"));
        QTRY_COMPARE(textOf(ui, "comparisonLine"), QStringLiteral("+0% vs yesterday"));
    }

    // Down from the start: the failure and the moves counted this session show, and stay
    // while the poll tries again.
    void aServerDownFromTheStartShowsTheSessionsMoves()
    {
        AnalyticsRig rig;
        rig.answers = {{QStringLiteral("2026-03-05"), serverDown},
                       {QStringLiteral("2026-03-04"), serverDown}};
        const auto chair = rig.f.connectChair();
        for (int right : {0x00, 0x01, 0x00}) // the first report only tells where the legs are
            rig.f.report(*chair, ChairProfile::chairStateUUID, bytes({0x01, right, 0x00}));
        QmlHarness ui;
        TabUnderTest t(ui, rig, {{"serialNumber", "SN123"}});
        QTRY_VERIFY(isShown(ui, "analyticsError"));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("2"));

        rig.isHolding = true;
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QVERIFY(t.service()->isLoading());
        QVERIFY(isShown(ui, "analyticsError"));
        QVERIFY(isShown(ui, "totalMovesCard"));
    }

    // Moves the chair counted before the baseline are already in the server's figure.
    void liveMovesAddOnlyWhatCameAfterTheBaseline()
    {
        AnalyticsRig rig;
        AnalyticsService service(rig.f.clock, rig.f.scheduler,
                                 {rig.server.url(), {HttpsTestServer::caCertificate()}, 5s});
        LiveMoves live(rig.f.clock);
        live.setSessionMoves(5);
        live.setAnalytics(&service);
        QCOMPARE(live.totalMoves(), qint64(5)); // no answer yet: the session's moves
        service.setChairSerial(QStringLiteral("SN123"));
        service.fetchAnalytics();
        service.startPolling();
        QTRY_COMPARE(service.orvBaselineMoves(), qint64(10));
        QCOMPARE(live.totalMoves(), qint64(10));

        live.setSessionMoves(8);
        QCOMPARE(live.totalMoves(), qint64(13));
        // The server's own total takes over once it passes the live one.
        rig.answers[QStringLiteral("2026-03-05")] = usage(row("Up", "Up", 12));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(service.breakdown().moveTotal(), qint64(12));
        QCOMPARE(live.totalMoves(), qint64(13));
        rig.answers[QStringLiteral("2026-03-05")] = usage(row("Up", "Up", 15));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(live.totalMoves(), qint64(15));
        // A count that falls below the one at the baseline adds nothing.
        live.setSessionMoves(2);
        QCOMPARE(live.totalMoves(), qint64(15));

        // A new range takes a new baseline, with the session moves of that moment; until its
        // answer the session's moves stand alone.
        live.setSessionMoves(20);
        service.setSelectedRange(TimeRange::week);
        QCOMPARE(live.totalMoves(), qint64(20));
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(live.totalMoves(), qint64(0)); // the week is empty on this server
        live.setSessionMoves(21);
        QCOMPARE(live.totalMoves(), qint64(1));
    }

    void newDayUnderTodayTakesTheBaselineAgain()
    {
        AnalyticsRig rig;
        rig.f.clock.setNow(QDateTime(QDate(2026, 3, 5), QTime(23, 59, 55), QTimeZone::utc()));
        AnalyticsService service(rig.f.clock, rig.f.scheduler,
                                 {rig.server.url(), {HttpsTestServer::caCertificate()}, 5s});
        LiveMoves live(rig.f.clock);
        live.setAnalytics(&service);
        service.setChairSerial(QStringLiteral("SN123"));
        service.fetchAnalytics();
        service.startPolling();
        QTRY_COMPARE(service.orvBaselineMoves(), qint64(10));
        live.setSessionMoves(2);
        QCOMPARE(live.totalMoves(), qint64(12));

        // Past midnight the window is the 6th, which has one move so far.
        rig.answers[QStringLiteral("2026-03-06")] = usage(row("Up", "Up", 1));
        rig.f.clock.setNow(QDateTime(QDate(2026, 3, 6), QTime(0, 0, 5), QTimeZone::utc()));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(service.orvBaselineMoves(), qint64(1));
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(live.totalMoves(), qint64(1));
        QCOMPARE(service.selectedRange(), TimeRange::today);
        live.setSessionMoves(4);
        QCOMPARE(live.totalMoves(), qint64(3));

        // Another range is left alone when the day changes.
        service.setSelectedRange(TimeRange::week);
        QTRY_VERIFY(!service.isLoading());
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
        QmlHarness ui;
        QVERIFY(ui.load(QStringLiteral("ContentView.qml"),
                        {{"bluetooth", QVariant::fromValue(rig.f.manager.get())},
                         {"settings", QVariant::fromValue(&rig.f.settings)},
                         {"services", QVariant::fromValue(&rig.services)}}));
        const auto openSheet = [&] {
            for (int i = 0; i < 5; ++i)
                ui.click(ui.byName(QStringLiteral("logo")));
            QTRY_VERIFY(ui.shows(QStringLiteral("Debug Analytics Mode")));
        };
        openSheet();
        QVERIFY(ui.shows(
            QStringLiteral("Enter a chair serial number to query ORV without a BLE connection.")));
        QQuickItem* enable = ui.byName(QStringLiteral("debugEnableButton"));
        QVERIFY(!enable->isEnabled());
        QCOMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("debugSerialField")));
        ui.type(QStringLiteral("   "));
        QVERIFY(!enable->isEnabled()); // spaces only

        // Cancel stores nothing.
        ui.type(QStringLiteral("SN1"));
        ui.click(ui.byName(QStringLiteral("debugCancelButton")));
        QTRY_VERIFY(!ui.shows(QStringLiteral("Debug Analytics Mode")));
        QCOMPARE(rig.f.settings.debugChairSerial(), QString());
        QVERIFY(!rig.f.settings.debugModeActive());

        // Escape closes the sheet too, and it opens empty again.
        openSheet();
        QCOMPARE(textOf(ui, "debugSerialField"), QString());
        ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!ui.shows(QStringLiteral("Debug Analytics Mode")));

        openSheet();
        ui.type(QStringLiteral("  SN777  "));
        QVERIFY(enable->isEnabled());
        // Tab goes on to the buttons.
        ui.press(Qt::Key_Tab);
        QCOMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("debugCancelButton")));
        ui.press(Qt::Key_Tab);
        QCOMPARE(ui.window().activeFocusItem(), enable);
        ui.press(Qt::Key_Return);
        QCOMPARE(rig.f.settings.debugChairSerial(), QStringLiteral("SN777"));
        QVERIFY(rig.f.settings.debugModeActive());

        // The debug view queries the stored serial, both legs down, nothing live.
        QTRY_VERIFY(isShown(ui, "debugAnalyticsView"));
        QVERIFY(ui.shows(QStringLiteral("DEBUG")));
        QVERIFY(ui.shows(QStringLiteral("SN777")));
        QTRY_COMPARE(rig.requests(), 2);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), 2); // one fetch, not one per property set
        QCOMPARE(serialOf(rig.server.requests().first()), QStringLiteral("SN777"));
        QTRY_COMPARE(textOf(ui, "totalMoves"), QStringLiteral("10"));
        QVERIFY(isShown(ui, "standBarCheckmark"));
        QVERIFY(!isShown(ui, "analyticsError"));
        rig.f.scheduler.advance(10s);
        QTRY_COMPARE(rig.requests(), 4);
        QTest::qWait(100); // let the refresh's answers land before the screen goes

        ui.click(ui.byName(QStringLiteral("exitDebugButton")));
        QVERIFY(!rig.f.settings.debugModeActive());
        QTRY_VERIFY(ui.shows(QStringLiteral("Connect to your Velnora Pro chair via Bluetooth.")));
        QTRY_VERIFY(!isShown(ui, "debugAnalyticsView"));
        QCOMPARE(rig.f.settings.debugChairSerial(), QStringLiteral("SN777"));
        // Its service went with it: no more polling.
        QTest::qWait(100);
        rig.f.scheduler.advance(60s);
        QTest::qWait(200);
        QCOMPARE(rig.requests(), 4);

        // The entry offers the last serial again.
        openSheet();
        QCOMPARE(textOf(ui, "debugSerialField"), QStringLiteral("SN777"));
    }
};

QTEST_MAIN(UiAnalyticsTest)
#include "tst_ui_analytics.moc"
