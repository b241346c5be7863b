// The scan list: which advertisers are chairs, what they are called, and how the list grows.
#include "LinkFixture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QStringList names(const BluetoothManager& manager)
{
    QStringList out;
    for (const DiscoveredDevice& device : manager.discoveredDevices())
        out.append(device.name);
    return out;
}

} // namespace

class ScanListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyChairsAreListed()
    {
        LinkFixture f;
        f.manager->startScanning();
        QCOMPARE(f.state(), ConnectionState::scanning);
        QCOMPARE(f.central->count(FakeCall::Kind::startScan), 1);
        const auto sees = [&](const QString& name, const QString& localName = {}) {
            f.central->advertise(f.central->makePeripheral(name), localName, -40);
        };
        for (const char* stranger : {"Velnora X", "Velnora", "Velnora Pr", "velnora pro 1",
                                     "VELNORA CHAIR", "My Velnora Pro", " Velnora Pro 1", ""})
            sees(QString::fromUtf8(stranger));
        sees(QStringLiteral("Velnora Pro"));
        sees(QStringLiteral("Velnora Chair 2"));
        // The advertised local name wins over the name the peripheral carries.
        sees(QStringLiteral("Desk lamp"), QStringLiteral("Velnora Pro 7"));
        sees(QStringLiteral("Velnora Pro 8"), QStringLiteral("Headphones"));
        sees(QString(), QStringLiteral("Velnora Chair"));
        QCOMPARE(names(*f.manager),
                 (QStringList{"Velnora Pro", "Velnora Chair 2", "Velnora Pro 7", "Velnora Chair"}));
    }

    void namesGrowButNeverShrink()
    {
        LinkFixture f;
        f.manager->startScanning();
        const auto chair = f.central->makePeripheral(QString());

        f.central->advertise(chair, QStringLiteral("Velnora Chair"), -60);
        f.central->advertise(chair, QStringLiteral("Velnora Pro 12"), -58);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro 12")});
        f.central->advertise(chair, QStringLiteral("Velnora Pro"), -57);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro 12")});
        f.central->advertise(chair, QStringLiteral("Velnora Pro 99"), -56);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro 12")});
        f.central->advertise(chair, QStringLiteral("Velnora Pro 12 B"), -55);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro 12 B")});

        // The generic name gives way to any other, even a shorter one.
        const auto generic = f.central->makePeripheral(QString());
        f.central->advertise(generic, QStringLiteral("Velnora Chair"), -70);
        f.central->advertise(generic, QStringLiteral("Velnora Chair"), -71);
        QCOMPARE(f.manager->discoveredDevices().last().name, QStringLiteral("Velnora Chair"));
        f.central->advertise(generic, QStringLiteral("Velnora Pro"), -72);
        QCOMPARE(names(*f.manager),
                 (QStringList{QStringLiteral("Velnora Pro 12 B"), QStringLiteral("Velnora Pro")}));
    }

    void listKeepsOrderOfFirstSightingAndFreshSignal()
    {
        LinkFixture f;
        f.manager->startScanning();
        const auto a = f.central->makePeripheral(QStringLiteral("Velnora Pro A"));
        const auto b = f.central->makePeripheral(QStringLiteral("Velnora Pro B"));
        const auto c = f.central->makePeripheral(QStringLiteral("Velnora Pro C"));
        f.central->advertise(a, QString(), -80);
        f.central->advertise(b, QString(), -70);
        f.central->advertise(c, QString(), -60);

        QSignalSpy changed(f.manager.get(), &BluetoothManager::discoveredDevicesChanged);
        f.central->advertise(a, QString(), -30);
        f.central->advertise(b, QString(), -95);
        QCOMPARE(changed.count(), 2);

        const QList<DiscoveredDevice>& list = f.manager->discoveredDevices();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0].id(), a->identifier());
        QCOMPARE(list[1].id(), b->identifier());
        QCOMPARE(list[2].id(), c->identifier());
        QCOMPARE(list[0].rssi, qint64(-30));
        QCOMPARE(list[1].rssi, qint64(-95));
        QCOMPARE(list[2].rssi, qint64(-60));

        // A new scan starts from an empty list.
        f.manager->startScanning();
        QVERIFY(f.manager->discoveredDevices().isEmpty());
        f.central->advertise(c, QString(), -61);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro C")});
    }

    void scanningNeedsBluetooth()
    {
        for (CentralPower power : {CentralPower::Off, CentralPower::Unauthorized,
                                   CentralPower::Unsupported, CentralPower::Resetting}) {
            LinkFixture f(power);
            QCOMPARE(f.state(), ConnectionState::unavailable);
            QSignalSpy stateChanged(f.manager.get(), &BluetoothManager::connectionStateChanged);
            f.manager->startScanning();
            QCOMPARE(f.state(), ConnectionState::unavailable);
            QCOMPARE(stateChanged.count(), 0);
            QCOMPARE(f.central->count(FakeCall::Kind::startScan), 0);
            f.central->advertise(f.central->makeChair(), QString(), -50);
            QVERIFY(f.manager->discoveredDevices().isEmpty());
        }
    }

    void cancelScanEndsTheSightings()
    {
        LinkFixture f;
        f.manager->startScanning();
        const auto chair = f.central->makeChair();
        f.central->advertise(chair, QString(), -50);
        QCOMPARE(f.manager->discoveredDevices().size(), 1);

        f.manager->cancelScan();
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QVERIFY(f.manager->discoveredDevices().isEmpty());
        QCOMPARE(f.central->count(FakeCall::Kind::stopScan), 1);

        // Advertisements outside a scan are not sightings: after it, and once a chair is picked.
        f.central->advertise(chair, QString(), -50);
        QVERIFY(f.manager->discoveredDevices().isEmpty());
        f.manager->startScanning();
        f.central->advertise(chair, QString(), -50);
        f.manager->connect(chair->identifier());
        QCOMPARE(f.state(), ConnectionState::connecting);
        const QList<DiscoveredDevice> before = f.manager->discoveredDevices();
        f.central->advertise(f.central->makePeripheral(QStringLiteral("Velnora Pro 2")), {}, -40);
        f.central->advertise(chair, QStringLiteral("Velnora Pro 1 Office"), -10);
        QCOMPARE(f.manager->discoveredDevices(), before);
    }

    void listIsBoundedPerScan()
    {
        LinkFixture f;
        f.manager->startScanning();
        QList<QSharedPointer<FakePeripheral>> chairs;
        for (int i = 0; i < BluetoothManager::maxDiscoveredDevices + 44; ++i) {
            chairs.append(f.central->makePeripheral(QStringLiteral("Velnora Pro %1").arg(i)));
            f.central->advertise(chairs.last(), QString(), -50);
        }
        const QList<DiscoveredDevice>& list = f.manager->discoveredDevices();
        QCOMPARE(list.size(), 256);
        QCOMPARE(list.first().id(), chairs.first()->identifier());
        QCOMPARE(list.last().id(), chairs[255]->identifier());

        // Chairs already listed still refresh; newcomers wait for the next scan.
        f.central->advertise(chairs[10], QStringLiteral("Velnora Pro 10 Kitchen"), -20);
        f.central->advertise(chairs[299], QString(), -20);
        QCOMPARE(list.size(), 256);
        QCOMPARE(list[10].rssi, qint64(-20));
        QCOMPARE(list[10].name, QStringLiteral("Velnora Pro 10 Kitchen"));
        for (const DiscoveredDevice& device : list)
            QVERIFY(device.id() != chairs[299]->identifier());

        f.manager->startScanning();
        f.central->advertise(chairs[299], QString(), -20);
        QCOMPARE(names(*f.manager), QStringList{QStringLiteral("Velnora Pro 299")});
    }
};

QTEST_GUILESS_MAIN(ScanListTest)
#include "tst_scanlist.moc"
