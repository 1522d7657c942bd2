#pragma once

#include "util/ZKGpxTrack.h"

#include <QList>

// The segments of a ride, written as one `trk`. The current track, the one that receives new
// points while a file is read, is the last one appended.
struct ZKGpxTrackList
{
    QList<ZKGpxTrack> tracks;

    void append(const ZKGpxTrack &track) { tracks.append(track); }
    ZKGpxTrack *current() { return tracks.isEmpty() ? nullptr : &tracks.last(); }

    bool operator==(const ZKGpxTrackList &) const = default;
};
