#pragma once

#include "util/ZKGpxTrackPoint.h"

#include <QList>

// The points of the GPX read and write paths: positions, elevations and times, each point a
// second after the one before.
namespace BenchGpxPoints {

inline constexpr int kCount = 100000;

QList<ZKGpxTrackPoint> points(int count = kCount);

} // namespace BenchGpxPoints
