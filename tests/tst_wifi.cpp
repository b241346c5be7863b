// Putting the chair on a network: its status out of the WiFi check, its network list,
// credentials and the restart that applies them, and the offline grace period.
#include "LinkFixture.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;

namespace {

const QString graceStartedLine = QStringLiteral("📶 WiFi offline — grace period started (300s)");
const QString graceExpiredLine =
    QStringLiteral("📶 WiFi grace period expired — returning to WiFi setup");
const QString genericError = QStringLiteral("Could not connect to WiFi — please try again.");

QSharedPointer<FakePeripheral> chairWithStatus(LinkFixture& f, const QByteArray& status)
{
    auto chair = f.central->makeChair();
    chair->values[wifiStatusUUID] = status;
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

std::optional<qint64> offline(const LinkFixture& f)
{
    return f.manager->wifiOfflineSeconds();
}

} // namespace

class WifiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyConnectedLeavesTheCheckForReady()
    {
        QList<QByteArray> values;
        for (int b : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A, 0x7F, 0xFE, 0xFF})
            values << bytes({b});
        values << QByteArray() << bytes({4, 0x00, 0x13}); // further bytes are ignored
        for (const QByteArray& value : values) {
            const QByteArray row = "status " + value.toHex();
            LinkFixture f;
            f.connectChair(chairWithStatus(f, value));
            const bool online = !value.isEmpty() && value[0] == 4;
            const quint8 first = value.isEmpty() ? 0xFF : quint8(value[0]);
            const auto expected = first <= 9 ? WiFiStatus(first) : WiFiStatus::unknown;
            QVERIFY2(f.manager->wifiStatus() == expected, row);
            if (online) {
                QVERIFY2(f.state() == ConnectionState::ready, row);
                QVERIFY2(f.central->readsOf(wifiSSIDUUID) == 1, row);
                QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Office_5G"));
                QVERIFY2(f.central->readsOf(wifiSSIDListCounterUUID) == 0, row);
            } else {
                QVERIFY2(f.state() == ConnectionState::wifiSetup, row);
                QVERIFY2(f.central->readsOf(wifiSSIDUUID) == 0, row);
                QVERIFY2(f.central->readsOf(wifiSSIDListCounterUUID) == 1, row);
                QVERIFY2(f.manager->connectedSSID().isEmpty(), row);
                // Found offline without an attempt of the user's: no reproach.
                QVERIFY2(!f.manager->wifiErrorMessage(), row);
            }
        }
    }

    void credentialsGoOutInOrderWithoutWaiting()
    {
        LinkFixture f;
        f.clock.setTimeZone(QTimeZone("Europe/Berlin"));
        const auto chair = f.connectChair(chairWithStatus(f, bytes({1})));
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.central->clearCalls();

        f.manager->connectToWiFi(QStringLiteral("Café Ü"), QStringLiteral("s3cret pw"));
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        QList<QPair<QBluetoothUuid, QByteArray>> sent;
        for (const FakeCall& call : f.central->callsOf(Kind::write))
            sent.append({call.target, call.value});
        QCOMPARE(sent, (QList<QPair<QBluetoothUuid, QByteArray>>{
                           {wifiSSIDUUID, QStringLiteral("Café Ü").toUtf8()},
                           {wifiPasswordUUID, "s3cret pw"},
                           {tzInfoUUID, "Europe/Berlin"},
                           {wifiEnableUUID, bytes({1})}}));
        QCOMPARE(f.central->pendingAnswers(), 4); // all four sent before any confirmation

        // The chair restarts to apply them and is reconnected after 4 s.
        chair->values[wifiStatusUUID] = bytes({4});
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::wifiConnecting);
        QVERIFY(f.reconnectsAfter(4s));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), 1);
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Office_5G"));
        QVERIFY(!f.manager->wifiErrorMessage());
        // The attempt is over: the next drop is an ordinary one.
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);

        // An empty password is an empty value; no time zone without its characteristic.
        LinkFixture g;
        const auto noZone = chairWithStatus(g, bytes({1}));
        noZone->removeCharacteristic(tzInfoUUID);
        g.connectChair(noZone);
        g.central->clearCalls();
        g.manager->connectToWiFi(QStringLiteral("Home"), QString());
        QCOMPARE(g.central->writesTo(wifiSSIDUUID), QList<QByteArray>{"Home"});
        QCOMPARE(g.central->writesTo(wifiPasswordUUID), QList<QByteArray>{QByteArray()});
        QCOMPARE(g.central->count(Kind::write), 3);
        QCOMPARE(g.central->callsOf(Kind::write).last().target, wifiEnableUUID);

        // A desktop zone without an identifier is not sent.
        LinkFixture h;
        h.clock.setTimeZone(QTimeZone());
        h.connectChair(chairWithStatus(h, bytes({1})));
        h.manager->connectToWiFi(QStringLiteral("Home"), QStringLiteral("pw"));
        QVERIFY(h.central->writesTo(tzInfoUUID).isEmpty());
        QCOMPARE(h.central->writesTo(wifiEnableUUID), QList<QByteArray>{bytes({1})});

        // Without any of the three, nothing is sent and nothing changes.
        for (const QBluetoothUuid& missing : {wifiSSIDUUID, wifiPasswordUUID, wifiEnableUUID}) {
            LinkFixture m;
            const auto partial = chairWithStatus(m, bytes({1}));
            partial->removeCharacteristic(missing);
            m.connectChair(partial);
            m.central->clearCalls();
            m.manager->connectToWiFi(QStringLiteral("Home"), QStringLiteral("pw"));
            QCOMPARE(m.central->count(Kind::write), 0);
            QCOMPARE(m.state(), ConnectionState::wifiSetup);
            m.central->dropLink(partial.get());
            m.central->flush();
            QCOMPARE(m.state(), ConnectionState::connecting); // not waiting for a WiFi restart
        }
    }

    void aFailedAttemptExplainsItself()
    {
        const QList<QPair<QByteArray, QString>> cases{
            {bytes({7}), QStringLiteral("Incorrect password — please try again.")},
            {bytes({3}), genericError},
            {QByteArray(), genericError},
            {bytes({5}), genericError},
            {bytes({6}), QStringLiteral("Network not found — please scan again.")},
            {bytes({2}), QStringLiteral("Connection failed — please try again.")},
            {bytes({8}), QStringLiteral("Connection failed — please try again.")},
        };
        for (const auto& [status, message] : cases) {
            LinkFixture f;
            const auto chair = f.connectChair(chairWithStatus(f, bytes({1})));
            f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("wrong"));
            chair->values[wifiStatusUUID] = status;
            f.central->dropLink(chair.get());
            f.central->clearCalls();
            f.advance(4s);
            QCOMPARE(f.state(), ConnectionState::wifiSetup);
            QCOMPARE(f.manager->wifiErrorMessage(), std::optional<QString>(message));
            QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), 1); // a fresh list
            QVERIFY(f.manager->connectedSSID().isEmpty());
            if (status.isEmpty())
                QCOMPARE(f.manager->wifiStatus(), WiFiStatus::unknown);

            // The user's own scan clears it; the attempt is over, so a drop is ordinary.
            f.manager->scanForNetworks();
            QVERIFY(!f.manager->wifiErrorMessage());
            f.central->dropLink(chair.get());
            f.central->flush();
            QCOMPARE(f.state(), ConnectionState::connecting);
        }
    }

    void aChairOnSetupThatComesOnlineIsReady()
    {
        // Offline at connect, then online by itself: a notification or a read moves it on.
        LinkFixture f;
        const auto chair = f.connectChair(chairWithStatus(f, bytes({5})));
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.report(*chair, wifiStatusUUID, bytes({3}));
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.central->clearCalls();
        f.report(*chair, wifiStatusUUID, bytes({4}));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiSSIDUUID), 1);
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Office_5G"));

        // Sent back to setup by the grace period, then online again: ready, without the
        // failure of an earlier attempt.
        f.report(*chair, wifiStatusUUID, bytes({5}));
        f.advance(300s);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("wrong"));
        chair->values[wifiStatusUUID] = bytes({7});
        f.central->dropLink(chair.get());
        f.advance(4s);
        QVERIFY(f.manager->wifiErrorMessage());
        f.report(*chair, wifiStatusUUID, bytes({4}));
        QCOMPARE(f.state(), ConnectionState::ready);
        QVERIFY(!f.manager->wifiErrorMessage());
    }

    void aDisconnectIsNotUndoneAndTheNextChairStartsClean()
    {
        // A failed attempt leaves its message and a fresh list on setup.
        LinkFixture f;
        const auto chair = f.connectChair(chairWithStatus(f, bytes({1})));
        chair->playNetworks({"Office_5G", "Home"});
        f.manager->connectToWiFi(QStringLiteral("Office_5G"), QStringLiteral("wrong"));
        chair->values[wifiStatusUUID] = bytes({7});
        f.central->dropLink(chair.get());
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

    void networkListWaitsForEachAnswer()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        chair->playNetworks({"Office_5G", "Home_Network"});
        f.central->clearCalls();

        f.manager->scanForNetworks();
        QVERIFY(f.manager->isLoadingNetworks());
        QCOMPARE(listCalls(*f.central), QStringList{"read count"});
        QVERIFY(f.central->deliverNext()); // the count
        QCOMPARE(listCalls(*f.central), (QStringList{"read count", "write index 00"}));
        QVERIFY(f.central->deliverNext()); // the index write is confirmed
        QCOMPARE(listCalls(*f.central).last(), QStringLiteral("read name"));
        QVERIFY(f.central->deliverNext()); // the first name
        QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
        QCOMPARE(listCalls(*f.central).last(), QStringLiteral("write index 01"));
        QVERIFY(f.manager->isLoadingNetworks());
        f.central->flush();
        QCOMPARE(listCalls(*f.central), (QStringList{"read count", "write index 00", "read name",
                                                     "write index 01", "read name"}));
        QCOMPARE(f.manager->availableNetworks(), (QStringList{"Office_5G", "Home_Network"}));
        QVERIFY(!f.manager->isLoadingNetworks());
    }

    void networkListKeepsTheChairsOrder()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        // Empty and unreadable names are skipped but still counted.
        chair->playNetworks({"Office_5G", "", bytes({0xFF, 0xFE}), "Cafe_WiFi"});
        f.manager->scanForNetworks();
        f.central->flush();
        QCOMPARE(f.manager->availableNetworks(), (QStringList{"Office_5G", "Cafe_WiFi"}));
        QCOMPARE(f.central->readsOf(wifiSSIDSingleUUID), 4);
        QVERIFY(!f.manager->isLoadingNetworks());

        // A name the chair reports twice is listed twice; a new scan starts over.
        chair->playNetworks({"Home", "Home"});
        f.central->clearCalls();
        f.manager->scanForNetworks();
        f.central->flush();
        QCOMPARE(f.manager->availableNetworks(), (QStringList{"Home", "Home"}));
        QCOMPARE(f.central->writesTo(wifiSSIDListCounterUUID),
                 (QList<QByteArray>{bytes({0}), bytes({1})}));

        // No networks: done at once.
        chair->playNetworks({});
        f.central->clearCalls();
        f.manager->scanForNetworks();
        f.central->flush();
        QVERIFY(f.manager->availableNetworks().isEmpty());
        QVERIFY(!f.manager->isLoadingNetworks());
        QCOMPARE(f.central->count(Kind::write), 0);
        QCOMPARE(f.central->readsOf(wifiSSIDSingleUUID), 0);
    }

    void networkListNeverHangs()
    {
        // The chair drops in the middle of the list.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->playNetworks({"Office_5G", "Home_Network", "Cafe_WiFi"});
            const auto play = chair->onWrite;
            FakeBleCentral* central = f.central;
            FakePeripheral* p = chair.get();
            chair->onWrite = [=](const QBluetoothUuid& c, const QByteArray& value) {
                play(c, value);
                if (c == wifiSSIDListCounterUUID && value == bytes({1}))
                    central->dropLink(p);
            };
            f.central->answersConnects = false;
            f.manager->scanForNetworks();
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
            const auto play = chair->onWrite;
            FakePeripheral* p = chair.get();
            chair->onWrite = [=](const QBluetoothUuid& c, const QByteArray& value) {
                play(c, value);
                if (c == wifiSSIDListCounterUUID && value == bytes({1}))
                    p->answersReads = false;
            };
            f.manager->scanForNetworks();
            f.advance(9999ms);
            QVERIFY(f.manager->isLoadingNetworks());
            f.advance(1ms);
            QVERIFY(!f.manager->isLoadingNetworks());
            QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
            // Its late answer belongs to nobody.
            f.central->clearCalls();
            f.report(*chair, wifiSSIDSingleUUID, "Home_Network");
            QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
            QCOMPARE(f.central->count(Kind::write), 0);
        }
        // A new scan while the first one's count is still owed: that count is not this scan's.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->values[wifiSSIDListCounterUUID] = bytes({3});
            f.manager->scanForNetworks();
            chair->playNetworks({"Office_5G"});
            f.central->clearCalls();
            f.manager->scanForNetworks();
            f.central->flush();
            QCOMPARE(f.manager->availableNetworks(), QStringList{"Office_5G"});
            QCOMPARE(f.central->writesTo(wifiSSIDListCounterUUID), QList<QByteArray>{bytes({0})});
            QVERIFY(!f.manager->isLoadingNetworks());
        }
    }

    void networkNameCountsOnlyWhileOnline()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        f.report(*chair, wifiSSIDUUID, "Cafe_WiFi");
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Cafe_WiFi"));
        f.report(*chair, wifiStatusUUID, bytes({5}));
        f.report(*chair, wifiSSIDUUID, "Elsewhere");
        QCOMPARE(f.manager->connectedSSID(), QStringLiteral("Cafe_WiFi"));
        f.central->dropLink(chair.get());
        f.central->flush();
        QVERIFY(f.manager->connectedSSID().isEmpty());

        LinkFixture g;
        const auto offlineChair = g.connectChair(chairWithStatus(g, bytes({1})));
        g.report(*offlineChair, wifiSSIDUUID, "Home");
        QVERIFY(g.manager->connectedSSID().isEmpty());
    }

    void gracePeriodCountsDownThenReturnsToSetup()
    {
        LinkFixture f;
        const auto chair = f.connectChair();
        chair->values[wifiStatusUUID] = bytes({5}); // the re-reads find it still offline
        const int reads = f.central->readsOf(wifiStatusUUID);

        f.report(*chair, wifiStatusUUID, bytes({5}));
        QCOMPARE(offline(f), std::optional<qint64>(300));
        QCOMPARE(f.log.lines().count(graceStartedLine), 1);
        f.advance(1s);
        QCOMPARE(offline(f), std::optional<qint64>(299));
        f.report(*chair, wifiStatusUUID, bytes({5})); // does not start it again
        QCOMPARE(offline(f), std::optional<qint64>(299));
        QCOMPARE(f.log.lines().count(graceStartedLine), 1);

        f.advance(3s);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads);
        f.advance(1s);
        QCOMPARE(offline(f), std::optional<qint64>(295));
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 1);

        f.advance(294s);
        QCOMPARE(offline(f), std::optional<qint64>(1));
        QCOMPARE(f.state(), ConnectionState::ready);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 59);
        QVERIFY(!f.log.contains(graceExpiredLine));

        const int scans = f.central->readsOf(wifiSSIDListCounterUUID);
        f.advance(1s);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QCOMPARE(offline(f), std::optional<qint64>());
        QVERIFY(f.log.contains(graceExpiredLine));
        QCOMPARE(f.central->readsOf(wifiSSIDListCounterUUID), scans + 1);
        QVERIFY(!f.manager->wifiErrorMessage());
        f.advance(60s);
        QCOMPARE(f.central->readsOf(wifiStatusUUID), reads + 59);
        QCOMPARE(f.log.lines().count(graceExpiredLine), 1);
    }

    void gracePeriodEndsWhenTheChairIsBack()
    {
        // Its own notification.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->values[wifiStatusUUID] = bytes({0xFF});
            f.report(*chair, wifiStatusUUID, bytes({0xFF})); // unknown counts as offline
            QCOMPARE(offline(f), std::optional<qint64>(300));
            f.advance(100s);
            QCOMPARE(offline(f), std::optional<qint64>(200));
            f.report(*chair, wifiStatusUUID, bytes({4}));
            QCOMPARE(offline(f), std::optional<qint64>());
            f.advance(300s);
            QCOMPARE(f.state(), ConnectionState::ready);
            QVERIFY(!f.log.contains(graceExpiredLine));
        }
        // The five-second re-read.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->values[wifiStatusUUID] = bytes({5});
            f.report(*chair, wifiStatusUUID, bytes({5}));
            f.advance(9s);
            QCOMPARE(offline(f), std::optional<qint64>(291));
            chair->values[wifiStatusUUID] = bytes({4});
            f.advance(1s);
            QCOMPARE(offline(f), std::optional<qint64>());
            QCOMPARE(f.manager->wifiStatus(), WiFiStatus::connected);
            f.advance(300s);
            QCOMPARE(f.state(), ConnectionState::ready);
        }
        // A link drop ends it; the reconnected chair is checked afresh.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            chair->values[wifiStatusUUID] = bytes({5});
            f.report(*chair, wifiStatusUUID, bytes({5}));
            f.central->dropLink(chair.get());
            f.central->flush();
            QCOMPARE(offline(f), std::optional<qint64>());
            f.advance(300s);
            QCOMPARE(f.state(), ConnectionState::wifiSetup);
            QCOMPARE(offline(f), std::optional<qint64>());
            QVERIFY(!f.log.contains(graceExpiredLine));
        }
        // New credentials while offline: the chair restarts on them, the countdown is moot.
        {
            LinkFixture f;
            const auto chair = f.connectChair();
            f.report(*chair, wifiStatusUUID, bytes({5}));
            f.advance(10s);
            f.manager->connectToWiFi(QStringLiteral("Home_Network"), QStringLiteral("pw"));
            QCOMPARE(offline(f), std::optional<qint64>());
            f.advance(400s); // a chair that takes its time to restart
            QCOMPARE(f.state(), ConnectionState::wifiConnecting);
            QVERIFY(!f.log.contains(graceExpiredLine));
        }
    }
};

QTEST_GUILESS_MAIN(WifiTest)
#include "tst_wifi.moc"
