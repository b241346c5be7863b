#include "AppBus.h"
#include "AppServices.h"
#include "BluetoothManager.h"
#include "ChairBus.h"
#include "ChairNotices.h"
#include "DesktopNotifier.h"
#include "QtBleCentral.h"
#include "RunProbe.h"
#include "ScreenServices.h"
#include "VelnoraDesktopApp.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml>

Q_IMPORT_QML_PLUGIN(Velnora_ScreensPlugin)

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    RunProbe* probe = RunProbe::fromEnvironment(&app);
    QGuiApplication::setOrganizationName(QStringLiteral("Velnora"));
    QGuiApplication::setApplicationName(QStringLiteral("VelnoraDesktop"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Velnora"));
    // Lets the desktop match the window to its launcher and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("app.velnora.VelnoraDesktop"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/velnora/icons/velnora-desktop.svg")));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // One window per user: a second start brings the running one to the front.
    const QDBusConnection session = QDBusConnection::sessionBus();
    if (ChairBus::activateRunning(session))
        return 0;

    AppServices services;
    VelnoraDesktopApp velnora(
        services.settings(),
        [&services] { return services.makeManager(std::make_unique<QtBleCentral>()); },
        [] { QCoreApplication::exit(0); });

    ScreenServices screens(services.mainScheduler(), services.systemClock(), services.settings());
    screens.setPortalBus(session);

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.setInitialProperties({{QStringLiteral("app"), QVariant::fromValue(&velnora)},
                                 {QStringLiteral("services"), QVariant::fromValue(&screens)}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Velnora/Screens/qml/MainWindow.qml")));
    AppBus appBus(velnora, session, [&engine] {
        for (QObject* root : engine.rootObjects()) {
            if (auto* window = qobject_cast<QQuickWindow*>(root)) {
                if (window->visibility() == QWindow::Minimized)
                    window->showNormal();
                else
                    window->show();
                window->raise();
                window->requestActivate();
            }
        }
    });
    // Desktop notices about the window's chair, once there is one (after the terms).
    DesktopNotifier notifier(session);
    std::unique_ptr<ChairNotices> notices;
    const auto watchChair = [&] {
        if (notices || !velnora.termsAccepted())
            return;
        notices = std::make_unique<ChairNotices>(*velnora.bluetooth(), notifier, [] {
            return QGuiApplication::applicationState() == Qt::ApplicationActive;
        });
    };
    QObject::connect(&velnora, &VelnoraDesktopApp::termsAcceptedChanged, &notifier, watchChair);
    watchChair();
    if (probe) {
        for (QObject* root : engine.rootObjects())
            if (auto* window = qobject_cast<QQuickWindow*>(root))
                probe->watch(window);
    }
    return QGuiApplication::exec();
}
