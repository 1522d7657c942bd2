#include "Kavel40Emulator.h"
#include "OrvoTestSupport.h"
#include "PsfImage15Builder.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "psf15/OrvoPSFLap_1_5.h"
#include "psf15/OrvoPSFRoute_1_5.h"
#include "psf15/OrvoPSFTrackCursor.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "util/ZKGpxRoute.h"
#include "util/ZKGpxRoutePoint.h"
#include "util/ZKGpxTrack.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace Kavel40;

namespace {

// A lap record laid out by hand: every byte 0xFF (absent) but the fields given.
QByteArray lapBytes(const QVector<QPair<int, QByteArray>> &fields)
{
    QByteArray lap(OrvoPSFLap_1_5::kSize, '\xFF');
    for (const auto &field : fields)
        lap.replace(field.first, field.second.size(), field.second);
    return lap;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

class OrvoPSFDeviceListingTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    std::unique_ptr<OrvoPSFDevice> start(const PsfImage15Builder &builder)
    {
        m_device = makeDevice(builder.build().bytes);
        auto client = makeClient(m_device);
        EXPECT_TRUE(client->initial());
        return client;
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    std::shared_ptr<OrvoEmulatedFlashDevice> m_device;
};

OrvoPSFRoute_1_5 *routeAt(OrvoPSFDevice &client, bool recorded, size_t index)
{
    std::vector<OrvoPSFRoute_1_5 *> routes;
    if (!client.flashImage()->routes(recorded, routes) || index >= routes.size())
        return nullptr;
    return routes[index];
}

ZKGpxTrackPoint gpxPoint(const char *lat, const char *lon, const char *ele = "0", const char *type = "")
{
    ZKGpxTrackPoint point;
    point.lat = QString::fromLatin1(lat);
    point.lon = QString::fromLatin1(lon);
    point.ele = QString::fromLatin1(ele);
    point.type = QString::fromLatin1(type);
    return point;
}

// The positions a segment replays to: its start, then every point.
QVector<QPair<qint32, qint32>> replay(const OrvoPSFTrackSeg_1_5 &segment)
{
    QVector<QPair<qint32, qint32>> positions{{segment.startLatitude(), segment.startLongitude()}};
    OrvoPSFTrackCursor cursor = segment.cursor();
    while (cursor.next())
        positions.append({cursor.position().latE6(), cursor.position().lonE6()});
    return positions;
}

} // namespace

TEST_F(OrvoPSFDeviceListingTest, RoutesAndRidesAreListedWithTheirLengthsTimesAndUploadMark)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route planned;
    planned.names = {{"eng", "Lake"}};
    planned.travelDistance = 123;
    builder.addRoute(planned);
    PsfImage15Builder::Route ride;
    ride.recorded = true;
    ride.names = {{"eng", "Morning"}};
    ride.hasSummary = true;
    ride.summary = {1700000000, 1700000600, 4321};
    builder.addRoute(ride);
    auto client = start(builder);

    QVector<OrvoClientData> routes;
    client->getRoutes(routes);
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes[0].id, 0);
    EXPECT_EQ(routes[0].name, QStringLiteral("Lake"));
    EXPECT_EQ(routes[0].totalLength, 1230) << "no summary lap: word 26 in tens of metres";
    EXPECT_FALSE(routes[0].startTime.isValid());
    EXPECT_EQ(routes[0].kind, int(OrvoClientData::KindRide));

    QVector<OrvoClientData> rides;
    client->getTracks(rides);
    ASSERT_EQ(rides.size(), 1);
    EXPECT_EQ(rides[0].name, QStringLiteral("Morning"));
    EXPECT_EQ(rides[0].totalLength, 4321);
    EXPECT_EQ(rides[0].startTime, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    EXPECT_EQ(rides[0].endTime, QDateTime::fromSecsSinceEpoch(1700000600, Qt::UTC));
    EXPECT_FALSE(rides[0].uploaded);

    routeAt(*client, true, 0)->setDeviceAttribute(2);
    rides.clear();
    client->getTracks(rides);
    ASSERT_EQ(rides.size(), 1);
    EXPECT_TRUE(rides[0].uploaded) << "byte 4 bit 3";
}

TEST_F(OrvoPSFDeviceListingTest, LapTextsLeaveAbsentValuesEmpty)
{
    struct Case
    {
        const char *name;
        QByteArray lap;
        int selector;
        ZKGpxLap expected;
    };
    ZKGpxLap absent;
    absent.start = absent.end = QStringLiteral("2106-02-07T06:28:15Z");
    absent.distance = QStringLiteral("4294967295");
    absent.altgain = absent.altloss = absent.calorie = QStringLiteral("65535");
    absent.rtime = QStringLiteral("4294967295");
    ZKGpxLap present = absent;
    present.start = QStringLiteral("2023-11-14T22:13:20Z");
    present.distance = QStringLiteral("3000");
    present.speedAvg = QStringLiteral("36.00");
    present.hrmMax = QStringLiteral("150");
    present.cadAvg = QStringLiteral("90");
    present.pwrAvg = QStringLiteral("250");
    ZKGpxLap scaled = absent;
    scaled.cadAvg = QStringLiteral("60.00");
    const QByteArray withValues = lapBytes({{0, le32(1700000000)},
                                            {8, le32(3000)},
                                            {12, QByteArray("\x50", 1)},
                                            {15, QByteArray("\x96", 1)},
                                            {16, QByteArray("\x5A", 1)},
                                            {18, le16(250)}});
    const std::vector<Case> cases = {
        {"every field absent", lapBytes({}), 0, absent},
        {"absent cadence with selector 1 stays empty", lapBytes({}), 1, absent},
        {"present values", withValues, 0, present},
        {"selector 1 scales cadence by 60 / 64", lapBytes({{16, QByteArray("\x40", 1)}}), 1, scaled},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = c.lap;
        const OrvoPSFLap_1_5 lap(OrvoPSFObject::spanOf(bytes));
        EXPECT_EQ(OrvoPSFDevice::makeTrackDescription(lap, c.selector), c.expected);
    }
}

TEST_F(OrvoPSFDeviceListingTest, TwoSegmentsGiveTwoTracksAndTheirEndsAsRoutePoints)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route ride;
    ride.recorded = true;
    ride.names = {{"eng", "Two"}};
    PsfImage15Builder::Segment first;
    first.time = 1700000000;
    first.lat = 48000000;
    first.lon = 11000000;
    first.altitudeCode = 4400; // 100 m
    first.points = {{0, 2, 15, 10, -20}};
    PsfImage15Builder::Segment second;
    second.time = 1700000100;
    second.lat = 48100000;
    second.lon = 11100000;
    second.points = {{0, 1, 0, 5, 5}, {0, 1, 0, 5, 5}};
    PsfImage15Builder::Segment empty;
    ride.segments = {first, empty, second};
    builder.addRoute(ride);
    auto client = start(builder);

    ZKGpxRoute route;
    const std::optional<ZKGpxTrackList> tracks = client->toGpxTrack(*routeAt(*client, true, 0), route);
    ASSERT_TRUE(tracks.has_value());
    ASSERT_EQ(tracks->tracks.size(), 3);
    const auto &points = tracks->tracks[0].points;
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0].lat, QStringLiteral("48.000000"));
    EXPECT_EQ(points[0].lon, QStringLiteral("11.000000"));
    EXPECT_EQ(points[0].ele, QStringLiteral("100.00"));
    EXPECT_EQ(points[0].time, QStringLiteral("2023-11-14T22:13:20Z"));
    EXPECT_EQ(points[1].lat, QStringLiteral("47.999980"));
    EXPECT_EQ(points[1].lon, QStringLiteral("11.000010"));
    EXPECT_EQ(points[1].ele, QStringLiteral("101.50"));
    EXPECT_EQ(points[1].time, QStringLiteral("2023-11-14T22:13:22Z"));
    EXPECT_TRUE(tracks->tracks[1].points.isEmpty()) << "a segment without points";
    EXPECT_EQ(tracks->tracks[2].points.size(), 3);

    QStringList routePoints;
    for (const ZKGpxRoutePoint &point : route.points)
        routePoints << point.lat + QLatin1Char(' ') + point.lon;
    EXPECT_EQ(routePoints, QStringList({"48.000000 11.000000", "48.100000 11.100000", "48.100010 11.100010"}));
}

TEST_F(OrvoPSFDeviceListingTest, SensorSamplesBecomeLogPointsWithoutInventedValues)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route ride;
    ride.recorded = true;
    PsfImage15Builder::Segment segment;
    segment.time = 1700000000;
    segment.secondsPerTick = 2;
    // Speed, cadence, heart rate and temperature; the second sample's cadence is absent.
    segment.sensorLog =
        builder.addSensorLog({0x17, 3, {QByteArray::fromHex("50 5A 8C FB FF"), QByteArray::fromHex("FF FF FF 2C 01")}});
    ride.segments = {segment};
    builder.addRoute(ride);
    auto client = start(builder);

    const auto logs = client->toGpxSsrLog(*routeAt(*client, true, 0));
    ASSERT_TRUE(logs.has_value());
    ASSERT_EQ(logs->items.size(), 1);
    EXPECT_EQ(logs->items[0].breaktype, QStringLiteral("3"));
    ZKGpxLogPoint first;
    first.time = QStringLiteral("2023-11-14T22:13:20Z");
    first.spd = QStringLiteral("36.00");
    first.cad = QStringLiteral("90");
    first.hrm = QStringLiteral("140");
    first.tmp = QStringLiteral("-0.5");
    ZKGpxLogPoint second;
    second.time = QStringLiteral("2023-11-14T22:13:22Z");
    second.tmp = QStringLiteral("30.0");
    EXPECT_EQ(logs->items[0].points, QList<ZKGpxLogPoint>({first, second}));
}

TEST_F(OrvoPSFDeviceListingTest, MultiLanguageNamesSplitAtBackslashes)
{
    struct Case
    {
        const char *name;
        QString text;
        QMap<QString, QString> expected;
    };
    const std::vector<Case> cases = {
        {"two languages", QStringLiteral("\\engXRide\\deuXFahrt"), {{"eng", "Ride"}, {"deu", "Fahrt"}}},
        {"no language", QStringLiteral("Ride"), {{"UNK", "Ride"}, {"old", "kept"}}},
        {"parts of four characters or fewer are dropped", QStringLiteral("\\eng \\deu Fahrt"), {{"deu", "Fahrt"}}},
        {"one character is no name", QStringLiteral("R"), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QMap<QString, QString> names{{"old", "kept"}};
        OrvoPSFDevice::parseMultiLangNames(c.text, names);
        EXPECT_EQ(names, c.expected);
    }
}

TEST_F(OrvoPSFDeviceListingTest, BuiltSegmentsReplayToTheFilesPositions)
{
    struct Case
    {
        const char *name;
        QList<ZKGpxTrackPoint> points;
        qsizetype records;
    };
    const std::vector<Case> cases = {
        {"three points",
         {gpxPoint("48.000000", "11.000000"), gpxPoint("48.000100", "11.000200"), gpxPoint("48.000050", "10.999900")},
         2},
        {"a step of 40000 micro-degrees is split", {gpxPoint("48.0", "11.0"), gpxPoint("48.04", "11.0")}, 2},
        {"a step of 70000 micro-degrees", {gpxPoint("-1.0", "-1.0"), gpxPoint("-1.0", "-1.07")}, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start(PsfImage15Builder());
        OrvoPSFRoute_1_5 *route = client->flashImage()->addRoute({"r"}, {"ENG"}, false);
        ASSERT_NE(route, nullptr);
        ZKGpxTrack track;
        track.points = c.points;
        ASSERT_TRUE(client->buildTrackSegment(*route, track, nullptr, nullptr));
        const auto *segments = client->flashImage()->trackSegmentsOfRoute(*route);
        ASSERT_EQ(segments->size(), 1u);
        const OrvoPSFTrackSeg_1_5 &segment = *segments->front();
        EXPECT_EQ(qsizetype(segment.points().size()), c.records);
        const auto positions = replay(segment);
        QSet<QPair<qint32, qint32>> seen(positions.begin(), positions.end());
        for (const ZKGpxTrackPoint &point : c.points) {
            const QPair<qint32, qint32> expected{ZKGeoPoint::e6FromDegreesText(point.lat),
                                                 ZKGeoPoint::e6FromDegreesText(point.lon)};
            EXPECT_TRUE(seen.contains(expected)) << point.lat.toStdString() << " " << point.lon.toStdString();
        }
        EXPECT_EQ(positions.last(), (QPair<qint32, qint32>{segment.endLatitude(), segment.endLongitude()}));
    }
}

TEST_F(OrvoPSFDeviceListingTest, BuiltSegmentCarriesTypesAndMarkers)
{
    auto client = start(PsfImage15Builder());
    OrvoPSFRoute_1_5 *route = client->flashImage()->addRoute({"r"}, {"ENG"}, false);
    ASSERT_NE(route, nullptr);
    ZKGpxTrack track;
    track.breaktype = QStringLiteral("5");
    track.points = {gpxPoint("1.0", "1.0", "10"), gpxPoint("1.0001", "1.0", "15", "1,8"),
                    gpxPoint("1.0002", "1.0", "15", "4,,9")};
    ZKGpxRoutePoint first;
    first.type = QStringLiteral("12");
    ZKGpxRoutePoint second;
    second.type = QStringLiteral("16");
    ASSERT_TRUE(client->buildTrackSegment(*route, track, &first, &second));
    const OrvoPSFTrackSeg_1_5 &segment = *client->flashImage()->trackSegmentsOfRoute(*route)->front();
    EXPECT_EQ(segment.u8(24), 0x40 | 0x02 | 0x08 | 0x10) << "kind 2, start marks 4 and 8, end mark 16";
    EXPECT_EQ(segment.secondsPerTick(), 4);
    EXPECT_EQ(segment.routeType(), 5);
    EXPECT_EQ(segment.startAltitudeCode(), 4040);
    EXPECT_EQ(segment.endAltitudeCode(), 4060);
    EXPECT_EQ(segment.startTime(), QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC).toSecsSinceEpoch());
    ASSERT_EQ(segment.points().size(), 2u);
    EXPECT_EQ(segment.points()[0]->u8(0), 0x04 | 0x10) << "type text 1,8";
    EXPECT_EQ(segment.points()[1]->u8(0), 0x08) << "type text 4,,9";
    EXPECT_EQ(segment.points()[0]->altitudeDelta(), 50);
    EXPECT_EQ(segment.points()[1]->altitudeDelta(), 0);

    track.points = {gpxPoint("1.0", "1.0")};
    EXPECT_FALSE(client->buildTrackSegment(*route, track, nullptr, nullptr)) << "one point";
    track.points = {gpxPoint("1.0", "1.0"), gpxPoint("x", "1.0")};
    EXPECT_FALSE(client->buildTrackSegment(*route, track, nullptr, nullptr)) << "no position";
    EXPECT_EQ(client->flashImage()->trackSegmentsOfRoute(*route)->size(), 1u);
}
