#pragma once

#include <QString>

// One sensor sample (`logpt`): heart rate, cadence, speed, temperature, power and the rest.
// pwr belongs to the second dialect, pdm and cps to the first, brm to both.
struct ZKGpxLogPoint
{
    QString time;
    QString hrm;
    QString cad;
    QString spd;
    QString tmp;
    QString pwr;
    QString brm;
    QString pdm;
    QString cps;

    bool operator==(const ZKGpxLogPoint &) const = default;
};

// Only texts and lists, which move by their bytes: a growing list reallocates in place instead
// of copying every record.
Q_DECLARE_TYPEINFO(ZKGpxLogPoint, Q_RELOCATABLE_TYPE);
