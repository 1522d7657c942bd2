#pragma once

#include <QString>

// One favourite place as read for display. Positions are micro-degrees; the record time is the
// UTC text "yyyy-MM-ddThh:mm:ssZ".
struct ZKFavoriteRecord
{
    int id = 0;
    QString name;
    QString telephone;
    QString place;
    QString info;
    int longitude = 0;
    int latitude = 0;
    QString country;
    QString recordTime;
    QString roadName;
    QString houseNumber;

    bool operator==(const ZKFavoriteRecord &) const = default;
};
