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

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxRoutePoint, Q_RELOCATABLE_TYPE);
