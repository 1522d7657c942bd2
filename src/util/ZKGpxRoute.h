#pragma once

#include "util/ZKGpxRoutePoint.h"

#include <QList>
#include <QString>

#include <utility>

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

    // Taken by value: a point built for the list moves in without touching its texts.
    void appendPoint(ZKGpxRoutePoint point) { points.append(std::move(point)); }

    bool operator==(const ZKGpxRoute &) const = default;
};
