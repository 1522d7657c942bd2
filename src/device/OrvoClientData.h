#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

// One item stored on a device (a point of interest, a route, a ride or a workout) as the device
// classes list it for the web application. A plain value: copies carry every field.
struct OrvoClientData
{
    enum Kind { KindPoi = 0, KindRoute = 1, KindRide = 2, KindWorkout = 3 };

    int id = 0;
    QString name;
    // The name rendered from the device's bit-font text; null where the device keeps plain text.
    QImage nameImage;
    QString description;
    // Left empty by the listings; the web application may set it.
    QString type;
    int longitude = 0;
    int latitude = 0;
    QString extraText;
    QString place;
    int activityType = 0;
    QDateTime startTime;
    QDateTime endTime;
    QDateTime thirdTime;
    int totalLength = 0;
    QDateTime fourthTime;
    QString startPlace;
    QString endPlace;
    int kind = KindPoi;
    int workoutType = 0;
    int subType = 0;
    int itemId = 0;
    bool uploaded = false;
};
