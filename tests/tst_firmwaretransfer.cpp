// Updating the chair's processors: begin records, stop-and-wait chunks, CPU1's flashing,
// CPU2's data while CPU1 flashes, and every way an update ends.
#include "LinkFixture.h"
#include "ZipWriter.h"

#include <QFile>
#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;
using Entries = ZipEntries;

char* toString(const OTAState& s)
{
    const QString text =
        QStringLiteral("%1(cpu=%2 progress=%3 page=%4/%5 status=%6 message=%7)")
            .arg(QString::fromLatin1(QMetaEnum::fromType<OTAState::Kind>().valueToKey(int(s.kind))),
                 s.cpu, QString::number(s.progress, 'g', 17), QString::number(s.page),
                 QString::number(s.totalPages), s.status, s.message);
    return qstrdup(text.toUtf8().constData());
}

namespace {

const QString cpu1 = QStringLiteral("CPU1 (STM32)");
const QString cpu2 = QStringLiteral("CPU2 (ESP32)");
const QString interrupted = QStringLiteral("Chair disconnected during firmware update.");
const QString waitingForFlash = QStringLiteral("Waiting for flash...");

QByteArray image(int size, int salt)
{
    return firmwareImage(size, salt);
}

QString package(const LinkFixture& f, const Entries& entries)
{
    static int serial = 0;
    const QString path = f.dir.filePath(QStringLiteral("update-%1.zip").arg(++serial));
    return writeZip(path, entries) ? path : QString();
}

QByteArray flashRecord(quint32 code, quint32 page, quint32 total)
{
    return u32Bytes(code) + u32Bytes(page) + u32Bytes(total);
}

// A connected chair that is ready for data on both processors.
QSharedPointer<FakePeripheral> otaChair(LinkFixture& f, const QBluetoothUuid& missing = {})
{
    auto chair = f.central->makeChair();
    chair->values[otaV2BeginUUID] = bytes({1});
    chair->values[otaV1BeginUUID] = bytes({1});
    if (!missing.isNull())
        chair->removeCharacteristic(missing);
    f.connectChair(chair);
    f.central->clearCalls();
    return chair;
}

// The package is read off the main thread; its result comes back through the event loop.
void waitForPackage(LinkFixture& f)
{
    QTRY_VERIFY(!f.log.lines().filter(QStringLiteral("🔧 OTA: Found")).isEmpty() ||
                f.manager->otaState().kind != OTAState::Kind::preparing);
}

void start(LinkFixture& f, const QString& path)
{
    f.manager->startFirmwareUpdate(path);
    waitForPackage(f);
}

struct StateLog {
    explicit StateLog(BluetoothManager& m)
    {
        QObject::connect(&m, &BluetoothManager::otaStateChanged, &context,
                         [this, &m] { seen << m.otaState(); });
    }
    QObject context;
    QList<OTAState> seen;
};

void compareStates(const QList<OTAState>& seen, const QList<OTAState>& expected)
{
    QCOMPARE(seen.size(), expected.size());
    for (int i = 0; i < seen.size(); ++i)
        QCOMPARE(seen[i], expected[i]);
}

} // namespace

class FirmwareTransferTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cpu1ImageGoesOutInChunks()
    {
        LinkFixture f;
        const QByteArray cpu1Image = image(600, 1);
        otaChair(f);
        StateLog log(*f.manager);
        f.manager->startFirmwareUpdate(package(f, {{"StiltaB1.bin", cpu1Image}}));
        QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));
        waitForPackage(f);
        QCOMPARE(f.central->writesTo(otaV2BeginUUID), QList<QByteArray>{bytes({0x58, 0x02, 0, 0})});
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: Begin CPU1 (STM32), size=600 bytes")));
        QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));

        // Data waits for the chair's answer to the begin record.
        QCOMPARE(f.central->readsOf(otaV2BeginUUID), 0);
        QVERIFY(f.central->deliverNext());
        QCOMPARE(f.central->readsOf(otaV2BeginUUID), 1);
        QVERIFY(f.central->writesTo(otaV2DataUUID).isEmpty());
        QVERIFY(f.central->deliverNext());
        QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1); // one outstanding at a time
        f.central->flush();
        QCOMPARE(f.central->writesTo(otaV2DataUUID),
                 (QList<QByteArray>{cpu1Image.mid(0, 250), cpu1Image.mid(250, 250),
                                    cpu1Image.mid(500)}));
        compareStates(log.seen,
                      {OTAState::preparing(cpu1), OTAState::transferring(cpu1, 250.0 / 600),
                       OTAState::transferring(cpu1, 500.0 / 600), OTAState::transferring(cpu1, 1.0),
                       OTAState::flashing(cpu1, 0, 0, waitingForFlash)});
        QVERIFY(f.central->writesTo(otaV1BeginUUID).isEmpty());

        // CPU1's flashing is followed twice a second.
        f.advance(499ms);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);
        f.advance(1ms);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 1);
        f.advance(500ms);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 2);

        // A chair that is not ready gets nothing.
        LinkFixture g;
        const auto notReady = otaChair(g);
        notReady->values[otaV2BeginUUID] = bytes({0});
        start(g, package(g, {{"StiltaB1.bin", cpu1Image}}));
        g.central->flush();
        QCOMPARE(g.central->readsOf(otaV2BeginUUID), 1);
        QVERIFY(g.central->writesTo(otaV2DataUUID).isEmpty());
        QCOMPARE(g.manager->otaState(), OTAState::preparing(cpu1));

        // An empty image is begun and goes straight to flashing.
        LinkFixture e;
        otaChair(e);
        start(e, package(e, {{"StiltaB1.bin", {}}}));
        e.central->flush();
        QCOMPARE(e.central->writesTo(otaV2BeginUUID), QList<QByteArray>{bytes({0, 0, 0, 0})});
        QVERIFY(e.central->writesTo(otaV2DataUUID).isEmpty());
        QCOMPARE(e.manager->otaState(), OTAState::flashing(cpu1, 0, 0, waitingForFlash));

        // The size is little-endian; a begin record the chair refuses ends the update at once.
        LinkFixture h;
        const auto large = otaChair(h);
        large->writeErrors[otaV2BeginUUID] = QStringLiteral("busy");
        start(h, package(h, {{"StiltaB1.bin", image(70000, 2)}}));
        QCOMPARE(h.central->writesTo(otaV2BeginUUID),
                 QList<QByteArray>{bytes({0x70, 0x11, 0x01, 0})});
        h.central->flush();
        QCOMPARE(h.manager->otaState(), OTAState::error(QStringLiteral(
                                            "The chair refused the update of CPU1 (STM32): busy")));
        QCOMPARE(h.central->readsOf(otaV2BeginUUID), 0);
        QVERIFY(h.central->writesTo(otaV2DataUUID).isEmpty());
    }

    void flashStatusDrivesFlashingToCompletion()
    {
        LinkFixture f;
        const auto chair = otaChair(f);
        start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
        f.central->flush();
        const OTAState waiting = OTAState::flashing(cpu1, 0, 0, waitingForFlash);
        QCOMPARE(f.manager->otaState(), waiting);

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
            f.report(*chair, otaV2StatusUUID, record);
            QCOMPARE(f.manager->otaState(), state);
        }
        QVERIFY(!f.manager->isReconnectingAfterOTA());

        f.report(*chair, otaV2StatusUUID, flashRecord(4, 120, 120));
        QCOMPARE(f.manager->otaState(), OTAState::success());
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: CPU1 flash complete (120 pages)")));
        QVERIFY(f.manager->isReconnectingAfterOTA());
        const int reads = f.central->readsOf(otaV2StatusUUID);
        f.advance(5s);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), reads);

        // The chair restarts by itself and is fetched back after about 8 s.
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(f.log.contains(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s")));
        QVERIFY(f.log.lines().filter(QStringLiteral("Unexpected BLE disconnect")).isEmpty());
        QVERIFY(f.reconnectsAfter(8s));
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        QCOMPARE(f.manager->otaState(), OTAState::success());
    }

    void aChairThatDoesNotComeBackEndsTheRestart()
    {
        LinkFixture f;
        const auto chair = otaChair(f);
        start(f, package(f, {{"Stilta-Firmware.bin", image(300, 3)}}));
        f.central->flush();
        QCOMPARE(f.manager->otaState(), OTAState::success());
        f.central->answersConnects = false;
        f.central->dropLink(chair.get());
        f.advance(8s);
        QVERIFY(f.manager->isReconnectingAfterOTA());
        f.central->failConnect(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::disconnected);
        // The user's next connect is not shown as a restart.
        QVERIFY(!f.manager->isReconnectingAfterOTA());
    }

    void bothImagesInEitherOrderOfCompletion()
    {
        // CPU2 is done while CPU1 still flashes: CPU1's flashing stays on screen.
        {
            LinkFixture f;
            const QByteArray esp = image(300, 3);
            const auto chair = otaChair(f);
            StateLog log(*f.manager);
            start(f, package(f, {{"Stilta-Firmware.bin", esp}, {"StiltaB1.bin", image(600, 1)}}));
            f.central->flush();
            QCOMPARE(f.central->writesTo(otaV1BeginUUID),
                     QList<QByteArray>{bytes({0x2C, 0x01, 0, 0})});
            QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: Begin CPU2 (ESP32), size=300 bytes")));
            QCOMPARE(f.central->writesTo(otaV1DataUUID),
                     (QList<QByteArray>{esp.mid(0, 250), esp.mid(250)}));
            // CPU2 begins only once CPU1's last chunk is in.
            const QList<FakeCall> writes = f.central->callsOf(Kind::write);
            QCOMPARE(writes[4].target, otaV1BeginUUID);
            QCOMPARE(writes[3].target, otaV2DataUUID);
            QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 0, 0, waitingForFlash));
            for (const OTAState& s : log.seen)
                QVERIFY(s.cpu != cpu2);
            QVERIFY(f.manager->isReconnectingAfterOTA());

            f.report(*chair, otaV2StatusUUID, flashRecord(9, 10, 120));
            QCOMPARE(f.manager->otaState(),
                     OTAState::flashing(cpu1, 10, 120, "Transmitting to CORE0"));
            f.report(*chair, otaV2StatusUUID, flashRecord(4, 120, 120));
            QCOMPARE(f.manager->otaState(), OTAState::success());
        }
        // CPU1 completes first: CPU2's transfer is shown where it stands.
        {
            LinkFixture f;
            const auto chair = otaChair(f);
            FakePeripheral* p = chair.get();
            auto completed = std::make_shared<bool>(false);
            chair->onWrite = [p, completed](const QBluetoothUuid& c, const QByteArray&) {
                if (c != otaV1DataUUID || *completed)
                    return;
                *completed = true; // right after CPU2's first chunk
                p->notify(otaV2StatusUUID, flashRecord(4, 120, 120));
            };
            StateLog log(*f.manager);
            start(f, package(f, {{"StiltaB1.bin", image(600, 1)},
                                 {"Stilta-Firmware.bin", image(1000, 3)}}));
            f.central->flush();
            QVERIFY(f.log.contains(QStringLiteral("🔧 OTA: CPU1 flash complete (120 pages)")));
            compareStates(
                log.seen.mid(log.seen.indexOf(OTAState::flashing(cpu1, 0, 0, waitingForFlash))),
                {OTAState::flashing(cpu1, 0, 0, waitingForFlash),
                 OTAState::transferring(cpu2, 0.25), OTAState::transferring(cpu2, 0.5),
                 OTAState::transferring(cpu2, 0.75), OTAState::transferring(cpu2, 1.0),
                 OTAState::success()});
            QCOMPARE(f.central->writesTo(otaV1DataUUID).size(), 4);
        }
        // An empty CPU2 image that has not begun when CPU1 completes shows as complete.
        {
            LinkFixture f;
            const auto chair = otaChair(f);
            FakePeripheral* p = chair.get();
            chair->onWrite = [p](const QBluetoothUuid& c, const QByteArray&) {
                if (c == otaV1BeginUUID)
                    p->notify(otaV2StatusUUID, flashRecord(4, 120, 120));
            };
            StateLog log(*f.manager);
            start(f, package(f, {{"StiltaB1.bin", image(600, 1)}, {"Stilta-Firmware.bin", {}}}));
            f.central->flush();
            QCOMPARE(f.central->writesTo(otaV1BeginUUID), QList<QByteArray>{bytes({0, 0, 0, 0})});
            QVERIFY(f.central->writesTo(otaV1DataUUID).isEmpty());
            compareStates(log.seen.mid(log.seen.size() - 2),
                          {OTAState::transferring(cpu2, 1.0), OTAState::success()});
        }
    }

    void cpu2OnlyPackage()
    {
        LinkFixture f;
        const QByteArray esp = image(300, 3);
        otaChair(f);
        StateLog log(*f.manager);
        start(f, package(f, {{"firmware/Stilta-Firmware.bin", esp}}));
        QCOMPARE(f.central->writesTo(otaV1BeginUUID), QList<QByteArray>{bytes({0x2C, 0x01, 0, 0})});
        QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));
        f.central->flush();
        compareStates(log.seen,
                      {OTAState::preparing(cpu1), OTAState::transferring(cpu2, 250.0 / 300),
                       OTAState::transferring(cpu2, 1.0), OTAState::success()});
        QCOMPARE(f.central->writesTo(otaV1DataUUID),
                 (QList<QByteArray>{esp.mid(0, 250), esp.mid(250)}));
        QVERIFY(f.manager->isReconnectingAfterOTA());
        f.advance(5s);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);
        QVERIFY(f.central->writesTo(otaV2BeginUUID).isEmpty());
    }

    void updatesRefusedWithTheirReason()
    {
        const QByteArray cpu1Image = image(600, 1);
        {
            LinkFixture f;
            f.manager->startFirmwareUpdate(package(f, {{"StiltaB1.bin", cpu1Image}}));
            QCOMPARE(f.manager->otaState(),
                     OTAState::error(QStringLiteral("OTA service not available on this chair.")));
        }
        {
            LinkFixture f;
            otaChair(f, otaV2BeginUUID);
            start(f, package(f, {{"StiltaB1.bin", cpu1Image}}));
            QCOMPARE(f.manager->otaState(),
                     OTAState::error(QStringLiteral("STM32 begin characteristic not available.")));
            QCOMPARE(f.central->count(Kind::write), 0);
        }
        const QString noEsp32 = QStringLiteral("ESP32 begin characteristic not available.");
        {
            LinkFixture f;
            otaChair(f, otaV1BeginUUID);
            start(f, package(f, {{"Stilta-Firmware.bin", image(300, 3)}}));
            QCOMPARE(f.manager->otaState(), OTAState::error(noEsp32));
            QCOMPARE(f.central->count(Kind::write), 0);
        }
        {
            // Found missing only once CPU1's data is in: the flash poll ends with the update.
            LinkFixture f;
            otaChair(f, otaV1BeginUUID);
            start(f, package(
                         f, {{"StiltaB1.bin", cpu1Image}, {"Stilta-Firmware.bin", image(300, 3)}}));
            f.central->flush();
            QCOMPARE(f.manager->otaState(), OTAState::error(noEsp32));
            f.advance(2s);
            QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);
        }
        {
            LinkFixture f;
            otaChair(f);
            start(f, package(f, {{"readme.txt", "no firmware here"}}));
            QCOMPARE(f.manager->otaState(),
                     OTAState::error(QStringLiteral("No firmware files found in ZIP.\nExpected: "
                                                    "StiltaB1.bin and/or Stilta-Firmware.bin")));
            QCOMPARE(f.central->count(Kind::write), 0);
        }
    }

    void aFailedChunkEndsTheUpdateForGood()
    {
        {
            LinkFixture f;
            const auto chair = otaChair(f);
            chair->writeErrors[otaV2DataUUID] = QStringLiteral("Write not permitted");
            start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
            f.central->flush();
            QCOMPARE(f.manager->otaState(),
                     OTAState::error(
                         QStringLiteral("CPU1 (STM32) transfer failed: Write not permitted")));
            QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1);
            f.advance(2s);
            QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);
        }
        // CPU2 fails while CPU1 flashes: nothing later brings the update back.
        LinkFixture f;
        const auto chair = otaChair(f);
        chair->writeErrors[otaV1DataUUID] = QStringLiteral("GATT error");
        start(f, package(
                     f, {{"StiltaB1.bin", image(600, 1)}, {"Stilta-Firmware.bin", image(600, 3)}}));
        f.central->flush();
        const OTAState failed =
            OTAState::error(QStringLiteral("CPU2 (ESP32) transfer failed: GATT error"));
        QCOMPARE(f.manager->otaState(), failed);
        QCOMPARE(f.central->writesTo(otaV1DataUUID).size(), 1);
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        f.advance(2s);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);

        f.central->clearCalls();
        f.report(*chair, otaV2StatusUUID, flashRecord(9, 10, 120));
        f.report(*chair, otaV2StatusUUID, flashRecord(4, 120, 120));
        f.report(*chair, otaV1BeginUUID, bytes({1}));
        Q_EMIT chair->valueWritten(otaV2DataUUID, QString());
        Q_EMIT chair->valueWritten(otaV1DataUUID, QString());
        f.central->flush();
        QCOMPARE(f.manager->otaState(), failed);
        QVERIFY(!f.log.contains(QStringLiteral("🔧 OTA: CPU1 flash complete (120 pages)")));
        QCOMPARE(f.central->count(Kind::write), 0);
    }

    void aLostLinkEndsTheUpdate()
    {
        // The user disconnects while the package is still being read.
        {
            LinkFixture f;
            otaChair(f);
            f.manager->startFirmwareUpdate(package(f, {{"StiltaB1.bin", image(600, 1)}}));
            f.manager->disconnect();
            QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
            QTRY_VERIFY(f.log.contains(QStringLiteral("🔧 OTA: Found StiltaB1.bin (600 bytes)")));
            f.central->flush();
            QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
            QCOMPARE(f.central->count(Kind::write), 0);
            QCOMPARE(f.state(), ConnectionState::disconnected);
        }
        // ... or while a chunk's confirmation is owed.
        {
            LinkFixture f;
            otaChair(f);
            start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
            f.central->deliverNext();
            f.central->deliverNext();
            QCOMPARE(f.manager->otaState(), OTAState::transferring(cpu1, 250.0 / 600));
            f.manager->disconnect();
            QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
            f.central->flush();
            QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1);
            QCOMPARE(f.state(), ConnectionState::disconnected);
        }
        // The link drops while CPU2's data flows and CPU1 flashes: an ordinary reconnect.
        LinkFixture f;
        const auto chair = otaChair(f);
        FakeBleCentral* central = f.central;
        FakePeripheral* p = chair.get();
        chair->onWrite = [central, p](const QBluetoothUuid& c, const QByteArray&) {
            if (c == otaV1DataUUID)
                central->dropLink(p);
        };
        start(f, package(
                     f, {{"StiltaB1.bin", image(600, 1)}, {"Stilta-Firmware.bin", image(600, 3)}}));
        f.central->flush();
        QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
        QVERIFY(!f.manager->isReconnectingAfterOTA());
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(!f.log.contains(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s")));
        chair->onWrite = nullptr;
        QVERIFY(f.reconnectsAfter(2s));
        QCOMPARE(f.state(), ConnectionState::ready);
        f.advance(5s);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), 0);
        QCOMPARE(f.central->writesTo(otaV1DataUUID).size(), 0);
        QCOMPARE(f.manager->otaState(), OTAState::error(interrupted));
    }

    void aSilentChairEndsTheUpdateAfter15s()
    {
        {
            LinkFixture f;
            const auto chair = otaChair(f);
            chair->answersReads = false; // the begin answer never comes
            start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
            f.advance(14999ms);
            QCOMPARE(f.manager->otaState(), OTAState::preparing(cpu1));
            f.advance(1ms);
            QCOMPARE(f.manager->otaState().kind, OTAState::Kind::error);
            QVERIFY(!f.manager->otaState().message.isEmpty());
        }
        // While the flasher answers, it may take its time; once it falls silent, it may not.
        LinkFixture f;
        const auto chair = otaChair(f);
        chair->values[otaV2StatusUUID] = flashRecord(9, 5, 120);
        start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
        for (int poll = 0; poll < 120; ++poll)
            f.advance(500ms); // each answer arrives before the next poll
        QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 5, 120, "Transmitting to CORE0"));
        chair->values[otaV2StatusUUID] = QByteArray();
        f.advance(14999ms);
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::flashing);
        f.advance(1ms);
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::error);
        const int reads = f.central->readsOf(otaV2StatusUUID);
        f.advance(5s);
        QCOMPARE(f.central->readsOf(otaV2StatusUUID), reads);
    }

    void resetStopsATransfer()
    {
        LinkFixture f;
        otaChair(f);
        start(f, package(f, {{"StiltaB1.bin", image(600, 1)}}));
        f.central->deliverNext();
        f.central->deliverNext();
        QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1);
        f.manager->resetOTA();
        QCOMPARE(f.manager->otaState(), OTAState::idle());
        f.central->flush();
        QCOMPARE(f.central->writesTo(otaV2DataUUID).size(), 1);
        QCOMPARE(f.manager->otaState(), OTAState::idle());

        // A reset while CPU1 flashes and CPU2 is done ends the poll and the restart expectation.
        LinkFixture g;
        otaChair(g);
        start(g, package(
                     g, {{"StiltaB1.bin", image(600, 1)}, {"Stilta-Firmware.bin", image(300, 3)}}));
        g.central->flush();
        QVERIFY(g.manager->isReconnectingAfterOTA());
        g.manager->resetOTA();
        QVERIFY(!g.manager->isReconnectingAfterOTA());
        g.advance(5s);
        QCOMPARE(g.central->readsOf(otaV2StatusUUID), 0);
        QCOMPARE(g.manager->otaState(), OTAState::idle());
    }

    void simulatedUpdateRunsItsCourse()
    {
        LinkFixture f;
        f.manager->startSimulation();
        StateLog log(*f.manager);
        f.manager->startFirmwareUpdate(QStringLiteral("/nowhere/update.zip"));
        QCOMPARE(f.manager->otaState(), OTAState::transferring(cpu1, 0));
        f.advance(49ms);
        QCOMPARE(f.manager->otaState(), OTAState::transferring(cpu1, 0));
        f.advance(1ms);
        QCOMPARE(f.manager->otaState().progress, 0.02);
        f.advance(950ms);
        QCOMPARE(f.manager->otaState().progress, 0.4);
        QCOMPARE(f.manager->otaState().cpu, cpu1);
        f.advance(1450ms); // 2.45 s
        QCOMPARE(f.manager->otaState().progress, 0.98);
        f.advance(50ms);
        compareStates(log.seen.mid(log.seen.size() - 2),
                      {OTAState::transferring(cpu1, 1.0),
                       OTAState::flashing(cpu1, 0, 84, QStringLiteral("Transmitting"))});
        f.advance(50ms);
        QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 1, 84, "Transmitting to CORE0"));
        f.advance(2050ms); // 4.6 s
        QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 42, 84, "Transmitting to CORE0"));
        f.advance(50ms);
        QCOMPARE(f.manager->otaState(), OTAState::flashing(cpu1, 43, 84, "Writing to flash"));
        f.advance(2050ms); // 6.7 s
        compareStates(log.seen.mid(log.seen.size() - 2),
                      {OTAState::flashing(cpu1, 84, 84, "Writing to flash"),
                       OTAState::transferring(cpu2, 0)});
        f.advance(2450ms);
        QCOMPARE(f.manager->otaState().cpu, cpu2);
        QCOMPARE(f.manager->otaState().progress, 0.98);
        f.advance(50ms); // 9.2 s
        compareStates(log.seen.mid(log.seen.size() - 2),
                      {OTAState::transferring(cpu2, 1.0), OTAState::success()});
        const qsizetype published = log.seen.size();
        f.advance(10s);
        QCOMPARE(log.seen.size(), published);

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
