// The settings tab's texts: general rows, WiFi status, the update card for every state of an
// update, and the transfer's throughput and time left.
#include "Clock.h"
#include "ScreenServices.h"
#include "SettingsText.h"
#include "TransferRate.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace std::chrono_literals;
using namespace SettingsText;

namespace {

const QString cpu1 = QStringLiteral("CPU1 (STM32)");
const QString cpu2 = QStringLiteral("CPU2 (ESP32)");
const QLocale english(QLocale::English, QLocale::UnitedStates);

// A transfer that confirms one chunk every `every`, on a pinned clock.
struct RateFixture {
    RateFixture()
        : settings(dir.filePath(QStringLiteral("settings.ini")))
        , services(scheduler, clock, settings)
    {
        rate.setServices(&services);
    }
    void at(std::chrono::milliseconds t, const OTAState& state)
    {
        clock.setNow(start.addMSecs(t.count()));
        rate.setState(state);
    }
    // Chunks `from` to `to` of an image of 100 chunks, one every `every`.
    void chunks(int from, int to, std::chrono::milliseconds every)
    {
        for (int i = from; i <= to; ++i)
            at(every * i, OTAState::transferring(cpu1, i / 100.0));
    }

    QTemporaryDir dir;
    ManualClock clock;
    ManualScheduler scheduler;
    Settings settings;
    ScreenServices services;
    TransferRate rate;
    const QDateTime start = clock.now();
};

} // namespace

class SettingsTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void generalRows()
    {
        QCOMPARE(serialNumber(QString()), QStringLiteral("—"));
        QCOMPARE(serialNumber(QStringLiteral("VP-000123")), QStringLiteral("VP-000123"));

        QCOMPARE(lifetimeMoves(12345, english), QStringLiteral("12,345 moves"));
        QCOMPARE(lifetimeMoves(1234567, QLocale(QLocale::German)),
                 QStringLiteral("1.234.567 moves"));
        // QML hands the optional count over as a variant: a number, or undefined or null for none.
        SettingsTextFormat format;
        QCOMPARE(format.lifetimeMoves(QVariant()), QStringLiteral("—"));
        QCOMPARE(format.lifetimeMoves(QVariant::fromValue(nullptr)), QStringLiteral("—"));
        QCOMPARE(format.lifetimeMoves(QVariant::fromValue(qint64(0))), QStringLiteral("0 moves"));

        QCOMPARE(currentVersion(QString(), QStringLiteral("2.0")), QStringLiteral("--"));
        QCOMPARE(currentVersion(QStringLiteral("1.4.2"), QStringLiteral("2.0.1")),
                 QStringLiteral("1.4.2 / 2.0.1"));
        QCOMPARE(currentVersion(QStringLiteral("1.4.2"), QString()), QStringLiteral("1.4.2"));
    }

    // The update card's rows below hold the figures for 0.999 and for an unknown share.
    void percentsCutTowardsZero()
    {
        QCOMPARE(percent(35.9), QStringLiteral("35%"));
        QCOMPARE(percent(-3), QStringLiteral("0%"));
        QCOMPARE(percent(250), QStringLiteral("100%"));
        QCOMPARE(progressPercent(1.0), QStringLiteral("100%"));
        // 29 of 100 bytes is 0.28999… in binary; it still reads 29 %. So does 0.57.
        QCOMPARE(progressPercent(29.0 / 100.0), QStringLiteral("29%"));
        QCOMPARE(progressPercent(0.57), QStringLiteral("57%"));

        QCOMPARE(strengthFromSlider(34.5), 35.0);
        QCOMPARE(strengthFromSlider(34.49), 34.0);
    }

    void wifiStatusTexts()
    {
        using enum WiFiStatus;
        QStringList shown;
        for (WiFiStatus status :
             {disabled, notConfigured, errorConnecting, connecting, connected, disconnected,
              wifiNotFound, ssidPwInvalid, internalError, disconnecting, unknown})
            shown << wifiStatus(status);
        QCOMPARE(shown, (QStringList{"Disabled", "Not Configured", "Error", "Connecting...",
                                     "Connected", "Disconnected", "Network Not Found",
                                     "Invalid Password", "Error", "Disconnecting...", "Unknown"}));

        const QString office = QStringLiteral("Office_5G");
        QVERIFY(showsNetwork(connected, office));
        QVERIFY(!showsNetwork(connected, QString()));
        QVERIFY(!showsNetwork(disconnected, office));
    }

    // What the card shows for a state: its area, the status line and the figure below the bar.
    void updateCardForEveryState_data()
    {
        QTest::addColumn<OTAState>("state");
        QTest::addColumn<QString>("card");
        QTest::addColumn<double>("fraction");
        const QString writing = QStringLiteral("Writing to flash");
        QTest::newRow("idle") << OTAState::idle() << "picker||" << 0.0;
        QTest::newRow("preparing")
            << OTAState::preparing(cpu1) << "spinner|CPU1 (STM32) — Preparing...|" << 0.0;
        QTest::newRow("transferring") << OTAState::transferring(cpu2, 0.999)
                                      << "progressBar|CPU2 (ESP32) — Transferring...|99%" << 0.999;
        QTest::newRow("transfer unknown") << OTAState::transferring(cpu1, qQNaN())
                                          << "progressBar|CPU1 (STM32) — Transferring...|0%" << 0.0;
        QTest::newRow("waiting for the flasher")
            << OTAState::flashing(cpu1, 0, 0, QStringLiteral("Waiting for flash..."))
            << "spinner|CPU1 (STM32) — Waiting for flash...|" << 0.0;
        QTest::newRow("flashing") << OTAState::flashing(cpu1, 12, 84, writing)
                                  << "progressBar|CPU1 (STM32) — Writing to flash|Page 12 / 84"
                                  << 12.0 / 84.0;
        QTest::newRow("one page") << OTAState::flashing(cpu1, 0, 1,
                                                        QStringLiteral("Preparing flash..."))
                                  << "progressBar|CPU1 (STM32) — Preparing flash...|Page 0 / 1"
                                  << 0.0;
        // A chair that reports more pages done than it has keeps the bar full, not past it.
        QTest::newRow("pages past the total")
            << OTAState::flashing(cpu1, 130, 120, writing)
            << "progressBar|CPU1 (STM32) — Writing to flash|Page 130 / 120" << 1.0;
        QTest::newRow("success") << OTAState::success()
                                 << "success|Update complete! Chair will restart.|" << 0.0;
        QTest::newRow("error") << OTAState::error(QStringLiteral("No firmware files found in ZIP."))
                               << "error|No firmware files found in ZIP.|" << 0.0;
    }
    void updateCardForEveryState()
    {
        QFETCH(OTAState, state);
        QFETCH(QString, card);
        QFETCH(double, fraction);
        const QStringList shown{SettingsTextFormat().updateArea(state), updateStatus(state),
                                updateDetail(state)};
        QCOMPARE(shown.join(QLatin1Char('|')), card);
        QCOMPARE(updateFraction(state), fraction);
    }

    void pickedFiles()
    {
        QVERIFY(!pickerProblem(QUrl::fromLocalFile(QStringLiteral("/tmp/a.zip"))));
        QVERIFY(!pickerProblem(QUrl(QStringLiteral("/tmp/a.zip"))));
        const auto remote = pickerProblem(QUrl(QStringLiteral("sftp://nas/firmware/update.zip")));
        QCOMPARE(remote, std::optional<QString>(QStringLiteral(
                             "The chosen file is not on this computer and cannot be read: "
                             "sftp://nas/firmware/update.zip")));
    }

    void rateTexts()
    {
        QCOMPARE(throughput(4250, english), QStringLiteral("4.3 KB/s"));
        QCOMPARE(throughput(9999, english), QStringLiteral("10.0 KB/s"));
        QCOMPARE(throughput(12600, english), QStringLiteral("13 KB/s"));
        QCOMPARE(throughput(-5, english), QStringLiteral("0.0 KB/s"));

        QCOMPARE(timeLeft(0.2), QStringLiteral("1 s left"));
        QCOMPARE(timeLeft(59.5), QStringLiteral("1:00 left"));
        QCOMPARE(timeLeft(3725), QStringLiteral("62:05 left"));
        QCOMPARE(timeLeft(qInf()), QStringLiteral("0 s left"));

        QCOMPARE(transferRate(2500, 42, english), QStringLiteral("2.5 KB/s · 42 s left"));
    }

    void rateFromConfirmedChunks()
    {
        // 10 chunks a second of 250 bytes: 2.5 KB/s. The reference sample and 8 chunks give
        // the first figure, not a sample sooner.
        RateFixture f;
        QSignalSpy changes(&f.rate, &TransferRate::estimateChanged);
        f.chunks(1, 8, 100ms);
        QVERIFY(!f.rate.hasEstimate());
        QVERIFY(f.rate.text().isEmpty());
        f.chunks(9, 9, 100ms);
        QVERIFY(f.rate.hasEstimate());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(f.rate.currentEstimate()->bytesPerSecond, 2500.0);
        QVERIFY(qAbs(f.rate.currentEstimate()->secondsLeft - 9.1) < 1e-9); // 91 chunks left

        // The link slows to 5 chunks a second: the window follows.
        for (int i = 10; i <= 60; ++i)
            f.at(900ms + (i - 9) * 200ms, OTAState::transferring(cpu1, i / 100.0));
        QVERIFY(qAbs(f.rate.currentEstimate()->bytesPerSecond - 1250.0) < 1e-6);
        QVERIFY(qAbs(f.rate.currentEstimate()->secondsLeft - 8.0) < 1e-6);

        // Nine samples, `step` apart, each `gain` further on: a figure needs time and progress.
        const auto nine = [](int step, double gain) {
            std::vector<TransferRate::Sample> samples;
            for (int i = 0; i <= 8; ++i)
                samples.push_back({std::chrono::milliseconds(i * step), 0.3 + i * gain});
            return samples;
        };
        QVERIFY(TransferRate::estimate(nine(100, 0.02), 250));
        QVERIFY(!TransferRate::estimate(nine(50, 0.02), 250)); // 400 ms: too short a span
        QVERIFY(!TransferRate::estimate(nine(100, 0), 250));
        QVERIFY(!TransferRate::estimate(nine(100, 0.02), 0));
    }

    // After 20 chunks at 100 ms, what comes next (at `ms`) is not part of the same transfer.
    void rateRestartsWithEachTransfer_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<OTAState>("next");
        const auto waiting = QStringLiteral("Waiting for flash...");
        QTest::newRow("flashing") << 2100 << OTAState::flashing(cpu1, 0, 0, waiting);
        QTest::newRow("another processor") << 2100 << OTAState::transferring(cpu2, 0.21);
        QTest::newRow("progress went back") << 2100 << OTAState::transferring(cpu1, 0.01);
        QTest::newRow("last chunk, no time left") << 2100 << OTAState::transferring(cpu1, 1.0);
        QTest::newRow("clock went back") << 50 << OTAState::transferring(cpu1, 0.21);
    }
    void rateRestartsWithEachTransfer()
    {
        QFETCH(int, ms);
        QFETCH(OTAState, next);
        RateFixture f;
        f.chunks(1, 20, 100ms);
        QVERIFY(f.rate.hasEstimate());
        f.at(std::chrono::milliseconds(ms), next);
        QVERIFY(!f.rate.hasEstimate());
    }
};

QTEST_GUILESS_MAIN(SettingsTextTest)
#include "tst_settingstext.moc"
