// The screens as a screen reader reads them, through Qt's accessibility interfaces of the real
// QML: every gallery state shows each of its texts with a fitting role and each control with its
// role, name, state and actions; the states follow the chair; a reader's actions work; a
// password never reaches the tree; a new screen takes the focus on its first control.
#include "Gallery.h"
#include "ScreenFixture.h"

#include <QAccessible>
#include <QQmlProperty>
#include <QQuickItem>
#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Role = QAccessible::Role;

namespace {

struct Node {
    QAccessibleInterface* iface;
    Role role;
    QString name;
    QString description;
    QAccessible::State state;
};

// What a reader finds: every object of the window that is not hidden, from the window down.
QList<Node> readTree(QQuickWindow& window)
{
    QList<Node> nodes;
    const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* iface) {
        if (!iface || !iface->isValid() || iface->state().invisible)
            return;
        nodes.append({iface, iface->role(), iface->text(QAccessible::Name),
                      iface->text(QAccessible::Description), iface->state()});
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(&window));
    return nodes;
}

// "Role|Name", then the states a reader is told: checked, selected, password.
QString describe(const Node& n)
{
    QString line = QString::fromLatin1(QMetaEnum::fromType<Role>().valueToKey(n.role)) +
                   QLatin1Char('|') + n.name;
    if (n.state.checked)
        line += QStringLiteral("|checked");
    if (n.state.selected)
        line += QStringLiteral("|selected");
    if (n.state.passwordEdit)
        line += QStringLiteral("|password");
    return line;
}

bool isIgnored(QQuickItem* item)
{
    return QQmlProperty(item, QStringLiteral("Accessible.ignored"), qmlContext(item))
        .read()
        .toBool();
}

const Node* nodeOf(const QList<Node>& nodes, const QObject* object)
{
    for (const Node& n : nodes)
        if (n.iface->object() == object)
            return &n;
    return nullptr;
}

// Roles whose objects a reader operates, and what each must answer to.
const QHash<Role, QString> controlActions{
    {Role::Button, QAccessibleActionInterface::pressAction()},
    {Role::CheckBox, QAccessibleActionInterface::toggleAction()},
    {Role::RadioButton, QAccessibleActionInterface::pressAction()},
    {Role::PageTab, QAccessibleActionInterface::pressAction()},
    {Role::Slider, QAccessibleActionInterface::increaseAction()},
    {Role::EditableText, QAccessibleActionInterface::setFocusAction()},
    {Role::Pane, QAccessibleActionInterface::setFocusAction()}, // a scrolling document
};

// What the generic rules find wrong with one state of the screens.
QStringList problemsOf(QQuickWindow& window, const QList<Node>& nodes)
{
    QStringList problems;
    const std::function<void(QQuickItem*)> visit = [&](QQuickItem* item) {
        if (!item->isVisible() || qFuzzyIsNull(item->opacity()) || isIgnored(item))
            return; // hidden, or artwork that stays silent
        const Node* own = nodeOf(nodes, item);
        if (item->activeFocusOnTab() && item->isEnabled()) {
            // A control: its role, a name, and the action a reader uses on it.
            const QString action = own ? controlActions.value(own->role) : QString();
            if (!own || action.isEmpty() || own->name.isEmpty())
                problems << QStringLiteral("control %1 reads as %2")
                                .arg(item->objectName(),
                                     own ? describe(*own) : QStringLiteral("nothing"));
            else if (!own->iface->actionInterface()->actionNames().contains(action))
                problems << QStringLiteral("%1 offers no %2").arg(describe(*own), action);
        }
        const QString text =
            item->inherits("QQuickText") ? item->property("text").toString().trimmed() : QString();
        if (!text.isEmpty()) {
            // Said by itself, or within the words of what holds it (a button, a card, a row).
            const Node* holder = own;
            for (QQuickItem* up = item->parentItem(); !holder && up; up = up->parentItem())
                holder = nodeOf(nodes, up);
            const bool isHint = holder && holder->role == Role::EditableText; // a placeholder
            if (!isHint &&
                !(holder && (holder->name.contains(text) || holder->description.contains(text))))
                problems << QStringLiteral("\"%1\" is not read (%2)")
                                .arg(text,
                                     holder ? describe(*holder) : QStringLiteral("no holder"));
        }
        for (QQuickItem* child : item->childItems())
            visit(child);
    };
    visit(window.contentItem()); // the screens, and the overlay with their sheets
    return problems;
}

// For each state, the objects a reader must meet there, as describe() words them.
const QHash<QString, QStringList> expected{
    {"terms-empty",
     {"Heading|Terms of Service", "Heading|1. ACCEPTANCE OF TERMS", "EditableText|Email address",
      "EditableText|Display name (optional)", "Button|Decline", "Button|Accept & Continue"}},
    {"terms-invalid-email", {"AlertMessage|Please enter a valid email address to continue."}},
    {"terms-privacy-sheet", {"Dialog|Privacy Policy", "Heading|Privacy Policy", "Button|Done"}},
    {"unavailable", {"Heading|Bluetooth Unavailable", "Button|Try without a chair"}},
    {"disconnected",
     {"StaticText|Connect to your Velnora Pro chair via Bluetooth.", "Button|Connect"}},
    {"disconnected-remembered", {"StaticText|Velnora Pro 1042", "Button|Try again"}},
    {"connecting-remembered", {"StaticText|Connecting to Velnora Pro 1042…", "Button|Cancel"}},
    {"scanning-two", {"Heading|Scanning for chairs...", "Button|Connect to Velnora Pro 1001"}},
    {"restarting", {"StaticText|Chair restarting after update…", "Button|Cancel"}},
    {"wifi-setup-selected",
     {"Heading|WiFi Setup", "Heading|Available Networks", "RadioButton|Office_5G|checked",
      "RadioButton|Home_Network", "StaticText|Password for \"Office_5G\"",
      "EditableText|Password for \"Office_5G\"|password", "Button|Show password",
      "Button|Connect to WiFi"}},
    {"wifi-setup-wrong-password", {"AlertMessage|Incorrect password — please try again."}},
    {"wifi-connecting", {"Heading|Configuring WiFi…", "Button|Disconnect"}},
    {"controls-auto-off",
     {"CheckBox|Auto Mode", "Grouping|Movement Pattern", "RadioButton|Sit to Stand|checked",
      "RadioButton|Round Trip", "StaticText|Transition directly between sitting and standing",
      "StaticText|5 min", "Slider|Movement Interval", "Heading|Manual Control", "Button|Left, Up",
      "Button|Right, Down", "PageTab|Controls|selected", "PageTab|Settings"}},
    {"controls-auto-on",
     {"StatusBar|2:17", "CheckBox|Auto Mode|checked", "RadioButton|Round Trip|checked",
      "RadioButton|Sit to Stand"}},
    {"controls-offline-banner",
     {"AlertMessage|Chair internet connection lost. Returning to WiFi setup in 4:05"}},
    {"sleeping", {"Heading|Velnora is resting now", "Button|Wake Up"}},
    {"sleeping-wake-sent", {"StaticText|Wake signal sent — the chair should respond shortly."}},
    {"debug-entry-sheet",
     {"Dialog|Debug Analytics Mode", "EditableText|Chair serial number", "Button|Enable"}},
    {"analytics-data",
     {"Grouping|Time range", "RadioButton|Today|checked", "RadioButton|7 Days",
      "StaticText|Total Moves 42, +40% vs yesterday", "Heading|Posture Breakdown",
      "StaticText|Stilta, current posture, 8%, 22m 46s, 10 transitions"}},
    {"analytics-error", {"AlertMessage|Analytics service error (HTTP 503)"}},
    {"settings-idle",
     {"Heading|General", "StaticText|Serial Number", "StaticText|VP-2024-00417",
      "StaticText|12,345 moves", "StaticText|2.4.1 / 1.9.0", "Slider|Motor Strength",
      "Button|Select Firmware File", "StaticText|Connected", "Button|Configure WiFi",
      "Heading|This chair", "CheckBox|Connect automatically when the app starts|checked",
      "Button|Forget this chair"}},
    {"settings-transferring", {"ProgressBar|57%", "StaticText|CPU1 (STM32) — Transferring..."}},
    {"settings-flashing", {"ProgressBar|Page 12 / 84"}},
    {"settings-error", {"Button|Try Again"}},
    {"settings-wifi-sheet", {"Dialog|WiFi Setup", "Button|Cancel"}},
    {"settings-file-picker",
     {"Dialog|Select Firmware File", "Button|Archive", "RadioButton|chair-update-2.4.1.zip|checked",
      "Button|Open"}},
};

// A screen over the fake chair, the way the tests of the screens load it.
enum class Chair { inAutoMode, needingWifi, none };
struct Connected : ScreenFixture {
    explicit Connected(const char* file = "ConnectedView.qml", Chair kind = Chair::inAutoMode)
    {
        chair = f.central->makeChair();
        if (kind == Chair::needingWifi) {
            chair->values[wifiStatusUUID] = bytes({0x01});
            chair->playNetworks({"Office_5G", "Home_Network"});
        } else {
            chair->values[autoModeUUID] = bytes({0x01});
            chair->values[autoModeSelectorUUID] = bytes({0x02});
        }
        if (kind != Chair::none)
            f.connectChair(chair);
        if (QByteArray(file) == "ContentView.qml")
            load(file, {"bluetooth", "settings", "services"});
        else
            load(file);
    }
    // The object of this role and name ("Role|Name"), whatever its states.
    const Node* find(const QString& line)
    {
        const QString roleAndName = line.section(QLatin1Char('|'), 0, 1);
        nodes = readTree(ui.window());
        for (const Node& n : nodes)
            if (describe(n).section(QLatin1Char('|'), 0, 1) == roleAndName)
                return &n;
        return nullptr;
    }
    // Found, and in exactly the states the line names.
    bool reads(const QString& line)
    {
        const Node* n = find(line);
        return n && describe(*n) == line;
    }

    QList<Node> nodes;
};

const QString press = QAccessibleActionInterface::pressAction();

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // As when the desktop's screen reader runs before the window opens.
    void initTestCase() { QAccessible::setActive(true); }

    void everyStateReadsAsItShows()
    {
        QStringList problems;
        QSet<QString> seen;
        const int failures = Gallery::forEachShot([&](const QString& shot, QmlHarness& ui, auto&) {
            seen << shot;
            const QList<Node> nodes = readTree(ui.window());
            QStringList read;
            for (const Node& n : nodes)
                read << describe(n);
            for (const QString& line : expected.value(shot))
                if (!read.contains(line))
                    problems << shot + QStringLiteral(": missing ") + line;
            for (const QString& problem : problemsOf(ui.window(), nodes))
                problems << shot + QStringLiteral(": ") + problem;
            return true;
        });
        QCOMPARE(failures, 0);
        for (auto it = expected.keyBegin(); it != expected.keyEnd(); ++it)
            QVERIFY2(seen.contains(*it), qPrintable(*it));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // What is drawn and what is read stay one: after the chair changes a value, after a reconnect.
    void statesFollowTheChair()
    {
        Connected s;
        QVERIFY(s.root);
        QTRY_VERIFY(s.reads(QStringLiteral("CheckBox|Auto Mode|checked")));
        QVERIFY(s.reads(QStringLiteral("RadioButton|Round Trip|checked")));

        s.f.report(*s.chair, autoModeSelectorUUID, bytes({0x01}));
        QVERIFY(s.reads(QStringLiteral("RadioButton|Stilta|checked")));
        QVERIFY(s.reads(QStringLiteral("RadioButton|Round Trip")));

        s.f.central->setPower(CentralPower::Off);
        QVERIFY(s.reads(QStringLiteral("CheckBox|Auto Mode")));
        s.f.central->setPower(CentralPower::On); // the chair reports automatic mode again
        s.f.advance(1s);
        QVERIFY(s.reads(QStringLiteral("CheckBox|Auto Mode|checked")));
    }

    // On WiFi setup a reader chooses a network with Press; the dimmed Connect says why and does
    // nothing. (Press and Toggle on the other controls: tst_ui_connected.)
    void aReadersActionsOnWifiSetup()
    {
        Connected s("ContentView.qml", Chair::needingWifi);
        QVERIFY(s.root);
        QTRY_VERIFY(s.find(QStringLiteral("RadioButton|Home_Network")));
        QAccessibleInterface* connect = s.find(QStringLiteral("Button|Connect to WiFi"))->iface;
        QCOMPARE(connect->text(QAccessible::Description),
                 QStringLiteral("Choose a network and type its password first."));
        connect->actionInterface()->doAction(press);
        QCOMPARE(s.f.state(), ConnectionState::wifiSetup);
        s.find(QStringLiteral("RadioButton|Home_Network"))
            ->iface->actionInterface()
            ->doAction(press);
        QTRY_VERIFY(s.reads(QStringLiteral("RadioButton|Home_Network|checked")));
    }

    // The reader gets what the screen shows: dots, or the clear text only while the user shows it.
    void aPasswordNeverReachesTheTree()
    {
        Connected s("ContentView.qml", Chair::needingWifi);
        QmlHarness& ui = s.ui;
        QTRY_VERIFY(ui.shows(QStringLiteral("Office_5G")));
        ui.click(ui.textItem(QStringLiteral("Office_5G")));
        QQuickItem* field = ui.byName(QStringLiteral("passwordField"));
        QTRY_VERIFY(field && field->isVisible());
        ui.click(field);
        ui.type(QStringLiteral("hunter22"));
        QCOMPARE(field->property("password").toString(), QStringLiteral("hunter22"));

        QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(field);
        QCOMPARE(entry->role(), Role::EditableText);
        QVERIFY(entry->state().passwordEdit);
        QCOMPARE(entry->text(QAccessible::Name), QStringLiteral("Password for \"Office_5G\""));
        const QString dots(8, QChar(0x25CF));
        QCOMPARE(entry->text(QAccessible::Value), dots);
        QCOMPARE(entry->textInterface()->text(0, entry->textInterface()->characterCount()), dots);
        for (const Node& n : readTree(ui.window()))
            QVERIFY(!n.name.contains(u"hunter") &&
                    !n.iface->text(QAccessible::Value).contains(u"hunter"));

        ui.click(ui.byName(QStringLiteral("showPasswordButton")));
        QTRY_COMPARE(entry->text(QAccessible::Value), QStringLiteral("hunter22"));
    }

    void aNewScreenStartsOnItsFirstControl()
    {
        Connected s("ContentView.qml", Chair::none);
        QmlHarness& ui = s.ui;
        LinkFixture& f = s.f;
        ui.window().requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&ui.window()));
        f.manager->startScanning();
        QTRY_COMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("cancelButton")));
        f.connectChair(s.chair);
        QTRY_COMPARE(ui.window().activeFocusItem(), ui.byName(QStringLiteral("disconnectButton")));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
