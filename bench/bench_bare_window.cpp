// A bare Qt Quick Controls window built with the same Qt and options as the program, measured
// the same way (see RunProbe), so that start-up figures of the program have a baseline.
#include "RunProbe.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    RunProbe* probe = RunProbe::fromEnvironment(&app);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/bench/bare_window.qml")));
    if (probe) {
        for (QObject* root : engine.rootObjects())
            if (auto* window = qobject_cast<QQuickWindow*>(root))
                probe->watch(window);
    }
    return engine.rootObjects().isEmpty() ? 1 : QGuiApplication::exec();
}
