#pragma once

#include "util/ZKGpxLap.h"

class OrvoPSFLap;

// A lap of the PSF 1.4 lap table as a GPX lap or summary: times as UTC texts, speeds in km/h,
// cadences by the ride's activity type (mode, see cadenceText); the order is the caller's.
class OrvoPSFLapGpx
{
public:
    static ZKGpxLap convert(const OrvoPSFLap &lap, int mode);
};
