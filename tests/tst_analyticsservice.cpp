// The analytics service against a real HTTPS server on 127.0.0.1: what it sends and to whom, what
// it makes of each kind of answer, which answers it keeps, and when it asks again.
#include "AnalyticsAnswers.h"
#include "AnalyticsService.h"
#include "Clock.h"
#include "HttpsTestServer.h"
#include "Scheduler.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Answer = HttpsTestServer::Answer;
using Request = HttpsTestServer::Request;
using Identity = HttpsTestServer::Identity;
using namespace AnalyticsAnswers;

namespace {

const QTimeZone berlin("Europe/Berlin");

const PostureBreakdown mixedFigures{3, 2, 5, 120.5, 60, 15};

// Answers a held refresh; of its two queries, the one whose window opens later is the current
// period.
void answerRefresh(HttpsTestServer& server, int first, const Answer& current,
                   const Answer& previous)
{
    const bool isFirstCurrent =
        windowStart(server.requests()[first]) > windowStart(server.requests()[first + 1]);
    server.answer(first, isFirstCurrent ? current : previous);
    server.answer(first + 1, isFirstCurrent ? previous : current);
}

// A body of exactly `size` bytes whose rows are four sits.
QByteArray fourSitsPaddedTo(qint64 size)
{
    const QByteArray head = usage(row("Up", "Up", 4)).body.chopped(1) + ",\"padding\":\"";
    return head + QByteArray(size - head.size() - 2, 'x') + "\"}";
}

struct Rig {
    explicit Rig(Identity identity = Identity::signedByTestCa,
                 std::chrono::milliseconds timeout = 5s,
                 const QString& scheme = QStringLiteral("https"))
        : server(identity)
        , clock(QDateTime(QDate(2026, 3, 5), QTime(9, 30), berlin), berlin)
        , service(std::make_unique<AnalyticsService>(
              clock, scheduler,
              AnalyticsService::Options{
                  server.url(scheme), {HttpsTestServer::caCertificate()}, timeout}))
    {
        service->setChairSerial(QStringLiteral("SN123"));
    }

    // Until the current period (the 5th) is applied; the previous one is awaited by its value.
    void refresh(const Answer& current, const Answer& previous)
    {
        server.setResponder([current, previous](const Request& request) {
            return windowStart(request) == u"2026-03-05" ? current : previous;
        });
        service->fetchAnalytics();
        settle();
    }
    void settle() { QTRY_VERIFY(!service->isLoading()); }

    HttpsTestServer server;
    ManualClock clock;
    ManualScheduler scheduler;
    std::unique_ptr<AnalyticsService> service;
};

} // namespace

class AnalyticsServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(berlin.isValid()); }

    // The key goes to a verified HTTPS server only: a certificate nobody vouches for ends the
    // exchange in its handshake, and a plain HTTP address is never even connected to.
    void onlyAVerifiedHttpsServerHearsTheKey_data()
    {
        QTest::addColumn<Identity>("identity");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<bool>("isConnected");
        QTest::newRow("self-signed") << Identity::selfSigned << QStringLiteral("https") << true;
        QTest::newRow("plain HTTP") << Identity::signedByTestCa << QStringLiteral("http") << false;
    }
    void onlyAVerifiedHttpsServerHearsTheKey()
    {
        QFETCH(Identity, identity);
        QFETCH(QString, scheme);
        QFETCH(bool, isConnected);
        Rig rig(identity, 2s, scheme);
        rig.service->fetchAnalytics();
        QTRY_VERIFY(rig.service->errorMessage().has_value());
        QVERIFY(!rig.service->isLoading());
        QTest::qWait(200);
        QCOMPARE(rig.server.connectionsMade() > 0, isConnected);
        QCOMPARE(rig.server.requests().size(), 0);
    }

    // A 2xx answer that cannot be read is a period without rows; anything else that is not a
    // readable 2xx is a failure that keeps the figures shown. A redirect is not followed: it
    // would hand the key to whatever host the answer names.
    void eachAnswerIsFiguresOrAFailure_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty: none
        QTest::addColumn<PostureBreakdown>("shown");
        QTest::addColumn<QVariant>("previous"); // invalid: unknown
        const PostureBreakdown none, fourSits{4, 0, 0, 0, 0, 0};
        QTest::newRow("HTTP 503") << 503 << QByteArray(R"({"errors":[{"message":"down"}]})")
                                  << QStringLiteral("Analytics service error (HTTP 503)")
                                  << mixedFigures << QVariant();
        QTest::newRow("redirect") << 307 << QByteArray()
                                  << QStringLiteral("Analytics service error (HTTP 307)")
                                  << mixedFigures << QVariant();
        QTest::newRow("malformed JSON")
            << 200 << QByteArray("{\"data\":{\"chairEvent\":[") << QString() << none << QVariant(0);
        QTest::newRow("exactly 8 MiB") << 200 << fourSitsPaddedTo(AnalyticsService::maxAnswerSize)
                                       << QString() << fourSits << QVariant(4);
        QTest::newRow("one byte more than 8 MiB")
            << 200 << fourSitsPaddedTo(AnalyticsService::maxAnswerSize + 1)
            << QStringLiteral("The analytics service sent more data than expected.") << mixedFigures
            << QVariant();
    }
    void eachAnswerIsFiguresOrAFailure()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(PostureBreakdown, shown);
        QFETCH(QVariant, previous);
        HttpsTestServer elsewhere;
        Rig rig;
        rig.refresh(mixedDay, dayBefore);
        QCOMPARE(rig.service->breakdown(), mixedFigures);
        QCOMPARE(rig.service->errorMessage(), std::nullopt);
        QCOMPARE(rig.service->orvBaselineMoves(), qint64(10));
        QTRY_COMPARE(rig.service->previousDayMoves(), std::optional<qint64>(7));
        const Answer answer{status, body, {{"Location", elsewhere.url().toEncoded()}}};
        rig.refresh(answer, answer);
        QCOMPARE(rig.service->errorMessage(),
                 error.isEmpty() ? std::nullopt : std::optional<QString>(error));
        QCOMPARE(rig.service->breakdown(), shown);
        QCOMPARE(rig.service->orvBaselineMoves(), qint64(10));
        QTRY_COMPARE(rig.service->previousDayMoves(),
                     previous.isValid() ? std::optional(previous.toLongLong()) : std::nullopt);
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    // The poll waits for the answer it asked for: slower than the poll, it still lands; a silent
    // service fails after the time-out, and the failure stays while the poll tries again.
    void aSlowAnswerIsWaitedForAndAFailureStaysWhileRetrying()
    {
        Rig rig(Identity::signedByTestCa, 400ms);
        rig.server.holdEvery();
        rig.service->fetchAnalytics();
        rig.service->startPolling();
        QTRY_COMPARE(rig.server.requests().size(), 2);
        rig.scheduler.advance(10s);
        QTest::qWait(50);
        QCOMPARE(rig.server.requests().size(), 2);
        answerRefresh(rig.server, 0, mixedDay, dayBefore);
        QTRY_COMPARE(rig.service->breakdown(), mixedFigures);
        QVERIFY(!rig.service->isLoading());

        QElapsedTimer waited;
        waited.start();
        rig.scheduler.advance(10s);
        QTRY_COMPARE(rig.server.requests().size(), 4);
        QTRY_COMPARE(rig.service->errorMessage(),
                     std::optional<QString>(
                         QStringLiteral("The analytics service did not answer in time.")));
        QVERIFY(waited.elapsed() >= 350);
        QVERIFY(!rig.service->isLoading());
        rig.scheduler.advance(10s);
        QTRY_COMPARE(rig.server.requests().size(), 6);
        QVERIFY(rig.service->isLoading());
        QVERIFY(rig.service->errorMessage());
        QCOMPARE(rig.service->breakdown(), mixedFigures);
        // A refresh the user asks for (another range) starts clean.
        rig.service->setSelectedRange(TimeRange::week);
        QVERIFY(!rig.service->errorMessage());
    }

    // A new range clears the old one's figures and asks at once, with the key and the zone, for
    // its window and the period before it; it polls at its own pace, and the old range's tick
    // (due 5 s after the change) is gone.
    void aNewRangeAsksForItsWindowsAndPollsAtItsPace_data()
    {
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("firstDays"); // of the window, of the period before
        QTest::newRow("today") << TimeRange::today << 10 << QStringList{"2026-03-05", "2026-03-04"};
        QTest::newRow("7 days") << TimeRange::week << 30 << QStringList{"2026-02-26", "2026-02-18"};
        QTest::newRow("30 days across a short February")
            << TimeRange::month << 120 << QStringList{"2026-02-03", "2026-01-03"};
        QTest::newRow("a year of 366 days back into a leap year")
            << TimeRange::year << 300 << QStringList{"2025-03-05", "2024-03-04"};
    }
    void aNewRangeAsksForItsWindowsAndPollsAtItsPace()
    {
        QFETCH(TimeRange, range);
        QFETCH(int, seconds);
        QFETCH(QStringList, firstDays);
        Rig rig;
        rig.refresh(mixedDay, dayBefore);
        rig.service->startPolling();
        rig.scheduler.advance(5s);
        rig.server.answerEvery({503, {}});

        rig.service->setSelectedRange(range);
        QVERIFY(rig.service->isLoading());
        QCOMPARE(rig.service->breakdown(), PostureBreakdown{});
        QCOMPARE(rig.service->previousDayMoves(), std::nullopt);
        QCOMPARE(rig.service->orvBaselineMoves(), qint64(0));
        QVERIFY(!rig.service->orvBaselineSet());
        rig.settle();
        QTRY_COMPARE(rig.server.requests().size(), 4);
        QSet<QByteArray> bodies;
        for (const Request& request : rig.server.requests().mid(2)) {
            QCOMPARE(request.requestLine, QByteArray("POST /api/graphql HTTP/1.1"));
            QByteArrayList ours;
            for (const auto& [name, value] : request.headers)
                if (QByteArrayList{"content-type", "api-key", "time-zone"}.contains(name.toLower()))
                    ours << name.toLower() + ": " + value;
            QCOMPARE(ours, (QByteArrayList{"content-type: application/json;charset=UTF-8",
                                           "api-key: 5b0c7e21-93d4-4f6a-8c1e-2d7a90b4e3f8",
                                           "time-zone: Europe/Berlin"}));
            bodies << request.body;
        }
        const auto body = [](const QString& first, const QString& dayAfter) {
            return AnalyticsQuery::requestBody(
                AnalyticsQuery::buildQuery(QStringLiteral("SN123"), first, dayAfter));
        };
        QCOMPARE(bodies, (QSet<QByteArray>{body(firstDays[0], QStringLiteral("2026-03-06")),
                                           body(firstDays[1], firstDays[0])}));
        // The new range's failure does not bring back the old one's figures.
        QVERIFY(rig.service->errorMessage().has_value());
        QCOMPARE(rig.service->breakdown(), PostureBreakdown{});

        for (int tick = 1; tick <= 2; ++tick) {
            rig.scheduler.advance(std::chrono::seconds(seconds) - 1ms);
            QVERIFY(!rig.service->isLoading());
            rig.scheduler.advance(1ms);
            QVERIFY(rig.service->isLoading());
            rig.settle();
            QTRY_COMPARE(rig.server.requests().size(), 4 + 2 * tick);
        }
    }

    // A slow answer of an older refresh must never overwrite what a newer one showed.
    void answersOfASupersededRefreshAreDropped_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("a newer refresh") << 0;
        QTest::newRow("another range") << 1;
        QTest::newRow("another chair") << 2;
    }
    void answersOfASupersededRefreshAreDropped()
    {
        QFETCH(int, how);
        Rig rig;
        rig.server.holdEvery();
        rig.service->fetchAnalytics();
        QTRY_COMPARE(rig.server.requests().size(), 2);
        if (how == 1)
            rig.service->setSelectedRange(TimeRange::week);
        if (how == 2)
            rig.service->setChairSerial(QStringLiteral("SN999"));
        if (how != 1)
            rig.service->fetchAnalytics();
        QTRY_COMPARE(rig.server.requests().size(), 4);

        const Answer newer = usage(row("Down", "Down", 2));
        answerRefresh(rig.server, 2, newer, usage(row("Up", "Up", 1)));
        const PostureBreakdown shown{0, 2, 0, 0, 0, 0};
        QTRY_COMPARE(rig.service->breakdown(), shown);
        QTRY_COMPARE(rig.service->previousDayMoves(), std::optional<qint64>(1));

        answerRefresh(rig.server, 0, mixedDay, dayBefore);
        QVERIFY(!QTest::qWaitFor(
            [&] {
                return rig.service->breakdown() != shown || rig.service->previousDayMoves() != 1;
            },
            500));
        QCOMPARE(rig.service->orvBaselineMoves(), qint64(2));
        QVERIFY(!rig.service->isLoading());
    }

    // Without a serial nothing is sent, whatever asks; stopped polling stays stopped, and a tick
    // left behind finds no service.
    void nothingIsSentWithoutASerialOrAPoll()
    {
        Rig rig;
        rig.service->setChairSerial(QString());
        rig.service->fetchAnalytics();
        rig.service->setSelectedRange(TimeRange::week);
        rig.scheduler.advance(60s);
        QVERIFY(!rig.service->isLoading());

        rig.service->setChairSerial(QStringLiteral("SN123"));
        rig.service->startPolling();
        rig.service->startPolling(); // re-arms, never a second chain
        QCOMPARE(rig.scheduler.activeTimers(), 1);
        rig.service->stopPolling();
        QCOMPARE(rig.scheduler.activeTimers(), 0);
        rig.scheduler.advance(600s);
        QVERIFY(!rig.service->isLoading());
        rig.service->startPolling();
        rig.service.reset();
        rig.scheduler.advance(600s);
        QTest::qWait(100);
        QCOMPARE(rig.server.connectionsMade(), 0);
    }
};

QTEST_GUILESS_MAIN(AnalyticsServiceTest)
#include "tst_analyticsservice.moc"
