#include "SvgArtwork.h"

#include <QPainter>

SvgArtwork::SvgArtwork(QQuickItem* parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void SvgArtwork::setSource(const QString& source)
{
    if (source == source_)
        return;
    source_ = source;
    // A resource path (":/…"); a drawing that does not load leaves the item empty.
    renderer.load(source);
    update();
    Q_EMIT sourceChanged();
}

void SvgArtwork::paint(QPainter* painter)
{
    if (renderer.isValid())
        renderer.render(painter, boundingRect());
}
