#pragma once

#include <QQuickPaintedItem>
#include <QSvgRenderer>
#include <QtQml/qqmlregistration.h>

// One of our SVG drawings painted at the item's size. Drawn straight by the SVG renderer, it
// keeps no image in Qt Quick's shared pixmap cache.
class SvgArtwork : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
public:
    explicit SvgArtwork(QQuickItem* parent = nullptr);

    QString source() const { return source_; }
    void setSource(const QString& source);

    void paint(QPainter* painter) override;

Q_SIGNALS:
    void sourceChanged();

private:
    QString source_;
    QSvgRenderer renderer;
};
