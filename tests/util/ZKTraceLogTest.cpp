#include "util/ZKTraceLog.h"

#include "util/ZKGpx2.h"

#include "BinaryLogFixture.h"
#include "FileSizeLimit.h"
#include "FixtureBytes.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <thread>

using BinaryLogFixture::GpsPoint;

namespace {

// The context is process-wide: every test leaves it as it found it.
class ZKTraceLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dataDir = ZKTraceLog::dataDir();
        m_version = ZKTraceLog::deviceVersion();
        m_model = ZKTraceLog::modelName();
    }
    void TearDown() override
    {
        ZKTraceLog::setDataDir(m_dataDir);
        ZKTraceLog::setDeviceVersion(m_version);
        ZKTraceLog::setModelName(m_model);
    }

    OrvoTest::OutputDir m_out;

private:
    QString m_dataDir;
    QString m_version;
    QString m_model;
};

QByteArray headerWithCount(quint32 count, const QByteArray &deviceVersion)
{
    BinaryLogFixture::Header header;
    header.count = count;
    header.deviceVersion = deviceVersion;
    return BinaryLogFixture::header(header);
}

QByteArray logOf(const QList<GpsPoint> &points, const QByteArray &deviceVersion)
{
    QByteArray bytes = headerWithCount(quint32(points.size()), deviceVersion);
    for (const GpsPoint &point : points)
        bytes += BinaryLogFixture::gpsRecord(point);
    return bytes;
}

ZKGpxTrackPoint trackPoint(const char *lat, const char *lon, const char *ele = "", const char *magvar = "",
                           const char *speed = "", const char *type = "", const char *time = "")
{
    ZKGpxTrackPoint point;
    point.lat = QString::fromLatin1(lat);
    point.lon = QString::fromLatin1(lon);
    point.ele = QString::fromLatin1(ele);
    point.magvar = QString::fromLatin1(magvar);
    point.speed = QString::fromLatin1(speed);
    point.type = QString::fromLatin1(type);
    point.time = QString::fromLatin1(time);
    point.cmt = QStringLiteral("not stored");
    return point;
}

ZKGpxRoutePoint routePoint(const char *lat, const char *lon, const char *type)
{
    ZKGpxRoutePoint point;
    point.lat = QString::fromLatin1(lat);
    point.lon = QString::fromLatin1(lon);
    point.type = QString::fromLatin1(type);
    point.name = QStringLiteral("not stored");
    return point;
}

// Saves a document of these tracks (none: no track list) and route points (none: no route).
bool savePlannedTrip(const QString &path, const QList<QList<ZKGpxTrackPoint>> &tracks,
                     const QList<ZKGpxRoutePoint> &route = {})
{
    ZKGpx2 gpx;
    if (!tracks.isEmpty()) {
        gpx.trackList.emplace();
        for (const QList<ZKGpxTrackPoint> &points : tracks) {
            ZKGpxTrack track;
            track.points = points;
            gpx.trackList->append(track);
        }
    }
    if (!route.isEmpty()) {
        gpx.route.emplace();
        gpx.route->points = route;
    }
    return ZKTraceLog::savePlannedTrip(path, gpx);
}

QList<QList<ZKGpxTrackPoint>> twoTracksOfThreePoints()
{
    return {
        {
            trackPoint("35.689487", "139.691706", "12.3", "7", "36", "1", "2013-01-01T00:00:00Z"),
            trackPoint("35.689500", "139.691800"),
            trackPoint("-0.0000015", "121.123456", "40.5", "-3", "12.5", "2,4", "2013-01-01T00:00:10Z"),
        },
        {
            trackPoint("34.693738", "135.502165", "-2.5", "0", "0", "8", "2013-01-01T01:00:00Z"),
            trackPoint("34.693800", "135.502200", "3", "1", "1", "", "2013-01-01T01:00:05Z"),
            trackPoint("34.693900", "135.502300", "4", "2", "2", "16", "2013-01-01T01:00:10Z"),
        },
    };
}

} // namespace

TEST_F(ZKTraceLogTest, ContextStartsWithTheDefaults)
{
    EXPECT_EQ(ZKTraceLog::dataDir(), QString());
    EXPECT_EQ(ZKTraceLog::deviceVersion(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(ZKTraceLog::modelName(), QStringLiteral("Kavel50"));
    EXPECT_TRUE(ZKTraceLog::isNonZk2Version());
}

TEST_F(ZKTraceLogTest, SetDataDirCreatesTheFolderWithItsParents)
{
    const QString folder = m_out.filePath(QStringLiteral("device/Kavel50/data"));
    ZKTraceLog::setDataDir(folder);
    EXPECT_EQ(ZKTraceLog::dataDir(), folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(ZKTraceLogTest, OnlyVersionsBeginningWithUpperCaseZK2AreNewer)
{
    const struct
    {
        const char *version;
        bool nonZk2;
    } cases[] = {
        {"ZK2.1.0.3", false}, {"ZK2", false},   {"zk2.1.0.3", true}, {"Zk2.1", true},
        {"0.0.0.0", true},    {" ZK2.1", true}, {"ZK1.3.0.8", true}, {"", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        ZKTraceLog::setDeviceVersion(QString::fromLatin1(c.version));
        EXPECT_EQ(ZKTraceLog::isNonZk2Version(), c.nonZk2);
    }
}

TEST_F(ZKTraceLogTest, RideFilesAreNamedFromTheKeyInTheDataFolder)
{
    const QString folder = m_out.filePath(QStringLiteral("d"));
    ZKTraceLog::setDataDir(folder);
    const struct
    {
        QString (*path)(qint64);
        qint64 key;
        QString name;
    } cases[] = {
        {ZKTraceLog::gpsLogPath, 1357000000, QStringLiteral("/1357000000-GPS.dat")},
        {ZKTraceLog::trainLogPath, 1357000000, QStringLiteral("/1357000000-TRN.dat")},
        {ZKTraceLog::st2XmlPath, 1357000000, QStringLiteral("/1357000000-ST2.xml")},
        {ZKTraceLog::staXmlPath, 1357000000, QStringLiteral("/1357000000-STA.xml")},
        {ZKTraceLog::wrkXmlPath, 1357000000, QStringLiteral("/1357000000-WRK.xml")},
        {ZKTraceLog::usrXmlPath, 1357000000, QStringLiteral("/1357000000-USR.xml")},
        {ZKTraceLog::plnXmlPath, 1357000000, QStringLiteral("/1357000000-PLN.xml")},
        {ZKTraceLog::dbgLogPath, 1357000000, QStringLiteral("/1357000000-DBG.log")},
        {ZKTraceLog::gpsLogPath, -42, QStringLiteral("/-42-GPS.dat")},
        {ZKTraceLog::gpsLogPath, 0, QStringLiteral("/0-GPS.dat")},
        {ZKTraceLog::gpsLogPath, 4102444800, QStringLiteral("/4102444800-GPS.dat")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(c.path(c.key), folder + c.name);
    }
}

TEST_F(ZKTraceLogTest, TypeMaskOrsTheListedNumbers)
{
    const struct
    {
        const char *text;
        quint16 mask;
    } cases[] = {
        {"", 0},        {"1", 1},    {"1,4", 5},   {"1,,4,", 5}, {"x,2", 2},        {"3,5", 7},
        {" 2 , 8", 10}, {"-1,4", 4}, {"64", 0x40}, {"1.5,2", 2}, {"32768", 0x8000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ZKTraceLog::typeMask(QString::fromLatin1(c.text)), c.mask);
    }
}

TEST_F(ZKTraceLogTest, ContextSurvivesConcurrentReadersAndWriters)
{
    const QStringList versions = {QStringLiteral("ZK2.1.0.3 Orvo2.8.0.20"), QStringLiteral("ZK1.3.0.8"),
                                  ZKTraceLog::deviceVersion()};
    std::thread writer([&versions] {
        for (int i = 0; i < 2000; ++i) {
            ZKTraceLog::setDeviceVersion(versions.at(i % 2));
            ZKTraceLog::setModelName(versions.at((i + 1) % 2));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        EXPECT_TRUE(versions.contains(ZKTraceLog::deviceVersion()));
        ZKTraceLog::modelName();
    }
    writer.join();
}

TEST_F(ZKTraceLogTest, PlannedTripOfTwoTracksMatchesHandBuiltBytes)
{
    ZKTraceLog::setDeviceVersion(QStringLiteral("ZK2.1.0.3 Orvo2.8.0.20"));
    const QString path = m_out.filePath(QStringLiteral("trip-GPS.dat"));

    ASSERT_TRUE(savePlannedTrip(path, twoTracksOfThreePoints()));

    const QList<GpsPoint> expected = {
        {139691706, 35689487, 123, 7, 600, 1, 1356998400}, {139691800, 35689500, 0x7FFF, 0x7FFF, 0xFFFF, 0, 0},
        {121123456, -1, 405, -3, 208, 6, 1356998410},      {121123456, -1, 405, -3, 208, 0x40, 1356998410},
        {135502165, 34693738, -25, 0, 0, 8, 1357002000},   {135502200, 34693800, 30, 1, 16, 0, 1357002005},
        {135502300, 34693900, 40, 2, 33, 16, 1357002010},
    };
    EXPECT_EQ(OrvoTest::readFile(path), logOf(expected, "ZK2.1.0.3"));
}

TEST_F(ZKTraceLogTest, TrackEndsOnlySeparateNonEmptyTracksAndRoutePointsArePlanned)
{
    const ZKGpxTrackPoint a = trackPoint("1", "2");
    const ZKGpxTrackPoint b = trackPoint("3", "4");
    const struct
    {
        const char *name;
        QList<QList<ZKGpxTrackPoint>> tracks;
        QList<ZKGpxRoutePoint> route;
        QList<quint16> types;
    } cases[] = {
        {"oneTrackHasNoTrackEnd", {{a, b}}, {}, {0, 0}},
        {"emptyTrackGetsNoTrackEnd", {{a}, {}, {b}}, {}, {0, 0x40, 0}},
        {"lastTrackGetsNoTrackEnd", {{a}, {b}}, {}, {0, 0x40, 0}},
        {"routeOnly", {}, {routePoint("1", "2", "1,4"), routePoint("3", "4", "")}, {0x8005, 0x8000}},
        {"routeAfterTracks", {{a}, {b}}, {routePoint("5", "6", "2")}, {0, 0x40, 0, 0x8002}},
        {"nothing", {}, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = m_out.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(savePlannedTrip(path, c.tracks, c.route));
        const QByteArray bytes = OrvoTest::readFile(path);
        ASSERT_EQ(bytes.size(), 52 + 20 * c.types.size());
        EXPECT_EQ(FixtureBytes::getU32Le(bytes, 48), quint32(c.types.size()));
        for (qsizetype i = 0; i < c.types.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(quint16(quint8(bytes[52 + 20 * i + 14]) << 8 | quint8(bytes[52 + 20 * i + 15])), c.types[i]);
        }
    }
}

TEST_F(ZKTraceLogTest, RoutePointsCarryOnlyPositionAndEmptyMarkers)
{
    const QString path = m_out.filePath(QStringLiteral("route.dat"));
    ASSERT_TRUE(savePlannedTrip(path, {}, {routePoint("-33.868800", "151.209300", "1,4")}));
    const GpsPoint expected{151209300, -33868800, 0x7FFF, 0x7FFF, 0xFFFF, 0x8005, 0};
    EXPECT_EQ(OrvoTest::readFile(path).mid(52), BinaryLogFixture::gpsRecord(expected));
}

TEST_F(ZKTraceLogTest, TrackPointTextsBecomeRecordFields)
{
    const struct
    {
        const char *name;
        ZKGpxTrackPoint point;
        GpsPoint record;
    } cases[] = {
        {"allEmpty", trackPoint("", "", "", "", "", "", ""), {0, 0, 0x7FFF, 0x7FFF, 0xFFFF, 0, 0}},
        {"exactMicroDegrees", trackPoint("-89.999999", "121.123456", "", "", "", "", ""), {121123456, -89999999}},
        {"elevationTruncatedTowardZero", trackPoint("", "", "-0.05", "", "", "", ""), {0, 0, 0}},
        {"elevationAbove16BitsClamped", trackPoint("", "", "4000", "", "", "", ""), {0, 0, 32766}},
        {"elevationAtTheMarkerStaysAValue", trackPoint("", "", "3276.7", "", "", "", ""), {0, 0, 32766}},
        {"elevationBelow16BitsClamped", trackPoint("", "", "-5000", "", "", "", ""), {0, 0, -32768}},
        {"unreadableElevationIsEmpty", trackPoint("", "", "high", "", "", "", ""), {0, 0, 0x7FFF}},
        {"magneticVariationClamped", trackPoint("", "", "", "40000", "", "", ""), {0, 0, 0x7FFF, 32766}},
        {"speedKmhToMetresPerMinute", trackPoint("", "", "", "", "12.5", "", ""), {0, 0, 0x7FFF, 0x7FFF, 208}},
        {"speedAbove16BitsClamped", trackPoint("", "", "", "", "5000", "", ""), {0, 0, 0x7FFF, 0x7FFF, 0xFFFE}},
        {"negativeSpeedIsZero", trackPoint("", "", "", "", "-1", "", ""), {0, 0, 0x7FFF, 0x7FFF, 0}},
        {"timeReadAsUtc",
         trackPoint("", "", "", "", "", "", "2013-01-01T00:00:10Z"),
         {0, 0, 0x7FFF, 0x7FFF, 0xFFFF, 0, 1356998410}},
        {"unreadableTimeIsZero", trackPoint("", "", "", "", "", "", "yesterday"), {0, 0, 0x7FFF, 0x7FFF, 0xFFFF, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = m_out.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(savePlannedTrip(path, {{c.point}}));
        EXPECT_EQ(OrvoTest::readFile(path).mid(52), BinaryLogFixture::gpsRecord(c.record));
    }
}

TEST_F(ZKTraceLogTest, FailedWriteInTheMiddleKeepsThePreviousFile)
{
    const QString path = m_out.filePath(QStringLiteral("trip-GPS.dat"));
    const QByteArray previous = logOf({{1, 2}, {3, 4}}, "0.0.0.0");
    ASSERT_TRUE(OrvoTest::writeFile(path, previous));
    ZKLogCapture log;
    {
        // Room for the header and three records, and part of the fourth.
        FileSizeLimit limit(52 + 3 * 20 + 7);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(savePlannedTrip(path, twoTracksOfThreePoints()));
    }
    EXPECT_EQ(OrvoTest::readFile(path), previous);
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files), QStringList{QStringLiteral("trip-GPS.dat")});
    EXPECT_TRUE(log.messages().contains(QStringLiteral("rollback GPS log at pos=112")));
}

TEST_F(ZKTraceLogTest, UncreatableFileWritesNothing)
{
    const QString path = m_out.filePath(QStringLiteral("missing/folder/trip-GPS.dat"));
    EXPECT_FALSE(savePlannedTrip(path, twoTracksOfThreePoints()));
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("missing"))));
}
