#include "CommandLine.h"

#include "ExitStatus.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace {

struct CommandHelp {
    QString name;
    QString synopsis;
    QString summary;
    QString details;
};

const QList<CommandHelp>& commands()
{
    static const QList<CommandHelp> all = {
        {QStringLiteral("status"), QStringLiteral("status [--json]"),
         QStringLiteral("the chair's state, one property a line (or one JSON object)"),
         QStringLiteral("Prints every property of the chair. --json prints one JSON object whose "
                        "keys are the property names (ConnectionState, LeftLegUp, ...).")},
        {QStringLiteral("scan"), QStringLiteral("scan [--timeout S]"),
         QStringLiteral("chairs in range: name, address, RSSI (tab-separated)"),
         QStringLiteral("Looks for chairs for S seconds (default 5) and prints one line per "
                        "chair: name, address and signal level in dBm, separated by tabs.")},
        {QStringLiteral("connect"), QStringLiteral("connect [NAME|ADDRESS]"),
         QStringLiteral("connects the running VelnoraDesktop to a chair"),
         QStringLiteral("Scans when needed and connects the program's link. Without a name the "
                        "only chair in range is taken. Needs the running program.")},
        {QStringLiteral("disconnect"), QStringLiteral("disconnect"),
         QStringLiteral("lets the running VelnoraDesktop's chair go"),
         QStringLiteral("Disconnects the program's link. Needs the running program.")},
        {QStringLiteral("leg"), QStringLiteral("leg left|right [up|down|toggle]"),
         QStringLiteral("moves a leg (default: toggle) and waits until it got there"),
         QStringLiteral("Raises, lowers or toggles one leg and waits (20 s at most) until the "
                        "chair reports the leg in its new position.")},
        {QStringLiteral("auto"), QStringLiteral("auto on|off"),
         QStringLiteral("switches automatic mode"), QStringLiteral("Switches automatic mode.")},
        {QStringLiteral("pattern"), QStringLiteral("pattern sit-to-stand|stiltas|round-trip"),
         QStringLiteral("the automatic mode's pattern"),
         QStringLiteral("Sets the pattern automatic mode moves the legs in.")},
        {QStringLiteral("period"), QStringLiteral("period MINUTES"),
         QStringLiteral("the automatic mode's period, 1 to 10 minutes"),
         QStringLiteral("Sets the time between two moves in automatic mode, in minutes (1 to "
                        "10, decimals allowed: 2.5).")},
        {QStringLiteral("strength"), QStringLiteral("strength PERCENT"),
         QStringLiteral("the motors' strength, 20 to 50 percent"),
         QStringLiteral("Sets the strength of both leg motors, 20 to 50 percent.")},
        {QStringLiteral("wake"), QStringLiteral("wake"), QStringLiteral("wakes a sleeping chair"),
         QStringLiteral("Wakes the chair.")},
        {QStringLiteral("wifi"), QStringLiteral("wifi list | wifi join SSID"),
         QStringLiteral("the networks the chair sees; puts the chair on one"),
         QStringLiteral("list prints the networks the chair sees, one a line. join puts the chair "
                        "on SSID and waits (90 s at most) until it is online. The password is "
                        "asked for without echo on a terminal, otherwise read from the first "
                        "line of standard input; it is never taken from the command line.")},
        {QStringLiteral("update"), QStringLiteral("update PACKAGE.zip"),
         QStringLiteral("updates the chair's firmware and follows the update"),
         QStringLiteral("Sends the package's images to the chair and follows the update until "
                        "it succeeds or fails. Ctrl-C ends it by letting the chair go.")},
        {QStringLiteral("watch"), QStringLiteral("watch [--json]"),
         QStringLiteral("one line per change of the chair's state, until Ctrl-C"),
         QStringLiteral("Prints the properties that changed, one line per change: the time and "
                        "Name=value pairs, or with --json one object a line: "
                        "{\"time\": ISO 8601 UTC, \"changed\": {...}}.")},
    };
    return all;
}

const CommandHelp* findCommand(const QString& name)
{
    for (const CommandHelp& command : commands())
        if (command.name == name)
            return &command;
    return nullptr;
}

const QString globalOptions =
    QStringLiteral("Options:\n"
                   "  --chair NAME|ADDRESS  the chair to use (default: the only chair in range)\n"
                   "  --scan-time S         seconds to look for chairs before a link (default 5)\n"
                   "  --verbose             the link's diagnostic lines on standard error\n"
                   "  -h, --help            this help; COMMAND --help for one command\n"
                   "  --version             the version\n");

const QString exitStatusText =
    QStringLiteral("Exit status: 0 success, 1 failure, 2 usage error, 3 no chair connected or "
                   "found (or Bluetooth off).\n");

QString globalHelp()
{
    QString text = QStringLiteral(
        "Usage: velnora-ctl [OPTIONS] COMMAND [ARGUMENTS]\n\n"
        "Drives a Velnora Pro chair from scripts: through the running VelnoraDesktop program when "
        "it runs,\notherwise over a link of its own that lasts one command.\n\nCommands:\n");
    for (const CommandHelp& command : commands())
        text += QStringLiteral("  %1%2\n").arg(command.synopsis.leftJustified(44), command.summary);
    return text + QLatin1Char('\n') + globalOptions + QLatin1Char('\n') + exitStatusText;
}

QString commandHelp(const CommandHelp& command)
{
    return QStringLiteral("Usage: velnora-ctl [OPTIONS] %1\n\n%2\n\n%3")
        .arg(command.synopsis, command.details, globalOptions);
}

ParsedCommandLine usageError(const QString& message)
{
    ParsedCommandLine parsed;
    parsed.error = message + QStringLiteral("\nTry 'velnora-ctl --help'.");
    parsed.exitStatus = ExitStatus::usage;
    return parsed;
}

std::optional<double> seconds(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > 600)
        return std::nullopt;
    return value;
}

// The command's own arguments into the action; an error text when they do not fit.
QString readArguments(Action& action, const QString& command, const QStringList& args)
{
    using Kind = Action::Kind;
    auto count = [&](qsizetype least, qsizetype most) -> QString {
        if (args.size() < least)
            return QStringLiteral("%1: missing argument").arg(command);
        if (args.size() > most)
            return QStringLiteral("%1: unexpected argument \"%2\"").arg(command, args.at(most));
        return {};
    };
    if (command == QLatin1String("status") || command == QLatin1String("scan") ||
        command == QLatin1String("disconnect") || command == QLatin1String("wake") ||
        command == QLatin1String("watch")) {
        action.kind = command == QLatin1String("status")       ? Kind::status
                      : command == QLatin1String("scan")       ? Kind::scan
                      : command == QLatin1String("disconnect") ? Kind::disconnect
                      : command == QLatin1String("wake")       ? Kind::wake
                                                               : Kind::watch;
        return count(0, 0);
    }
    if (command == QLatin1String("connect")) {
        action.kind = Kind::connect;
        if (!args.isEmpty())
            action.chair = args.first();
        return count(0, 1);
    }
    if (command == QLatin1String("leg")) {
        action.kind = Kind::leg;
        if (const QString bad = count(1, 2); !bad.isEmpty())
            return bad;
        action.side = args.at(0);
        if (action.side != QLatin1String("left") && action.side != QLatin1String("right"))
            return QStringLiteral("leg: \"%1\" is neither left nor right").arg(action.side);
        const QString move = args.value(1, QStringLiteral("toggle"));
        if (move == QLatin1String("up"))
            action.legMove = Action::LegMove::up;
        else if (move == QLatin1String("down"))
            action.legMove = Action::LegMove::down;
        else if (move != QLatin1String("toggle"))
            return QStringLiteral("leg: \"%1\" is not up, down or toggle").arg(move);
        return {};
    }
    if (command == QLatin1String("auto")) {
        action.kind = Kind::autoMode;
        if (const QString bad = count(1, 1); !bad.isEmpty())
            return bad;
        if (args.at(0) != QLatin1String("on") && args.at(0) != QLatin1String("off"))
            return QStringLiteral("auto: \"%1\" is neither on nor off").arg(args.at(0));
        action.on = args.at(0) == QLatin1String("on");
        return {};
    }
    if (command == QLatin1String("pattern")) {
        action.kind = Kind::pattern;
        if (const QString bad = count(1, 1); !bad.isEmpty())
            return bad;
        const QStringList names = {QStringLiteral("sit-to-stand"), QStringLiteral("stiltas"),
                                   QStringLiteral("round-trip")};
        if (!names.contains(args.at(0)))
            return QStringLiteral("pattern: \"%1\" is not one of %2")
                .arg(args.at(0), names.join(QStringLiteral(", ")));
        action.number = uint(names.indexOf(args.at(0)));
        return {};
    }
    if (command == QLatin1String("period")) {
        action.kind = Kind::period;
        if (const QString bad = count(1, 1); !bad.isEmpty())
            return bad;
        bool ok = false;
        action.minutes = QLocale::c().toDouble(args.at(0), &ok);
        if (!ok || !std::isfinite(action.minutes) || action.minutes < 1 || action.minutes > 10)
            return QStringLiteral("period: \"%1\" is not a number of minutes from 1 to 10")
                .arg(args.at(0));
        return {};
    }
    if (command == QLatin1String("strength")) {
        action.kind = Kind::strength;
        if (const QString bad = count(1, 1); !bad.isEmpty())
            return bad;
        bool ok = false;
        action.number = args.at(0).toUInt(&ok);
        if (!ok || action.number < 20 || action.number > 50)
            return QStringLiteral("strength: \"%1\" is not a percentage from 20 to 50")
                .arg(args.at(0));
        return {};
    }
    if (command == QLatin1String("wifi")) {
        if (args.value(0) == QLatin1String("list")) {
            action.kind = Kind::wifiList;
            return count(1, 1);
        }
        if (args.value(0) == QLatin1String("join")) {
            action.kind = Kind::wifiJoin;
            if (const QString bad = count(2, 2); !bad.isEmpty())
                return bad;
            action.ssid = args.at(1);
            if (action.ssid.isEmpty() || action.ssid.toUtf8().size() > 32)
                return QStringLiteral("wifi join: a network name has 1 to 32 bytes");
            return {};
        }
        return QStringLiteral("wifi: say list or join SSID");
    }
    if (command == QLatin1String("update")) {
        action.kind = Kind::update;
        if (const QString bad = count(1, 1); !bad.isEmpty())
            return bad;
        action.package = QFileInfo(args.at(0)).absoluteFilePath();
        return {};
    }
    return QStringLiteral("unknown command \"%1\"").arg(command);
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption chair(QStringLiteral("chair"), {}, QStringLiteral("NAME|ADDRESS"));
    const QCommandLineOption scanTime(QStringLiteral("scan-time"), {}, QStringLiteral("S"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), {}, QStringLiteral("S"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption verbose(QStringLiteral("verbose"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({chair, scanTime, timeout, json, verbose, help, version});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());

    QStringList positional = parser.positionalArguments();
    const QString command = positional.isEmpty() ? QString() : positional.takeFirst();
    if (parser.isSet(help)) {
        ParsedCommandLine parsed;
        const CommandHelp* known = findCommand(command);
        if (!command.isEmpty() && !known)
            return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
        parsed.output = known ? commandHelp(*known) : globalHelp();
        return parsed;
    }
    if (parser.isSet(version)) {
        ParsedCommandLine parsed;
        parsed.output = QStringLiteral("velnora-ctl " VELNORA_VERSION);
        return parsed;
    }
    if (command.isEmpty())
        return usageError(QStringLiteral("no command given"));

    Action action;
    if (const QString bad = readArguments(action, command, positional); !bad.isEmpty())
        return usageError(bad);
    const bool takesJson =
        action.kind == Action::Kind::status || action.kind == Action::Kind::watch;
    if (parser.isSet(json) && !takesJson)
        return usageError(QStringLiteral("%1 has no --json").arg(command));
    if (parser.isSet(timeout) && action.kind != Action::Kind::scan)
        return usageError(QStringLiteral("%1 has no --timeout").arg(command));
    if (parser.isSet(chair)) {
        if (action.kind == Action::Kind::connect && !action.chair.isEmpty())
            return usageError(QStringLiteral("connect: name the chair once"));
        action.chair = parser.value(chair);
    }
    action.json = parser.isSet(json);
    for (const QCommandLineOption* option : {&scanTime, &timeout}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<double> s = seconds(parser.value(*option));
        if (!s)
            return usageError(QStringLiteral("--%1: \"%2\" is not a number of seconds")
                                  .arg(option->names().constFirst(), parser.value(*option)));
        action.scanTime = std::chrono::milliseconds(qint64(*s * 1000));
    }
    ParsedCommandLine parsed;
    parsed.action = action;
    parsed.verbose = parser.isSet(verbose);
    return parsed;
}
