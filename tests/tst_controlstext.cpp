// What the connected screen and its Controls tab derive from the chair's values: the interval
// slider's sixths of a minute and its label, the countdown ring, the pattern picker's edges, the
// content choice and the offline banner's presence; and the outline of the
// continuous-cornered rectangles the artwork is drawn from.
#include "Artwork.h"
#include "ControlsText.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace ControlsFormat;

class ControlsTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sliderValuesSnapToSixthsOfAMinute_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("minutes");
        QTest::newRow("1.09 is 7/6") << 1.09 << 7.0 / 6.0;
        QTest::newRow("1.05 is 6/6") << 1.05 << 1.0;
        // 6.5 sixths: halves go away from zero.
        QTest::newRow("half a step up") << 6.5 / 6.0 << 7.0 / 6.0;
        QTest::newRow("10.0") << 10.0 << 10.0;
    }
    void sliderValuesSnapToSixthsOfAMinute()
    {
        QFETCH(double, value);
        QFETCH(double, minutes);
        QCOMPARE(periodFromSlider(value), minutes);
    }

    void intervalLabelShowsMinutesAndSeconds_data()
    {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<QString>("label");
        QTest::newRow("1.0") << 1.0 << "1 min";
        QTest::newRow("2.5") << 2.5 << "2 min 30s";
        QTest::newRow("1 + 1/6") << 1.0 + 1.0 / 6.0 << "1 min 10s";
        // 90.5 s: halves of a second go up.
        QTest::newRow("90.5 s") << 90.5 / 60.0 << "1 min 31s";
        QTest::newRow("59.6 s") << 59.6 / 60.0 << "1 min";
        QTest::newRow("0.5 s") << 0.5 / 60.0 << "0 min 1s";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "0 min";
    }
    void intervalLabelShowsMinutesAndSeconds()
    {
        QFETCH(double, minutes);
        QFETCH(QString, label);
        QCOMPARE(intervalLabel(minutes), label);
    }

    // What the label shows at each of the slider's sixths on a drag from 5 to 7.5 minutes.
    void aDragFromFiveToSevenAndAHalfLabelsEveryStep()
    {
        QStringList labels;
        for (int sixth = 30; sixth <= 45; ++sixth)
            labels << intervalLabel(periodFromSlider(sixth / 6.0));
        QCOMPARE(labels.join(u','), QStringLiteral("5 min,5 min 10s,5 min 20s,5 min 30s,5 min 40s,"
                                                   "5 min 50s,6 min,6 min 10s,6 min 20s,6 min 30s,"
                                                   "6 min 40s,6 min 50s,7 min,7 min 10s,7 min 20s,"
                                                   "7 min 30s"));
    }

    void ringProgressIsTheShareStillToRun_data()
    {
        QTest::addColumn<double>("remaining");
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("progress");
        QTest::newRow("half") << 150.0 << 300.0 << 0.5;
        QTest::newRow("more than the total") << 400.0 << 300.0 << 1.0;
        QTest::newRow("below zero") << -3.0 << 300.0 << 0.0;
        QTest::newRow("total 0") << 10.0 << 0.0 << 0.0;
        QTest::newRow("both below 0") << -10.0 << -60.0 << 0.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 300.0 << 0.0;
    }
    void ringProgressIsTheShareStillToRun()
    {
        QFETCH(double, remaining);
        QFETCH(double, total);
        QFETCH(double, progress);
        QCOMPARE(ringProgress(remaining, total), progress);
    }

    // The ring's colour warns as the move nears; its text is whole minutes and seconds, cut.
    void countdownColourAndText_data()
    {
        QTest::addColumn<double>("remaining");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QString>("text");
        QTest::newRow("10.5") << 10.5 << QStringLiteral("green") << "0:10";
        QTest::newRow("10") << 10.0 << QStringLiteral("orange") << "0:10";
        QTest::newRow("5.5") << 5.5 << QStringLiteral("orange") << "0:05";
        QTest::newRow("5") << 5.0 << QStringLiteral("red") << "0:05";
        QTest::newRow("65.9") << 65.9 << QStringLiteral("green") << "1:05";
        QTest::newRow("59.99") << 59.99 << QStringLiteral("green") << "0:59";
        QTest::newRow("3600") << 3600.0 << QStringLiteral("green") << "60:00";
        QTest::newRow("the chair's largest")
            << 4294967295.0 << QStringLiteral("green") << "71582788:15";
        QTest::newRow("below zero") << -3.0 << QStringLiteral("red") << "0:00";
        QTest::newRow("not a number")
            << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("green") << "0:00";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity()
                                  << QStringLiteral("green") << "16666666666666:40";
    }
    void countdownColourAndText()
    {
        QFETCH(double, remaining);
        QFETCH(QString, colour);
        QFETCH(QString, text);
        QCOMPARE(ControlsText().ringColor(remaining), colour);
        QCOMPARE(countdownText(remaining), text);
    }

    // The names, the descriptions and a known pattern's segment are read on the real screen
    // (tst_ui_connected, tst_accessibility); here, the indexes the table does not hold.
    void patternsOutsideTheTableShowNothing()
    {
        for (qint64 unknown : {qint64(-1), qint64(3), qint64(255)}) {
            QCOMPARE(patternDescription(patternDescriptions(), unknown), QString());
            QCOMPARE(patternSegment(unknown, 3), -1);
        }
        QCOMPARE(patternSegment(0, 0), -1);
    }

    // The content under the tab bar and the offline banner. (The legs' texts and arrows:
    // tst_ui_connected, on the real buttons.)
    void whatTheConnectedScreenShows()
    {
        QCOMPARE(contentFor(false, 0), QStringLiteral("controls"));
        QCOMPARE(contentFor(false, 1), QStringLiteral("settings"));
        QCOMPARE(contentFor(false, 2), QStringLiteral("analytics"));
        QCOMPARE(contentFor(false, 7), QStringLiteral("controls"));
        for (int tab : {0, 1, 2})
            QCOMPARE(contentFor(true, tab), QStringLiteral("sleeping"));

        // The banner shows while the grace period holds seconds; the last second still counts.
        QVERIFY(!showsOfflineBanner(QVariant()));
        QVERIFY(!showsOfflineBanner(QVariant::fromValue(nullptr)));
        QVERIFY(showsOfflineBanner(QVariant::fromValue(qint64(300))));
        QVERIFY(showsOfflineBanner(QVariant::fromValue(qint64(0))));
    }

    void continuousCornersEaseOutOfTheEdges()
    {
        using ArtworkPaths::continuousRoundedRect;
        // A corner of 3 leaves the top edge 1.37 × 3 = 4.11 from the corner.
        const QString backrest = continuousRoundedRect(3, 0, 14, 12, 3, 3);
        QVERIFY2(backrest.startsWith(QStringLiteral("M 7.11 0 H 12.89 C ")), qPrintable(backrest));
        QVERIFY(backrest.endsWith(QStringLiteral(" Z")));
        QCOMPARE(backrest.count(QLatin1Char('C')), 4);
        // Corners larger than half the rectangle are capped: on a 3-wide one, the corner leaves
        // the top edge at its middle.
        const QString stem = continuousRoundedRect(0, 0, 3, 3.5, 5, 5);
        QVERIFY2(stem.startsWith(QStringLiteral("M 1.5 0 H 1.5 C ")), qPrintable(stem));
        QCOMPARE(continuousRoundedRect(9, 6, 2, 3.5, 0, 0),
                 QStringLiteral("M 9 6 H 11 V 9.5 H 9 Z"));
        QCOMPARE(continuousRoundedRect(0, 0, 0, 10, 2, 2), QString());
        QCOMPARE(continuousRoundedRect(0, 0, 10, -1, 2, 2), QString());
        QCOMPARE(continuousRoundedRect(0, 0, 4, 4, std::numeric_limits<double>::quiet_NaN(), 1),
                 QStringLiteral("M 0 0 H 4 V 4 H 0 Z"));
    }
};

QTEST_GUILESS_MAIN(ControlsTextTest)
#include "tst_controlstext.moc"
