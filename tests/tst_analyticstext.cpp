// Texts and figures of the analytics tab: durations, shares, the comparison line, the live
// total, the debug serial and the range picker's labels.
#include "AnalyticsText.h"

#include <QtTest>

#include <limits>

using namespace AnalyticsText;

class AnalyticsTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void durationsDropWhatTheirUnitHides_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0s");
        QTest::newRow("59.4 rounds down") << 59.4 << QStringLiteral("59s");
        QTest::newRow("59.5 rounds up to a minute") << 59.5 << QStringLiteral("1m");
        QTest::newRow("90") << 90.0 << QStringLiteral("1m 30s");
        QTest::newRow("120") << 120.0 << QStringLiteral("2m");
        QTest::newRow("3599") << 3599.0 << QStringLiteral("59m 59s");
        QTest::newRow("3600") << 3600.0 << QStringLiteral("1h");
        QTest::newRow("3725 drops seconds") << 3725.0 << QStringLiteral("1h 2m");
        QTest::newRow("a hundred hours") << 360000.0 << QStringLiteral("100h");
        QTest::newRow("negative from the server") << -30.0 << QStringLiteral("0s");
        QTest::newRow("not a number") << nan << QStringLiteral("0s");
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity()
                                  << QStringLiteral("0s");
    }
    void durationsDropWhatTheirUnitHides()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(durationText(seconds), text);
    }

    // A bar's share is of the whole time and bounded; its figures are whole numbers.
    void barFigures()
    {
        QCOMPARE(share(120.5, 120.5, 60, 15), 120.5 / 195.5 * 100);
        QCOMPARE(share(60, 120.5, 60, 15), 60 / 195.5 * 100);
        // No time logged: every bar empty, not a division by zero.
        QCOMPARE(share(0, 0, 0, 0), 0.0);
        // A negative duration counts as none and cannot push another share past 100.
        QCOMPARE(share(10, 10, -10, 0), 100.0);
        QCOMPARE(share(-10, 10, -10, 0), 0.0);
        QCOMPARE(share(1, std::numeric_limits<double>::quiet_NaN(), 1, 0), 100.0);
        QCOMPARE(percentText(0), QStringLiteral("0%"));
        QCOMPARE(percentText(30.5), QStringLiteral("31%")); // halves away from zero
        QCOMPARE(percentText(30.49), QStringLiteral("30%"));
        QCOMPARE(transitionsText(5), QStringLiteral("5 transitions"));
        QCOMPARE(movesText(1234567), QStringLiteral("1234567"));
    }

    // Through the formatter QML calls: "unknown" arrives as undefined, the tone goes by name.
    void comparisonAgainstThePreviousPeriod_data()
    {
        QTest::addColumn<QVariant>("previous");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<TimeRange>("range");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tone");
        QTest::addColumn<bool>("isBold");
        const QString none, green = QStringLiteral("green"), orange = QStringLiteral("orange");
        const TimeRange today = TimeRange::today;
        QTest::newRow("unknown") << QVariant() << qint64(50) << today << none << none << false;
        QTest::newRow("equal is +0") << QVariant(12) << qint64(12) << today
                                     << QStringLiteral("+0% vs yesterday") << green << true;
        QTest::newRow("8 to 9 is +13 (half away from zero)")
            << QVariant(8) << qint64(9) << TimeRange::year << QStringLiteral("+13% vs last period")
            << green << true;
        QTest::newRow("8 to 7 is -13") << QVariant(8) << qint64(7) << TimeRange::week
                                       << QStringLiteral("-13% vs last period") << orange << true;
        QTest::newRow("3 to 1 over a month is -67")
            << QVariant(3) << qint64(1) << TimeRange::month << QStringLiteral("-67% vs last period")
            << orange << true;
        QTest::newRow("back from nothing")
            << QVariant(0) << qint64(5) << today << QStringLiteral("Nice, back to moving!") << green
            << false;
        QTest::newRow("nothing both times")
            << QVariant(0) << qint64(0) << today << none << none << false;
        QTest::newRow("negative previous from the server")
            << QVariant(-4) << qint64(5) << today << none << none << false;
        QTest::newRow("huge growth stays a number")
            << QVariant(1) << std::numeric_limits<qint64>::max() << today
            << QStringLiteral("+1000000000000000% vs yesterday") << green << true;
    }
    void comparisonAgainstThePreviousPeriod()
    {
        QFETCH(QVariant, previous);
        QFETCH(qint64, total);
        QFETCH(TimeRange, range);
        QFETCH(QString, text);
        QFETCH(QString, tone);
        QFETCH(bool, isBold);
        const QVariantMap line = AnalyticsTextFormatter().comparison(previous, total, int(range));
        QCOMPARE(line.value(QStringLiteral("text")).toString(), text);
        QCOMPARE(line.value(QStringLiteral("tone")).toString(), tone);
        QCOMPARE(line.value(QStringLiteral("bold")).toBool(), isBold);
    }

    // The posture follows the live legs; the live total is the larger and never overflows.
    void liveFigures()
    {
        QCOMPARE(posture(true, true), QStringLiteral("Sit"));
        QCOMPARE(posture(false, false), QStringLiteral("Stand"));
        QCOMPARE(posture(true, false), QStringLiteral("Stilta"));
        QCOMPARE(posture(false, true), QStringLiteral("Stilta"));
        // (The growth added, and the server's total taking over: tst_ui_analytics.) Fewer session
        // moves than at the baseline (a new session) take nothing away.
        QCOMPARE(totalMoves(5, 10, -4), qint64(10));
        QCOMPARE(totalMoves(0, std::numeric_limits<qint64>::max(), 5),
                 std::numeric_limits<qint64>::max());
    }

    void debugSerialLosesOnlySpacesAndTabs()
    {
        QCOMPARE(debugSerial(QStringLiteral("\t SN 123\t  ")), QStringLiteral("SN 123"));
        QCOMPARE(debugSerial(QStringLiteral("    ")), QString());
        QCOMPARE(debugSerial(QString()), QString());
        QCOMPARE(debugSerial(QStringLiteral(" SN123\n")), QStringLiteral("SN123\n"));
    }

    void pickerOffersTheRangesInOrderByTheirLabels()
    {
        QStringList names;
        QList<TimeRange> ranges;
        for (const QVariant& segment : AnalyticsTextFormatter().ranges()) {
            names << segment.toMap().value(QStringLiteral("name")).toString();
            ranges << TimeRange(segment.toMap().value(QStringLiteral("range")).toInt());
            QCOMPARE(Analytics::timeRangeFromText(names.last()), std::optional(ranges.last()));
        }
        QCOMPARE(names, (QStringList{QStringLiteral("Today"), QStringLiteral("7 Days"),
                                     QStringLiteral("30 Days"), QStringLiteral("Year")}));
        QCOMPARE(ranges, (QList<TimeRange>{TimeRange::today, TimeRange::week, TimeRange::month,
                                           TimeRange::year}));
        for (const char* other : {"today", "Today ", "7 days", ""})
            QVERIFY(!Analytics::timeRangeFromText(QString::fromLatin1(other)));
    }
};

QTEST_APPLESS_MAIN(AnalyticsTextTest)
#include "tst_analyticstext.moc"
