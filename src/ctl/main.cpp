// velnora-ctl: the chair from scripts.
#include "CommandLine.h"
#include "CtlOutput.h"
#include "CtlRun.h"
#include "ExitStatus.h"
#include "FirmwarePackage.h"
#include "Interrupts.h"
#include "LocalEndpoint.h"
#include "Password.h"
#include "RemoteEndpoint.h"
#include "Settings.h"
#include "VelnoraDesktopApp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <memory>

namespace {

// The package is read here first, so that a missing or broken one never reaches the chair.
std::optional<QHash<QString, qint64>> imageSizes(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists()) {
        Out::error(QStringLiteral("%1: no such file").arg(path));
        return std::nullopt;
    }
    if (!file.isFile() || !file.isReadable()) {
        Out::error(QStringLiteral("%1: not a readable file").arg(path));
        return std::nullopt;
    }
    const FirmwarePackage::ReadResult package = FirmwarePackage::read(path);
    if (!package.error.isEmpty()) {
        Out::error(QStringLiteral("%1: %2").arg(path, package.error));
        return std::nullopt;
    }
    if (package.images.isEmpty()) {
        Out::error(QStringLiteral("%1: %2").arg(path, FirmwarePackage::noFirmwareMessage));
        return std::nullopt;
    }
    QHash<QString, qint64> sizes;
    for (const FirmwarePackage::FirmwareImage& image : package.images)
        sizes.insert(FirmwarePackage::cpuLabel(image.target), image.bytes.size());
    return sizes;
}

// Runs the command on the program's chair or a link of its own, until it has finished.
int runAction(const Action& action, const CtlRun::Inputs& inputs, Interrupts& interrupts)
{
    std::unique_ptr<ChairEndpoint> chair;
    if (RemoteEndpoint::isAvailable())
        chair = std::make_unique<RemoteEndpoint>();
    else
        chair = std::make_unique<LocalEndpoint>();

    CtlRun run(*chair, action, inputs);
    QObject::connect(&run, &CtlRun::finished, QCoreApplication::instance(),
                     [](int status) { QCoreApplication::exit(status); });
    QObject::connect(&interrupts, &Interrupts::interrupted, &run, &CtlRun::interrupt);
    // Started from the event loop, so that an early end can leave it.
    QTimer::singleShot(0, &run, [&run, &chair] {
        chair->open([&run](const ControlOutcome& outcome) {
            if (outcome) {
                Out::error(outcome->message);
                QCoreApplication::exit(ExitStatus::forError(outcome->name));
                return;
            }
            run.start();
        });
    });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velnora-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELNORA_VERSION));

    const ParsedCommandLine parsed = parseCommandLine(QCoreApplication::arguments());
    Out::init(parsed.verbose);
    if (!parsed.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("qt.bluetooth*=false"));
    if (!parsed.error.isEmpty())
        Out::error(parsed.error);
    if (!parsed.output.isEmpty())
        Out::partial(parsed.output.endsWith(QLatin1Char('\n')) ? parsed.output
                                                               : parsed.output + QLatin1Char('\n'));
    if (!parsed.action)
        return parsed.exitStatus;
    const Action& action = *parsed.action;

    CtlRun::Inputs inputs;
    if (action.kind == Action::Kind::update) {
        const auto sizes = imageSizes(action.package);
        if (!sizes)
            return ExitStatus::failure;
        inputs.imageSizes = *sizes;
    }

    // The user agreed to the terms in the program; until then nothing talks to a chair.
    if (!VelnoraDesktopApp::termsAcceptedIn(Settings())) {
        Out::error(QStringLiteral("The terms of use must be accepted in the VelnoraDesktop app "
                                  "first: start VelnoraDesktop once and accept them."));
        return ExitStatus::failure;
    }

    Interrupts interrupts;
    if (action.kind == Action::Kind::wifiJoin) {
        const std::optional<QString> password = readWifiPassword(action.ssid);
        if (!password) {
            Out::error(Interrupts::arrived() ? QStringLiteral("interrupted")
                                             : QStringLiteral("no WiFi password given"));
            return ExitStatus::failure;
        }
        inputs.wifiPassword = *password;
    }

    const int status = runAction(action, inputs, interrupts);
    // The link posts the chair's objects for deletion as it lets go; delete them before the end.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
