#pragma once

#include "util/ZKGpxInterval.h"

#include <QList>
#include <QString>

// The workout that a ride followed (`wrklog`) and the user's thresholds at that time.
struct ZKGpxWorkoutLog
{
    QString id;
    QString type;
    QString subtype;
    QString lthr;
    QString mhr;
    QString ftp;
    QString map;
    QList<ZKGpxInterval> intervals;

    void appendInterval(const ZKGpxInterval &interval) { intervals.append(interval); }

    bool operator==(const ZKGpxWorkoutLog &) const = default;
};
