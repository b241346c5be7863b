// Texts and figures the screens derive: signal bars of the scan list, the offline banner's
// time, the e-mail check of the terms screen and the legal documents.
#include "Formatters.h"

#include <QtTest>

using namespace Formatters;

class FormattersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalBarsFollowTheRssi_data()
    {
        QTest::addColumn<qint64>("rssi");
        QTest::addColumn<double>("strength");
        QTest::addColumn<int>("litBars");
        QTest::addColumn<int>("colour");
        const int orange = int(BarColor::orange), yellow = int(BarColor::yellow),
                  green = int(BarColor::green);
        QTest::newRow("-120 dBm") << qint64(-120) << 0.0 << 0 << orange;
        QTest::newRow("-100 dBm") << qint64(-100) << 0.0 << 0 << orange;
        QTest::newRow("-99 dBm") << qint64(-99) << 1.0 / 70.0 << 1 << orange;
        QTest::newRow("-65 dBm") << qint64(-65) << 0.5 << 2 << yellow;
        QTest::newRow("-40 dBm") << qint64(-40) << 60.0 / 70.0 << 4 << green;
        QTest::newRow("-20 dBm") << qint64(-20) << 1.0 << 4 << green;
        // Qt reports a missing reading as 0; 127 is BLE's "not available".
        QTest::newRow("unknown 0") << qint64(0) << 0.0 << 0 << orange;
        QTest::newRow("unknown 127") << qint64(127) << 0.0 << 0 << orange;
    }
    void signalBarsFollowTheRssi()
    {
        QFETCH(qint64, rssi);
        QFETCH(double, strength);
        QFETCH(int, litBars);
        QFETCH(int, colour);
        QCOMPARE(signalStrength(rssi), strength);
        QCOMPARE(signalDescription(4, strength),
                 QStringLiteral("Signal: %1 of 4 bars").arg(litBars));
        QCOMPARE(int(barColor(strength)), colour);
    }

    void colourThresholdsAreStrict()
    {
        QCOMPARE(barColor(0.7), BarColor::yellow);
        QCOMPARE(barColor(0.7000001), BarColor::green);
        QCOMPARE(barColor(0.4), BarColor::orange);
        QCOMPARE(barColor(0.4000001), BarColor::yellow);
        QVERIFY(!isBarLit(2, 4, 0.5)); // bar 2 needs more than a half
        QVERIFY(!isBarLit(0, 4, 0.0));
        QVERIFY(!isBarLit(0, 0, 1.0));
    }

    // The banner's line and the password caption are read on the real screens
    // (tst_accessibility, tst_ui_routing); here, the edges of the time.
    void bannerTimeIsMinutesAndTwoDigitSeconds()
    {
        QCOMPARE(bannerTime(59), QStringLiteral("0:59"));
        QCOMPARE(bannerTime(600), QStringLiteral("10:00"));
        QCOMPARE(bannerTime(-5), QStringLiteral("0:00"));
    }

    void emailNeedsADotAfterTheFirstAt()
    {
        QVERIFY(!isValidEmail(QString()));
        QVERIFY(!isValidEmail(QStringLiteral("sam.example.com"))); // no "@"
        QVERIFY(!isValidEmail(QStringLiteral("sam@localhost")));   // no "." after it
        QVERIFY(!isValidEmail(QStringLiteral("sam.lee@example"))); // "." only before it
        QVERIFY(isValidEmail(QStringLiteral("@example.com")));     // empty local part
        QVERIFY(isValidEmail(QStringLiteral("sam@host@example.com")));
        QVERIFY(isValidEmail(QStringLiteral("  sam@example.com \n")));
        QVERIFY(!isValidEmail(QStringLiteral("sam@ \n")));
        QCOMPARE(trimmedInput(QStringLiteral("  sam@example.com \n")),
                 QStringLiteral("sam@example.com"));
        QCOMPARE(trimmedInput(QStringLiteral("   ")), QString());
    }

    // (The titles and the first heading show on the terms screen: tst_ui_terms, tst_accessibility.)
    void legalDocumentsCarryTheirExactHeadings()
    {
        const LegalDocument terms = legalDocument(QStringLiteral(VELNORA_LEGAL_DIR "/terms.json"));
        QCOMPARE(terms.version, QStringLiteral("Version 1.0.0 — April 2026"));
        QCOMPARE(terms.sections.size(), 13);
        QCOMPARE(terms.sections.last().heading, QStringLiteral("13. CONTACT US"));
        for (const LegalSection& section : terms.sections)
            QVERIFY2(!section.body.isEmpty(), qPrintable(section.heading));

        const LegalDocument privacy =
            legalDocument(QStringLiteral(VELNORA_LEGAL_DIR "/privacy.json"));
        QCOMPARE(privacy.version, QStringLiteral("Last updated: April 2026"));
        QCOMPARE(privacy.sections.size(), 12);
        QCOMPARE(privacy.sections.at(7).heading,
                 QStringLiteral("8. EU/EEA, UK AND SWITZERLAND — DATA PROTECTION REPRESENTATIVE"));
        QCOMPARE(privacy.sections.last().heading, QStringLiteral("12. CONTACT US"));

        QVERIFY(legalDocument(QStringLiteral("/nonexistent.json")).sections.isEmpty());
    }
};

QTEST_GUILESS_MAIN(FormattersTest)
#include "tst_formatters.moc"
