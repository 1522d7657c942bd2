#pragma once

#include <QtGlobal>

class OrvoPSFRoute;
class ZKGpx2;

// The GPX parts of a recorded ride of a PSF 1.4 container: one track segment per stored track
// with the positions, times and elevations of its points, the planned route through the
// tracks' ends, and one log segment per sensor log.
class OrvoPSFRideGpx
{
public:
    struct Totals
    {
        // Metres: the great-circle distance of every step, each cut to whole metres, summed.
        quint64 distance = 0;
        // The time of the ride's last point; the ride's start time when it has none.
        quint32 lastTime = 0;
    };

    // Sets document's route, track list and log segments from ride.
    static Totals convert(const OrvoPSFRoute &ride, ZKGpx2 &document);
    // The totals convert() answers, from the ride's values alone: no document is built.
    static Totals totals(const OrvoPSFRoute &ride);
};
