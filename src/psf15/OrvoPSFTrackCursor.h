#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "util/ZKGeoPoint.h"

class OrvoPSFTrackSeg_1_5;

// Replays the points of a track segment into absolute positions, altitudes and times. It
// starts at the segment's start values; past the last point it is reset (position (0, 0),
// altitude absent, time 0). The segment must outlive the cursor.
class OrvoPSFTrackCursor
{
public:
    explicit OrvoPSFTrackCursor(const OrvoPSFTrackSeg_1_5 &segment);

    // Applies the next point's deltas; false, with the cursor reset, past the last point.
    bool next();
    int index() const;
    ZKGeoPoint position() const;
    OrvoPSFMeasure altitude() const;
    // UTC seconds.
    qint64 time() const;

private:
    const OrvoPSFTrackSeg_1_5 &m_segment;
    int m_index = -1;
    ZKGeoPoint m_position;
    OrvoPSFMeasure m_altitude;
    qint64 m_time = 0;
};
