// The analytics service against a real HTTPS server on 127.0.0.1: what it sends, what it makes
// of each kind of answer, which answers it keeps, and when it asks again.
#include "AnalyticsAnswers.h"
#include "AnalyticsService.h"
#include "Clock.h"
#include "HttpsTestServer.h"
#include "Scheduler.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Answer = HttpsTestServer::Answer;
using Request = HttpsTestServer::Request;
using namespace AnalyticsAnswers;

namespace {

const QTimeZone berlin("Europe/Berlin");

const PostureBreakdown mixedFigures{3, 2, 5, 120.5, 60, 15};

QString windowStart(const Request& request)
{
    const QString query = QJsonDocument::fromJson(request.body).object().value(u"query").toString();
    static const QRegularExpression start(QStringLiteral("eventTimeFrom\\(from: \"([0-9-]*)\"\\)"));
    return start.match(query).captured(1);
}

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

HttpsTestServer::Responder periods(Answer current, Answer previous)
{
    return [current, previous](const Request& request) {
        return windowStart(request) == u"2026-03-05" ? current : previous;
    };
}

// A body of exactly `size` bytes whose rows are four sits.
QByteArray fourSitsPaddedTo(qint64 size)
{
    const QByteArray head = usage(row("Up", "Up", 4)).body.chopped(1) + ",\"padding\":\"";
    return head + QByteArray(size - head.size() - 2, 'x') + "\"}";
}

struct Rig {
    explicit Rig(HttpsTestServer::Identity identity = HttpsTestServer::Identity::signedByTestCa,
                 std::chrono::milliseconds timeout = 5s, const QUrl& endpoint = {})
        : server(identity)
        , clock(QDateTime(QDate(2026, 3, 5), QTime(9, 30), berlin), berlin)
        , service(std::make_unique<AnalyticsService>(
              clock, scheduler,
              AnalyticsService::Options{endpoint.isEmpty() ? server.url() : endpoint,
                                        {HttpsTestServer::caCertificate()},
                                        timeout}))
    {
        service->setChairSerial(QStringLiteral("SN123"));
    }

    // Until the current period is applied; the previous one is awaited by its value.
    void refresh(const Answer& current, const Answer& previous)
    {
        server.setResponder(periods(current, previous));
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

    void eachRefreshAsksForBothPeriodsWithKeyAndZone()
    {
        Rig rig;
        rig.service->fetchAnalytics();
        QVERIFY(rig.service->isLoading());
        QTRY_COMPARE(rig.server.requests().size(), 2);
        QSet<QByteArray> bodies;
        for (const Request& request : rig.server.requests()) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.path, QByteArray("/api/graphql"));
            QStringList ours;
            for (const auto& [name, value] : request.headers) {
                const QString field = QString::fromLatin1(name).toLower();
                if (field == u"content-type" || field == u"api-key" || field == u"time-zone")
                    ours << field + QLatin1String(": ") + QString::fromLatin1(value);
            }
            QCOMPARE(ours,
                     (QStringList{QStringLiteral("content-type: application/json;charset=UTF-8"),
                                  QStringLiteral("api-key: 5b0c7e21-93d4-4f6a-8c1e-2d7a90b4e3f8"),
                                  QStringLiteral("time-zone: Europe/Berlin")}));
            bodies << request.body;
        }
        const auto body = [](const char* from, const char* to) {
            return AnalyticsQuery::requestBody(AnalyticsQuery::buildQuery(
                QStringLiteral("SN123"), QLatin1String(from), QLatin1String(to)));
        };
        QCOMPARE(bodies, (QSet<QByteArray>{body("2026-03-05", "2026-03-06"),
                                           body("2026-03-04", "2026-03-05")}));
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
        Rig rig(HttpsTestServer::Identity::signedByTestCa, 400ms);
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

    void untrustedCertificateIsRefusedBeforeAnyRequest()
    {
        Rig rig(HttpsTestServer::Identity::selfSigned);
        rig.service->fetchAnalytics();
        QTRY_VERIFY(rig.service->errorMessage().has_value());
        QVERIFY(!rig.service->isLoading());
        QVERIFY(rig.server.handshakesStarted() > 0);
        QCOMPARE(rig.server.requests().size(), 0);
    }

    void plainHttpEndpointNeverGetsTheKey()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost));
        QByteArray heard;
        connect(&plain, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = plain.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this,
                    [&heard, socket] { heard += socket->readAll(); });
        });
        Rig rig(HttpsTestServer::Identity::signedByTestCa, 2s,
                QUrl(QStringLiteral("http://127.0.0.1:%1/api/graphql").arg(plain.serverPort())));
        rig.service->fetchAnalytics();
        QTRY_VERIFY(rig.service->errorMessage().has_value());
        QVERIFY(!rig.service->isLoading());
        QTest::qWait(200);
        QVERIFY(!heard.contains(AnalyticsService::apiKey));
    }

    void rangeChangeClearsRefetchesAndRestartsPolling()
    {
        Rig rig;
        rig.refresh(mixedDay, dayBefore);
        rig.service->startPolling();
        rig.scheduler.advance(5s);
        rig.server.answerEvery({503, {}});

        rig.service->setSelectedRange(TimeRange::year);
        QCOMPARE(rig.service->breakdown(), PostureBreakdown{});
        QCOMPARE(rig.service->previousDayMoves(), std::nullopt);
        QCOMPARE(rig.service->orvBaselineMoves(), qint64(0));
        QVERIFY(!rig.service->orvBaselineSet());
        rig.settle();
        QTRY_COMPARE(rig.server.requests().size(), 4);
        const QList<Request>& asked = rig.server.requests();
        QCOMPARE((QSet<QString>{windowStart(asked[2]), windowStart(asked[3])}),
                 (QSet<QString>{QStringLiteral("2025-03-05"), QStringLiteral("2024-03-04")}));
        // The year's failure does not bring back the day's figures.
        QVERIFY(rig.service->errorMessage().has_value());
        QCOMPARE(rig.service->breakdown(), PostureBreakdown{});

        rig.scheduler.advance(300s - 1ms); // the day's tick, due 5 s after the change, is gone
        QVERIFY(!rig.service->isLoading());
        rig.scheduler.advance(1ms);
        QVERIFY(rig.service->isLoading());
        QTRY_COMPARE(rig.server.requests().size(), 6);
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

    void pollingIntervalFollowsTheRange_data()
    {
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<int>("seconds");
        QTest::newRow("today") << TimeRange::today << 10;
        QTest::newRow("7 days") << TimeRange::week << 30;
        QTest::newRow("30 days") << TimeRange::month << 120;
        QTest::newRow("year") << TimeRange::year << 300;
    }
    void pollingIntervalFollowsTheRange()
    {
        QFETCH(TimeRange, range);
        QFETCH(int, seconds);
        Rig rig;
        rig.service->setSelectedRange(range);
        rig.settle();
        for (int tick = 1; tick <= 2; ++tick) {
            rig.scheduler.advance(std::chrono::seconds(seconds) - 1ms);
            QVERIFY(!rig.service->isLoading());
            rig.scheduler.advance(1ms);
            QVERIFY(rig.service->isLoading());
            rig.settle();
            QTRY_COMPARE(rig.server.requests().size(), 2 + 2 * tick);
        }
    }

    void stoppedPollingStaysStopped()
    {
        Rig rig;
        rig.service->startPolling();
        rig.service->startPolling(); // re-arms, never a second chain
        QCOMPARE(rig.scheduler.activeTimers(), 1);
        rig.service->stopPolling();
        QCOMPARE(rig.scheduler.activeTimers(), 0);
        rig.scheduler.advance(600s);
        QVERIFY(!rig.service->isLoading());

        rig.service->startPolling();
        rig.service.reset(); // a tick left behind finds no service
        rig.scheduler.advance(600s);
        QCOMPARE(rig.server.handshakesStarted(), 0);
    }

    void emptySerialSendsNothing()
    {
        Rig rig;
        rig.service->setChairSerial(QString());
        rig.service->fetchAnalytics();
        rig.service->setSelectedRange(TimeRange::week);
        rig.scheduler.advance(60s);
        QVERIFY(!rig.service->isLoading());
        QTest::qWait(100);
        QCOMPARE(rig.server.handshakesStarted(), 0);
    }
};

QTEST_GUILESS_MAIN(AnalyticsServiceTest)
#include "tst_analyticsservice.moc"
