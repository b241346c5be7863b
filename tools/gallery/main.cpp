// Renders every screen of the window in its states to PNG files, offscreen:
//   gallery OUTPUT_DIR
#include "Gallery.h"
#include "QmlHarness.h"

#include <QDir>
#include <QGuiApplication>
#include <QQuickStyle>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery"));
    QDir().mkpath(out.path());
    const int failures = Gallery::forEachShot([&](const QString& name, QmlHarness& ui, auto&) {
        const QString path = out.filePath(name + QStringLiteral(".png"));
        if (!ui.window().grabWindow().save(path)) {
            std::fprintf(stderr, "%s: cannot write %s\n", qPrintable(name), qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    });
    return failures == 0 ? 0 : 1;
}
