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

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxLogSegment, Q_RELOCATABLE_TYPE);
