#pragma once

#include <QList>
#include <QString>

// The points of a shared route or track that a newer device keeps as a planned-trip log.
// Texts as a GPX document holds them: degrees, metres, km/h, UTC time text, type numbers
// joined by commas; an empty text means absent.
struct ZKPlannedTrip
{
    struct TrackPoint
    {
        QString lat;
        QString lon;
        QString ele;
        QString magvar;
        QString speed;
        QString type;
        QString time;
    };

    struct RoutePoint
    {
        QString lat;
        QString lon;
        QString type;
    };

    QList<QList<TrackPoint>> tracks;
    QList<RoutePoint> route;
};
