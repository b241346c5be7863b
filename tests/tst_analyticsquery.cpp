// Calendar windows, the query the service is sent and the reading of its answers: the pure half
// of the analytics client.
#include "AnalyticsQuery.h"
#include "AnalyticsService.h"
#include "Clock.h"
#include "Scheduler.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QtTest>

#include <limits>

using namespace AnalyticsQuery;

namespace {

const QString sn123Query = QStringLiteral("{\n"
                                          "  chairUsageByLegPositionAndChair {\n"
                                          "    chair { name(like: \"SN123\") }\n"
                                          "    leftLegPos { name }\n"
                                          "    rightLegPos { name }\n"
                                          "    count\n"
                                          "    stateDuration\n"
                                          "    eventTimeFrom(from: \"2026-03-05\")\n"
                                          "    eventTimeTo(from: \"2026-03-06\")\n"
                                          "  }\n"
                                          "}");

// The query as a GraphQL lexer reads it: each string literal decoded (its escapes are JSON's),
// everything outside them kept as written.
struct Lexed {
    QString outside; // each literal reduced to ""
    QStringList strings;
};

std::optional<Lexed> lex(const QString& text)
{
    Lexed out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'"') {
            out.outside += text[i];
            continue;
        }
        // Raw line breaks and controls (tab aside) end a GraphQL string; so does an unknown escape.
        qsizetype end = i + 1;
        for (; end < text.size() && text[end] != u'"'; ++end) {
            if (text[end].unicode() < 0x20 && text[end] != u'\t')
                return std::nullopt;
            if (text[end] == u'\\' &&
                (++end == text.size() || !QStringView(u"\"\\/bfnrtu").contains(text[end])))
                return std::nullopt;
        }
        if (end >= text.size())
            return std::nullopt;
        const QString literal = text.mid(i, end - i + 1);
        const QJsonArray value = QJsonDocument::fromJson('[' + literal.toUtf8() + ']').array();
        out.outside += u"\"\"";
        out.strings << value[0].toString();
        i = end;
    }
    return out;
}

QJsonArray array(const char* json)
{
    return QJsonDocument::fromJson(json).array();
}

PostureBreakdown breakdownOf(const char* json)
{
    return aggregateBreakdown(array(json));
}

} // namespace

class AnalyticsQueryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void windowsAndTheirPreviousPeriods_data()
    {
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QDate>("previousFrom");
        QTest::addColumn<QDate>("previousTo");
        QTest::newRow("today, after yesterday")
            << TimeRange::today << QDate(2026, 3, 5) << QDate(2026, 3, 6) << QDate(2026, 3, 4)
            << QDate(2026, 3, 5);
        QTest::newRow("7 days span 8 dates")
            << TimeRange::week << QDate(2026, 2, 26) << QDate(2026, 3, 6) << QDate(2026, 2, 18)
            << QDate(2026, 2, 26);
        QTest::newRow("30 days across a short February")
            << TimeRange::month << QDate(2026, 2, 3) << QDate(2026, 3, 6) << QDate(2026, 1, 3)
            << QDate(2026, 2, 3);
        QTest::newRow("a year of 366 days back into a leap year")
            << TimeRange::year << QDate(2025, 3, 5) << QDate(2026, 3, 6) << QDate(2024, 3, 4)
            << QDate(2025, 3, 5);
    }
    void windowsAndTheirPreviousPeriods()
    {
        QFETCH(TimeRange, range);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QDate, previousFrom);
        QFETCH(QDate, previousTo);
        const DateWindow window = dateRange(range, QDate(2026, 3, 5));
        QCOMPARE(window, (DateWindow{from, to}));
        QCOMPARE(previousWindow(window), (DateWindow{previousFrom, previousTo}));
    }

    // Berlin's clocks change inside these windows; the edges stay at local midnight.
    void windowEdgesAreLocalMidnightsAcrossClockChanges_data()
    {
        const QTimeZone berlin("Europe/Berlin");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<int>("hours");
        QTest::newRow("spring forward: a 23-hour today")
            << QDateTime(QDate(2026, 3, 29), QTime(12, 0), berlin) << TimeRange::today
            << QDate(2026, 3, 29) << QDate(2026, 3, 30) << 23;
        QTest::newRow("fall back: a 25-hour today")
            << QDateTime(QDate(2026, 10, 25), QTime(12, 0), berlin) << TimeRange::today
            << QDate(2026, 10, 25) << QDate(2026, 10, 26) << 25;
        QTest::newRow("a week with the spring change inside")
            << QDateTime(QDate(2026, 4, 1), QTime(8, 0), berlin) << TimeRange::week
            << QDate(2026, 3, 25) << QDate(2026, 4, 2) << 8 * 24 - 1;
        QTest::newRow("half past midnight in Berlin is still the 28th in UTC")
            << QDateTime(QDate(2026, 3, 28), QTime(23, 30), QTimeZone::utc()) << TimeRange::today
            << QDate(2026, 3, 29) << QDate(2026, 3, 30) << 23;
    }
    void windowEdgesAreLocalMidnightsAcrossClockChanges()
    {
        QFETCH(QDateTime, now);
        QFETCH(TimeRange, range);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(int, hours);
        const QTimeZone berlin("Europe/Berlin");
        QVERIFY(berlin.isValid());
        ManualClock clock(now, berlin);
        ManualScheduler scheduler;
        AnalyticsService service(clock, scheduler);
        const auto [start, end] = service.dateRange(range);
        QCOMPARE(start.toTimeZone(berlin).date(), from);
        QCOMPARE(start.toTimeZone(berlin).time(), QTime(0, 0));
        QCOMPARE(end.toTimeZone(berlin).date(), to);
        QCOMPARE(end.toTimeZone(berlin).time(), QTime(0, 0));
        QCOMPARE(start.secsTo(end), qint64(hours) * 3600);
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
        QTest::newRow("control characters") << QStringLiteral("SN\x01\x1f\b\f");
        QTest::newRow("beyond ASCII") << QStringLiteral("Stuhl-Ü-椅子");
    }
    void serialCannotBreakOutOfItsString()
    {
        QFETCH(QString, serial);
        const QString from = QStringLiteral("2026-03-05");
        const QString to = QStringLiteral("2026-03-06");
        const std::optional<Lexed> lexed = lex(buildQuery(serial, from, to));
        QVERIFY(lexed);
        QCOMPARE(lexed->strings, (QStringList{serial, from, to}));
        QCOMPARE(lexed->outside, lex(sn123Query)->outside);

        const QString query = buildQuery(serial, from, to);
        const QJsonDocument body = QJsonDocument::fromJson(requestBody(query));
        QCOMPARE(body.object().value(u"query").toString(), query);
        QCOMPARE(body.object().size(), 1);
    }

    void answersAreReadFromTheFirstListThatFits_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("rows");
        const QByteArray a = R"([{"count":1}])";
        QTest::newRow("usage by leg position and chair")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":[{"count":1}],)"
                          R"("chairEvent":[{"count":3}]}})")
            << a;
        QTest::newRow("null first member: the second")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":null,)"
                          R"("chairUsageByLegPosition":[{"count":2}]}})")
            << QByteArray(R"([{"count":2}])");
        QTest::newRow("only chair events") << QByteArray(R"({"data":{"chairEvent":[{"count":3}]}})")
                                           << QByteArray(R"([{"count":3}])");
        QTest::newRow("a list holding a non-object is skipped")
            << QByteArray(R"({"data":{"chairUsageByLegPositionAndChair":[{"count":1},7],)"
                          R"("chairUsageByLegPosition":{"count":2},"chairEvent":[{"count":3}]}})")
            << QByteArray(R"([{"count":3}])");
        QTest::newRow("GraphQL errors only")
            << QByteArray(R"({"errors":[{"message":"schema changed"}]})") << QByteArray("[]");
        QTest::newRow("data is a list")
            << QByteArray(R"({"data":[{"count":1}]})") << QByteArray("[]");
        QTest::newRow("none of the three")
            << QByteArray(R"({"data":{"usage":[{"count":1}]}})") << QByteArray("[]");
        QTest::newRow("top level is a list") << QByteArray(R"([{"data":{}}])") << QByteArray("[]");
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

    void legPositionsDecideThePosture()
    {
        const PostureBreakdown mixed = breakdownOf(R"([
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":3,"stateDuration":120.5},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":2,"stateDuration":60},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Down"},"count":1,"stateDuration":10},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Up"},"count":4,"stateDuration":5}])");
        QCOMPARE(mixed, (PostureBreakdown{3, 2, 5, 120.5, 60, 15}));
        QCOMPARE(mixed.moveTotal(), qint64(10));

        const PostureBreakdown unclear = breakdownOf(R"([
            {"leftLegPos":{"name":"up"},"rightLegPos":{"name":"up"},"count":1,"stateDuration":1},
            {"rightLegPos":{"name":"Up"},"count":2,"stateDuration":2},
            {"leftLegPos":"Up","rightLegPos":{"name":"Up"},"count":4,"stateDuration":4},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":7},"count":8,"stateDuration":8}])");
        QCOMPARE(unclear, (PostureBreakdown{0, 0, 15, 0, 0, 15}));
    }

    void numbersOutsideTheirTypeAreIgnored()
    {
        QJsonArray rows = array(R"([
            {"count":2.5,"stateDuration":90},
            {"count":4.0,"stateDuration":"7"},
            {"count":"3","stateDuration":1},
            {"count":1e300,"stateDuration":1},
            {"count":18446744073709551616,"stateDuration":1},
            {"count":9223372036854775808,"stateDuration":1},
            {"stateDuration":2},
            {"count":1,"stateDuration":-5}])");
        for (const double odd :
             {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
            rows.append(
                QJsonObject{{QStringLiteral("count"), 1}, {QStringLiteral("stateDuration"), odd}});
        for (QJsonValueRef row : rows) {
            QJsonObject sit = row.toObject();
            sit.insert(QStringLiteral("leftLegPos"), QJsonObject{{QStringLiteral("name"), "Up"}});
            sit.insert(QStringLiteral("rightLegPos"), QJsonObject{{QStringLiteral("name"), "Up"}});
            row = sit;
        }
        const PostureBreakdown sit = aggregateBreakdown(rows);
        QCOMPARE(sit.sitCount, qint64(7));
        QCOMPARE(sit.sitDuration, 96.0);
    }

    void sumsSaturateInsteadOfOverflowing()
    {
        const qint64 most = std::numeric_limits<qint64>::max();
        const PostureBreakdown b = breakdownOf(R"([
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":4611686018427387904},
            {"leftLegPos":{"name":"Down"},"rightLegPos":{"name":"Down"},"count":4611686018427387904},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":9223372036854775807},
            {"leftLegPos":{"name":"Up"},"rightLegPos":{"name":"Up"},"count":1}])");
        QCOMPARE(b.standCount, most);
        QCOMPARE(b.sitCount, most); // the largest count there is still fits
        QCOMPARE(b.moveTotal(), most);
    }

    void rangesAreChosenByTheirLabels()
    {
        QStringList labels;
        for (const TimeRange range : Analytics::allRanges) {
            labels << Analytics::timeRangeText(range);
            QCOMPARE(Analytics::timeRangeFromText(labels.last()), std::optional(range));
        }
        QCOMPARE(labels, (QStringList{QStringLiteral("Today"), QStringLiteral("7 Days"),
                                      QStringLiteral("30 Days"), QStringLiteral("Year")}));
        for (const char* other : {"today", "Today ", "7 days", ""})
            QVERIFY(!Analytics::timeRangeFromText(QString::fromLatin1(other)));
    }
};

QTEST_GUILESS_MAIN(AnalyticsQueryTest)
#include "tst_analyticsquery.moc"
