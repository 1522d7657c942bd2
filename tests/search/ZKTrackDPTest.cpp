#include "BinaryLogFixture.h"
#include "DeviceDbTree.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include "search/ZKDeviceDB.h"
#include "search/ZKTrackDP.h"
#include "sql/ZKModel.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKGpxWriter.h"
#include "util/ZKTraceLog.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's runtime counts the bytes allocated and not yet freed (g++ ships the
// runtime without this header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using BinaryLogFixture::GpsPoint;
using BinaryLogFixture::Header;
using BinaryLogFixture::TrainSample;

constexpr quint16 kMarker = 0xFFFF;
constexpr quint8 kMarkerByte = 0xFE;

QByteArray gpsLog(const std::array<quint8, 4> &version, const std::vector<GpsPoint> &points,
                  const QByteArray &deviceVersion = QByteArray())
{
    Header header;
    header.version = version;
    header.deviceVersion = deviceVersion;
    QByteArray log = BinaryLogFixture::header(header);
    for (const GpsPoint &point : points)
        log += BinaryLogFixture::gpsRecord(point);
    return log;
}

QByteArray trainLog(const std::array<quint8, 4> &version, const std::vector<TrainSample> &samples)
{
    Header header;
    header.version = version;
    QByteArray log = BinaryLogFixture::header(header);
    const bool extended = version[2] > 1 || version[3] > 8;
    for (const TrainSample &sample : samples)
        log += BinaryLogFixture::trainRecord(sample, extended);
    return log;
}

GpsPoint point(qint32 latE6, qint32 lonE6, qint32 time = 0)
{
    return {.lon = lonE6, .lat = latE6, .ele = 100, .magvar = 0, .speed = 100, .time = time};
}

GpsPoint segmentBreak()
{
    return {.lon = 0x00010000, .lat = 0, .type = kMarker};
}

TrainSample sample(qint32 time, quint8 hrm = 120)
{
    return {.time = time, .hrm = hrm};
}

TrainSample trainMarker(qint32 pdm)
{
    return {.time = 0, .hrm = kMarkerByte, .cad = kMarkerByte, .pdm = pdm};
}

int count(const QString &text, const QString &part)
{
    return int(text.count(part));
}

// A device tree with one ride, the ZK context pointing at it, and the provider opened on it.
class RideSetup
{
public:
    explicit RideSetup(const DeviceDbTree::Ride &ride)
        : m_tree(m_dir.path() + QStringLiteral("/device"))
        , m_ride(ride)
    {
        ZKTraceLog::setDataDir(m_dir.path() + QStringLiteral("/data"));
        ZKTraceLog::setDeviceVersion(QStringLiteral("ZK2.0.1 Orvo2.8"));
        ZKTraceLog::setModelName(QStringLiteral("Kavel60"));
        m_written = m_tree.writeRide(ride, ZKTraceLog::dataDir());
        ZKDeviceDB::openDeviceDatabases(m_tree.root(), QString(), QString());
    }
    ~RideSetup()
    {
        closeDeviceDatabases();
        ZKTraceLog::setDataDir(QString());
        ZKTraceLog::setDeviceVersion(QString());
        ZKTraceLog::setModelName(QStringLiteral("Kavel50"));
    }

    bool written() const { return m_written; }
    bool open(ZKTrackDP &provider, bool thin = false) { return provider.open(m_ride.key, thin); }

    // The GPX file of the provider, or empty when the writer failed.
    QString writeGpx(ZKTrackDP &provider)
    {
        const QString path = m_dir.filePath(QStringLiteral("ride.gpx"));
        if (!ZKGpxWriter(QStringLiteral("2.2.0.3"), provider).write(path))
            return QString();
        m_path = path;
        return QString::fromUtf8(OrvoTest::readFile(path));
    }
    QString gpxPath() const { return m_path; }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    OrvoTest::OutputDir m_dir;
    DeviceDbTree m_tree;
    DeviceDbTree::Ride m_ride;
    QString m_path;
    bool m_written = false;
};

TEST(ZKTrackDPTest, SampleRideBecomesAValidGpxThatReadsBack)
{
    RideSetup setup(DeviceDbTree::sampleRide());
    ASSERT_TRUE(setup.written());
    ZKTrackDP provider;
    ASSERT_TRUE(setup.open(provider));
    const QString gpx = setup.writeGpx(provider);
    ASSERT_FALSE(gpx.isEmpty());
    SCOPED_TRACE(gpx.toStdString());

    EXPECT_TRUE(gpx.contains(QStringLiteral("<name>Morning ride</name>\n    <desc>Along the river</desc>\n"
                                            "    <author>\n      <name>aiko</name>\n    </author>\n"
                                            "    <time>2013-01-01T00:26:40Z</time>\n"
                                            "    <bounds minlat=\"25.030000\" minlon=\"121.499000\" "
                                            "maxlat=\"25.036000\" maxlon=\"121.503000\"/>\n")));
    EXPECT_TRUE(gpx.contains(QStringLiteral("<sys version=\"ZK2.0.1 Orvo2.8\">Kavel60<apps>")));
    EXPECT_TRUE(gpx.contains(QStringLiteral("<app name=\"log\" version=\"0.2.1.8\"/>")));
    EXPECT_TRUE(gpx.contains(QStringLiteral("<acttype subtype=\"1\">1</acttype>\n      "
                                            "<stime>2013-01-01T00:26:40Z</stime>\n      "
                                            "<etime>2013-01-01T01:28:45Z</etime>\n      <trvTime>62</trvTime>\n      "
                                            "<trvDist>21500</trvDist>")));
    // The profile copy comes first in the metadata extensions.
    EXPECT_LT(gpx.indexOf(QStringLiteral("<user>")), gpx.indexOf(QStringLiteral("<sys ")));
    EXPECT_TRUE(gpx.contains(QStringLiteral("<rte>\n    <number>2</number>\n    <rtept lat=\"25.033000\" "
                                            "lon=\"121.500000\"/>\n    <rtept lat=\"25.036000\" "
                                            "lon=\"121.499000\"/>\n  </rte>")));

    // Two segments, the first closed after the third point with its break type.
    EXPECT_EQ(count(gpx, QStringLiteral("<trkseg>")), 2);
    const QString firstSegment = gpx.section(QStringLiteral("</trkseg>"), 0, 0);
    EXPECT_EQ(count(firstSegment, QStringLiteral("<trkpt ")), 3);
    EXPECT_TRUE(firstSegment.endsWith(
        QStringLiteral("</trkpt>\n      <extensions>\n        <breaktype>2</breaktype>\n      </extensions>\n    ")));
    // Empty markers are no values.
    EXPECT_FALSE(gpx.contains(QStringLiteral("3276.7")));
    EXPECT_FALSE(gpx.contains(QStringLiteral("32767")));
    EXPECT_TRUE(gpx.contains(QStringLiteral("<ele>-0.5</ele>\n        <time>2013-01-01T00:27:10Z</time>\n"
                                            "        <magvar>-2</magvar>")));

    // The sensor log, then the side files in the order WRK, STA, PLN.
    const qsizetype ssrlog = gpx.indexOf(QStringLiteral("</ssrlog>"));
    const qsizetype wrk = gpx.indexOf(QStringLiteral("<wrklog "));
    const qsizetype sta = gpx.indexOf(QStringLiteral("<laps>"));
    const qsizetype pln = gpx.indexOf(QStringLiteral("<plntrip "));
    EXPECT_GT(ssrlog, gpx.indexOf(QStringLiteral("</trk>")));
    EXPECT_GT(wrk, ssrlog);
    EXPECT_GT(sta, wrk);
    EXPECT_GT(pln, sta);
    EXPECT_TRUE(gpx.contains(QStringLiteral("<logpt time=\"2013-01-01T00:26:40Z\">\n          <hrm>120</hrm>\n"
                                            "          <cad>80</cad>\n          <spd>30.0</spd>\n"
                                            "          <tmp>21</tmp>\n          <pwr>150</pwr>\n"
                                            "          <brm>123.45</brm>\n        </logpt>")));
    // No sensor speed: the GPS speed stands in.
    EXPECT_TRUE(gpx.contains(QStringLiteral("<hrm>121</hrm>\n          <spd>25.0</spd>\n        </logpt>\n"
                                            "        <breaktype>2</breaktype>\n      </logseg>")));

    ZKGpx2 read;
    ZKGpxReader reader(read);
    ASSERT_TRUE(reader.readFile(setup.gpxPath())) << reader.errorString().toStdString();
    ASSERT_TRUE(read.trackList.has_value());
    ASSERT_EQ(read.trackList->tracks.size(), 2);
    EXPECT_EQ(read.trackList->tracks[0].points.size(), 3);
    EXPECT_EQ(read.trackList->tracks[1].points.size(), 2);
    const ZKGpxTrackPoint &first = read.trackList->tracks[0].points.first();
    EXPECT_EQ(first.lat, QStringLiteral("25.033000"));
    EXPECT_EQ(first.lon, QStringLiteral("121.500000"));
    EXPECT_EQ(first.ele, QStringLiteral("10.0"));
    EXPECT_EQ(first.time, QStringLiteral("2013-01-01T00:26:40Z"));
    EXPECT_TRUE(read.trackList->tracks[0].points[1].ele.isEmpty());
    ASSERT_TRUE(read.logSegments.has_value());
    ASSERT_EQ(read.logSegments->items.size(), 2);
    EXPECT_EQ(read.logSegments->items[0].points.size(), 2);
    EXPECT_EQ(read.logSegments->items[1].points.size(), 2);
    ASSERT_TRUE(read.metadata.has_value());
    EXPECT_EQ(read.metadata->minlat, QStringLiteral("25.030000"));
}

TEST(ZKTrackDPTest, XmllintAcceptsTheSampleRide)
{
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    RideSetup setup(DeviceDbTree::sampleRide());
    ZKTrackDP provider;
    ASSERT_TRUE(setup.open(provider));
    ASSERT_FALSE(setup.writeGpx(provider).isEmpty());
    QProcess process;
    process.start(xmllint, {QStringLiteral("--noout"), setup.gpxPath()});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

struct SysVersionCase
{
    const char *name;
    std::array<quint8, 4> version;
    const char *current;
    const char *expected;
};

TEST(ZKTrackDPTest, SysVersionComesFromTheLogHeaderFrom0217On)
{
    const std::vector<SysVersionCase> cases = {
        {"header with the program part", {0, 2, 1, 7}, "ZK2.0.9 Orvo2.8", "ZK2.0.1 Orvo2.8"},
        {"0.2.1.10 is newer than 0.2.1.7", {0, 2, 1, 10}, "ZK2.0.9 Orvo2.8", "ZK2.0.1 Orvo2.8"},
        {"second word of another program", {0, 2, 1, 8}, "ZK2.0.9 Other2.8", "ZK2.0.1"},
        {"three words", {0, 2, 1, 8}, "ZK2.0.9 Orvo2.8 x", "ZK2.0.1"},
        {"older log: the current text", {0, 2, 1, 6}, "ZK2.0.9 Orvo2.8", "ZK2.0.9 Orvo2.8"},
    };
    for (const SysVersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.gpsLog = gpsLog(c.version, {point(25000000, 121000000)}, "ZK2.0.1");
        RideSetup setup(ride);
        ZKTraceLog::setDeviceVersion(QString::fromLatin1(c.current));
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        const QString gpx = setup.writeGpx(provider);
        EXPECT_TRUE(gpx.contains(QStringLiteral("<sys version=\"%1\">Kavel60<apps>").arg(QLatin1String(c.expected))))
            << gpx.toStdString();
    }
}

struct ShapeCase
{
    const char *name;
    std::vector<GpsPoint> points;
    bool route;
    bool bounds;
};

TEST(ZKTrackDPTest, FewPositionsGiveMetadataWithoutRouteOrTrack)
{
    const std::vector<ShapeCase> cases = {
        {"one position", {point(25000000, 121000000)}, false, true},
        {"only markers", {segmentBreak(), segmentBreak()}, false, false},
        {"no records", {}, false, false},
        {"two positions", {point(25000000, 121000000), point(25001000, 121000000, 5)}, true, true},
        {"break after the last position",
         {point(25000000, 121000000), point(25001000, 121000000, 5), segmentBreak()},
         true,
         true},
    };
    for (const ShapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.gpsLog = gpsLog({0, 2, 1, 8}, c.points);
        RideSetup setup(ride);
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        const QString gpx = setup.writeGpx(provider);
        EXPECT_TRUE(gpx.contains(QStringLiteral("<metadata>")));
        EXPECT_EQ(gpx.contains(QStringLiteral("<rte>")), c.route);
        EXPECT_EQ(gpx.contains(QStringLiteral("<trk>")), c.route);
        // No positions: no bounds at all rather than inverted ones.
        EXPECT_EQ(gpx.contains(QStringLiteral("<bounds ")), c.bounds) << gpx.toStdString();
        // A break at the end closes the last segment and opens none.
        EXPECT_FALSE(gpx.contains(QStringLiteral("<trkseg/>")));
        EXPECT_EQ(count(gpx, QStringLiteral("<trkseg>")), c.route ? 1 : 0);
    }
}

TEST(ZKTrackDPTest, ThinningDropsPositionsWithin500MicroDegrees)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("gps.dat"));
    ASSERT_TRUE(
        OrvoTest::writeFile(path, gpsLog({0, 2, 1, 8}, {point(25000000, 121000000), point(25000300, 121000200),
                                                        point(25000300, 121000201), point(25000000, 121000000)})));
    for (const bool thin : {true, false}) {
        SCOPED_TRACE(thin);
        ZKTrackDP provider;
        QDate startDate;
        ASSERT_TRUE(provider.readGpsLog(path, thin, startDate));
        EXPECT_EQ(provider.trackPoints().size(), thin ? 3 : 4);
        if (thin) {
            EXPECT_EQ(provider.trackPoints()[1].record.lon, 121000201);
        }
    }
}

TEST(ZKTrackDPTest, PlannedRecordsGoApartExceptTheFirst)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("gps.dat"));
    GpsPoint plannedFirst = point(25000000, 121000000);
    plannedFirst.type = 0x8000;
    GpsPoint planned = point(26000000, 122000000);
    planned.type = 0x8001;
    ASSERT_TRUE(OrvoTest::writeFile(path, gpsLog({0, 2, 1, 8}, {plannedFirst, point(25001000, 121000000), planned})));
    ZKTrackDP provider;
    QDate startDate;
    ASSERT_TRUE(provider.readGpsLog(path, false, startDate));
    EXPECT_EQ(provider.trackPoints().size(), 2);
    ASSERT_EQ(provider.plannedPoints().size(), 1);
    EXPECT_EQ(provider.plannedPoints().first().lat, 26000000);
}

struct TimeBaseCase
{
    const char *name;
    std::array<quint8, 4> version;
    std::optional<qint64> startTime;
    qint32 recordTime;
    qint64 expected;
};

TEST(ZKTrackDPTest, LogsFromVersion0214CountFromTheStartTime)
{
    const std::vector<TimeBaseCase> cases = {
        {"0.2.1.4 counts from StartTime", {0, 2, 1, 4}, 1357000000, 60, 1357000060},
        {"0.2.1.10 is newer than 0.2.1.4", {0, 2, 1, 10}, 1357000000, 60, 1357000060},
        {"0.2.2.0 is newer than 0.2.1.4", {0, 2, 2, 0}, 1357000000, 60, 1357000060},
        {"0.2.1.3 holds absolute times", {0, 2, 1, 3}, 1357000000, 1357000060, 1357000060},
        {"no StartTime gives base 0", {0, 2, 1, 8}, std::nullopt, 60, 60},
        {"StartTime beyond 32 bits gives base 0", {0, 2, 1, 8}, Q_INT64_C(0x7FFFFFFFFFFFFFF0), 60, 60},
    };
    for (const TimeBaseCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.startTime = c.startTime;
        ride.gpsLog = gpsLog(c.version, {point(25000000, 121000000, c.recordTime)});
        ride.trainLog = trainLog(c.version, {sample(c.recordTime)});
        RideSetup setup(ride);
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        ASSERT_EQ(provider.trackPoints().size(), 1);
        EXPECT_EQ(provider.trackPoints().first().time, c.expected);
        ASSERT_EQ(provider.sensorPoints().size(), 1);
        EXPECT_EQ(provider.sensorPoints().first().time, c.expected);
    }
}

struct TrainCase
{
    const char *name;
    std::array<quint8, 4> version;
    std::vector<TrainSample> samples;
    bool opened;
    std::vector<bool> breaks;
};

TEST(ZKTrackDPTest, TrainingLogVersionsAndMarkers)
{
    const std::vector<TrainCase> cases = {
        {"0.2.1.0 is refused", {0, 2, 1, 0}, {sample(1)}, false, {}},
        {"0.2.0.0 is refused", {0, 2, 0, 0}, {sample(1)}, false, {}},
        {"0.2.1.1 reads", {0, 2, 1, 1}, {sample(1)}, true, {false}},
        {"0.2.1.9 reads extended records", {0, 2, 1, 9}, {sample(1), sample(2)}, true, {false, false}},
        {"pdm upper half 1 breaks", {0, 2, 1, 8}, {sample(1), trainMarker(65537), sample(2)}, true, {true, false}},
        {"pdm upper half 2 is ignored",
         {0, 2, 1, 8},
         {sample(1), trainMarker(131072), sample(2)},
         true,
         {false, false}},
        {"a break before any sample is ignored", {0, 2, 1, 8}, {trainMarker(65536), sample(1)}, true, {false}},
    };
    for (const TrainCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.trainLog = trainLog(c.version, c.samples);
        RideSetup setup(ride);
        ZKTrackDP provider;
        ZKLogCapture log;
        EXPECT_EQ(setup.open(provider), c.opened);
        // A refused version is no error to log.
        EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
        if (!c.opened)
            continue;
        std::vector<bool> breaks;
        for (const ZKTrackDP::SensorPoint &p : provider.sensorPoints())
            breaks.push_back(p.breakAfter);
        EXPECT_EQ(breaks, c.breaks);
    }
}

TEST(ZKTrackDPTest, SamplesBeforeTheStartDateAreDropped)
{
    // The ride starts ten seconds before midnight UTC; the sensors start after it.
    const qint64 start = 1357084790; // 2013-01-01T23:59:50Z
    DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
    ride.startTime = start;
    ride.gpsLog = gpsLog({0, 2, 1, 3}, {point(25000000, 121000000, qint32(start))});
    ride.trainLog = trainLog({0, 2, 1, 3}, {sample(qint32(start - 86400)), sample(qint32(start + 20), 1),
                                            sample(qint32(start - 86400), 2), sample(qint32(start + 30), 3)});
    RideSetup setup(ride);
    ZKTrackDP provider;
    ASSERT_TRUE(setup.open(provider));
    ASSERT_EQ(provider.sensorPoints().size(), 3);
    EXPECT_EQ(provider.sensorPoints()[0].record.hrm, 1);
    // Once the log has reached the ride, every sample stays.
    EXPECT_EQ(provider.sensorPoints()[1].record.hrm, 2);
}

TEST(ZKTrackDPTest, SideFilesAreCopiedOnlyWithSensorSamplesAndWhenWellFormed)
{
    struct Case
    {
        const char *name;
        bool samples;
        // The STA file's contents; none: no such file.
        std::optional<QByteArray> sta;
        bool staCopied;
    };
    const std::vector<Case> cases = {
        {"no samples", false, "<laps/>", false},
        {"no STA file", true, std::nullopt, false},
        {"broken STA file", true, "<?xml version=\"1.0\"?>\n<laps><lap order=\"1\">\n", false},
        {"STA file", true, "<laps/>", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        if (!c.samples)
            ride.trainLog = trainLog({0, 2, 1, 8}, {});
        ride.sideFiles.remove(QStringLiteral("-STA.xml"));
        if (c.sta)
            ride.sideFiles.insert(QStringLiteral("-STA.xml"), *c.sta);
        RideSetup setup(ride);
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        const QString gpx = setup.writeGpx(provider);
        ASSERT_FALSE(gpx.isEmpty());
        EXPECT_EQ(gpx.contains(QStringLiteral("<ssrlog>")), c.samples);
        EXPECT_EQ(gpx.contains(QStringLiteral("<wrklog ")), c.samples);
        EXPECT_EQ(gpx.contains(QStringLiteral("<plntrip ")), c.samples);
        EXPECT_EQ(gpx.contains(QStringLiteral("<laps")), c.staCopied);
        // Whatever the side files hold, the ride's own file stays well-formed.
        ZKGpx2 read;
        ZKGpxReader reader(read);
        EXPECT_TRUE(reader.readFile(setup.gpxPath())) << reader.errorString().toStdString();
    }
}

TEST(ZKTrackDPTest, MissingLogsFailTheOpen)
{
    for (const char *missing : {"-GPS.dat", "-TRN.dat"}) {
        SCOPED_TRACE(missing);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        (QLatin1String(missing) == QLatin1String("-GPS.dat") ? ride.gpsLog : ride.trainLog).clear();
        RideSetup setup(ride);
        ZKTrackDP provider;
        ZKLogCapture log;
        EXPECT_FALSE(setup.open(provider));
        EXPECT_TRUE(log.all().contains(QStringLiteral("fail open"))) << log.all().toStdString();
    }
    OrvoTest::OutputDir dir;
    const QString truncated = dir.filePath(QStringLiteral("short.dat"));
    ASSERT_TRUE(OrvoTest::writeFile(truncated, gpsLog({0, 2, 1, 8}, {}).left(30)));
    ZKTrackDP provider;
    ZKLogCapture log;
    QDate startDate;
    EXPECT_FALSE(provider.readGpsLog(truncated, false, startDate));
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("error read %1 header").arg(truncated)});
}

// A log larger than any device writes is refused with a log line, and the ride is not opened.
TEST(ZKTrackDPTest, LogsLargerThanTheBoundAreRefused)
{
    std::vector<GpsPoint> manyPoints;
    std::vector<TrainSample> manySamples;
    for (qint32 i = 0; i < 100; ++i) {
        manyPoints.push_back(point(25000000 + i * 1000, 121000000, 1357000000 + i));
        manySamples.push_back(sample(1357000000 + i));
    }
    const QByteArray fewPoints = gpsLog({0, 2, 1, 3}, {point(25000000, 121000000, 1357000000)});
    const QByteArray fewSamples = trainLog({0, 2, 1, 3}, {sample(1357000000)});
    struct Case
    {
        const char *name;
        QByteArray gps;
        QByteArray train;
        qint64 bound;
        // The log named in the message; none: the ride opens.
        const char *refused;
    };
    const QByteArray longGps = gpsLog({0, 2, 1, 3}, manyPoints);
    const QByteArray longTrain = trainLog({0, 2, 1, 3}, manySamples);
    const std::vector<Case> cases = {
        {"both logs at the bound", longGps, longTrain, qMax(longGps.size(), longTrain.size()), nullptr},
        {"GPS log a byte over", longGps, fewSamples, longGps.size() - 1, "-GPS.dat refused"},
        {"training log a byte over", fewPoints, longTrain, longTrain.size() - 1, "-TRN.dat refused"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.gpsLog = c.gps;
        ride.trainLog = c.train;
        RideSetup setup(ride);
        ZKTrackDP provider;
        provider.setMaxLogSize(c.bound);
        ZKLogCapture log;
        EXPECT_EQ(setup.open(provider), c.refused == nullptr);
        if (c.refused)
            EXPECT_TRUE(log.all().contains(QLatin1String(c.refused))) << log.all().toStdString();
        else
            EXPECT_EQ(provider.trackPoints().size(), 100);
    }
}

// The logs are read again as the GPX is written, so an opened ride of any length holds no
// points: what opening keeps must not grow with the ride.
TEST(ZKTrackDPTest, AnOpenedRideKeepsNoPointsInMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr qint32 kPoints = 50000;
    std::vector<GpsPoint> points;
    std::vector<TrainSample> samples;
    for (qint32 i = 0; i < kPoints; ++i) {
        points.push_back(point(25000000 + (i % 2000) * 1000, 121000000, 1357000000 + i));
        samples.push_back(sample(1357000000 + i));
    }
    DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
    ride.gpsLog = gpsLog({0, 2, 1, 3}, points);
    ride.trainLog = trainLog({0, 2, 1, 3}, samples);
    RideSetup setup(ride);
    ZKTrackDP provider;
    const qint64 before = qint64(__sanitizer_get_current_allocated_bytes());
    ASSERT_TRUE(setup.open(provider));
    const qint64 kept = qint64(__sanitizer_get_current_allocated_bytes()) - before;
    EXPECT_LT(kept, 256 * 1024) << "bytes kept by an opened ride of " << kPoints << " points";

    const QString gpx = setup.writeGpx(provider);
    EXPECT_EQ(count(gpx, QStringLiteral("<trkpt ")), kPoints);
    EXPECT_EQ(count(gpx, QStringLiteral("<logpt ")), kPoints);
#else
    GTEST_SKIP() << "the allocator's figures come with the address sanitizer";
#endif
}

// Keeps every map the GPX reader hands over, the track and log points of all segments in one
// list each, and the metadata with its extensions in one map.
class MapRecorder : public ZKGpxImportable
{
public:
    ZKGpxKeyMap metadata;
    ZKGpxKeyMap route;
    QList<ZKGpxKeyMap> routePoints;
    QList<ZKGpxKeyMap> trackPoints;
    QList<ZKGpxKeyMap> logPoints;

    void setVersion(int) override {}
    void newMetadata() override {}
    void setMetadata(const ZKGpxKeyMap &map) override { metadata.insert(map); }
    void setMetadataExtensions(const ZKGpxKeyMap &map) override { metadata.insert(map); }
    void newRoute() override {}
    void setRoute(const ZKGpxKeyMap &map) override { route = map; }
    void addRoutePoint(const ZKGpxKeyMap &map) override { routePoints.append(map); }
    void newTrackList() override {}
    void newTrack() override {}
    void setIntervalSegment(const ZKGpxKeyMap &) override {}
    void addTrackPoint(const ZKGpxKeyMap &map) override { trackPoints.append(map); }
    void addWaypoint(const ZKGpxKeyMap &) override {}
    void newTrainingLog() override {}
    void newLogSegmentList() override {}
    void newLogSegment() override {}
    void addLogPoint(const ZKGpxKeyMap &map) override { logPoints.append(map); }
    void newWorkoutLog() override {}
    void setWorkoutLog(const ZKGpxKeyMap &) override {}
    void addWorkoutInterval(const ZKGpxKeyMap &) override {}
    void newLapList() override {}
    void addLap(const ZKGpxKeyMap &) override {}
    void setSummary(const ZKGpxKeyMap &) override {}
};

std::string text(const ZKGpxKeyMap &map)
{
    QStringList pairs;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        pairs.append(it.key() + QLatin1Char('=') + it.value());
    return pairs.join(QStringLiteral(", ")).toStdString();
}

// The map without the keys the written file does not carry.
ZKGpxKeyMap withoutKeys(ZKGpxKeyMap map, const QStringList &keys)
{
    for (const QString &key : keys)
        map.remove(key);
    return map;
}

TEST(ZKTrackDPTest, KeyMapsOfTheSampleRideAreWhatTheReaderReadsFromItsGpx)
{
    RideSetup setup(DeviceDbTree::sampleRide());
    ZKTrackDP provider;
    ASSERT_TRUE(setup.open(provider));
    ASSERT_FALSE(setup.writeGpx(provider).isEmpty());
    MapRecorder read;
    ZKGpxReader reader(read);
    ASSERT_TRUE(reader.readFile(setup.gpxPath())) << reader.errorString().toStdString();

    EXPECT_EQ(provider.metadataMap(), read.metadata) << text(provider.metadataMap()) << "\n" << text(read.metadata);
    EXPECT_EQ(provider.metadataMap().value(QStringLiteral("app_version")), QStringLiteral("0.2.1.8"));
    ASSERT_TRUE(provider.hasRoute());
    EXPECT_EQ(provider.routeMap(0), read.route);
    ASSERT_EQ(provider.routePointCount(0), read.routePoints.size());
    for (int i = 0; i < provider.routePointCount(0); ++i)
        EXPECT_EQ(provider.routePointMap(0, i), read.routePoints.at(i)) << i;

    ASSERT_TRUE(provider.hasTracks());
    ASSERT_EQ(provider.trackCount(), 1);
    ASSERT_EQ(provider.trackPointCount(0), read.trackPoints.size());
    for (int i = 0; i < provider.trackPointCount(0); ++i) {
        SCOPED_TRACE(i);
        const ZKGpxKeyMap map = provider.trackPointMap(0, i);
        EXPECT_EQ(withoutKeys(map, {QStringLiteral("speed")}), read.trackPoints.at(i)) << text(map) << "\n"
                                                                                       << text(read.trackPoints.at(i));
    }
    // The GPS speed is metres per minute: 500 is 30 km/h.
    EXPECT_EQ(provider.trackPointMap(0, 0).value(QStringLiteral("speed")), QStringLiteral("30.0"));
    EXPECT_FALSE(provider.trackPointMap(0, 3).contains(QStringLiteral("speed")));

    ASSERT_TRUE(provider.hasLog());
    ASSERT_EQ(provider.logPointCount(), read.logPoints.size());
    for (int i = 0; i < provider.logPointCount(); ++i) {
        SCOPED_TRACE(i);
        const ZKGpxKeyMap map = provider.logPointMap(i);
        EXPECT_EQ(withoutKeys(map, {QStringLiteral("pdm"), QStringLiteral("gps")}), read.logPoints.at(i))
            << text(map) << "\n"
            << text(read.logPoints.at(i));
    }
    EXPECT_EQ(provider.logPointMap(1).value(QStringLiteral("gps")), QStringLiteral("25.0"));
    EXPECT_EQ(provider.waypointCount(), 0);
    EXPECT_TRUE(provider.routeSummaryMap().isEmpty());
}

struct MapVersionCase
{
    const char *name;
    std::array<quint8, 4> version;
    const char *ele;
    const char *time;
    // Empty: no power key.
    const char *pwr;
    const char *spd;
};

TEST(ZKTrackDPTest, KeyMapsFollowTheLogVersionOfTheRide)
{
    const std::vector<MapVersionCase> cases = {
        {"0.2.1.1: km/h and stored elevations", {0, 2, 1, 1}, "100", "1970-01-01T00:00:00Z", "", "500.0"},
        {"0.2.1.2: metres per minute, stored elevations", {0, 2, 1, 2}, "100", "1970-01-01T00:00:00Z", "", "30.0"},
        {"0.2.1.3: elevations in metres", {0, 2, 1, 3}, "10.0", "1970-01-01T00:00:00Z", "", "30.0"},
        {"0.2.1.4: no power yet", {0, 2, 1, 4}, "10.0", "2013-01-01T00:26:40Z", "", "30.0"},
        {"0.2.1.5: power", {0, 2, 1, 5}, "10.0", "2013-01-01T00:26:40Z", "150", "30.0"},
        {"0.2.1.10 is newer than 0.2.1.5", {0, 2, 1, 10}, "10.0", "2013-01-01T00:26:40Z", "150", "30.0"},
    };
    for (const MapVersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        // The version bytes sit at offset 16 of the header.
        for (int i = 0; i < 4; ++i)
            ride.gpsLog[16 + i] = char(c.version[i]);
        RideSetup setup(ride);
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        const ZKGpxKeyMap point = provider.trackPointMap(0, 0);
        EXPECT_EQ(point.value(QStringLiteral("ele")), QLatin1String(c.ele));
        EXPECT_EQ(point.value(QStringLiteral("time")), QLatin1String(c.time));
        const ZKGpxKeyMap sample = provider.logPointMap(0);
        EXPECT_EQ(sample.value(QStringLiteral("logpt_time")), QLatin1String(c.time));
        EXPECT_EQ(sample.contains(QStringLiteral("pwr")), *c.pwr != '\0') << text(sample);
        EXPECT_EQ(sample.value(QStringLiteral("pwr")), QLatin1String(c.pwr));
        EXPECT_EQ(sample.value(QStringLiteral("spd")), QLatin1String(c.spd));
        EXPECT_EQ(provider.logVersion(), provider.metadataMap().value(QStringLiteral("app_version")));
    }
}

struct MapShapeCase
{
    const char *name;
    std::vector<GpsPoint> points;
    bool hasRoute;
    bool hasTracks;
    int routePoints;
    // The route point of each index, as "lat,lon".
    QStringList routeLatLon;
};

TEST(ZKTrackDPTest, KeyMapsOfRidesOfFewOrPlannedPositions)
{
    GpsPoint planned = point(26000000, 122000000);
    planned.type = 0x8000;
    const std::vector<MapShapeCase> cases = {
        {"no positions", {}, false, false, 2, {",", ","}},
        {"one position",
         {point(25000000, 121000000)},
         false,
         true,
         2,
         {"25.000000,121.000000", "25.000000,121.000000"}},
        {"two positions",
         {point(25000000, 121000000), point(25001000, 121000000, 5)},
         true,
         true,
         2,
         {"25.000000,121.000000", "25.001000,121.000000"}},
        {"planned points make the route",
         {point(25000000, 121000000), planned, point(25001000, 121000000, 5), planned},
         true,
         true,
         2,
         {"26.000000,122.000000", "26.000000,122.000000"}},
        {"one planned point",
         {point(25000000, 121000000), point(25001000, 121000000, 5), planned},
         true,
         true,
         1,
         {"26.000000,122.000000"}},
    };
    for (const MapShapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
        ride.gpsLog = gpsLog({0, 2, 1, 8}, c.points);
        RideSetup setup(ride);
        ZKTrackDP provider;
        ASSERT_TRUE(setup.open(provider));
        EXPECT_EQ(provider.hasRoute(), c.hasRoute);
        EXPECT_EQ(provider.hasTracks(), c.hasTracks);
        EXPECT_EQ(provider.routePointCount(0), c.routePoints);
        EXPECT_EQ(provider.routePointCount(1), 0);
        EXPECT_EQ(provider.routeMap(0).value(QStringLiteral("number")), QString::number(c.routePoints));
        QStringList latLon;
        for (int i = 0; i < provider.routePointCount(0); ++i) {
            const ZKGpxKeyMap map = provider.routePointMap(0, i);
            latLon.append(map.value(QStringLiteral("rtept_lat")) + QLatin1Char(',') +
                          map.value(QStringLiteral("rtept_lon")));
        }
        EXPECT_EQ(latLon, c.routeLatLon);
        EXPECT_TRUE(provider.routePointMap(0, c.routePoints).isEmpty());
        EXPECT_TRUE(provider.trackPointMap(0, provider.trackPointCount(0)).isEmpty());
        EXPECT_TRUE(provider.trackPointMap(1, 0).isEmpty());
        EXPECT_TRUE(provider.logPointMap(-1).isEmpty());
        EXPECT_TRUE(provider.waypointMap(0).isEmpty());
        // No positions, no bounds.
        EXPECT_EQ(provider.metadataMap().contains(QStringLiteral("bounds_minlat")), c.hasTracks);
    }
}

TEST(ZKTrackDPTest, MetadataMapNeedsTheWholeSummary)
{
    DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
    ride.key = 1357000001;
    RideSetup setup(ride);
    ZKTrackDP provider;
    ASSERT_TRUE(setup.open(provider));
    ASSERT_FALSE(provider.metadataMap().isEmpty());
    // Another key finds no row.
    EXPECT_FALSE(provider.summaryMap(ride.key + 1));
    EXPECT_TRUE(provider.metadataMap().isEmpty());
}

} // namespace
