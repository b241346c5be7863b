// Putting the chair on a network: its status out of the WiFi check, its network list,
// credentials and the restart that applies them, and the offline grace period.
#include "LinkFixture.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;
using Writes = QList<QPair<QBluetoothUuid, QByteArray>>;
using Left = std::optional<qint64>; // seconds of grace left

namespace {

const QString graceStartedLine = QStringLiteral("📶 WiFi offline — grace period started (300s)");
const QString graceExpiredLine =
    QStringLiteral("📶 WiFi grace period expired — returning to WiFi setup");

QSharedPointer<FakePeripheral> chairWithStatus(LinkFixture& f, const QByteArray& status)
{
    auto chair = f.central->makeChair();
    chair->values[wifiStatusUUID] = status;
    return chair;
}

// Offline on setup, the user joins, and the chair restarts into `status`.
QSharedPointer<FakePeripheral> afterAnAttempt(LinkFixture& f, const QByteArray& status)
{
    const auto chair = f.connectChair(chairWithStatus(f, bytes({1})));
    f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("pw"));
    chair->values[wifiStatusUUID] = status;
    f.central->dropLink(chair.get());
    f.central->flush();
    return chair;
}

// The list protocol as the chair saw it.
QStringList listCalls(const FakeBleCentral& central)
{
    QStringList out;
    for (const FakeCall& call : central.calls()) {
        if (call.target == wifiSSIDListCounterUUID && call.kind == Kind::read)
            out << QStringLiteral("read count");
        else if (call.target == wifiSSIDListCounterUUID && call.kind == Kind::write)
            out << QStringLiteral("write index ") + QString::fromLatin1(call.value.toHex());
        else if (call.target == wifiSSIDSingleUUID && call.kind == Kind::read)
            out << QStringLiteral("read name");
    }
    return out;
}

} // namespace

class WifiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void credentialsGoOutInOrderWithoutWaiting_data()
    {
        QTest::addColumn<QBluetoothUuid>("missing");
        QTest::addColumn<QTimeZone>("zone");
        QTest::addColumn<QString>("password");
        QTest::addColumn<Writes>("sent");
        const QByteArray ssid = QStringLiteral("Café Ü").toUtf8();
        const QTimeZone berlin("Europe/Berlin");
        QTest::newRow("all four") << QBluetoothUuid() << berlin << QStringLiteral("s3cret pw")
                                  << Writes{{wifiSSIDUUID, ssid},
                                            {wifiPasswordUUID, "s3cret pw"},
                                            {tzInfoUUID, "Europe/Berlin"},
                                            {wifiEnableUUID, bytes({1})}};
        QTest::newRow("empty password, chair without a zone")
            << tzInfoUUID << berlin << QString()
            << Writes{{wifiSSIDUUID, ssid}, {wifiPasswordUUID, {}}, {wifiEnableUUID, bytes({1})}};
        QTest::newRow("desktop zone without a name")
            << QBluetoothUuid() << QTimeZone() << QStringLiteral("pw")
            << Writes{{wifiSSIDUUID, ssid}, {wifiPasswordUUID, "pw"}, {wifiEnableUUID, bytes({1})}};
        QTest::newRow("no SSID on the chair") << wifiSSIDUUID << berlin << QString() << Writes{};
        QTest::newRow("no password on the chair")
            << wifiPasswordUUID << berlin << QString() << Writes{};
        QTest::newRow("no switch on the chair")
            << wifiEnableUUID << berlin << QString() << Writes{};
    }

    void credentialsGoOutInOrderWithoutWaiting()
    {
        QFETCH(QBluetoothUuid, missing);
        QFETCH(QTimeZone, zone);
        QFETCH(QString, password);
        QFETCH(Writes, sent);
        LinkFixture f;
        f.clock.setTimeZone(zone);
        const auto chair = chairWithStatus(f, bytes({1}));
        chair->removeCharacteristic(missing);
        f.connectChair(chair);
        f.central->clearCalls();

        f.manager->connectToWiFi(QStringLiteral("Café Ü"), password);
        Writes written;
        for (const FakeCall& call : f.central->callsOf(Kind::write))
            written.append({call.target, call.value});
        QCOMPARE(written, sent);
        QCOMPARE(f.central->pendingAnswers(), int(sent.size())); // all sent before any confirmation
        // Without one of the three, nothing changes: a drop is not a WiFi restart.
        QCOMPARE(f.state(),
                 sent.isEmpty() ? ConnectionState::wifiSetup : ConnectionState::wifiConnecting);
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(),
                 sent.isEmpty() ? ConnectionState::connecting : ConnectionState::wifiConnecting);
    }

    void theStatusDecidesBetweenReadyAndSetup_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QString>("message"); // after an attempt; none when online
        const QString generic = QStringLiteral("Could not connect to WiFi — please try again.");
        const QString failed = QStringLiteral("Connection failed — please try again.");
        for (int b : {0, 1, 3, 5, 9, 0x0A, 0x7F, 0xFE, 0xFF})
            QTest::addRow("%02x", b) << bytes({b}) << generic;
        QTest::newRow("empty") << QByteArray() << generic;
        QTest::newRow("04 connected") << bytes({4}) << QString();
        QTest::newRow("04, further bytes ignored") << bytes({4, 0x00, 0x13}) << QString();
        QTest::newRow("07 wrong password")
            << bytes({7}) << QStringLiteral("Incorrect password — please try again.");
        QTest::newRow("06 not found")
            << bytes({6}) << QStringLiteral("Network not found — please scan again.");
        QTest::newRow("02 error connecting") << bytes({2}) << failed;
        QTest::newRow("08 internal error") << bytes({8}) << failed;
    }

    void theStatusDecidesBetweenReadyAndSetup()
    {
        QFETCH(QByteArray, status);
        QFETCH(QString, message);
        const bool online = message.isEmpty();
        const ConnectionState decided =
            online ? ConnectionState::ready : ConnectionState::wifiSetup;
        {
            // Found at connect: without an attempt of the user's, no reproach.
            LinkFixture f;
            const auto chair = f.connectChair(chairWithStatus(f, status));
            QCOMPARE(f.manager->wifiStatus(), Wifi::decodeWiFiStatus(status));
            QCOMPARE(f.state(), decided);
            QCOMPARE(f.central->readsOf(wifiSSIDUUID), online ? 1 : 0);
            QCOMPARE(f.manager->connectedSSID(), online ? QStringLiteral("Office_5G") : QString());
            QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), online ? 0 : 1);
            QVERIFY(!f.manager->wifiErrorMessage());
            // The network name counts only while online.
            f.report(*chair, wifiSSIDUUID, "Cafe_WiFi");
            QCOMPARE(f.manager->connectedSSID(), online ? QStringLiteral("Cafe_WiFi") : QString());
        }
        // After the user's attempt the chair restarts and is reconnected after 4 s.
        LinkFixture f;
        const auto chair = afterAnAttempt(f, status);
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        QVERIFY(f.reconnectsAfter(4s));
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);
        QCOMPARE(f.manager->wifiStatus(), Wifi::decodeWiFiStatus(status));
        QCOMPARE(f.state(), decided);
        QCOMPARE(f.manager->connectedSSID(), online ? QStringLiteral("Office_5G") : QString());
        QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), online ? 0 : 1); // a fresh list
        QCOMPARE(f.manager->wifiErrorMessage(),
                 online ? std::optional<QString>() : std::optional<QString>(message));

        // Online by itself later, it is ready without the failure of the attempt, which is
        // over: a drop is an ordinary one.
        f.report(*chair, wifiStatusUUID, bytes({3}));
        QCOMPARE(f.state(), decided);
        f.report(*chair, wifiStatusUUID, bytes({4}));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiSSIDUUID), 1);
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Office_5G"));
        QVERIFY(!f.manager->wifiErrorMessage());
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QVERIFY(f.manager->connectedSSID().isEmpty());
    }

    void aDisconnectIsNotUndoneAndTheNextChairStartsClean()
    {
        LinkFixture f;
        const auto chair = afterAnAttempt(f, bytes({7}));
        chair->playNetworks({"Office_5G", "Home"});
        f.advance(4s);
        QCOMPARE(f.manager->availableNetworks(), (QStringList{"Office_5G", "Home"}));
        QVERIFY(f.manager->wifiErrorMessage());

        // A Join clicked after Disconnect, before the chair has gone, sends nothing and brings
        // nothing back.
        f.manager->disconnect();
        f.central->clearCalls();
        f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("pw"));
        QCOMPARE(f.central->count(Kind::write), 0);
        f.advance(10s);
        QCOMPARE(f.state(), ConnectionState::disconnected);
        QCOMPARE(f.central->count(Kind::connect), 0);

        // The next chair shows neither the networks nor the failure of the one before.
        f.connectChair(chairWithStatus(f, bytes({4})));
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(f.manager->availableNetworks().isEmpty());
        QVERIFY(!f.manager->wifiErrorMessage());
    }

    void networkListWaitsForEachAnswerAndKeepsTheChairsOrder()
    {
        LinkFixture f;
        const auto chair = afterAnAttempt(f, bytes({7}));
        f.advance(4s);
        QVERIFY(f.manager->wifiErrorMessage());
        // Empty and unreadable names are skipped but still counted; a name twice is listed twice.
        chair->playNetworks({"Office_5G", "", bytes({0xFF, 0xFE}), "Office_5G"});
        f.central->clearCalls();

        // The user's own scan: the failure of the attempt goes.
        f.manager->scanForNetworks();
        QVERIFY(!f.manager->wifiErrorMessage());
        for (int step = 1; step <= 9; ++step) { // each waits for the answer to the one before
            QCOMPARE(int(listCalls(*f.central).size()), step);
            QVERIFY(f.manager->isLoadingNetworks());
            QCOMPARE(int(f.manager->availableNetworks().size()), step < 4 ? 0 : 1); // as they come
            QVERIFY(f.central->deliverNext());
        }
        QCOMPARE(f.central->pendingAnswers(), 0);
        QCOMPARE(
            listCalls(*f.central),
            (QStringList{"read count", "write index 00", "read name", "write index 01", "read name",
                         "write index 02", "read name", "write index 03", "read name"}));
        QCOMPARE(f.manager->availableNetworks(), (QStringList{"Office_5G", "Office_5G"}));
        QVERIFY(!f.manager->isLoadingNetworks());

        // A new scan starts over, even while the last one's count is still owed: that count is
        // not this scan's.
        chair->values[wifiSSIDListCounterUUID] = bytes({3});
        f.manager->scanForNetworks();
        chair->playNetworks({"Home"});
        f.central->clearCalls();
        f.manager->scanForNetworks();
        f.central->flush();
        QCOMPARE(listCalls(*f.central), (QStringList{"read count", "write index 00", "read name"}));
        QCOMPARE(f.manager->availableNetworks(), QStringList{"Home"});
        QVERIFY(!f.manager->isLoadingNetworks());
        // With no networks it is done at once.
        chair->playNetworks({});
        f.central->clearCalls();
        f.manager->scanForNetworks();
        f.central->flush();
        QCOMPARE(listCalls(*f.central), QStringList{"read count"});
        QVERIFY(f.manager->availableNetworks().isEmpty());
        QVERIFY(!f.manager->isLoadingNetworks());
    }

    void networkListNeverHangs()
    {
        // The chair drops right after the first name.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->playNetworks({"Office_5G", "Home_Network", "Cafe_WiFi"});
            f.manager->scanForNetworks();
            QVERIFY(f.central->deliverNext() && f.central->deliverNext()); // count, index 0
            f.central->dropLink(chair.get());
            f.central->flush();
            QCOMPARE(f.state(), ConnectionState::connecting);
            QVERIFY(!f.manager->isLoadingNetworks());
            QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
            QCOMPARE(f.central->readsOf(wifiSSIDSingleUUID), 1);
        }
        // A step without an answer ends the list after 10 s with what came so far.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->playNetworks({"Office_5G", "Home_Network", "Cafe_WiFi"});
            f.manager->scanForNetworks();
            for (int i = 0; i < 3; ++i) // the count, index 0, the first name
                QVERIFY(f.central->deliverNext());
            f.scheduler.advance(9999ms);
            QVERIFY(f.manager->isLoadingNetworks());
            f.scheduler.advance(1ms);
            QVERIFY(!f.manager->isLoadingNetworks());
            // Its late answer belongs to nobody.
            f.central->clearCalls();
            f.central->flush();
            QVERIFY(listCalls(*f.central).isEmpty());
            QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
        }
    }

    void gracePeriodCountsDownThenReturnsToSetup()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        chair->values[wifiStatusUUID] = bytes({5}); // the re-reads find it still offline
        const int reads = f.central->readsOf(wifiStatusUUID);

        f.report(*chair, wifiStatusUUID, bytes({5}));
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(300));
        QCOMPARE(f.log.lines().count(graceStartedLine), 1);
        // The name it was on stays, and an offline chair's name does not count.
        f.report(*chair, wifiSSIDUUID, "Elsewhere");
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Office_5G"));
        f.advance(1s);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(299));
        f.report(*chair, wifiStatusUUID, bytes({5})); // does not start it again
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(299));
        QCOMPARE(f.log.lines().count(graceStartedLine), 1);

        f.advance(3s);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads);
        f.advance(1s);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(295));
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 1);

        f.advance(294s);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(1));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 59);
        QVERIFY(!f.log.contains(graceExpiredLine));

        const int scans = f.central->readsOf(wifiSSIDListCounterUUID);
        f.advance(1s);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left());
        QVERIFY(f.log.contains(graceExpiredLine));
        QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), scans + 1);
        QVERIFY(!f.manager->wifiErrorMessage());
        f.advance(60s);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 59);
        QCOMPARE(f.log.lines().count(graceExpiredLine), 1);
    }

    void gracePeriodEndsWhenTheChairIsBack_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<ConnectionState>("after");
        QTest::newRow("its notification") << "notification" << ConnectionState::ready;
        QTest::newRow("the five-second re-read") << "re-read" << ConnectionState::ready;
        // The reconnected chair is checked afresh.
        QTest::newRow("a link drop") << "drop" << ConnectionState::wifiSetup;
        // The chair restarts on them (and takes its time), the countdown is moot.
        QTest::newRow("new credentials") << "credentials" << ConnectionState::wifiConnecting;
    }

    void gracePeriodEndsWhenTheChairIsBack()
    {
        QFETCH(QString, how);
        QFETCH(ConnectionState, after);
        LinkFixture f;
        const auto chair = f.connectChair();
        chair->values[wifiStatusUUID] = bytes({0xFF});
        f.report(*chair, wifiStatusUUID, bytes({0xFF})); // unknown counts as offline
        f.advance(9s);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left(291));
        if (how == QLatin1String("notification")) {
            f.report(*chair, wifiStatusUUID, bytes({4}));
        } else if (how == QLatin1String("re-read")) {
            chair->values[wifiStatusUUID] = bytes({4});
            f.advance(1s);
            QCOMPARE(f.manager->wifiStatus(), WiFiStatus::connected);
        } else if (how == QLatin1String("drop")) {
            f.central->dropLink(chair.get());
            f.central->flush();
        } else {
            f.manager->connectToWiFi(QStringLiteral("Home_Network"), QStringLiteral("pw"));
        }
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left());
        f.advance(400s);
        QCOMPARE(f.state(), after);
        QCOMPARE(f.manager->wifiOfflineSeconds(), Left());
        QVERIFY(!f.log.contains(graceExpiredLine));
    }
};

QTEST_GUILESS_MAIN(WifiTest)
#include "tst_wifi.moc"
