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
