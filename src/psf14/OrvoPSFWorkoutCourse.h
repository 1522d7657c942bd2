#pragma once

#include "training/ZKTrncrsWorkout.h"

class OrvoPSFWorkout;

// A workout of a PSF 1.4 container as a workout of the training-course format. Intervals are
// numbered from 1 in their order; a repeat names the number of the interval it goes back to,
// and is left out when that interval is not one of the same workout.
class OrvoPSFWorkoutCourse
{
public:
    static ZKTrncrsWorkout convert(const OrvoPSFWorkout &workout);
    // The workout's time as text; empty when the workout has none (0xFFFFFFFF).
    static QString timeText(const OrvoPSFWorkout &workout);
};
