#pragma once

#include <QString>

// The GPS and training logs of one long Kavel50 ride, a position and a sensor sample a second,
// with a segment break every hour: the input of the ride conversion.
namespace BenchRideLogs {

inline constexpr int kPoints = 1000000;

bool write(const QString &gpsPath, const QString &trainPath);

} // namespace BenchRideLogs
