// A firmware update through Qt Bluetooth to the virtual chair: both processors' images arrive
// byte for byte, CPU1's flashing is followed, and the chair restarts and comes back.
#include "RealLink.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

const QString firstChair = VirtualChairBus::chairAddress(1);

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

class EndToEndFirmwareTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << "virtual chair said:\n" << bus.chairOutput();
        bus.stopChair();
    }

    void bothProcessorsAreUpdatedAndTheChairComesBack()
    {
        QVERIFY(bus.startChair({QStringLiteral("--online=Office_5G"),
                                QStringLiteral("--flash-ms-per-page=40"),
                                QStringLiteral("--write-delay-ms=1")}));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));

        const QByteArray cpu1 = firmwareImage(20'000, 1); // 10 flash pages
        const QByteArray cpu2 = firmwareImage(30'123, 2); // ends in a short chunk
        const QString package = link.dir.filePath(QStringLiteral("update.zip"));
        QVERIFY(
            writeZip(package, {{"StiltaB1.bin", cpu1}, {"firmware/Stilta-Firmware.bin", cpu2}}));

        link.manager->startFirmwareUpdate(package);
        QTRY_VERIFY_WITH_TIMEOUT(link.manager->otaState().kind == OTAState::Kind::success ||
                                     link.manager->otaState().kind == OTAState::Kind::error,
                                 60000);
        QCOMPARE(link.manager->otaState(), OTAState::success());
        // The chair's flasher reports are read as the chair means them.
        QVERIFY(link.log.lines().contains(QStringLiteral("🔧 OTA: CPU1 flash complete (10 pages)")));

        // The chair restarts on its own; the link expects it and waits for the reboot.
        QVERIFY(link.waitForState(ConnectionState::connecting, 10000));
        QVERIFY(link.manager->isReconnectingAfterOTA());
        QVERIFY(link.log.lines().contains(QStringLiteral("🔧 OTA reboot — reconnecting in ~8 s")));
        QVERIFY(link.waitForState(ConnectionState::ready, 30000));
        QVERIFY(!link.manager->isReconnectingAfterOTA());
        QTRY_COMPARE(link.manager->serialNumber(), QStringLiteral("VP-2026-0001"));

        const QVariantMap chair = bus.chairState(firstChair);
        QCOMPARE(chair.value(QStringLiteral("cpu1Sha256")).toString(), sha256(cpu1));
        QCOMPARE(chair.value(QStringLiteral("cpu2Sha256")).toString(), sha256(cpu2));
        QCOMPARE(chair.value(QStringLiteral("restarts")).toUInt(), 1u);
        QVERIFY(chair.value(QStringLiteral("firmwareErrors")).toStringList().isEmpty());
    }

    void aLinkLostMidTransferEndsTheUpdate()
    {
        QVERIFY(bus.startChair(
            {QStringLiteral("--online=Office_5G"), QStringLiteral("--write-delay-ms=5")}));
        RealLink link;
        QVERIFY(link.scanAndConnect());
        QVERIFY(link.waitForState(ConnectionState::ready));
        const QString package = link.dir.filePath(QStringLiteral("update.zip"));
        QVERIFY(writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(400'000, 3)}}));

        link.manager->startFirmwareUpdate(package);
        QTRY_COMPARE(link.manager->otaState().kind, OTAState::Kind::transferring);
        QVERIFY(bus.control(QStringLiteral("DropLink"), {firstChair}));
        QTRY_COMPARE(link.manager->otaState().kind, OTAState::Kind::error);
        // Not taken for the restart after an update: the usual reconnect follows.
        QVERIFY(!link.manager->isReconnectingAfterOTA());
        QVERIFY(link.waitForState(ConnectionState::ready));
        QCOMPARE(link.manager->otaState().kind, OTAState::Kind::error);
        QCOMPARE(bus.chairState(firstChair).value(QStringLiteral("restarts")).toUInt(), 0u);
    }

private:
    VirtualChairBus bus;
};

QTEST_GUILESS_MAIN(EndToEndFirmwareTest)
#include "tst_e2e_firmware.moc"
