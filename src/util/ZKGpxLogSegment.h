#pragma once

#include "util/ZKGpxLogPoint.h"

#include <QList>
#include <QString>

// One run of sensor samples (`logseg`) between two breaks.
struct ZKGpxLogSegment
{
    QList<ZKGpxLogPoint> points;
    QString breaktype;

    bool operator==(const ZKGpxLogSegment &) const = default;
};
