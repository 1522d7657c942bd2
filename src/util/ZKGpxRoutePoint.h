#pragma once

#include <QString>

// One point of the planned route (`rtept`). Every value is the text of the file, unconverted.
struct ZKGpxRoutePoint
{
    QString lat;
    QString lon;
    QString name;
    QString cmt;
    QString desc;
    QString type;

    bool operator==(const ZKGpxRoutePoint &) const = default;
};
