#pragma once

#include "util/ZKGpxTrackPoint.h"

#include <QList>
#include <QString>

#include <utility>

// One segment of a ride (`trkseg`) with the texts of its extensions: the interval segment it
// belongs to (`itvSeg` start and end), its order, its activity type with subtype and its break
// type.
struct ZKGpxTrack
{
    QString itvSegStart;
    QString itvSegEnd;
    QString order;
    QString acttype;
    QString acttypeSubtype;
    QString breaktype;
    QList<ZKGpxTrackPoint> points;

    // Taken by value: a point built for the list moves in without touching its texts.
    void appendPoint(ZKGpxTrackPoint point) { points.append(std::move(point)); }

    bool operator==(const ZKGpxTrack &) const = default;
};

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxTrack, Q_RELOCATABLE_TYPE);
