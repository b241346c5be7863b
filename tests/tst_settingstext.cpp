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
using Area = SettingsText::UpdateArea;

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
    // Chunk i of an image of `chunks` chunks, published `every` after the previous one.
    void chunks(int from, int to, int total, std::chrono::milliseconds every,
                const QString& cpu = cpu1)
    {
        for (int i = from; i <= to; ++i)
            at(every * i, OTAState::transferring(cpu, double(i) / total));
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
        QCOMPARE(SettingsText::serialNumber(QString()), QStringLiteral("—"));
        QCOMPARE(SettingsText::serialNumber(QStringLiteral("VP-000123")),
                 QStringLiteral("VP-000123"));

        QCOMPARE(SettingsText::lifetimeMoves(std::nullopt, english), QStringLiteral("—"));
        QCOMPARE(SettingsText::lifetimeMoves(0, english), QStringLiteral("0 moves"));
        QCOMPARE(SettingsText::lifetimeMoves(999, english), QStringLiteral("999 moves"));
        QCOMPARE(SettingsText::lifetimeMoves(12345, english), QStringLiteral("12,345 moves"));
        QCOMPARE(SettingsText::lifetimeMoves(1234567, QLocale(QLocale::German)),
                 QStringLiteral("1.234.567 moves"));

        // QML hands the optional count over as a variant.
        SettingsTextFormat format;
        QCOMPARE(format.lifetimeMoves(QVariant()), QStringLiteral("—"));
        QCOMPARE(format.lifetimeMoves(QVariant::fromValue(nullptr)), QStringLiteral("—"));
        QCOMPARE(format.lifetimeMoves(QVariant::fromValue(qint64(0))), QStringLiteral("0 moves"));

        QCOMPARE(SettingsText::currentVersion(QString(), QStringLiteral("2.0")),
                 QStringLiteral("--"));
        QCOMPARE(SettingsText::currentVersion(QStringLiteral("1.4.2"), QStringLiteral("2.0.1")),
                 QStringLiteral("1.4.2 / 2.0.1"));
        QCOMPARE(SettingsText::currentVersion(QStringLiteral("1.4.2"), QString()),
                 QStringLiteral("1.4.2"));
    }

    void percentsCutTowardsZero()
    {
        QCOMPARE(SettingsText::percent(20), QStringLiteral("20%"));
        QCOMPARE(SettingsText::percent(35.9), QStringLiteral("35%"));
        QCOMPARE(SettingsText::percent(-3), QStringLiteral("0%"));
        QCOMPARE(SettingsText::percent(250), QStringLiteral("100%"));
        QCOMPARE(SettingsText::percent(qQNaN()), QStringLiteral("0%"));

        QCOMPARE(SettingsText::progressPercent(0), QStringLiteral("0%"));
        QCOMPARE(SettingsText::progressPercent(0.999), QStringLiteral("99%"));
        QCOMPARE(SettingsText::progressPercent(1.0), QStringLiteral("100%"));
        // 29 of 100 bytes is 0.28999… in binary; it still reads 29 %.
        QCOMPARE(SettingsText::progressPercent(29.0 / 100.0), QStringLiteral("29%"));
        QCOMPARE(SettingsText::progressPercent(0.57), QStringLiteral("57%"));

        QCOMPARE(SettingsText::strengthFromSlider(34.5), 35.0);
        QCOMPARE(SettingsText::strengthFromSlider(34.49), 34.0);
        QCOMPARE(SettingsText::strengthFromSlider(20.0), 20.0);
    }

    void wifiStatusTexts()
    {
        const QList<std::pair<WiFiStatus, const char*>> table = {
            {WiFiStatus::disabled, "Disabled"},
            {WiFiStatus::notConfigured, "Not Configured"},
            {WiFiStatus::errorConnecting, "Error"},
            {WiFiStatus::connecting, "Connecting..."},
            {WiFiStatus::connected, "Connected"},
            {WiFiStatus::disconnected, "Disconnected"},
            {WiFiStatus::wifiNotFound, "Network Not Found"},
            {WiFiStatus::ssidPwInvalid, "Invalid Password"},
            {WiFiStatus::internalError, "Error"},
            {WiFiStatus::disconnecting, "Disconnecting..."},
            {WiFiStatus::unknown, "Unknown"},
        };
        for (const auto& [status, text] : table)
            QCOMPARE(SettingsText::wifiStatus(status), QString::fromUtf8(text));

        const QString office = QStringLiteral("Office_5G");
        QVERIFY(SettingsText::showsNetwork(WiFiStatus::connected, office));
        QVERIFY(!SettingsText::showsNetwork(WiFiStatus::connected, QString()));
        QVERIFY(!SettingsText::showsNetwork(WiFiStatus::disconnected, office));
    }

    void updateCardForEveryState()
    {
        struct Case {
            OTAState state;
            Area area;
            QString status;
            QString detail;
            double fraction;
        };
        const QList<Case> cases = {
            {OTAState::idle(), Area::picker, {}, {}, 0},
            {OTAState::preparing(cpu1),
             Area::spinner,
             QStringLiteral("CPU1 (STM32) — Preparing..."),
             {},
             0},
            {OTAState::transferring(cpu2, 0.999), Area::progressBar,
             QStringLiteral("CPU2 (ESP32) — Transferring..."), QStringLiteral("99%"), 0.999},
            {OTAState::transferring(cpu1, 1.0), Area::progressBar,
             QStringLiteral("CPU1 (STM32) — Transferring..."), QStringLiteral("100%"), 1.0},
            {OTAState::flashing(cpu1, 0, 0, QStringLiteral("Waiting for flash...")),
             Area::spinner,
             QStringLiteral("CPU1 (STM32) — Waiting for flash..."),
             {},
             0},
            {OTAState::flashing(cpu1, 12, 84, QStringLiteral("Writing to flash")),
             Area::progressBar, QStringLiteral("CPU1 (STM32) — Writing to flash"),
             QStringLiteral("Page 12 / 84"), 12.0 / 84.0},
            {OTAState::flashing(cpu1, 0, 1, QStringLiteral("Preparing flash...")),
             Area::progressBar, QStringLiteral("CPU1 (STM32) — Preparing flash..."),
             QStringLiteral("Page 0 / 1"), 0},
            // A chair that reports more pages done than it has keeps the bar full, not past it.
            {OTAState::flashing(cpu1, 130, 120, QStringLiteral("Writing to flash")),
             Area::progressBar, QStringLiteral("CPU1 (STM32) — Writing to flash"),
             QStringLiteral("Page 130 / 120"), 1.0},
            {OTAState::success(),
             Area::success,
             QStringLiteral("Update complete! Chair will restart."),
             {},
             0},
            {OTAState::error(QStringLiteral("No firmware files found in ZIP.")),
             Area::error,
             QStringLiteral("No firmware files found in ZIP."),
             {},
             0},
        };
        for (const Case& c : cases) {
            QCOMPARE(SettingsText::updateArea(c.state), c.area);
            QCOMPARE(SettingsText::updateStatus(c.state), c.status);
            QCOMPARE(SettingsText::updateDetail(c.state), c.detail);
            QCOMPARE(SettingsText::updateFraction(c.state), c.fraction);
        }
        QCOMPARE(SettingsText::updateFraction(OTAState::transferring(cpu1, qQNaN())), 0.0);
    }

    void pickedFiles()
    {
        QVERIFY(!SettingsText::pickerProblem(QUrl::fromLocalFile(QStringLiteral("/tmp/a.zip"))));
        QVERIFY(!SettingsText::pickerProblem(QUrl(QStringLiteral("/tmp/a.zip"))));
        const auto remote =
            SettingsText::pickerProblem(QUrl(QStringLiteral("sftp://nas/firmware/update.zip")));
        QVERIFY(remote);
        QVERIFY(remote->contains(QStringLiteral("sftp://nas/firmware/update.zip")));
    }

    void rateTexts()
    {
        QCOMPARE(SettingsText::throughput(0, english), QStringLiteral("0.0 KB/s"));
        QCOMPARE(SettingsText::throughput(4250, english), QStringLiteral("4.3 KB/s"));
        QCOMPARE(SettingsText::throughput(9999, english), QStringLiteral("10.0 KB/s"));
        QCOMPARE(SettingsText::throughput(12600, english), QStringLiteral("13 KB/s"));
        QCOMPARE(SettingsText::throughput(-5, english), QStringLiteral("0.0 KB/s"));

        QCOMPARE(SettingsText::timeLeft(0), QStringLiteral("0 s left"));
        QCOMPARE(SettingsText::timeLeft(0.2), QStringLiteral("1 s left"));
        QCOMPARE(SettingsText::timeLeft(59.5), QStringLiteral("1:00 left"));
        QCOMPARE(SettingsText::timeLeft(65), QStringLiteral("1:05 left"));
        QCOMPARE(SettingsText::timeLeft(3725), QStringLiteral("62:05 left"));
        QCOMPARE(SettingsText::timeLeft(qInf()), QStringLiteral("0 s left"));

        QCOMPARE(SettingsText::transferRate(2500, 42, english),
                 QStringLiteral("2.5 KB/s · 42 s left"));
    }

    void rateFromConfirmedChunks()
    {
        // 10 chunks a second of 250 bytes: 2.5 KB/s. The reference sample and 8 chunks give
        // the first figure, not a sample sooner.
        RateFixture f;
        QSignalSpy changes(&f.rate, &TransferRate::estimateChanged);
        f.chunks(1, 8, 100, 100ms);
        QVERIFY(!f.rate.hasEstimate());
        QVERIFY(f.rate.text().isEmpty());
        f.chunks(9, 9, 100, 100ms);
        QVERIFY(f.rate.hasEstimate());
        QCOMPARE(changes.count(), 1);
        const auto first = *f.rate.currentEstimate();
        QCOMPARE(first.bytesPerSecond, 2500.0);
        QVERIFY(qAbs(first.secondsLeft - 9.1) < 1e-9); // 91 chunks at 10 per second

        // The link slows to 5 chunks a second: the window follows.
        for (int i = 10; i <= 60; ++i)
            f.at(900ms + (i - 9) * 200ms, OTAState::transferring(cpu1, i / 100.0));
        QVERIFY(qAbs(f.rate.currentEstimate()->bytesPerSecond - 1250.0) < 1e-6);
        QVERIFY(qAbs(f.rate.currentEstimate()->secondsLeft - 8.0) < 1e-6);
    }

    void rateRestartsWithEachTransfer()
    {
        RateFixture f;
        f.chunks(1, 20, 100, 100ms);
        QVERIFY(f.rate.hasEstimate());

        // Flashing is no transfer; CPU2 starts from its own first chunk.
        f.at(2100ms, OTAState::flashing(cpu1, 0, 0, QStringLiteral("Waiting for flash...")));
        QVERIFY(!f.rate.hasEstimate());
        f.at(2200ms, OTAState::transferring(cpu2, 0.5));
        for (int i = 1; i <= 7; ++i)
            f.at(2200ms + i * 100ms, OTAState::transferring(cpu2, 0.5 + i / 100.0));
        QVERIFY(!f.rate.hasEstimate());

        // A CPU label change mid-way is a new transfer too.
        RateFixture g;
        g.chunks(1, 20, 100, 100ms);
        g.at(2100ms, OTAState::transferring(cpu2, 0.21));
        QVERIFY(!g.rate.hasEstimate());

        // Progress that goes back (a new update) starts over.
        RateFixture h;
        h.chunks(1, 20, 100, 100ms);
        h.at(2100ms, OTAState::transferring(cpu1, 0.01));
        QVERIFY(!h.rate.hasEstimate());

        // The last chunk has no time left to tell.
        RateFixture k;
        k.chunks(1, 10, 10, 100ms);
        QVERIFY(!k.rate.hasEstimate());
    }

    void rateNeedsTimeAndProgress()
    {
        using Sample = TransferRate::Sample;
        // Nine samples within 400 ms: too short a span.
        std::vector<Sample> quick;
        for (int i = 0; i <= 8; ++i)
            quick.push_back({i * 50ms, i / 100.0});
        QVERIFY(!TransferRate::estimate(quick, 250));
        // Enough span but no progress.
        std::vector<Sample> stuck;
        for (int i = 0; i <= 8; ++i)
            stuck.push_back({i * 100ms, 0.3});
        QVERIFY(!TransferRate::estimate(stuck, 250));
        std::vector<Sample> steady;
        for (int i = 0; i <= 8; ++i)
            steady.push_back({i * 100ms, i / 50.0});
        QVERIFY(TransferRate::estimate(steady, 250));
        QVERIFY(!TransferRate::estimate(steady, 0));
        // A clock that went back does not produce a negative rate.
        RateFixture f;
        f.chunks(1, 8, 100, 100ms);
        f.at(50ms, OTAState::transferring(cpu1, 0.09));
        QVERIFY(!f.rate.hasEstimate());
    }
};

QTEST_GUILESS_MAIN(SettingsTextTest)
#include "tst_settingstext.moc"
