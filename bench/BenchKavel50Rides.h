#pragma once

#include <QString>

// A Kavel50 drive holding many rides, each with a GPS log of kPointsPerRide positions one second
// apart, a training log of as many samples and the sample ride's side files; ride i starts an
// hour after ride i - 1.
namespace BenchKavel50Rides {

inline constexpr int kPointsPerRide = 1000;

bool writeDrive(const QString &root, int rides);

} // namespace BenchKavel50Rides
