// Renders the application icon to the PNG sizes of the desktop icon theme:
//   icon-render ICON.svg NAME OUTPUT_DIR SIZE...
// writes OUTPUT_DIR/SIZExSIZE/apps/NAME.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: icon-render ICON.svg NAME OUTPUT_DIR SIZE...\n");
        return 2;
    }
    const QString svg = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "icon-render: %s is not a readable SVG\n", argv[1]);
        return 1;
    }
    const QString name = QString::fromLocal8Bit(argv[2]) + QStringLiteral(".png");
    const QDir out(QString::fromLocal8Bit(argv[3]));
    for (int i = 4; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "icon-render: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        if (!out.mkpath(dir) || !image.save(out.filePath(dir + QLatin1Char('/') + name))) {
            std::fprintf(stderr, "icon-render: cannot write %s\n", qPrintable(out.filePath(dir)));
            return 1;
        }
    }
    return 0;
}
