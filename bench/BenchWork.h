#pragma once

#include <QString>
#include <QtGlobal>

// The measured work of one path, run in a process of its own so that its peak memory is its
// own. Each answers the nanoseconds of the work alone (inputs made beforehand are not
// counted), or -1 when the work failed.
namespace BenchWork {

// Parses the PSF 1.4 image file and exports every ride into folder; parseNs gets the parse's
// share.
qint64 exportRides(const QString &imagePath, const QString &folder, qint64 &parseNs);
// Exports every ride of the Kavel50 drive at driveRoot into folder, as the device action does
// (the client's set-up is not counted). The program's own folders go next to the drive.
qint64 exportKavel50Rides(const QString &driveRoot, const QString &folder);
// Lists the activity files of the GAL device folder at root through the device's own path,
// the library home set and every file named by its index; -1 unless expected files are named.
qint64 listGalActivities(const QString &root, int expected);
// Reads a GPX file into a document with the GPX reader.
qint64 readGpx(const QString &path);
// Token scan of a GPX file with a bare QXmlStreamReader: the floor of reading.
qint64 scanGpx(const QString &path);
// Writes the bench points as one track with the GPX writer.
qint64 writeGpx(const QString &path);
// Streams the same points with a bare QXmlStreamWriter: the floor of writing.
qint64 streamGpx(const QString &path);
// Converts a stored ride's GPS and training logs into a GPX file with the track data provider.
qint64 convertRide(const QString &gpsLog, const QString &trainLog, const QString &gpxPath);
// Imports into an empty emulated Kavel40 a planned route of 32,767 points whose every step
// climbs 20 m, so that smoothing makes it the 65,533 points a segment holds.
qint64 importRoute15();

} // namespace BenchWork
