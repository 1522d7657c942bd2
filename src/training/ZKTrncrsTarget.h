#pragma once

#include <QString>

// What an interval aims at (heart rate, power, ...), between low and high.
struct ZKTrncrsTarget
{
    QString type;
    QString low;
    QString high;
    QString ishardcon;
};
