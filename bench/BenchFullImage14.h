#pragma once

#include "PsfImage14Builder.h"

// The content of a full 1 MiB PSF 1.4 image of the first model: 30 rides of two tracks and two
// sensor logs each, with a summary and a lap, filling the track and sensor-log areas
// (85,020 track points, 62,880 sensor points).
namespace BenchFullImage14 {

inline constexpr int kRides = 30;
inline constexpr int kTrackPointsPerTrack = 1417;
inline constexpr int kSensorPointsPerLog = 1048;

PsfImage14Builder::Content content();

} // namespace BenchFullImage14
