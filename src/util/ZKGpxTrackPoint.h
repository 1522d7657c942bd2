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
