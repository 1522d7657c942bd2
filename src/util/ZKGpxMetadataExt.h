#pragma once

#include "util/ZKGpxBike.h"
#include "util/ZKGpxZoneDef.h"

#include <QList>
#include <QString>

// The user's profile (`user` in the metadata extensions). It is written, never read back: the
// reader drops the `user` block.
struct ZKGpxMetadataExt
{
    QString name;
    QString gender;
    QString weight;
    QString age;
    QString height;
    QString mhr;
    QString lthr;
    QString map;
    QString ftp;
    QString longdist;
    QString sprint;
    QString racetime;
    QString racedist;
    ZKGpxBike bike;
    QList<ZKGpxZoneDef> zoneDefs;

    bool operator==(const ZKGpxMetadataExt &) const = default;
};
