#pragma once

#include "util/ZKGpx2.h"

#include <QString>

#include <memory>

// Documents and files shared by the GPX suites.
namespace ZKGpxTestDocument {

// A ride with every field of every record set to its own recognisable value: two track
// segments, a route of two points, two waypoints, two log segments, two laps with a summary
// and a workout log of two intervals.
std::unique_ptr<ZKGpx2> fullRide();

// A file made of a root of our dialect around the given body.
QByteArray gpxFile(const QByteArray &body, const QByteArray &version = "2.2.0.3", const QByteArray &creator = "tarvex");

} // namespace ZKGpxTestDocument
