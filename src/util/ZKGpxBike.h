#pragma once

#include <QString>

// The user's bike in the profile block; text is the character content of `bike` itself.
struct ZKGpxBike
{
    QString name;
    QString weight;
    QString type;
    QString wheel;
    QString text;

    bool isEmpty() const;

    bool operator==(const ZKGpxBike &) const = default;
};
