#include "OrvoTestSupport.h"
#include "ZKGpxTestDocument.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKGpxWriter.h"

#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamWriter>

#include <gtest/gtest.h>

namespace {

class NoCourse
{
public:
    void writeWorkouts(QXmlStreamWriter &writer)
    {
        writer.writeTextElement(QStringLiteral("wrk"), QStringLiteral("w"));
    }
};

// The full ride plus values that the dialect carries one way only.
std::unique_ptr<ZKGpx2> rideToWrite()
{
    std::unique_ptr<ZKGpx2> doc = ZKGpxTestDocument::fullRide();
    doc->metadata->profileFile = QStringLiteral("/nonexistent/profile.xml");
    doc->trainingLog.emplace();
    doc->trainingLog->append({QStringLiteral("t"), QStringLiteral("1"), QString(), QString(), QString(), QString(),
                              QString(), QStringLiteral("7"), QStringLiteral("8")});
    doc->logSegments->items[0].points[0].pdm = QStringLiteral("3");
    doc->logSegments->items[0].points[0].cps = QStringLiteral("4");
    doc->attachTrainingCourse(std::make_unique<NoCourse>());
    return doc;
}

// What a reader gives back from the file written for rideToWrite(): everything, except what
// the dialect drops by design.
std::unique_ptr<ZKGpx2> rideAsRead()
{
    std::unique_ptr<ZKGpx2> doc = ZKGpxTestDocument::fullRide();
    doc->setVersion(2);
    ZKGpxMetadata &m = *doc->metadata;
    // The short name is never written; the user's profile is written for devices and the web
    // application and dropped on reading; the device texts and the profile file's path stay
    // in memory; rtetype belongs to the first dialect.
    m.shtname.clear();
    m.user = ZKGpxMetadataExt();
    m.deviceText1.clear();
    m.deviceText2.clear();
    m.deviceText3.clear();
    m.rtetype.clear();
    // The writer writes the point count in place of the route's number.
    doc->route->number = QString::number(doc->route->points.size());
    // Break types are written and skipped on reading; a track point's speed is never written.
    for (ZKGpxTrack &track : doc->trackList->tracks) {
        track.breaktype.clear();
        for (ZKGpxTrackPoint &point : track.points)
            point.speed.clear();
    }
    for (ZKGpxLogSegment &segment : doc->logSegments->items)
        segment.breaktype.clear();
    // Also lost: the first dialect's training log and its pdm and cps values (never written by
    // the second dialect), and the training course's workouts (skipped on reading).
    return doc;
}

void expectSameDocument(const ZKGpx2 &actual, const ZKGpx2 &expected)
{
    EXPECT_EQ(actual.majorVersion(), expected.majorVersion());
    EXPECT_EQ(actual.metadata, expected.metadata);
    EXPECT_EQ(actual.route, expected.route);
    EXPECT_EQ(actual.trackList, expected.trackList);
    EXPECT_EQ(actual.waypoints, expected.waypoints);
    EXPECT_EQ(actual.trainingLog, expected.trainingLog);
    EXPECT_EQ(actual.logSegments, expected.logSegments);
    EXPECT_EQ(actual.laps, expected.laps);
    EXPECT_EQ(actual.workoutLog, expected.workoutLog);
    EXPECT_EQ(actual.hasTrainingCourse(), expected.hasTrainingCourse());
}

QString writeRide(const OrvoTest::OutputDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("ride.gpx"));
    std::unique_ptr<ZKGpx2> doc = rideToWrite();
    return ZKGpxWriter(QStringLiteral("2.0"), *doc).write(path) ? path : QString();
}

struct PeerRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// Runs a program of another project on our file.
PeerRun runPeer(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    PeerRun run;
    run.finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}

QStringList lines(const QByteArray &text)
{
    QStringList out;
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out.append(line.trimmed());
    return out;
}

} // namespace

TEST(ZKGpxRoundTripTest, FullRideReadsBackExceptWhatTheDialectDrops)
{
    OrvoTest::OutputDir dir;
    const QString path = writeRide(dir);
    ASSERT_FALSE(path.isEmpty());
    ZKGpx2 read;
    ZKGpxReader reader(read);
    ASSERT_TRUE(reader.readFile(path)) << reader.errorString().toStdString();
    std::unique_ptr<ZKGpx2> expected = rideAsRead();
    expectSameDocument(read, *expected);
}

TEST(ZKGpxRoundTripTest, CheckedFileReadsAsTheRide)
{
    ZKGpx2 read;
    ZKGpxReader reader(read);
    ASSERT_TRUE(reader.readFile(OrvoTest::dataPath(QStringLiteral("util/full-ride.gpx"))))
        << reader.errorString().toStdString();
    std::unique_ptr<ZKGpx2> expected = rideAsRead();
    expectSameDocument(read, *expected);
}

TEST(ZKGpxPeerTest, XmllintAcceptsWrittenFiles)
{
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    OrvoTest::OutputDir dir;
    const QString ride = writeRide(dir);
    ASSERT_FALSE(ride.isEmpty());
    const QString profile = dir.filePath(QStringLiteral("profile.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(profile, "<?xml version=\"1.0\"?>\n<settings xmlns:t=\"urn:t\">\n"
                                             "  <t:property name=\"User Sex\" value=\"1\"/><!-- c -->\n</settings>\n"));
    const QString withProfile = dir.filePath(QStringLiteral("with-profile.gpx"));
    ZKGpx2 doc;
    doc.metadata.emplace();
    doc.metadata->profileFile = profile;
    ASSERT_TRUE(ZKGpxWriter(QStringLiteral("2.0"), doc).write(withProfile));

    for (const QString &file : {ride, withProfile}) {
        SCOPED_TRACE(file.toStdString());
        const PeerRun run = runPeer(xmllint, {QStringLiteral("--noout"), file});
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.errors.isEmpty()) << run.errors.toStdString();
    }
}

TEST(ZKGpxPeerTest, GpsbabelListsTheRidesPointsInUtc)
{
    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "gpsbabel is not installed";
    OrvoTest::OutputDir dir;
    const QString ride = writeRide(dir);
    ASSERT_FALSE(ride.isEmpty());
    // The suite runs in a time zone other than UTC: utc=0 asks for UTC times.
    const PeerRun run = runPeer(gpsbabel, {QStringLiteral("-t"), QStringLiteral("-i"), QStringLiteral("gpx"),
                                           QStringLiteral("-f"), ride, QStringLiteral("-o"),
                                           QStringLiteral("unicsv,utc=0"), QStringLiteral("-F"), QStringLiteral("-")});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(lines(run.output),
              QStringList({QStringLiteral("No,Latitude,Longitude,Altitude,Description,Date,Time"),
                           QStringLiteral("1,35.650000,139.700000,12.5,\"start\",2023/05/01,06:00:00"),
                           QStringLiteral("2,35.651234,-139.701234,-3.0,,2023/05/01,06:00:05"),
                           QStringLiteral("3,35.650000,139.700000,12.5,\"start\",2023/05/01,06:40:00"),
                           QStringLiteral("4,35.651234,-139.701234,-3.0,,2023/05/01,06:40:05")}))
        << run.errors.toStdString();
}
