#pragma once

#include <QString>

// One interval of the workout log (`interval`).
struct ZKGpxInterval
{
    QString order;
    QString start;
    QString end;

    bool operator==(const ZKGpxInterval &) const = default;
};
