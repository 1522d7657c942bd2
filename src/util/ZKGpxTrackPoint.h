#pragma once

#include <QString>

// One recorded position of a ride (`trkpt`). The speed comes only from files that carry it; it
// is never written.
struct ZKGpxTrackPoint
{
    QString lat;
    QString lon;
    QString ele;
    QString cmt;
    QString time;
    QString type;
    QString magvar;
    QString speed;

    bool operator==(const ZKGpxTrackPoint &) const = default;
};

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxTrackPoint, Q_RELOCATABLE_TYPE);
