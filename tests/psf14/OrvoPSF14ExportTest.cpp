#include "env/OrvoTimeText.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRideGpx.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "Psf14TestDevice.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using PsfImage14Builder::Content;
using PsfImage14Builder::Lap;
using PsfImage14Builder::Point;
using PsfImage14Builder::Route;
using PsfImage14Builder::Track;

constexpr quint32 kStart = 1700000000;

// A ride made for the conversions: steps of 3.9 m and 4.9 m (trvDist 7, not 8), altitude
// changes summing to -0.7 m and then 2.5 m, a sensor log with every channel, a last track
// without start position or points, and laps that end at the last entry of the lap table.
Content rideContent()
{
    Track first;
    first.startTime = kStart;
    first.startLongitude = 2000000;
    first.startLatitude = 1000000;
    first.startAltitude = 4400;
    first.secondsPerTick = 3;
    first.points = {Point{0, 35, -7, 2}, Point{0, 44, 32, 1}};
    first.sensorLogs = {
        {kStart, 5, 0x3F, {QByteArray("\x50\x40\x96\xFF\xFF\xF1\xFF\x19\x00", 9), QByteArray(9, '\xFF')}}};
    Track last;
    last.startTime = kStart + 100;
    last.startLongitude = -1;
    last.startLatitude = -1;
    Route ride{kStart - 1, "My Ride: 1/2", 0x01, 0x21, 0, 2047 * 32, 2046 * 32, 2, {first, last}};

    Track plain = first;
    plain.sensorLogs.clear();
    Route other{kStart + 1000, "Other", 0x01, 0x02, 0, 0, 0xFFFFFFFF, 0xFF, {plain}};

    const Lap lap{kStart, kStart + 9, 7, {80, 120, 140, 175, 64, 70}, {200, 450, 12, 3, 99}, 9};
    Content content;
    content.routes = {ride, other};
    content.laps = {{0, lap}, {2046, lap}, {2047, lap}};
    return content;
}

ZKGpx2 readGpx(const QString &path)
{
    ZKGpx2 document;
    ZKGpxReader reader(document);
    EXPECT_TRUE(reader.readFile(path)) << path.toStdString();
    EXPECT_EQ(reader.majorVersion(), 2);
    return document;
}

QStringList trkpts(const ZKGpxTrack &track)
{
    QStringList points;
    for (const ZKGpxTrackPoint &p : track.points)
        points << p.lat + ' ' + p.lon + ' ' + p.ele + ' ' + p.time;
    return points;
}

void expectWellFormed(const QString &folder, const QStringList &files)
{
    for (const QString &file : files)
        EXPECT_TRUE(isWellFormedXml(QDir(folder).filePath(file))) << file.toStdString();
}

TEST(OrvoPSF14ExportTest, ARideCarriesItsPositionsSensorLogsLapsAndTotals)
{
    Psf14TestDevice device(rideContent());
    OrvoTest::OutputDir dir;
    const QStringList files = device.psf().trackToXML(dir.path(), testExportDevice());
    ASSERT_EQ(files, QStringList({"MyRide120.gpx", "Other0.gpx"}));
    expectWellFormed(dir.path(), files);
    const ZKGpx2 ride = readGpx(dir.filePath(files.first()));

    ASSERT_TRUE(ride.metadata);
    const ZKGpxMetadata &metadata = *ride.metadata;
    EXPECT_EQ(metadata.name, "My Ride: 1/2");
    EXPECT_EQ(metadata.desc, "Kavel35");
    EXPECT_EQ(metadata.sys, "Kavel35");
    EXPECT_EQ(metadata.sysVersion, "1.0.0.3.1.4 Orvo2.8.0.20");
    EXPECT_EQ(metadata.sharetype, "2");
    EXPECT_EQ(metadata.acttype, "1");
    EXPECT_EQ(metadata.acttypeSubtype, "2");
    EXPECT_EQ(metadata.stime, psfTimeText(kStart));
    EXPECT_EQ(metadata.etime, psfTimeText(kStart + 9));
    EXPECT_EQ(metadata.trvtime, "10");
    EXPECT_EQ(metadata.trvdist, "7") << "each step counts its whole metres";
    const QByteArray text = OrvoTest::readFile(dir.filePath(files.first()));
    EXPECT_TRUE(text.contains("<weight>65.00</weight>"));
    EXPECT_TRUE(text.contains("<height>180.00</height>"));

    ASSERT_TRUE(ride.trackList);
    ASSERT_EQ(ride.trackList->tracks.size(), 2);
    EXPECT_EQ(trkpts(ride.trackList->tracks.first()),
              QStringList({"1.000000 2.000000 100.00 " + psfTimeText(kStart),
                           "1.000035 2.000000 100.00 " + psfTimeText(kStart + 6),
                           "1.000079 2.000000 102.00 " + psfTimeText(kStart + 9)}));
    EXPECT_TRUE(ride.trackList->tracks.last().points.isEmpty());
    // The first track's start; the last track, without a start, adds where the ride ended up.
    ASSERT_TRUE(ride.route);
    ASSERT_EQ(ride.route->points.size(), 2);
    EXPECT_EQ(ride.route->points.first().lat, "1.000000");
    EXPECT_EQ(ride.route->points.last().lat, "0.000000");
    EXPECT_EQ(ride.route->points.last().lon, "0.000000");

    ASSERT_TRUE(ride.logSegments);
    ASSERT_EQ(ride.logSegments->items.size(), 1);
    const QList<ZKGpxLogPoint> &samples = ride.logSegments->items.first().points;
    ASSERT_EQ(samples.size(), 2);
    EXPECT_EQ(samples.first(), (ZKGpxLogPoint{psfTimeText(kStart), "150", "60.00", "36.00", "-1.0", "", "50", "", ""}));
    EXPECT_EQ(samples.last(), (ZKGpxLogPoint{psfTimeText(kStart + 5), "", "", "", "", "", "", "", ""}));

    ASSERT_TRUE(ride.laps);
    ASSERT_EQ(ride.laps->items.size(), 2) << "laps ending at the table's last entry are exported";
    EXPECT_EQ(ride.laps->items.last().order, "2");
    ASSERT_TRUE(ride.laps->summary);
    for (const ZKGpxLap &lap : ride.laps->items + QList<ZKGpxLap>{*ride.laps->summary}) {
        EXPECT_EQ(lap.speedAvg, "36.00");
        EXPECT_EQ(lap.cadAvg, "60.00");
        EXPECT_EQ(lap.distance, "7");
        EXPECT_EQ(lap.altgain, "12");
    }
    EXPECT_FALSE(ride.workoutLog);

    // Another activity type keeps its cadence codes as they are.
    const ZKGpx2 other = readGpx(dir.filePath(files.last()));
    ASSERT_TRUE(other.laps && other.laps->summary);
    EXPECT_EQ(other.laps->summary->cadAvg, "64");
    EXPECT_TRUE(other.laps->items.isEmpty());
}

// The listing takes a ride's end and length from its values: they must be the export's.
TEST(OrvoPSF14ExportTest, RideTotalsFromTheValuesAreTheExportsTotals)
{
    for (const Content &content : {rideContent(), PsfImage14Builder::sampleContent()}) {
        Psf14TestDevice device(content);
        int rides = 0;
        for (const OrvoPSFRoute *route : device.psf().routeFrame()->routes()) {
            SCOPED_TRACE(rides);
            if (!route->isTrack())
                continue;
            ++rides;
            ZKGpx2 document;
            const OrvoPSFRideGpx::Totals exported = OrvoPSFRideGpx::convert(*route, document);
            const OrvoPSFRideGpx::Totals listed = OrvoPSFRideGpx::totals(*route);
            EXPECT_EQ(listed.distance, exported.distance);
            EXPECT_EQ(listed.lastTime, exported.lastTime);
            EXPECT_GT(listed.distance, 0u);
        }
        EXPECT_EQ(rides, 2);
    }
}

TEST(OrvoPSF14ExportTest, MarkedItemsWaitForFlag2AndTakeTheNextFreeName)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent());
    OrvoPSF &psf = device.psf();
    OrvoTest::OutputDir dir;
    const QStringList first = psf.toXML(dir.path(), testExportDevice());
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first.mid(0, 2), QStringList({"Morningride0.gpx", "Tempo0.wrk"}));
    expectWellFormed(dir.path(), first);
    EXPECT_TRUE(psf.toXML(dir.path(), testExportDevice()).isEmpty());

    psf.setFlag2(1);
    const QStringList again = psf.toXML(dir.path(), testExportDevice());
    EXPECT_EQ(again.mid(0, 4), QStringList({"Morningride1.gpx", "Eveningride0.gpx", "Intervals0.wrk", "Tempo1.wrk"}));
    EXPECT_EQ(again.size(), 7);
    for (const QString &file : first + again)
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(file))) << file.toStdString();
}

TEST(OrvoPSF14ExportTest, OnlyFilesActuallyWrittenAreListedAndMarked)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent());
    OrvoTest::OutputDir dir;
    OrvoMessageCapture capture;
    EXPECT_TRUE(device.psf().toXML(dir.filePath("missing/folder"), testExportDevice()).isEmpty());
    EXPECT_TRUE(capture.contains(QtWarningMsg, "cannot write"));
    // Nothing was marked: the same items go out once the folder is there.
    EXPECT_EQ(device.psf().toXML(dir.path(), testExportDevice()).size(), 4);
}

TEST(OrvoPSF14ExportTest, WhenEveryCounterIsTakenNothingIsReplacedOrMarked)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent());
    OrvoTest::OutputDir dir;
    for (int counter = 0; counter <= 98; ++counter)
        ASSERT_TRUE(OrvoTest::writeFile(dir.filePath(QStringLiteral("Morningride%1.gpx").arg(counter)), "taken"));
    EXPECT_EQ(device.psf().trackToXML(dir.path(), testExportDevice()), QStringList({"Morningride99.gpx"}))
        << "the last counter is a name like the others";
    EXPECT_TRUE(isWellFormedXml(dir.filePath("Morningride99.gpx")));

    // A second ride of the name finds every counter taken: it keeps its file unwritten and its
    // mark unset, and the log says why.
    Psf14TestDevice again(PsfImage14Builder::sampleContent());
    const QByteArray first = OrvoTest::readFile(dir.filePath("Morningride99.gpx"));
    {
        OrvoMessageCapture capture;
        EXPECT_TRUE(again.psf().trackToXML(dir.path(), testExportDevice()).isEmpty());
        EXPECT_TRUE(capture.contains(QtWarningMsg, "no free name left"));
    }
    EXPECT_EQ(OrvoTest::readFile(dir.filePath("Morningride99.gpx")), first);
    EXPECT_EQ(OrvoTest::readFile(dir.filePath("Morningride98.gpx")), "taken");

    ASSERT_TRUE(QFile::remove(dir.filePath("Morningride42.gpx")));
    EXPECT_EQ(again.psf().trackToXML(dir.path(), testExportDevice()), QStringList({"Morningride42.gpx"}));
}

TEST(OrvoPSF14ExportTest, NamesWithoutTextAreExportedAsNoNameAndNeverAsTheirBytes)
{
    // Bytes that are no text: control characters XML cannot hold, then a run of pixels.
    const QByteArray bitmap = QByteArray("\x7E\x01\x1F\x81\xFF", 5).leftJustified(128, '\x55');
    Content content = PsfImage14Builder::sampleContent();
    content.routes[0].kind |= 0x02;
    content.routes[0].name = bitmap;
    content.routes[1].name = QByteArray("Eve\x01ning\x1F", 10);
    content.workouts[1].kind |= 0x20;
    content.workouts[1].name = bitmap;
    content.pois[0].flags |= 0x01;
    content.pois[0].name = bitmap;
    Psf14TestDevice device(content);
    device.psf().setFlag2(1);
    OrvoTest::OutputDir dir;
    const QStringList files = device.psf().toXML(dir.path(), testExportDevice());
    ASSERT_EQ(files.size(), 7);
    EXPECT_EQ(files.mid(0, 4), QStringList({"noname0.gpx", "Evening0.gpx", "Intervals0.wrk", "noname0.wrk"}));
    expectWellFormed(dir.path(), files);
    EXPECT_EQ(readGpx(dir.filePath("noname0.gpx")).metadata->name, "no name");
    EXPECT_EQ(readGpx(dir.filePath(files.at(4))).waypoints.first().name, "no name");

    ZKTrncrs workout;
    ZKTrncrsReader reader(&workout);
    ASSERT_TRUE(reader.readFile(dir.filePath("noname0.wrk")));
    EXPECT_EQ(workout.metadata()->name, "no name");
    EXPECT_EQ(workout.workouts().first().name, "no name");
}

TEST(OrvoPSF14ExportTest, WorkoutFilesHoldTheWorkoutWithUnsignedDurationsAndRepeatsByInterval)
{
    Content content = PsfImage14Builder::sampleContent();
    content.workouts[1].intervals[1].repeatTarget = 60;
    Psf14TestDevice device(content);
    device.psf().setFlag2(1);
    OrvoTest::OutputDir dir;
    ASSERT_EQ(device.psf().workoutsToFile(dir.path(), testExportDevice()),
              QStringList({"Intervals0.wrk", "Tempo0.wrk"}));
    expectWellFormed(dir.path(), {"Intervals0.wrk", "Tempo0.wrk"});

    ZKTrncrs intervals;
    ASSERT_TRUE(ZKTrncrsReader(&intervals).readFile(dir.filePath("Intervals0.wrk")));
    ASSERT_TRUE(intervals.metadata());
    EXPECT_EQ(intervals.metadata()->name, "Intervals");
    EXPECT_EQ(intervals.metadata()->desc, "Sample");
    EXPECT_EQ(intervals.metadata()->author, "Tarvex");
    EXPECT_EQ(intervals.metadata()->sys, "Kavel35");
    EXPECT_EQ(intervals.metadata()->time, psfTimeText(1700100000));
    ASSERT_EQ(intervals.workouts().size(), 1);
    const ZKTrncrsWorkout &w = intervals.workouts().first();
    EXPECT_EQ(QStringList({w.id, w.acttype, w.daily, w.repeat, w.type, w.time}),
              QStringList({"7", "2", "1", "3", "1", psfTimeText(1700100000)}));
    ASSERT_EQ(w.intervals.size(), 3);
    EXPECT_EQ(QStringList({w.intervals.at(1).id, w.intervals.at(1).name, w.intervals.at(1).target->type,
                           w.intervals.at(1).target->low, w.intervals.at(1).target->high,
                           w.intervals.at(1).duration->type, w.intervals.at(1).duration->value}),
              QStringList({"2", "Work", "3", "150", "170", "2", "5000"}));
    EXPECT_TRUE(w.intervals.at(1).gotoText.isEmpty());

    ZKTrncrs tempo;
    ASSERT_TRUE(ZKTrncrsReader(&tempo).readFile(dir.filePath("Tempo0.wrk")));
    EXPECT_TRUE(tempo.metadata()->time.isEmpty()) << "a workout without time has none";
    const ZKTrncrsWorkout &t = tempo.workouts().first();
    EXPECT_TRUE(t.time.isEmpty());
    ASSERT_EQ(t.intervals.size(), 2);
    EXPECT_EQ(t.intervals.at(1).name, "Walk");
    EXPECT_EQ(t.intervals.at(1).duration->value, "40000");
    EXPECT_EQ(t.intervals.at(1).gotoText, "1") << "the repeat names the interval it goes back to";
    EXPECT_EQ(t.intervals.at(1).gotoRepeat, "4");
}

TEST(OrvoPSF14ExportTest, PoiFilesAreNamedByTheClockAndHoldOneWaypoint)
{
    Content content = PsfImage14Builder::sampleContent();
    content.pois[2].latitude = -1;
    Psf14TestDevice device(content);
    OrvoTest::OutputDir dir;
    const QStringList files = device.psf().poisToGpx(dir.path(), testExportDevice());
    // The second POI is marked as exported already.
    ASSERT_EQ(files, QStringList({"17000000000.gpx", "17000000001.gpx"}));
    expectWellFormed(dir.path(), files);
    const ZKGpx2 home = readGpx(dir.filePath(files.first()));
    ASSERT_TRUE(home.metadata);
    EXPECT_EQ(QStringList({home.metadata->name, home.metadata->sharetype, home.metadata->acttype,
                           home.metadata->acttypeSubtype, home.metadata->sys, home.metadata->authorName}),
              QStringList({"Home", "0", "2", "1", "Kavel35", "Tarvex"}));
    ASSERT_EQ(home.waypoints.size(), 1);
    EXPECT_EQ(home.waypoints.first().lat, "35.681236");
    EXPECT_EQ(home.waypoints.first().lon, "139.767125");
    EXPECT_EQ(home.waypoints.first().name, "Home");
    EXPECT_EQ(QStringList({home.metadata->minlat, home.metadata->maxlat, home.metadata->minlon, home.metadata->maxlon}),
              QStringList({"35.681236", "35.681236", "139.767125", "139.767125"}))
        << "the bounds hold the one point the file has";
    EXPECT_EQ(readGpx(dir.filePath(files.last())).waypoints.first().lat, "0.000000");
    EXPECT_TRUE(device.psf().poiFrame()->pois().at(2)->poiFlag2());
}

} // namespace
