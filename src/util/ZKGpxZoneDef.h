#pragma once

#include <QList>
#include <QString>

// One set of training zones (`zonedef`): zone i (from 1) runs from low[i - 1] to high[i - 1].
struct ZKGpxZoneDef
{
    QString type;
    QList<qint32> low;
    QList<qint32> high;

    // Zones that have both bounds; a shorter high list ends the zones early.
    qsizetype zoneCount() const { return qMin(low.size(), high.size()); }

    bool operator==(const ZKGpxZoneDef &) const = default;
};
