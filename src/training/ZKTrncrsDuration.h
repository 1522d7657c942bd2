#pragma once

#include <QString>

// How long an interval lasts: a time, a distance, a track segment range or a place.
struct ZKTrncrsDuration
{
    QString type;
    QString value;
    QString ismanual;
    QString segidxStart;
    QString segidxEnd;
    QString locationLat;
    QString locationLon;
};
