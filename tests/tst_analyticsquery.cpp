// Calendar windows, the query the service is sent and the reading of its answers: the pure half
// of the analytics client.
#include "AnalyticsQuery.h"
#include "AnalyticsService.h"
#include "Clock.h"
#include "Scheduler.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

#include <limits>

using namespace AnalyticsQuery;

namespace {

const QTimeZone berlin("Europe/Berlin");

const QString sn123Query = QStringLiteral(
    "{\n  chairUsageByLegPositionAndChair {\n    chair { name(like: \"SN123\") }\n"
    "    leftLegPos { name }\n    rightLegPos { name }\n    count\n    stateDuration\n"
    "    eventTimeFrom(from: \"2026-03-05\")\n    eventTimeTo(from: \"2026-03-06\")\n  }\n}");

// The query as a GraphQL lexer reads it: the string literals decoded (their escapes are JSON's),
// and the text around them with each literal reduced to "". A quote that opens no valid literal
// (raw line break or control, unknown escape) stays in the text around them.
std::pair<QString, QStringList> lex(const QString& text)
{
    static const QRegularExpression literal(
        QStringLiteral(R"("(?:[^"\\\x00-\x08\x0a-\x1f]|\\["\\/bfnrt]|\\u[0-9A-Fa-f]{4})*")"));
    QString outside;
    QStringList strings;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& match : literal.globalMatch(text)) {
        outside += text.mid(at, match.capturedStart() - at) + QStringLiteral("\"\"");
        const QByteArray json = '[' + match.captured().toUtf8() + ']';
        strings << QJsonDocument::fromJson(json).array().at(0).toString();
        at = match.capturedEnd();
    }
    return {outside + text.mid(at), strings};
}

} // namespace

class AnalyticsQueryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A window runs from local midnight to local midnight, across Berlin's clock changes too; the
    // period before it is as long and ends where it opens. Dates: previous period's first, the
    // window's first, the day after the window. (Each range on an ordinary day, with a short
    // February and a leap year behind it: the queries tst_analyticsservice sees sent.)
    void windowsAndTheirPreviousPeriods_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<QString>("dates");
        const auto at = [](int month, int day, int hour) {
            return QDateTime(QDate(2026, month, day), QTime(hour, 0), berlin);
        };
        QTest::newRow("spring forward: a 23-hour today")
            << at(3, 29, 12) << TimeRange::today << "2026-03-28 2026-03-29 2026-03-30";
        QTest::newRow("fall back: a 25-hour today")
            << at(10, 25, 12) << TimeRange::today << "2026-10-24 2026-10-25 2026-10-26";
        QTest::newRow("a week with the spring change inside")
            << at(4, 1, 8) << TimeRange::week << "2026-03-17 2026-03-25 2026-04-02";
        QTest::newRow("half past midnight in Berlin is still the 28th in UTC")
            << QDateTime(QDate(2026, 3, 28), QTime(23, 30), QTimeZone::utc()) << TimeRange::today
            << "2026-03-28 2026-03-29 2026-03-30";
    }
    void windowsAndTheirPreviousPeriods()
    {
        QFETCH(QDateTime, now);
        QFETCH(TimeRange, range);
        QFETCH(QString, dates);
        QList<QDate> day;
        for (const QString& text : dates.split(u' '))
            day << QDate::fromString(text, Qt::ISODate);
        QVERIFY(berlin.isValid());
        const DateWindow window = dateRange(range, now.toTimeZone(berlin).date());
        QCOMPARE(window, (DateWindow{day[1], day[2]}));
        QCOMPARE(previousWindow(window), (DateWindow{day[0], day[1]}));
        ManualClock clock(now, berlin);
        ManualScheduler scheduler;
        const auto [start, end] = AnalyticsService(clock, scheduler).dateRange(range);
        QCOMPARE(start, QDateTime(day[1], QTime(0, 0), berlin));
        QCOMPARE(end, QDateTime(day[2], QTime(0, 0), berlin));
    }

    void datesAreWrittenInAsciiWhateverTheLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        const QString text = dateText(QDate(2026, 3, 5));
        QLocale::setDefault(before);
        QCOMPARE(text, QStringLiteral("2026-03-05"));
    }

    void queryNamesTheChairAndTheWindow()
    {
        QCOMPARE(buildQuery(QStringLiteral("SN123"), QStringLiteral("2026-03-05"),
                            QStringLiteral("2026-03-06")),
                 sn123Query);
        // Compact: no space between tokens, the line feeds as \n inside the one string.
        const QByteArray inJson = sn123Query.toUtf8().replace("\"", "\\\"").replace("\n", "\\n");
        QCOMPARE(requestBody(sn123Query), "{\"query\":\"" + inJson + "\"}");
    }

    // A serial typed on the debug screen is data inside its string literal, never query text.
    void serialCannotBreakOutOfItsString_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("quote and closing braces")
            << QStringLiteral("SN\") } chairEvent { name(like: \"%");
        QTest::newRow("backslashes") << QStringLiteral("SN\\\\\\");
        QTest::newRow("line breaks and tab") << QStringLiteral("SN\n\"\r\t}");
        QTest::newRow("control characters") << QStringLiteral("SN\x01\x1f\b\f\x7f");
        QTest::newRow("beyond ASCII") << QStringLiteral("Stuhl-Ü-椅子");
    }
    void serialCannotBreakOutOfItsString()
    {
        QFETCH(QString, serial);
        const QString from = QStringLiteral("2026-03-05");
        const QString to = QStringLiteral("2026-03-06");
        const QString query = buildQuery(serial, from, to);
        const auto [outside, strings] = lex(query);
        QCOMPARE(strings, (QStringList{serial, from, to}));
        QCOMPARE(outside, lex(sn123Query).first);

        const QJsonDocument body = QJsonDocument::fromJson(requestBody(query));
        QCOMPARE(body.object().value(u"query").toString(), query);
        QCOMPARE(body.object().size(), 1);
    }

    void answersAreReadFromTheFirstListThatFits_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("rows");
        QTest::newRow("usage by leg position and chair")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":[{"count":1}],)"
                          R"("chairEvent":[{"count":3}]}})")
            << QByteArray(R"([{"count":1}])");
        QTest::newRow("null first member: the second")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":null,)"
                          R"("chairUsageByLegPosition":[{"count":2}]}})")
            << QByteArray(R"([{"count":2}])");
        QTest::newRow("a list holding a non-object, a non-list: the third")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":[{"count":1},7],)"
                          R"("chairUsageByLegPosition":{"count":2},"chairEvent":[{"count":3}]}})")
            << QByteArray(R"([{"count":3}])");
        QTest::newRow("GraphQL errors only")
            << QByteArray(R"({"errors":[{"message":"schema changed"}]})") << QByteArray("[]");
        QTest::newRow("none of the three")
            << QByteArray(R"({"data":{"usage":[{"count":1}]}})") << QByteArray("[]");
        QTest::newRow("cut short")
            << QByteArray("{\"data\":{\"chairEvent\":[{\"count\"") << QByteArray("[]");
        QTest::newRow("empty body") << QByteArray() << QByteArray("[]");
    }
    void answersAreReadFromTheFirstListThatFits()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, rows);
        QCOMPARE(parseUsageRows(body), QJsonDocument::fromJson(rows).array());
    }

    // Both legs up is a sit, both down a stand, anything else (unnamed legs too) Stilta's; only
    // whole 64-bit counts and finite, positive times count, and sums saturate.
    void rowsAddUpByPosture_data()
    {
        QTest::addColumn<QJsonArray>("rows");
        QTest::addColumn<PostureBreakdown>("sum");
        QTest::addColumn<qint64>("moves");
        const auto rows = [](const char* json) { return QJsonDocument::fromJson(json).array(); };
        const qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("legs decide the posture")
            << rows(R"([
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":3,"stateDuration":120.5},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":2,"stateDuration":60},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Down"},"count":1,"stateDuration":10},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Up"},"count":4,"stateDuration":5}])")
            << PostureBreakdown{3, 2, 5, 120.5, 60, 15} << qint64(10);
        QTest::newRow("unclear legs") << rows(R"([
            {"leftLegPos":{"name":"up"},"rightLegPos":{"name":"up"},"count":1,"stateDuration":1},
            {"rightLegPos":{"name":"Up"},"count":2,"stateDuration":2},
            {"leftLegPos":"Up","rightLegPos":{"name":"Up"},"count":4,"stateDuration":4},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":7},"count":8,"stateDuration":8}])")
                                      << PostureBreakdown{0, 0, 15, 0, 0, 15} << qint64(15);
        QJsonArray odd = rows(R"([
            {"count":2.5,"stateDuration":90},
            {"count":4.0,"stateDuration":"7"},
            {"count":"3","stateDuration":1},
            {"count":1e300,"stateDuration":1},
            {"count":18446744073709551616,"stateDuration":1},
            {"count":9223372036854775808,"stateDuration":1},
            {"stateDuration":2},
            {"count":1,"stateDuration":-5}])");
        for (const double seconds :
             {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
            odd.append(QJsonObject{{QStringLiteral("count"), 1},
                                   {QStringLiteral("stateDuration"), seconds}});
        QTest::newRow("numbers outside their type")
            << odd << PostureBreakdown{0, 0, 7, 0, 0, 96} << qint64(7);
        // The largest count there is still fits.
        QTest::newRow("sums saturate") << rows(R"([
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":4611686018427387904},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":4611686018427387904},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":9223372036854775807},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":1}])")
                                       << PostureBreakdown{most, most, 0, 0, 0, 0} << most;
    }
    void rowsAddUpByPosture()
    {
        QFETCH(QJsonArray, rows);
        QFETCH(PostureBreakdown, sum);
        QFETCH(qint64, moves);
        QCOMPARE(aggregateBreakdown(rows), sum);
        QCOMPARE(aggregateBreakdown(rows).moveTotal(), moves);
    }
};

QTEST_GUILESS_MAIN(AnalyticsQueryTest)
#include "tst_analyticsquery.moc"
