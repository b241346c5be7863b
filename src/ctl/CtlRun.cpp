#include "CtlRun.h"

#include "CtlOutput.h"
#include "ExitStatus.h"

#include <QDateTime>
#include <QJsonArray>

#include <cmath>

using namespace std::chrono_literals;

namespace {

// The chair names the longest a leg may take, a link may take to come up or go, and a WiFi
// join with the chair's restart may take.
constexpr auto legTime = 20s;
constexpr auto linkTime = 10s;
constexpr auto identityTime = 3s;
constexpr auto networksTime = 30s;
constexpr auto wifiJoinTime = 90s;
constexpr auto updateStopTime = 5s;
constexpr auto scanStartTime = 300ms;
constexpr int scanStartAttempts = 10;

const QString disconnectedDuringUpdate =
    QStringLiteral("Chair disconnected during firmware update.");

bool isHolding(const QString& state)
{
    return state == QLatin1String("connecting") || state == QLatin1String("checkingWifi") ||
           state == QLatin1String("wifiSetup") || state == QLatin1String("wifiConnecting") ||
           state == QLatin1String("ready");
}

bool matches(const QVariantMap& chair, const QString& wanted)
{
    return chair.value(QStringLiteral("Name")).toString() == wanted ||
           chair.value(QStringLiteral("Address")).toString().compare(wanted, Qt::CaseInsensitive) ==
               0;
}

QString describe(const QVariantMap& chair)
{
    return QStringLiteral("%1 (%2)").arg(chair.value(QStringLiteral("Name")).toString(),
                                         chair.value(QStringLiteral("Address")).toString());
}

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(time.count() / 1000);
}

} // namespace

CtlRun::CtlRun(ChairEndpoint& chair, Action action, Inputs inputs, QObject* parent)
    : QObject(parent)
    , chair(chair)
    , action(std::move(action))
    , inputs(std::move(inputs))
{
    waitTimer.setSingleShot(true);
    connect(&waitTimer, &QTimer::timeout, this, [this] { resolveWait(false); });
    connect(&chair, &ChairEndpoint::changed, this, &CtlRun::handleChanged);
    connect(&chair, &ChairEndpoint::lost, this, [this](const ControlError& why) { fail(why); });
}

QVariant CtlRun::value(const QString& name) const
{
    return chair.properties().value(name);
}

QString CtlRun::state() const
{
    return value(QStringLiteral("ConnectionState")).toString();
}

bool CtlRun::holdsChair() const
{
    return isHolding(state());
}

void CtlRun::start()
{
    using Kind = Action::Kind;
    if (!chair.ownsLink() || action.kind == Kind::scan)
        return act();
    if (action.kind == Kind::connect || action.kind == Kind::disconnect)
        return fail(ControlErrors::failed,
                    QStringLiteral("connect and disconnect act on the link of the running "
                                   "VelnoraDesktop program, which does not run; every other "
                                   "command makes a link of its own for its length."));
    findAndConnect([this] { act(); });
}

void CtlRun::act()
{
    using Kind = Action::Kind;
    switch (action.kind) {
    case Kind::status: return status();
    case Kind::scan: return scan();
    case Kind::connect:
        return findAndConnect([this] {
            succeed(QStringLiteral("Connected to %1.")
                        .arg(value(QStringLiteral("DeviceName")).toString()));
        });
    case Kind::disconnect: return disconnect();
    case Kind::leg: return leg();
    case Kind::autoMode:
        return call(QStringLiteral("SetAutoMode"), {action.on}, [this] {
            succeed(action.on ? QStringLiteral("Automatic mode on.")
                              : QStringLiteral("Automatic mode off."));
        });
    case Kind::pattern:
        return call(QStringLiteral("SetPattern"), {action.number}, [this] {
            const QStringList names = {QStringLiteral("sit-to-stand"), QStringLiteral("stiltas"),
                                       QStringLiteral("round-trip")};
            succeed(QStringLiteral("Pattern %1.").arg(names.value(int(action.number))));
        });
    case Kind::period:
        return call(QStringLiteral("SetPeriod"), {action.minutes}, [this] {
            succeed(QStringLiteral("Period %1 minutes.").arg(Out::text(action.minutes)));
        });
    case Kind::strength:
        return call(QStringLiteral("SetMotorStrength"), {action.number},
                    [this] { succeed(QStringLiteral("Motor strength %1%.").arg(action.number)); });
    case Kind::wake:
        return call(QStringLiteral("Wake"), {},
                    [this] { succeed(QStringLiteral("Chair awake.")); });
    case Kind::wifiList: return wifiList();
    case Kind::wifiJoin: return wifiJoin();
    case Kind::update: return update();
    case Kind::watch: return watch();
    }
}

// Steps

void CtlRun::call(const QString& method, const QVariantList& args, const Then& then)
{
    callAnyway(method, args, [this, then](const ControlOutcome& outcome) {
        if (outcome)
            return fail(*outcome);
        then();
    });
}

void CtlRun::callAnyway(const QString& method, const QVariantList& args,
                        const std::function<void(const ControlOutcome&)>& answered)
{
    const quint64 callStep = step;
    chair.call(method, args, [this, callStep, answered](const ControlOutcome& outcome) {
        if (callStep == step)
            answered(outcome);
    });
}

void CtlRun::waitFor(const std::function<bool()>& done,
                     std::optional<std::chrono::milliseconds> time,
                     const std::function<void(bool)>& then)
{
    waitTimer.stop();
    waitDone = done;
    waitThen = then;
    if (time)
        waitTimer.start(*time);
    if (done())
        resolveWait(true);
}

void CtlRun::resolveWait(bool done)
{
    if (!waitThen)
        return;
    waitTimer.stop();
    waitDone = nullptr;
    std::exchange(waitThen, nullptr)(done);
}

void CtlRun::handleChanged(const QVariantMap& changed)
{
    if (observer)
        observer(changed);
    if (waitDone && waitDone())
        resolveWait(true);
}

void CtlRun::succeed(const QString& message)
{
    if (!message.isEmpty())
        Out::line(message);
    finish(ExitStatus::success);
}

void CtlRun::fail(const ControlError& error)
{
    if (progress)
        progress->end();
    Out::error(error.message.isEmpty() ? error.name : error.message);
    finish(ExitStatus::forError(error.name));
}

void CtlRun::finish(int exitStatus)
{
    if (finishing)
        return;
    finishing = true;
    ++step;
    observer = nullptr;
    waitTimer.stop();
    waitDone = nullptr;
    waitThen = nullptr;
    auto done = [this, exitStatus] { Q_EMIT finished(exitStatus); };
    if (!chair.ownsLink())
        return done();
    if (state() == QLatin1String("scanning"))
        return callAnyway(QStringLiteral("CancelScan"), {},
                          [done](const ControlOutcome&) { done(); });
    if (!holdsChair())
        return done();
    // Let the chair go cleanly: it is free for the program or the next command.
    callAnyway(QStringLiteral("Disconnect"), {}, [this, done](const ControlOutcome&) {
        waitFor([this] { return !holdsChair(); }, linkTime, [done](bool) { done(); });
    });
}

void CtlRun::interrupt()
{
    if (finishing || interrupted) {
        // A second Ctrl-C does not wait for the chair to be let go.
        Q_EMIT finished(ExitStatus::failure);
        return;
    }
    interrupted = true;
    if (action.kind == Action::Kind::watch)
        return finish(ExitStatus::success);
    if (updateRunning)
        return stopUpdate();
    Out::error(QStringLiteral("interrupted"));
    finish(ExitStatus::failure);
}

// Finding the chair

void CtlRun::findAndConnect(const Then& then)
{
    const QString now = state();
    if (now == QLatin1String("unavailable"))
        return fail(ControlErrors::bluetoothOff,
                    QStringLiteral("Bluetooth is off: turn it on and try again."));
    if (isHolding(now)) {
        const QString name = value(QStringLiteral("DeviceName")).toString();
        if (action.chair.isEmpty() || action.chair == name)
            return then();
        return fail(ControlErrors::busy,
                    QStringLiteral("Connected to %1: disconnect it first.").arg(name));
    }
    auto chairs = [this] { return value(QStringLiteral("Chairs")).toList(); };
    auto wanted = [this, chairs]() -> std::optional<QVariantMap> {
        for (const QVariant& row : chairs())
            if (matches(row.toMap(), action.chair))
                return row.toMap();
        return std::nullopt;
    };
    if (!action.chair.isEmpty() && wanted())
        return connectTo(*wanted(), then);

    startScan([this, chairs, wanted, then] {
        const bool named = !action.chair.isEmpty();
        // A named chair is taken as soon as it shows; otherwise the whole scan tells whether
        // it is the only one.
        const auto time = named ? std::max<std::chrono::milliseconds>(action.scanTime, linkTime)
                                : action.scanTime;
        waitFor([this, named,
                 wanted] { return state() == QLatin1String("unavailable") || (named && wanted()); },
                time,
                [this, named, chairs, wanted, then](bool) {
                    if (state() == QLatin1String("unavailable"))
                        return fail(ControlErrors::bluetoothOff,
                                    QStringLiteral("Bluetooth went off."));
                    if (named) {
                        if (const std::optional<QVariantMap> chair = wanted())
                            return connectTo(*chair, then);
                        return fail(ControlErrors::notFound,
                                    QStringLiteral("No chair \"%1\" found.").arg(action.chair));
                    }
                    const QVariantList found = chairs();
                    if (found.isEmpty())
                        return fail(ControlErrors::notFound, QStringLiteral("No chair found."));
                    if (found.size() > 1) {
                        QStringList names;
                        for (const QVariant& row : found)
                            names << describe(row.toMap());
                        return fail(ControlErrors::notFound,
                                    QStringLiteral("%1 chairs found, name one with --chair: %2")
                                        .arg(found.size())
                                        .arg(names.join(QStringLiteral(", "))));
                    }
                    connectTo(found.first().toMap(), then);
                });
    });
}

void CtlRun::connectTo(const QVariantMap& found, const Then& then)
{
    const QString address = found.value(QStringLiteral("Address")).toString();
    const QString name = found.value(QStringLiteral("Name")).toString();
    call(QStringLiteral("Connect"), {address.isEmpty() ? name : address}, [this, name, then] {
        // The answer may come before the state that says so.
        waitFor(
            [this] {
                return state() == QLatin1String("ready") || state() == QLatin1String("wifiSetup");
            },
            linkTime,
            [this, name, then](bool linked) {
                if (!linked)
                    return fail(ControlErrors::failed,
                                QStringLiteral("Could not connect to %1.").arg(name));
                then();
            });
    });
}

// Commands

void CtlRun::status()
{
    auto print = [this] {
        const QVariantMap properties = chair.properties();
        if (action.json) {
            Out::line(Out::jsonLine(Out::json(properties)));
        } else {
            for (const QString& name : Out::propertyOrder())
                Out::line(QStringLiteral("%1 %2").arg(name.leftJustified(17),
                                                      Out::text(properties.value(name))));
        }
        finish(ExitStatus::success);
    };
    if (!chair.ownsLink())
        return print();
    // The link reads the chair's identity right after it connects.
    waitFor(
        [this] {
            for (const char* name :
                 {"DeviceName", "SerialNumber", "SoftwareVersion", "FirmwareVersion"})
                if (value(QLatin1String(name)).toString().isEmpty())
                    return false;
            // An online chair's network name is read right after.
            return state() != QLatin1String("ready") ||
                   !value(QStringLiteral("WifiNetwork")).toString().isEmpty();
        },
        identityTime, [print](bool) { print(); });
}

void CtlRun::scan()
{
    const QString before = state();
    if (before == QLatin1String("unavailable"))
        return fail(ControlErrors::bluetoothOff,
                    QStringLiteral("Bluetooth is off: turn it on and try again."));
    const bool startedHere = before != QLatin1String("scanning");
    auto report = [this, startedHere](bool) {
        if (state() == QLatin1String("unavailable"))
            return fail(ControlErrors::bluetoothOff, QStringLiteral("Bluetooth went off."));
        const QVariantList found = value(QStringLiteral("Chairs")).toList();
        for (const QVariant& row : found) {
            const QVariantMap chair = row.toMap();
            Out::line(QStringLiteral("%1\t%2\t%3")
                          .arg(chair.value(QStringLiteral("Name")).toString(),
                               chair.value(QStringLiteral("Address")).toString(),
                               chair.value(QStringLiteral("Rssi")).toString()));
        }
        auto end = [this, found] {
            if (found.isEmpty())
                return fail(ControlErrors::notFound, QStringLiteral("No chair found."));
            finish(ExitStatus::success);
        };
        if (!startedHere)
            return end();
        callAnyway(QStringLiteral("CancelScan"), {}, [end](const ControlOutcome&) { end(); });
    };
    auto listen = [this, report] {
        waitFor([this] { return state() == QLatin1String("unavailable"); }, action.scanTime,
                report);
    };
    if (!startedHere)
        return listen();
    startScan(listen);
}

void CtlRun::startScan(const Then& then, int attempt)
{
    call(QStringLiteral("StartScan"), {}, [this, then, attempt] {
        // Right after start the radio's power may not be known yet: the scan then does not
        // begin, and is asked for again.
        waitFor([this] { return state() != QLatin1String("disconnected"); }, scanStartTime,
                [this, then, attempt](bool) {
                    if (state() == QLatin1String("unavailable"))
                        return fail(ControlErrors::bluetoothOff,
                                    QStringLiteral("Bluetooth is off: turn it on and try again."));
                    if (state() == QLatin1String("scanning"))
                        return then();
                    if (attempt >= scanStartAttempts)
                        return fail(ControlErrors::failed,
                                    QStringLiteral("Bluetooth did not start scanning."));
                    startScan(then, attempt + 1);
                });
    });
}

void CtlRun::disconnect()
{
    if (!holdsChair())
        return succeed(QStringLiteral("No chair was connected."));
    const QString name = value(QStringLiteral("DeviceName")).toString();
    call(QStringLiteral("Disconnect"), {}, [this, name] {
        waitFor([this] { return !holdsChair(); }, linkTime,
                [this, name](bool) { succeed(QStringLiteral("Disconnected from %1.").arg(name)); });
    });
}

void CtlRun::leg()
{
    const bool left = action.side == QLatin1String("left");
    const QString property = left ? QStringLiteral("LeftLegUp") : QStringLiteral("RightLegUp");
    const bool up = action.legMove == Action::LegMove::toggle
                        ? !value(property).toBool()
                        : action.legMove == Action::LegMove::up;
    const QString method = action.legMove == Action::LegMove::toggle ? QStringLiteral("ToggleLeg")
                                                                     : QStringLiteral("SetLeg");
    QVariantList args{action.side};
    if (action.legMove != Action::LegMove::toggle)
        args << up;
    const QString where = QStringLiteral("%1 leg %2")
                              .arg(left ? QStringLiteral("Left") : QStringLiteral("Right"),
                                   up ? QStringLiteral("up") : QStringLiteral("down"));
    call(method, args, [this, property, up, where] {
        // The write is confirmed at once; the leg takes its time to get there.
        waitFor(
            [this, property, up] { return value(property).toBool() == up; }, legTime,
            [this, where](bool there) {
                if (!there)
                    return fail(
                        ControlErrors::timedOut,
                        QStringLiteral("%1 not reached within %2 s.").arg(where, seconds(legTime)));
                succeed(where + QLatin1Char('.'));
            });
    });
}

void CtlRun::wifiList()
{
    auto sawLoading = std::make_shared<bool>(false);
    observer = [sawLoading](const QVariantMap& changed) {
        if (changed.value(QStringLiteral("NetworksLoading")).toBool())
            *sawLoading = true;
    };
    call(QStringLiteral("ScanNetworks"), {}, [this, sawLoading] {
        if (value(QStringLiteral("NetworksLoading")).toBool())
            *sawLoading = true;
        waitFor(
            [this, sawLoading] {
                return *sawLoading && !value(QStringLiteral("NetworksLoading")).toBool();
            },
            networksTime,
            [this](bool listed) {
                if (!listed)
                    return fail(ControlErrors::timedOut,
                                QStringLiteral("The chair did not list its networks within %1 s.")
                                    .arg(seconds(networksTime)));
                for (const QString& network : value(QStringLiteral("Networks")).toStringList())
                    Out::line(network);
                finish(ExitStatus::success);
            });
    });
}

void CtlRun::wifiJoin()
{
    // The chair restarts to join: success is the link back, ready and online, after that.
    auto left = std::make_shared<bool>(false);
    auto error = std::make_shared<QString>();
    observer = [left, error](const QVariantMap& changed) {
        const QString state = changed.value(QStringLiteral("ConnectionState")).toString();
        if (!state.isEmpty() && state != QLatin1String("ready") &&
            state != QLatin1String("wifiSetup"))
            *left = true;
        const QString message = changed.value(QStringLiteral("WifiError")).toString();
        if (!message.isEmpty())
            *error = message;
    };
    // The link reads the chair's network list when it finds the chair off line; the join waits
    // for that read, as a user picking from the list does.
    waitFor([this] { return !value(QStringLiteral("NetworksLoading")).toBool(); }, networksTime,
            [this, left, error](bool) { joinWifi(left, error); });
}

void CtlRun::joinWifi(const std::shared_ptr<bool>& left, const std::shared_ptr<QString>& error)
{
    call(QStringLiteral("JoinWiFi"), {action.ssid, inputs.wifiPassword}, [this, left, error] {
        if (!isHolding(state()) || state() == QLatin1String("wifiConnecting"))
            *left = true;
        waitFor(
            [this, left, error] {
                return !error->isEmpty() ||
                       (*left && (state() == QLatin1String("wifiSetup") ||
                                  (state() == QLatin1String("ready") &&
                                   value(QStringLiteral("WifiStatus")).toString() ==
                                       QLatin1String("connected"))));
            },
            wifiJoinTime,
            [this, error](bool ended) {
                if (!error->isEmpty())
                    return fail(ControlErrors::failed, *error);
                if (!ended)
                    return fail(ControlErrors::timedOut,
                                QStringLiteral("The chair did not come online within %1 s.")
                                    .arg(seconds(wifiJoinTime)));
                if (state() != QLatin1String("ready"))
                    return fail(ControlErrors::failed,
                                QStringLiteral("The chair could not join %1.").arg(action.ssid));
                succeed(QStringLiteral("The chair is online on %1.").arg(action.ssid));
            });
    });
}

void CtlRun::update()
{
    progress = std::make_unique<UpdateProgress>(inputs.imageSizes, Out::isTerminal());
    const QString before = value(QStringLiteral("UpdateState")).toString();
    if (before != QLatin1String("success") && before != QLatin1String("error"))
        return followUpdate();
    // A finished update's outcome must not be taken for this one's.
    call(QStringLiteral("ResetUpdate"), {}, [this] {
        waitFor(
            [this] {
                return value(QStringLiteral("UpdateState")).toString() == QLatin1String("idle");
            },
            linkTime, [this](bool) { followUpdate(); });
    });
}

void CtlRun::followUpdate()
{
    call(QStringLiteral("StartFirmwareUpdate"), {action.package}, [this] {
        updateRunning = true;
        observer = [this](const QVariantMap&) { progress->show(chair.properties()); };
        progress->show(chair.properties());
        waitFor(
            [this] {
                const QString now = value(QStringLiteral("UpdateState")).toString();
                return now == QLatin1String("success") || now == QLatin1String("error");
            },
            std::nullopt,
            [this](bool) {
                updateRunning = false;
                progress->end();
                if (value(QStringLiteral("UpdateState")).toString() == QLatin1String("error"))
                    return fail(ControlErrors::failed,
                                value(QStringLiteral("UpdateMessage")).toString());
                succeed(QStringLiteral("Firmware updated."));
            });
    });
}

void CtlRun::stopUpdate()
{
    // Letting the chair go is how an update stops; the link reports it as a lost link.
    ++step;
    observer = nullptr;
    updateRunning = false;
    progress->end();
    callAnyway(QStringLiteral("Disconnect"), {}, [this](const ControlOutcome&) {
        waitFor(
            [this] {
                return value(QStringLiteral("UpdateState")).toString() == QLatin1String("error");
            },
            updateStopTime,
            [this](bool) {
                const QString message = value(QStringLiteral("UpdateMessage")).toString();
                Out::error(message.isEmpty() || value(QStringLiteral("UpdateState")).toString() !=
                                                    QLatin1String("error")
                               ? disconnectedDuringUpdate
                               : message);
                finish(ExitStatus::failure);
            });
    });
}

void CtlRun::watch()
{
    observer = [this](const QVariantMap& changed) {
        const QDateTime now = QDateTime::currentDateTime();
        if (action.json) {
            QJsonObject line;
            line.insert(QStringLiteral("time"), now.toUTC().toString(Qt::ISODateWithMs));
            line.insert(QStringLiteral("changed"), Out::json(changed));
            Out::line(Out::jsonLine(line));
            return;
        }
        QStringList pairs;
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + Out::text(it.value());
        Out::line(now.toString(QStringLiteral("HH:mm:ss.zzz ")) + pairs.join(QLatin1Char(' ')));
    };
    waitFor([] { return false; }, std::nullopt, [](bool) {});
}
