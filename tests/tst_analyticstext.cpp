// Texts and figures of the analytics tab: durations, shares, the comparison line, the live
// total and the debug serial.
#include "AnalyticsText.h"

#include <QtTest>

#include <limits>

using namespace AnalyticsText;

class AnalyticsTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void durationsDropWhatTheirUnitHides_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0s");
        QTest::newRow("59.4 rounds down") << 59.4 << QStringLiteral("59s");
        QTest::newRow("59.5 rounds up to a minute") << 59.5 << QStringLiteral("1m");
        QTest::newRow("90") << 90.0 << QStringLiteral("1m 30s");
        QTest::newRow("120") << 120.0 << QStringLiteral("2m");
        QTest::newRow("3599") << 3599.0 << QStringLiteral("59m 59s");
        QTest::newRow("3600") << 3600.0 << QStringLiteral("1h");
        QTest::newRow("3660") << 3660.0 << QStringLiteral("1h 1m");
        QTest::newRow("3725 drops seconds") << 3725.0 << QStringLiteral("1h 2m");
        QTest::newRow("a hundred hours") << 360000.0 << QStringLiteral("100h");
        QTest::newRow("negative from the server") << -30.0 << QStringLiteral("0s");
        QTest::newRow("not a number")
            << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("0s");
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity()
                                  << QStringLiteral("0s");
    }
    void durationsDropWhatTheirUnitHides()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(durationText(seconds), text);
    }

    void sharesAreOfTheWholeTimeAndBounded()
    {
        QCOMPARE(share(120.5, 120.5, 60, 15), 120.5 / 195.5 * 100);
        QCOMPARE(share(60, 120.5, 60, 15), 60 / 195.5 * 100);
        // No time logged: every bar empty, not a division by zero.
        QCOMPARE(share(0, 0, 0, 0), 0.0);
        QCOMPARE(percentText(share(0, 0, 0, 0)), QStringLiteral("0%"));
        // A negative duration counts as none and cannot push another share past 100.
        QCOMPARE(share(10, 10, -10, 0), 100.0);
        QCOMPARE(share(-10, 10, -10, 0), 0.0);
        QCOMPARE(share(1, std::numeric_limits<double>::quiet_NaN(), 1, 0), 100.0);
    }

    void percentsRoundHalvesAwayFromZero()
    {
        QCOMPARE(percentText(61.6), QStringLiteral("62%"));
        QCOMPARE(percentText(30.5), QStringLiteral("31%"));
        QCOMPARE(percentText(30.49), QStringLiteral("30%"));
        QCOMPARE(percentText(100), QStringLiteral("100%"));
        QCOMPARE(transitionsText(0), QStringLiteral("0 transitions"));
        QCOMPARE(transitionsText(5), QStringLiteral("5 transitions"));
        QCOMPARE(movesText(1234567), QStringLiteral("1234567"));
    }

    void comparisonAgainstThePreviousPeriod_data()
    {
        QTest::addColumn<QVariant>("previous"); // invalid: not known
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tone");
        QTest::addColumn<bool>("isBold");
        const int none = int(Tone::none), green = int(Tone::green), orange = int(Tone::orange);
        const int today = int(TimeRange::today), week = int(TimeRange::week);
        QTest::newRow("unknown") << QVariant() << qint64(50) << today << QString() << none << false;
        QTest::newRow("40 to 50 today") << QVariant(qint64(40)) << qint64(50) << today
                                        << QStringLiteral("+25% vs yesterday") << green << true;
        QTest::newRow("40 to 30 over a week")
            << QVariant(qint64(40)) << qint64(30) << week << QStringLiteral("-25% vs last period")
            << orange << true;
        QTest::newRow("3 to 1 rounds to -67")
            << QVariant(qint64(3)) << qint64(1) << int(TimeRange::month)
            << QStringLiteral("-67% vs last period") << orange << true;
        QTest::newRow("equal is +0") << QVariant(qint64(12)) << qint64(12) << today
                                     << QStringLiteral("+0% vs yesterday") << green << true;
        QTest::newRow("8 to 9 is +13 (half away from zero)")
            << QVariant(qint64(8)) << qint64(9) << int(TimeRange::year)
            << QStringLiteral("+13% vs last period") << green << true;
        QTest::newRow("8 to 7 is -13") << QVariant(qint64(8)) << qint64(7) << week
                                       << QStringLiteral("-13% vs last period") << orange << true;
        QTest::newRow("back from nothing")
            << QVariant(qint64(0)) << qint64(5) << today << QStringLiteral("Nice, back to moving!")
            << green << false;
        QTest::newRow("nothing both times")
            << QVariant(qint64(0)) << qint64(0) << today << QString() << none << false;
        QTest::newRow("negative previous from the server")
            << QVariant(qint64(-4)) << qint64(5) << today << QString() << none << false;
        QTest::newRow("huge growth stays a number")
            << QVariant(qint64(1)) << std::numeric_limits<qint64>::max() << today
            << QStringLiteral("+1000000000000000% vs yesterday") << green << true;
    }
    void comparisonAgainstThePreviousPeriod()
    {
        QFETCH(QVariant, previous);
        QFETCH(qint64, total);
        QFETCH(int, range);
        QFETCH(QString, text);
        QFETCH(int, tone);
        QFETCH(bool, isBold);
        const std::optional<qint64> p =
            previous.isValid() ? std::optional<qint64>(previous.toLongLong()) : std::nullopt;
        const Comparison line = comparison(p, total, TimeRange(range));
        QCOMPARE(line.text, text);
        QCOMPARE(int(line.tone), tone);
        QCOMPARE(line.isBold, isBold);
        // QML passes "unknown" as undefined and gets the tone by name.
        const QVariantMap fromQml = AnalyticsTextFormatter().comparison(previous, total, range);
        QCOMPARE(fromQml.value(QStringLiteral("text")).toString(), text);
        QCOMPARE(fromQml.value(QStringLiteral("tone")).toString(),
                 tone == int(Tone::green)    ? QStringLiteral("green")
                 : tone == int(Tone::orange) ? QStringLiteral("orange")
                                             : QString());
    }

    void postureFollowsTheLiveLegs()
    {
        QCOMPARE(posture(true, true), QStringLiteral("Sit"));
        QCOMPARE(posture(false, false), QStringLiteral("Stand"));
        QCOMPARE(posture(true, false), QStringLiteral("Stilta"));
        QCOMPARE(posture(false, true), QStringLiteral("Stilta"));
    }

    void liveTotalIsTheLargerAndNeverOverflows()
    {
        // Server 10, baseline 10, three moves since: 13 until the server passes it.
        QCOMPARE(totalMoves(10, 10, 3), qint64(13));
        QCOMPARE(totalMoves(14, 10, 3), qint64(14));
        // Fewer session moves than at the baseline (a new session) add nothing.
        QCOMPARE(totalMoves(10, 10, -4), qint64(10));
        QCOMPARE(totalMoves(0, std::numeric_limits<qint64>::max(), 5),
                 std::numeric_limits<qint64>::max());
    }

    void debugSerialLosesOnlySpacesAndTabs()
    {
        QCOMPARE(debugSerial(QStringLiteral("  SN123  ")), QStringLiteral("SN123"));
        QCOMPARE(debugSerial(QStringLiteral("\t SN 123\t")), QStringLiteral("SN 123"));
        QCOMPARE(debugSerial(QStringLiteral("    ")), QString());
        QCOMPARE(debugSerial(QString()), QString());
        QCOMPARE(debugSerial(QStringLiteral(" SN123\n")), QStringLiteral("SN123\n"));
    }

    void pickerOffersTheRangesInOrder()
    {
        QStringList names;
        QList<int> ranges;
        for (const QVariant& segment : AnalyticsTextFormatter().ranges()) {
            names << segment.toMap().value(QStringLiteral("name")).toString();
            ranges << segment.toMap().value(QStringLiteral("range")).toInt();
        }
        QCOMPARE(names, (QStringList{QStringLiteral("Today"), QStringLiteral("7 Days"),
                                     QStringLiteral("30 Days"), QStringLiteral("Year")}));
        QCOMPARE(ranges, (QList<int>{int(TimeRange::today), int(TimeRange::week),
                                     int(TimeRange::month), int(TimeRange::year)}));
    }
};

QTEST_APPLESS_MAIN(AnalyticsTextTest)
#include "tst_analyticstext.moc"
