#pragma once

#include "util/ZKGpxRoutePoint.h"

#include <QList>
#include <QString>

// The planned route of a document (`rte`). The file's `number` is read into number; the writer
// writes the point count in its place.
struct ZKGpxRoute
{
    QString name;
    QString cmt;
    QString desc;
    QString src;
    QString number;
    QString type;
    QList<ZKGpxRoutePoint> points;

    void appendPoint(const ZKGpxRoutePoint &point) { points.append(point); }

    bool operator==(const ZKGpxRoute &) const = default;
};
