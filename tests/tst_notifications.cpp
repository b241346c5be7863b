// Desktop notices about the chair, sent to a notification service on a private bus: each event
// told once with its texts, nothing while the window is active, and no service is no failure.
#include "ChairNotices.h"
#include "DesktopNotifier.h"
#include "LinkFixture.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

struct Notice {
    uint id;
    QString appName;
    uint replacesId;
    QString icon;
    QString summary;
    QString body;
    QVariantMap hints;
};

const QString sentinel = QStringLiteral("sentinel");
const QString offlineBody =
    QStringLiteral("If it is not back within 5 minutes, you will be asked to set up WiFi again.");
QStringList unavailableLines;
QtMessageHandler testLog = nullptr;

} // namespace

// A desktop's notification service: records each notice and gives it an id.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<Notice> notices;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList&,
                const QVariantMap& hints, int)
    {
        const uint id = replacesId != 0 ? replacesId : ++lastId;
        notices.append({id, appName, replacesId, icon, summary, body, hints});
        return id;
    }

private:
    uint lastId = 0;
};

// The real link on the fake radio, watched while the user looks at another window.
struct NoticeFixture : LinkFixture {
    explicit NoticeFixture(const QDBusConnection& bus)
        : notifier(bus)
        , chairNotices(*manager, notifier, [this] { return isWindowActive; })
    {
    }
    // The package is read off the main thread; the chair answers what follows.
    OTAState::Kind updateKind()
    {
        central->flush();
        return manager->otaState().kind;
    }
    bool isWindowActive = false;
    DesktopNotifier notifier;
    ChairNotices chairNotices;
};

class NotificationsTest : public QObject {
    Q_OBJECT

    // "summary: body" of every notice sent so far, once their answers are in: notices of our own
    // follow under a fresh key until one replaces the first, whose answer came after theirs.
    QStringList told(DesktopNotifier& notifier)
    {
        const QString key = sentinel + QString::number(++rounds);
        const bool isSettled = QTest::qWaitFor([&] {
            const bool isReplaced = !service.notices.isEmpty() &&
                                    service.notices.last().summary == key &&
                                    service.notices.last().replacesId != 0;
            if (!isReplaced)
                notifier.notify(key, QString(), key);
            return isReplaced;
        });
        seen.clear();
        QStringList texts;
        for (const Notice& notice : std::as_const(service.notices)) {
            if (!notice.summary.startsWith(sentinel)) {
                seen << notice;
                texts << notice.summary + ": " + notice.body;
            }
        }
        service.notices.clear();
        return isSettled ? texts : QStringList{"the service never answered"};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
        serviceBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("desktop"));
        clientBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("window"));
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                          &service, QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("window"));
    }

    void updateOutcomesAreToldOnce()
    {
        NoticeFixture f(clientBus);
        auto chair = f.central->makeChair(QStringLiteral("Velnora Pro 7"));
        chair->values[otaV1BeginUUID] = bytes({1});
        f.connectChair(chair);
        const QString package = f.dir.filePath(QStringLiteral("update.zip"));
        QVERIFY(writeZip(package, {{"Stilta-Firmware.bin", firmwareImage(300, 1)}}));

        f.manager->startFirmwareUpdate(package);
        QTRY_COMPARE(f.updateKind(), OTAState::Kind::success);
        QCOMPARE(told(f.notifier),
                 QStringList{"Firmware updated: Velnora Pro 7 is up to date and will restart."});
        QCOMPARE(seen.first().appName, QStringLiteral("VelnoraDesktop"));
        QCOMPARE(seen.first().icon, QStringLiteral("app.velnora.VelnoraDesktop"));
        QCOMPARE(seen.first().hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("app.velnora.VelnoraDesktop"));

        chair->writeErrors[otaV1BeginUUID] = QStringLiteral("busy");
        f.manager->startFirmwareUpdate(package);
        QTRY_COMPARE(f.updateKind(), OTAState::Kind::error);
        f.manager->resetOTA();
        QCOMPARE(told(f.notifier),
                 QStringList{"Firmware update failed: The chair refused the update of "
                             "CPU2 (ESP32): busy"});
    }

    void wifiOfflineThenGraceExpiryReplaceEachOther()
    {
        NoticeFixture f(clientBus);
        auto chair = f.connectChair();
        chair->values[wifiStatusUUID] = bytes({5}); // the 5-second re-reads find it offline too
        f.report(*chair, wifiStatusUUID, bytes({5}));
        f.report(*chair, wifiStatusUUID, bytes({5}));
        f.advance(10s);
        QCOMPARE(told(f.notifier), QStringList{"Chair WiFi offline: " + offlineBody});
        const uint offlineId = seen.first().id;

        f.advance(290s);
        QCOMPARE(f.state(), ConnectionState::wifiSetup);
        QCOMPARE(told(f.notifier),
                 QStringList{"Chair WiFi setup needed: The chair stayed offline. Open "
                             "Velnora to set up WiFi again."});
        QCOMPARE(seen.first().replacesId, offlineId);
    }

    void onlyALinkThatCannotBeRestoredIsTold_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("isTold");
        QTest::newRow("drop, reconnect fails") << "drop fails" << true;
        // The window says it itself.
        QTest::newRow("window active, drop, reconnect fails") << "active drop fails" << false;
        QTest::newRow("wake, reconnect fails") << "wake fails" << true;
        QTest::newRow("drop, reconnect succeeds") << "drop" << false;
        QTest::newRow("user disconnects") << "user" << false;
        QTest::newRow("user disconnects while a reconnect waits") << "drop user" << false;
        QTest::newRow("the user's own connect fails") << "first fails" << false;
    }
    void onlyALinkThatCannotBeRestoredIsTold()
    {
        QFETCH(QString, how);
        QFETCH(bool, isTold);
        NoticeFixture f(clientBus);
        f.isWindowActive = how.startsWith("active");
        how.remove(QStringLiteral("active "));
        auto chair = f.central->makeChair(QStringLiteral("Velnora Pro 7"));
        if (how == "first fails") {
            f.central->answersConnects = false;
            f.pick(chair);
            f.central->failConnect(chair.get());
        } else {
            f.connectChair(chair);
        }
        if (how.startsWith("drop")) {
            f.central->dropLink(chair.get());
            f.central->flush();
        }
        if (how.startsWith("wake"))
            f.wake.resume();
        if (how.endsWith("user"))
            f.manager->disconnect();
        f.central->answersConnects = !how.endsWith("fails");
        f.advance(2s);
        if (how.endsWith("fails"))
            f.central->failConnect(chair.get());
        f.advance(10s);
        QCOMPARE(f.state(), how == "drop" ? ConnectionState::ready : ConnectionState::disconnected);
        const QStringList expected{"Chair disconnected: Velnora Pro 7 could not be reconnected. "
                                   "Open Velnora to connect again."};
        QCOMPARE(told(f.notifier), isTold ? expected : QStringList());
    }

    // A desktop without a notification service, or without a session bus: nothing fails, and a
    // single quiet line says why nothing shows.
    void noServiceIsNoFailure()
    {
        testLog = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (qstrcmp(context.category, "velnora.notifications") == 0)
                    unavailableLines << text;
                else
                    testLog(type, context, text);
            });
        QVERIFY(serviceBus.unregisterService(QStringLiteral("org.freedesktop.Notifications")));
        DesktopNotifier notifier(clientBus);
        notifier.notify(QStringLiteral("a"), QString(), QStringLiteral("a"));
        notifier.notify(QStringLiteral("b"), QString(), QStringLiteral("b"));
        // The service comes back: what was sent without it is lost, what follows shows.
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QCOMPARE(told(notifier), QStringList());
        DesktopNotifier offBus(QDBusConnection(QStringLiteral("no-such-bus")));
        offBus.notify(QStringLiteral("a"), QString(), QStringLiteral("a"));
        offBus.notify(QStringLiteral("b"), QString(), QStringLiteral("b"));
        qInstallMessageHandler(testLog);
        QCOMPARE(unavailableLines.size(), 2); // one per notifier, however often it tried
    }

private:
    VirtualChairBus bus;
    QDBusConnection serviceBus{QString()};
    QDBusConnection clientBus{QString()};
    NotificationService service;
    QList<Notice> seen; // by the last told()
    int rounds = 0;
};

QTEST_MAIN(NotificationsTest)
#include "tst_notifications.moc"
