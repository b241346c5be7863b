#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// Outlines of our own artwork (the tab bar's chair, the small chair pictogram, the sleeping
// chair) as SVG path data for QML Shapes.
namespace ArtworkPaths {

// A rounded rectangle with continuous corners: each corner eases out of the straight edge
// instead of meeting it in a circular arc, as the chair's pictograms are drawn. The corner
// sizes are capped at half the width (rx) and half the height (ry); 0 gives a plain rectangle.
// A rectangle with no area gives no path.
QString continuousRoundedRect(double x, double y, double width, double height, double rx,
                              double ry);

} // namespace ArtworkPaths

class Artwork : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    Q_INVOKABLE QString continuousRoundedRect(double x, double y, double width, double height,
                                              double rx, double ry) const
    {
        return ArtworkPaths::continuousRoundedRect(x, y, width, height, rx, ry);
    }
    Q_INVOKABLE QString continuousRoundedRect(double x, double y, double width, double height,
                                              double radius) const
    {
        return ArtworkPaths::continuousRoundedRect(x, y, width, height, radius, radius);
    }
};
