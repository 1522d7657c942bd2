#pragma once

// What a stored interval aims at (heart rate, power, ...), between low and high; hard is not 0
// when the limits are hard ones. The four values are set together.
struct ZKWorkoutTarget
{
    int type = 0;
    int low = 0;
    int high = 0;
    int hard = 0;

    bool operator==(const ZKWorkoutTarget &) const = default;
};
