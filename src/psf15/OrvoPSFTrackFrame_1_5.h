#pragma once

#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFRouteFrame_1_5.h"

// The track section: its header at the start of the track area, then the track segments of
// every route, each route's segments chained by their next words. The header's first u32 is
// the offset of the track records from the header.
class OrvoPSFTrackFrame_1_5 : public OrvoPSFObject
{
public:
    // section runs from the section header to the end of the image.
    explicit OrvoPSFTrackFrame_1_5(std::span<uchar> section);

    qsizetype size() const override;
    // The image from the first track record on; empty when the header does not place it.
    std::span<uchar> records() const;
    // Gives the route the chain of segments its first-segment word starts (none when absent).
    void loadSegmentsOfRoute(OrvoPSFRoute_1_5 &route) const;
    // Packs the segments of the routes, in route order, to the start of the area and points
    // the routes at them; a route without segments keeps "none". False, image unchanged, when
    // the area cannot be rewritten.
    bool rebuild(const OrvoPSFRouteFrame_1_5::Routes &routes, OrvoPSFFlashLayout &layout);
    bool clear(OrvoPSFFlashLayout &layout) override;
};
