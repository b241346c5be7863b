// The firmware file picker through a stand-in desktop portal on a private bus: the request as
// the portal receives it, its answers, the settings tab starting an update from it, and the
// program's own picker where the desktop has no portal.
#include "FilePicker.h"
#include "ScreenFixture.h"
#include "VirtualChairBus.h"
#include "ZipWriter.h"

#include <QDBusContext>
#include <QtTest>

using namespace ChairProfile;

namespace {

// What the portal's Request objects are told: the picker closed before an answer.
class StandInRequest : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    QStringList closed;
public Q_SLOTS:
    void Close() { closed << message().path(); }
};

// The desktop portal's FileChooser: records each request and answers it on the Request path
// it derives from the caller's name, before its reply as a quick portal may.
class StandInPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.FileChooser")
public:
    struct Request {
        QString parentWindow, title, token, path;
        bool modal = false;
        QList<PortalFileFilter> filters;
        PortalFileFilter currentFilter;
    };
    explicit StandInPortal(QDBusConnection bus)
        : bus(bus)
    {
    }

    QList<Request> requests;
    std::optional<uint> answer = 0; // none: the user is still choosing
    QStringList uris;
    bool refuses = false;
    StandInRequest requestObject;

public Q_SLOTS:
    QDBusObjectPath OpenFile(const QString& parentWindow, const QString& title,
                             const QVariantMap& options)
    {
        if (refuses) {
            sendErrorReply(QDBusError::NotSupported, QStringLiteral("no file chooser here"));
            return {};
        }
        Request r;
        r.parentWindow = parentWindow;
        r.title = title;
        r.token = options.value(QStringLiteral("handle_token")).toString();
        r.path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                     .arg(message().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                          r.token);
        r.modal = options.value(QStringLiteral("modal")).toBool();
        r.filters = qdbus_cast<QList<PortalFileFilter>>(options.value(QStringLiteral("filters")));
        r.currentFilter =
            qdbus_cast<PortalFileFilter>(options.value(QStringLiteral("current_filter")));
        requests << r;
        bus.registerObject(r.path, &requestObject, QDBusConnection::ExportAllSlots);
        if (answer) {
            QDBusMessage response = QDBusMessage::createSignal(r.path, FilePicker::requestInterface,
                                                               QStringLiteral("Response"));
            response << *answer << QVariantMap{{QStringLiteral("uris"), uris}};
            bus.send(response);
        }
        return QDBusObjectPath(r.path);
    }

private:
    QDBusConnection bus;
};

// A ready chair that takes updates, for a settings tab.
void connectUpdatableChair(ScreenFixture& s)
{
    s.chair = s.f.central->makeChair();
    s.chair->values[otaV2BeginUUID] = QByteArray(1, '\x01');
    s.f.connectChair(s.chair);
}

QObject* ownPicker(const ScreenFixture& s)
{
    return s.root->findChild<QObject*>(QStringLiteral("firmwarePicker"));
}

const OTAState preparing = OTAState::preparing(QStringLiteral("CPU1 (STM32)"));

} // namespace

class FilePickerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toUtf8());
        if (!bus.start())
            QSKIP("dbus-daemon is not available");
        portalBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("portal"));
        appBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("app"));
        portal = std::make_unique<StandInPortal>(portalBus);
        QVERIFY(portalBus.registerObject(FilePicker::portalPath, portal.get(),
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(portalBus.registerService(FilePicker::portalService));
    }
    void init()
    {
        portal->requests.clear();
        portal->answer = 0;
        portal->refuses = false;
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("app"));
    }

    void portalAnswers_data()
    {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QStringList>("uris");
        QTest::addColumn<QString>("outcome");
        const QString package = QStringLiteral("file:///home/sam/Downloads/chair%20update.zip");
        const QString cancelled = QStringLiteral("cancelled");
        QTest::newRow("chosen") << 0u << QStringList{package}
                                << QStringLiteral("/home/sam/Downloads/chair update.zip");
        QTest::newRow("no file") << 0u << QStringList{} << cancelled;
        QTest::newRow("cancelled") << 1u << QStringList{package} << cancelled;
        QTest::newRow("ended otherwise") << 2u << QStringList{} << QStringLiteral("failed");
    }
    void portalAnswers()
    {
        QFETCH(uint, code);
        QFETCH(QStringList, uris);
        QFETCH(QString, outcome);
        portal->answer = code;
        portal->uris = uris;
        FilePicker picker(appBus, [] { return QStringLiteral("x11:4a00007"); });
        QSignalSpy chosen(&picker, &FilePicker::chosen), cancelled(&picker, &FilePicker::cancelled),
            failed(&picker, &FilePicker::failed), unavailable(&picker, &FilePicker::unavailable);
        picker.openZip(QStringLiteral("Select Firmware File"));
        QTRY_COMPARE(chosen.size() + cancelled.size() + failed.size() + unavailable.size(), 1);
        if (outcome == QLatin1String("cancelled"))
            QCOMPARE(cancelled.size(), 1);
        else if (outcome == QLatin1String("failed"))
            QCOMPARE(failed.size(), 1);
        else
            QCOMPARE(chosen.value(0).value(0).toUrl().toLocalFile(), outcome);
        QVERIFY(!picker.isOpen());

        // One modal request for one .zip, on the Request path the portal derives itself.
        QCOMPARE(portal->requests.size(), 1);
        const StandInPortal::Request& r = portal->requests.first();
        QCOMPARE(r.title, QStringLiteral("Select Firmware File"));
        QCOMPARE(r.parentWindow, QStringLiteral("x11:4a00007"));
        QVERIFY(r.modal);
        QCOMPARE(r.filters.size(), 1);
        QVERIFY(r.filters.first().rules.contains(PortalFilterRule{0, QStringLiteral("*.zip")}));
        QCOMPARE(r.currentFilter, r.filters.first());
    }

    // Through the real settings tab: a cancel changes nothing, a package starts the update,
    // and a tab that goes away closes the picker it left open.
    void settingsTabUsesThePortal()
    {
        ScreenFixture s;
        connectUpdatableChair(s);
        ScreenServices services(s.f.scheduler, s.f.clock, s.f.settings);
        services.setPortalBus(appBus);
        s.root = s.ui.load(QStringLiteral("SettingsView.qml"),
                           {{QStringLiteral("bluetooth"), QVariant::fromValue(s.f.manager.get())},
                            {QStringLiteral("services"), QVariant::fromValue(&services)}});
        QVERIFY(s.root);
        portal->answer = 1;
        s.ui.click(s.item("selectFirmwareButton"));
        QTRY_COMPARE(portal->requests.size(), 1);
        QCOMPARE(portal->requests.first().title, QStringLiteral("Select Firmware File"));
        QTRY_VERIFY(!s.root->property("showFilePicker").toBool());
        QVERIFY(!ownPicker(s)->property("visible").toBool());
        QCOMPARE(s.f.manager->otaState(), OTAState::idle());

        const QString package = s.f.dir.filePath(QStringLiteral("chair update.zip"));
        QVERIFY(writeZip(package, {{"StiltaB1.bin", firmwareImage(4 * 250, 3)}}));
        portal->answer = 0;
        portal->uris = {QUrl::fromLocalFile(package).toString()};
        s.ui.click(s.item("selectFirmwareButton"));
        QTRY_COMPARE(s.f.manager->otaState(), preparing);
        QTRY_COMPARE(s.writes(otaV2BeginUUID).size(), 1);
        s.f.manager->resetOTA();

        QTRY_VERIFY(s.item("selectFirmwareButton"));
        portal->answer.reset();
        s.ui.click(s.item("selectFirmwareButton"));
        QTRY_COMPARE(portal->requests.size(), 3);
        delete s.root;
        QTRY_COMPARE(portal->requestObject.closed, QStringList{portal->requests.last().path});
    }

    // A portal that refuses at once, or none at all: the program's own picker opens instead.
    void withoutAPortalTheProgramsOwnPickerOpens()
    {
        for (bool isRunning : {true, false}) {
            portal->refuses = true;
            if (!isRunning)
                QVERIFY(portalBus.unregisterService(FilePicker::portalService));
            FilePicker picker(appBus);
            QSignalSpy fallback(&picker, &FilePicker::unavailable);
            picker.openZip(QStringLiteral("Select Firmware File"));
            QTRY_COMPARE(fallback.size(), 1);
            QVERIFY(!picker.isOpen());
        }
        QVERIFY(portalBus.registerService(FilePicker::portalService));

        // The tab's own picker lists folders and packages and hands over the one chosen.
        ScreenFixture s;
        connectUpdatableChair(s);
        const QString package = s.f.dir.filePath(QStringLiteral("UPDATE.ZIP"));
        QVERIFY(writeZip(package, {{"StiltaB1.bin", firmwareImage(4 * 250, 3)}}));
        QVERIFY(QDir(s.f.dir.path()).mkdir(QStringLiteral("older")));
        QVERIFY(writeZip(s.f.dir.filePath(QStringLiteral("notes.txt")), {{"a", "b"}}));
        s.services.setPortalBus(appBus);
        s.load("SettingsView.qml");
        s.ui.click(s.item("selectFirmwareButton"));
        QTRY_VERIFY(ownPicker(s)->property("visible").toBool());
        ownPicker(s)->setProperty("currentFolder", QUrl::fromLocalFile(s.f.dir.path()));
        QTRY_VERIFY(s.shows("UPDATE.ZIP"));
        QVERIFY(s.shows("older"));
        QVERIFY(!s.shows("notes.txt"));
        s.ui.click(s.ui.textItem(QStringLiteral("UPDATE.ZIP")));
        s.ui.click(s.item("pickerOpenButton"));
        QTRY_COMPARE(s.f.manager->otaState(), preparing);
        QTRY_VERIFY(!ownPicker(s)->property("visible").toBool());
    }

private:
    VirtualChairBus bus;
    QDBusConnection portalBus{QString()};
    QDBusConnection appBus{QString()};
    std::unique_ptr<StandInPortal> portal;
};

QTEST_MAIN(FilePickerTest)
#include "tst_file_picker.moc"
