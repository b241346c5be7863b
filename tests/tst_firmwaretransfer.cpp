// Updating the chair's processors: begin records, stop-and-wait chunks, CPU1's flashing,
// CPU2's data while CPU1 flashes, and every way an update ends.
#include "LinkFixture.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;

char* toString(const OTAState& s)
{
    const QStringList fields{QMetaEnum::fromType<OTAState::Kind>().valueToKey(int(s.kind)),
                             s.cpu,
                             QString::number(s.progress, 'g', 17),
                             QStringLiteral("%1/%2").arg(s.page).arg(s.totalPages),
                             s.status,
                             s.message};
    return qstrdup(qPrintable(fields.join(QStringLiteral(" | "))));
}

namespace {

const QString cpu1 = QStringLiteral("CPU1 (STM32)");
const QString cpu2 = QStringLiteral("CPU2 (ESP32)");
const QString interrupted = QStringLiteral("Chair disconnected during firmware update.");
const QString cpu1Complete = QStringLiteral("🔧 OTA: CPU1 flash complete (120 pages)");
const OTAState waiting = OTAState::flashing(cpu1, 0, 0, QStringLiteral("Waiting for flash..."));
const QByteArray image1 = firmwareImage(600, 1); // two whole chunks and a short one
const QByteArray image2 = firmwareImage(300, 3); // one whole chunk and a short one

// The reads and writes the chair saw, in order; a begin record shows its bytes.
QString traffic(const FakeBleCentral& central)
{
    static const QHash<QBluetoothUuid, QString> names{{otaV2BeginUUID, "begin1"},
                                                      {otaV2DataUUID, "data1"},
                                                      {otaV2StatusUUID, "status1"},
                                                      {otaV1BeginUUID, "begin2"},
                                                      {otaV1DataUUID, "data2"}};
    QStringList seen;
    for (const FakeCall& call : central.calls()) {
        const QString name = names.value(call.target, call.target.toString());
        if (call.kind == FakeCall::Kind::read)
            seen << "r " + name;
        else if (call.kind == FakeCall::Kind::write)
            seen << "w " + name + (name.startsWith("begin") ? " " + call.value.toHex() : "");
    }
    return seen.join(", ");
}

// Every state an update shows, and a connected chair ready for data on both processors.
struct OtaFixture : LinkFixture {
    explicit OtaFixture(bool isOnline = true, const QBluetoothUuid& missing = {})
    {
        QObject::connect(manager.get(), &BluetoothManager::otaStateChanged, manager.get(),
                         [this] { seen << manager->otaState(); });
        if (!isOnline)
            return;
        chair = central->makeChair();
        chair->values[otaV2BeginUUID] = bytes({1});
        chair->values[otaV1BeginUUID] = bytes({1});
        if (!missing.isNull())
            chair->removeCharacteristic(missing);
        connectChair(chair);
        central->clearCalls();
    }

    void start(const ZipEntries& package, bool waits = true)
    {
        const QString path = dir.filePath(QStringLiteral("update-%1.zip").arg(++packages));
        QVERIFY(writeZip(path, package));
        manager->startFirmwareUpdate(path);
        if (waits)
            waitForPackage();
    }
    // The package is read off the main thread; its result comes back through the event loop.
    void waitForPackage()
    {
        QTRY_VERIFY(!log.lines().filter(QStringLiteral("🔧 OTA: Found")).isEmpty() ||
                    manager->otaState().kind != OTAState::Kind::preparing);
    }
    int statusReads() const { return central->readsOf(otaV2StatusUUID); }

    QSharedPointer<FakePeripheral> chair;
    QList<OTAState> seen;
    int packages = 0;
};

} // namespace

class FirmwareTransferTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cpu1IsSentThenFlashedThenRestarts()
    {
        OtaFixture f;
        f.start({{"StiltaB1.bin", image1}}, false);
        QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));
        f.waitForPackage();
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: Begin CPU1 (STM32), size=600 bytes")));

        // Data waits for the chair's answer to the begin record, and each chunk for the last.
        QCOMPARE(traffic(*f.central), "w begin1 58020000");
        QVERIFY(f.central->deliverNext());
        QCOMPARE(traffic(*f.central), "w begin1 58020000, r begin1");
        QVERIFY(f.central->deliverNext());
        QCOMPARE(traffic(*f.central), "w begin1 58020000, r begin1, w data1");
        f.central->flush();
        QCOMPARE(f.central->writesTo(otaV2DataUUID),
                 (QList<QByteArray>{image1.mid(0, 250), image1.mid(250, 250), image1.mid(500)}));
        QCOMPARE(traffic(*f.central), "w begin1 58020000, r begin1, w data1, w data1, w data1");
        QCOMPARE(f.seen, (QList<OTAState>{OTAState::preparing(cpu1),
                                          OTAState::transferring(cpu1, 250.0 / 600),
                                          OTAState::transferring(cpu1, 500.0 / 600),
                                          OTAState::transferring(cpu1, 1.0), waiting}));

        // CPU1's flashing is followed twice a second.
        f.advance(499ms);
        QCOMPARE(f.statusReads(), 0);
        f.advance(1ms);
        QCOMPARE(f.statusReads(), 1);
        f.advance(500ms);
        QCOMPARE(f.statusReads(), 2);

        const QList<QPair<QByteArray, OTAState>> records{
            {flashRecord(9, 10, 120).left(11), waiting},
            {flashRecord(4, 0, 120), OTAState::flashing(cpu1, 0, 120, "Preparing flash...")},
            {flashRecord(9, 10, 120), OTAState::flashing(cpu1, 10, 120, "Transmitting to CORE0")},
            {flashRecord(11, 30, 120), OTAState::flashing(cpu1, 30, 120, "Writing to flash")},
            {flashRecord(13, 60, 120), OTAState::flashing(cpu1, 60, 120, "Writing to flash")},
            {flashRecord(9, 70, 120) + bytes({1, 2, 3, 4}),
             OTAState::flashing(cpu1, 70, 120, "Transmitting to CORE0")},
            {flashRecord(7, 80, 120), OTAState::flashing(cpu1, 70, 120, "Transmitting to CORE0")},
        };
        for (const auto& [record, state] : records) {
            f.report(*f.chair, otaV2StatusUUID, record);
            QCOMPARE(f.manager->otaState(), state);
        }
        QVERIFY(!f.manager->isReconnectingAfterOTA());

        f.report(*f.chair, otaV2StatusUUID, flashRecord(4, 120, 120));
        QCOMPARE(f.manager->otaState(), OTAState::success());
        QVERIFY(f.log.contains(cpu1Complete));
        QVERIFY(f.manager->isReconnectingAfterOTA());
        const int reads = f.statusReads();
        f.advance(5s);
        QCOMPARE(f.statusReads(), reads);

        // The chair restarts by itself and is fetched back after about 8 s, even when the user
        // dismissed the result meanwhile.
        f.central->dropLink(f.chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s")));
        QVERIFY(f.log.lines().filter(QStringLiteral("Unexpected BLE disconnect")).isEmpty());
        f.manager->resetOTA();
        QVERIFY(f.reconnectsAfter(8s));
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        QCOMPARE(f.manager->otaState(), OTAState::idle());
    }

    void cpu2OnlyIsSentThenTheChairRestarts()
    {
        OtaFixture f;
        f.start({{"firmware/Stilta-Firmware.bin", image2}});
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: Begin CPU2 (ESP32), size=300 bytes")));
        f.central->flush();
        QCOMPARE(f.seen, (QList<OTAState>{OTAState::preparing(cpu1),
                                          OTAState::transferring(cpu2, 250.0 / 300),
                                          OTAState::transferring(cpu2, 1.0), OTAState::success()}));
        QCOMPARE(f.central->writesTo(otaV1DataUUID),
                 (QList<QByteArray>{image2.mid(0, 250), image2.mid(250)}));
        QVERIFY(f.manager->isReconnectingAfterOTA());
        f.advance(5s);
        QCOMPARE(traffic(*f.central), "w begin2 2c010000, r begin2, w data2, w data2");

        // A chair that does not come back ends the restart; the user's next connect is no restart.
        f.central->answersConnects = false;
        f.central->dropLink(f.chair.get());
        f.advance(8s);
        QVERIFY(f.manager->isReconnectingAfterOTA());
        f.central->failConnect(f.chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(!f.manager->isReconnectingAfterOTA());
    }

    void cpu2IsSentWhileCpu1Flashes()
    {
        // CPU2 is done first: CPU1's flashing stays on screen until it completes.
        {
            OtaFixture f;
            f.start({{"Stilta-Firmware.bin", image2}, {"StiltaB1.bin", image1}});
            f.central->flush();
            QCOMPARE(traffic(*f.central), "w begin1 58020000, r begin1, w data1, w data1, w data1, "
                                          "w begin2 2c010000, r begin2, w data2, w data2");
            QCOMPARE(f.manager->otaState(), waiting);
            for (const OTAState& s : f.seen)
                QVERIFY(s.cpu != cpu2);
            QVERIFY(f.manager->isReconnectingAfterOTA());
            f.report(*f.chair, otaV2StatusUUID, flashRecord(4, 120, 120));
            QCOMPARE(f.manager->otaState(), OTAState::success());
        }
        // CPU1 completes right after CPU2's first chunk: CPU2's transfer is shown where it stands.
        {
            OtaFixture f;
            f.chair->onWrite = [&f, done = false](const QBluetoothUuid& c,
                                                  const QByteArray&) mutable {
                if (c == otaV1DataUUID && !std::exchange(done, true))
                    f.chair->notify(otaV2StatusUUID, flashRecord(4, 120, 120));
            };
            f.start({{"StiltaB1.bin", image1}, {"Stilta-Firmware.bin", firmwareImage(1000, 3)}});
            f.central->flush();
            QCOMPARE(f.seen.mid(f.seen.indexOf(waiting)),
                     (QList<OTAState>{waiting, OTAState::transferring(cpu2, 0.25),
                                      OTAState::transferring(cpu2, 0.5),
                                      OTAState::transferring(cpu2, 0.75),
                                      OTAState::transferring(cpu2, 1.0), OTAState::success()}));
            QCOMPARE(f.central->writesTo(otaV1DataUUID).size(), 4);
        }
    }

    void emptyImagesAreBegunAndDone()
    {
        // CPU1 completes before the empty CPU2 image has begun: CPU2 shows as complete.
        OtaFixture f;
        f.chair->onWrite = [&f](const QBluetoothUuid& c, const QByteArray&) {
            if (c == otaV1BeginUUID)
                f.chair->notify(otaV2StatusUUID, flashRecord(4, 120, 120));
        };
        f.start({{"StiltaB1.bin", {}}, {"Stilta-Firmware.bin", {}}});
        f.central->flush();
        QCOMPARE(traffic(*f.central), "w begin1 00000000, r begin1, w begin2 00000000, r begin2");
        QCOMPARE(f.seen, (QList<OTAState>{OTAState::preparing(cpu1), waiting,
                                          OTAState::transferring(cpu2, 1.0), OTAState::success()}));
    }

    void anUpdateThatFailsStaysFailed_data()
    {
        QTest::addColumn<ZipEntries>("package");
        QTest::addColumn<QBluetoothUuid>("missing");
        QTest::addColumn<QBluetoothUuid>("refused"); // its writes are answered "busy"
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("traffic");

        const QBluetoothUuid none;
        const QString noCpu2 = QStringLiteral("ESP32 begin characteristic not available.");
        const QString cpu1Sent = QStringLiteral("w begin1 58020000, r begin1, w data1, w data1, "
                                                "w data1");
        QTest::newRow("no image") << ZipEntries{{"readme.txt", "no firmware here"}} << none << none
                                  << QStringLiteral("No firmware files found in ZIP.\nExpected: "
                                                    "StiltaB1.bin and/or Stilta-Firmware.bin")
                                  << QString();
        QTest::newRow("no begin characteristic for CPU1")
            << ZipEntries{{"StiltaB1.bin", image1}} << otaV2BeginUUID << none
            << QStringLiteral("STM32 begin characteristic not available.") << QString();
        QTest::newRow("no begin characteristic for CPU2")
            << ZipEntries{{"Stilta-Firmware.bin", image2}} << otaV1BeginUUID << none << noCpu2
            << QString();
        QTest::newRow("no begin characteristic for CPU2, found once CPU1's data is in")
            << ZipEntries{{"StiltaB1.bin", image1}, {"Stilta-Firmware.bin", image2}}
            << otaV1BeginUUID << none << noCpu2 << cpu1Sent;
        // The size is little-endian.
        QTest::newRow("CPU1's begin record refused")
            << ZipEntries{{"StiltaB1.bin", firmwareImage(70000, 2)}} << none << otaV2BeginUUID
            << QStringLiteral("The chair refused the update of CPU1 (STM32): busy")
            << QStringLiteral("w begin1 70110100");
        QTest::newRow("CPU1's chunk refused")
            << ZipEntries{{"StiltaB1.bin", image1}} << none << otaV2DataUUID
            << QStringLiteral("CPU1 (STM32) transfer failed: busy")
            << QStringLiteral("w begin1 58020000, r begin1, w data1");
        QTest::newRow("CPU2's chunk refused while CPU1 flashes")
            << ZipEntries{{"StiltaB1.bin", image1}, {"Stilta-Firmware.bin", firmwareImage(600, 3)}}
            << none << otaV1DataUUID << QStringLiteral("CPU2 (ESP32) transfer failed: busy")
            << cpu1Sent + ", w begin2 58020000, r begin2, w data2";
    }

    void anUpdateThatFailsStaysFailed()
    {
        QFETCH(ZipEntries, package);
        QFETCH(QBluetoothUuid, missing);
        QFETCH(QBluetoothUuid, refused);
        QFETCH(QString, message);
        QFETCH(QString, traffic);

        OtaFixture f(true, missing);
        f.chair->writeErrors[refused] = QStringLiteral("busy");
        f.start(package);
        f.central->flush();
        QCOMPARE(f.manager->otaState(), OTAState::error(message));

        // The flasher is no longer asked, and nothing the chair says later revives the update.
        f.advance(2s);
        f.report(*f.chair, otaV2StatusUUID, flashRecord(9, 10, 120));
        f.report(*f.chair, otaV2StatusUUID, flashRecord(4, 120, 120));
        f.report(*f.chair, otaV2BeginUUID, bytes({1}));
        f.report(*f.chair, otaV1BeginUUID, bytes({1}));
        Q_EMIT f.chair->valueWritten(otaV2DataUUID, QString());
        Q_EMIT f.chair->valueWritten(otaV1DataUUID, QString());
        f.central->flush();
        QCOMPARE(f.manager->otaState(), OTAState::error(message));
        QVERIFY(!f.log.contains(cpu1Complete));
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        QCOMPARE(::traffic(*f.central), traffic);
    }

    void aLostLinkEndsTheUpdate()
    {
        // The user disconnects while the package is still being read; a new update then finds
        // no chair.
        {
            OtaFixture f;
            f.start({{"StiltaB1.bin", image1}}, false);
            f.manager->disconnect();
            QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
            QTRY_VERIFY(f.log.contains(QStringLiteral("🔧 OTA: Found StiltaB1.bin (600 bytes)")));
            f.central->flush();
            QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
            QCOMPARE(f.state(), ConnectionState::disconnected);
            f.start({{"StiltaB1.bin", image1}}, false);
            QCOMPARE(f.manager->otaState(),
                     OTAState::error(QStringLiteral("OTA service not available on this chair.")));
            QCOMPARE(f.central->count(FakeCall::Kind::write), 0);
        }
        // The link drops while CPU2's data flows and CPU1 flashes: an ordinary reconnect.
        OtaFixture f;
        f.chair->onWrite = [&f](const QBluetoothUuid& c, const QByteArray&) {
            if (c == otaV1DataUUID)
                f.central->dropLink(f.chair.get());
        };
        f.start({{"StiltaB1.bin", image1}, {"Stilta-Firmware.bin", firmwareImage(600, 3)}});
        f.central->flush();
        QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(!f.log.contains(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s")));
        f.chair->onWrite = nullptr;
        QVERIFY(f.reconnectsAfter(2s));
        QCOMPARE(f.state(), ConnectionState::ready);
        f.advance(5s);
        QCOMPARE(f.statusReads(), 0);
        QCOMPARE(f.central->writesTo(otaV1DataUUID).size(), 0);
        QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
    }

    void aSilentChairEndsTheUpdateAfter15s()
    {
        const OTAState silent = OTAState::error(
            QStringLiteral("The chair stopped answering during the firmware update."));
        // The begin record is never answered, or the chair never says it is ready.
        for (const bool answersReads : {false, true}) {
            OtaFixture f;
            f.chair->answersReads = answersReads;
            f.chair->values[otaV2BeginUUID] = bytes({0});
            f.start({{"StiltaB1.bin", image1}});
            f.advance(14999ms);
            QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));
            QCOMPARE(traffic(*f.central), "w begin1 58020000, r begin1");
            f.advance(1ms);
            QCOMPARE(f.manager->otaState(), silent);
        }
        // While the flasher answers, it may take its time; once it falls silent, it may not.
        OtaFixture f;
        f.chair->values[otaV2StatusUUID] = flashRecord(9, 5, 120);
        f.start({{"StiltaB1.bin", image1}});
        for (int poll = 0; poll < 120; ++poll)
            f.advance(500ms); // each answer arrives before the next poll
        QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 5, 120, "Transmitting to CORE0"));
        f.chair->values[otaV2StatusUUID] = QByteArray();
        f.advance(14999ms);
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::flashing);
        f.advance(1ms);
        QCOMPARE(f.manager->otaState(), silent);
        const int reads = f.statusReads();
        f.advance(5s);
        QCOMPARE(f.statusReads(), reads);
    }

    void aTransferStoppedMidChunkSendsNoMore()
    {
        // The user disconnects, or dismisses the update, while a chunk's confirmation is owed.
        for (const bool disconnects : {true, false}) {
            OtaFixture f;
            f.start({{"StiltaB1.bin", image1}});
            f.central->deliverNext();
            f.central->deliverNext();
            QCOMPARE(f.manager->otaState(), OTAState::transferring(cpu1, 250.0 / 600));
            disconnects ? f.manager->disconnect() : f.manager->resetOTA();
            const OTAState stopped = disconnects ? OTAState::error(interrupted) : OTAState::idle();
            QCOMPARE(f.manager->otaState(), stopped);
            f.central->flush();
            QCOMPARE(f.manager->otaState(), stopped);
            QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1);
            QCOMPARE(f.state(),
                     disconnects ? ConnectionState::disconnected : ConnectionState::ready);
        }
    }

    void resetWhileCpu1FlashesEndsThePollAndTheRestart()
    {
        OtaFixture f;
        f.start({{"StiltaB1.bin", image1}, {"Stilta-Firmware.bin", image2}});
        f.central->flush();
        QVERIFY(f.manager->isReconnectingAfterOTA());
        f.manager->resetOTA();
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        f.advance(5s);
        QCOMPARE(f.statusReads(), 0);
        QCOMPARE(f.manager->otaState(), OTAState::idle());
    }

    void simulatedUpdateRunsItsCourse()
    {
        OtaFixture f(false);
        f.manager->startSimulation();
        f.manager->startFirmwareUpdate(QStringLiteral("/nowhere/update.zip"));
        // A step every 50 ms: CPU1's data in steps of 2 %, its 84 pages, then CPU2's data.
        const QList<std::pair<std::chrono::milliseconds, QList<OTAState>>> course{
            {0ms, {OTAState::transferring(cpu1, 0)}},
            {49ms, {OTAState::transferring(cpu1, 0)}},
            {1ms, {OTAState::transferring(cpu1, 0.02)}},
            {950ms, {OTAState::transferring(cpu1, 0.4)}},
            {1450ms, {OTAState::transferring(cpu1, 0.98)}},
            {50ms,
             {OTAState::transferring(cpu1, 1.0), OTAState::flashing(cpu1, 0, 84, "Transmitting")}},
            {50ms, {OTAState::flashing(cpu1, 1, 84, "Transmitting to CORE0")}},
            {2050ms, {OTAState::flashing(cpu1, 42, 84, "Transmitting to CORE0")}},
            {50ms, {OTAState::flashing(cpu1, 43, 84, "Writing to flash")}},
            {2050ms,
             {OTAState::flashing(cpu1, 84, 84, "Writing to flash"),
              OTAState::transferring(cpu2, 0)}},
            {2450ms, {OTAState::transferring(cpu2, 0.98)}},
            {50ms, {OTAState::transferring(cpu2, 1.0), OTAState::success()}},
        };
        for (const auto& [span, latest] : course) {
            f.advance(span);
            QCOMPARE(f.seen.mid(f.seen.size() - latest.size()), latest);
        }
        const qsizetype published = f.seen.size();
        f.advance(10s);
        QCOMPARE(f.seen.size(), published);

        // A reset stops it where it stands.
        f.manager->startFirmwareUpdate(QStringLiteral("/nowhere/update.zip"));
        f.advance(500ms);
        f.manager->resetOTA();
        f.advance(10s);
        QCOMPARE(f.manager->otaState(), OTAState::idle());
    }
};

QTEST_GUILESS_MAIN(FirmwareTransferTest)
#include "tst_firmwaretransfer.moc"
