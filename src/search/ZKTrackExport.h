#pragma once

#include <QString>
#include <QtGlobal>

// Flags of the ride export. Bit 0 belongs to the caller (it compresses the share file).
inline constexpr int kZKExportNeedsTrainLog = 0x2;
inline constexpr int kZKExportThinLargeRides = 0x4;

// Writes the stored ride whose idRoute is trackId as "<yyyyMMddhhmmss of its CreateTime>.gpx"
// in the export folder, or the trace-log data folder when there is none, and answers the path;
// empty on any failure. uploaded follows the ride's row as soon as the row is read.
QString exportTrackGpx(qint64 trackId, bool &uploaded, int flags);
