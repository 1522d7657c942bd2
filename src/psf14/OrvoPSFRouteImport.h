#pragma once

#include <QtGlobal>

class OrvoPSFTrack;
struct ZKGpxRoutePoint;
struct ZKGpxTrack;

// Builds the tracks of a planned route of a PSF 1.4 container from GPX track segments.
class OrvoPSFRouteImport
{
public:
    // The smallest number of points a segment needs to become a track.
    static constexpr qsizetype kMinPoints = 2;

    // A new track of route points from segment's points, whose positions and elevations are
    // read exactly from their decimal texts. start and end are the route points at the track's
    // ends (null when missing); their types set the track's flags. A step too long for a
    // point's 16-bit coordinate changes or too steep for its 8-bit altitude change is halved
    // until every step fits. id becomes the track's start time. Null, with a warning, when the
    // segment has fewer than kMinPoints points, when a position is no number, or when the
    // track would need more than maxPoints points.
    static OrvoPSFTrack *build(const ZKGpxTrack &segment, const ZKGpxRoutePoint *start, const ZKGpxRoutePoint *end,
                               quint32 id, qsizetype maxPoints);
};
