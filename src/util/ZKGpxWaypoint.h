#pragma once

#include <QString>

// One point of interest (`wpt`). isCal is an attribute of the `type` element.
struct ZKGpxWaypoint
{
    QString lat;
    QString lon;
    QString ele;
    QString time;
    QString name;
    QString cmt;
    QString desc;
    QString sym;
    QString type;
    QString isCal;
    QString tel;
    QString ctry;
    QString place;
    QString road;
    QString hnum;

    bool operator==(const ZKGpxWaypoint &) const = default;
};

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxWaypoint, Q_RELOCATABLE_TYPE);
