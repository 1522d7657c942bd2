#pragma once

#include "training/ZKTrncrsDuration.h"
#include "training/ZKTrncrsTarget.h"

#include <QString>

#include <optional>

// One step of a workout, with an optional target and duration and a jump back ("goto")
// repeated a number of times.
struct ZKTrncrsInterval
{
    QString id;
    QString needLap;
    QString name;
    QString gotoText;
    QString gotoRepeat;
    QString logreso;
    std::optional<ZKTrncrsTarget> target;
    std::optional<ZKTrncrsDuration> duration;
};
