#include "psf15/OrvoPSFTrackFrame_1_5.h"

#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"
#include "psf15/OrvoPSFTrackCursor.h"

#include <gtest/gtest.h>

namespace {

using Psf15::Session;
using B = PsfImage15Builder;

constexpr qsizetype kRouteRecords = 0x80018;
constexpr qsizetype kTrackSection = 0xB1000;
constexpr qsizetype kTrackRecords = 0xB1018;
constexpr qsizetype kTrackCapacity = 0x9DFE8;
// Counters of the first management record: free and end of the track area.
constexpr qsizetype kTrackFree = 136;
constexpr qsizetype kTrackEnd = 144;

// One route with one segment whose points are the given bytes.
QByteArray segmentImage(const QByteArray &points, quint32 count, quint8 secondsPerTick)
{
    B builder;
    B::Route route;
    route.recorded = true;
    B::Segment segment;
    segment.time = 1000;
    segment.lon = 1000000;
    segment.lat = 2000000;
    segment.secondsPerTick = secondsPerTick;
    segment.storedCount = count;
    route.segments = {segment};
    builder.addRoute(route);
    QByteArray image = builder.build().bytes;
    image.replace(kTrackRecords + 40, points.size(), points);
    return image;
}

struct PointCase
{
    const char *name;
    const char *hex; // one point, laid out by hand
    B::Point point;  // the same point as the builder writes it
    qint32 altitudeTenths;
    qint32 lon;
    qint32 lat;
    int ticks;
};

const PointCase kPoints[] = {
    {"type0", "14 F6 0A00 F6FF", {0, 5, -10, 10, -10}, -10, 10, -10, 5},
    {"type1", "09 2C01 0080 FF7F", {1, 2, 300, -32768, 32767}, 300, -32768, 32767, 2},
    {"type2", "0E 7F 40420F00 C0BDF0FF", {2, 3, 127, 1000000, -1000000}, 127, 1000000, -1000000, 3},
    {"type3", "FF 0080 C0BDF0FF 20A10700", {3, 63, -32768, -1000000, 500000}, -32768, -1000000, 500000, 63},
};

TEST(OrvoPSFTrackFrame_1_5Test, PointsDecodeAtTheWidthsOfTheirType)
{
    for (const PointCase &c : kPoints) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = QByteArray::fromHex(c.hex);
        ASSERT_EQ(B::point(c.point), bytes) << "the builder writes what was laid out by hand";
        Session session(segmentImage(bytes, 1, 4));
        auto route = session.routes();
        ASSERT_EQ(route->routes().size(), 1u);
        session.tracks()->loadSegmentsOfRoute(*route->routes()[0]);
        ASSERT_EQ(route->routes()[0]->segments().size(), 1u);
        const OrvoPSFTrackSeg_1_5 &segment = *route->routes()[0]->segments()[0];
        ASSERT_EQ(segment.points().size(), 1u);
        EXPECT_EQ(segment.size(), 40 + bytes.size());
        const OrvoPSFTrackPoint_1_5 &point = *segment.points()[0];
        EXPECT_EQ(point.size(), bytes.size());
        EXPECT_EQ(point.altitudeDelta(), c.altitudeTenths);
        EXPECT_EQ(point.coordinateDeltaA(), c.lon);
        EXPECT_EQ(point.coordinateDeltaB(), c.lat);

        OrvoPSFTrackCursor cursor = segment.cursor();
        ASSERT_TRUE(cursor.next());
        EXPECT_EQ(cursor.position().lonE6(), 1000000 + c.lon);
        EXPECT_EQ(cursor.position().latE6(), 2000000 + c.lat);
        EXPECT_NEAR(cursor.altitude().value(), c.altitudeTenths / 10.0, 1e-9) << "start altitude code 4000 is 0 m";
        EXPECT_EQ(cursor.time(), 1000 + c.ticks * 4);
        EXPECT_FALSE(cursor.next());
    }
}

struct CountCase
{
    const char *name;
    quint32 count;
    size_t points;
};

const CountCase kCounts[] = {
    {"zero", 0, 0}, {"absent", 0xFFFFFFFF, 0}, {"noPointsMarker", 0xFFFE, 0}, {"aboveTheMarker", 0x12345678, 0},
    {"two", 2, 2},
};

TEST(OrvoPSFTrackFrame_1_5Test, PointCountsMeaningNoPoints)
{
    for (const CountCase &c : kCounts) {
        SCOPED_TRACE(c.name);
        Session session(segmentImage(QByteArray::fromHex("0401FFFF0000 0401FFFF0000"), c.count, 1));
        auto route = session.routes();
        session.tracks()->loadSegmentsOfRoute(*route->routes()[0]);
        const OrvoPSFTrackSeg_1_5 &segment = *route->routes()[0]->segments()[0];
        EXPECT_EQ(segment.points().size(), c.points);
        OrvoPSFTrackCursor cursor = segment.cursor();
        EXPECT_EQ(cursor.next(), c.points > 0);
    }
}

TEST(OrvoPSFTrackFrame_1_5Test, PointsRunningPastTheImageStopThere)
{
    // A segment near the image's end claims 1000 points; only the ones inside are read.
    QByteArray image = segmentImage(QByteArray(), 0, 1);
    const qsizetype last = PsfImage15Builder::kImageSize - 40 - 6 * 3 - 2;
    Psf15::putU32(image, kRouteRecords + 8, quint32(last - kTrackRecords));
    image.replace(last, 40, image.mid(kTrackRecords, 40));
    Psf15::putU32(image, last + 32, 1000);
    image.replace(last + 40, 20, QByteArray(20, '\0'));
    Session session(image);
    auto route = session.routes();
    session.tracks()->loadSegmentsOfRoute(*route->routes()[0]);
    EXPECT_EQ(route->routes()[0]->segments()[0]->points().size(), 3u);
}

TEST(OrvoPSFTrackFrame_1_5Test, SegmentChainEndsAtACycle)
{
    B builder;
    B::Route route;
    route.segments = {B::Segment(), B::Segment(), B::Segment()};
    builder.addRoute(route);
    QByteArray image = builder.build().bytes;
    Psf15::putU32(image, kTrackRecords + 40 + 28, 0); // the second segment leads back to the first
    Session session(image);
    auto routes = session.routes();
    session.tracks()->loadSegmentsOfRoute(*routes->routes()[0]);
    EXPECT_EQ(routes->routes()[0]->segments().size(), 2u);
}

struct DeltaCase
{
    const char *name;
    int type;
    qint32 altitude;
    qint32 coordinate;
    bool altitudeFits;
    bool coordinateFits;
};

const DeltaCase kDeltas[] = {
    {"type0Limits", 0, -128, 32767, true, true},
    {"type0Beyond", 0, 128, 32768, false, false},
    {"type1", 1, 32767, -32769, true, false},
    {"type3", 3, -32769, 2000000000, false, true},
};

TEST(OrvoPSFTrackFrame_1_5Test, AddedPointsGrowTheSegmentAndTheTrackArea)
{
    Session session(B().build().bytes);
    OrvoPSFFlashLayout &layout = session.layout();
    auto image = session.section(OrvoPSFSectionTable_1_5::Track);
    OrvoPSFTrackSeg_1_5 segment(image.subspan(24), true);
    EXPECT_EQ(session.image().mid(kTrackRecords, 40), QByteArray::fromHex("00000000 FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF"
                                                                          "0000 0000 00 00 00 00 FFFFFFFF 00000000"
                                                                          "FFFFFFFF"));

    for (const DeltaCase &c : kDeltas) {
        SCOPED_TRACE(c.name);
        OrvoPSFTrackPoint_1_5 *point = segment.addPoint(layout);
        ASSERT_NE(point, nullptr);
        EXPECT_EQ(point->type(), 0);
        EXPECT_EQ(point->size(), 6);
        point->setType(c.type);
        EXPECT_EQ(point->setAltitudeDelta(c.altitude), c.altitudeFits);
        EXPECT_EQ(point->setCoordinateDeltaA(c.coordinate), c.coordinateFits);
        if (c.coordinateFits) {
            EXPECT_EQ(point->coordinateDeltaA(), c.coordinate);
        }
        point->setType(0);
    }
    const QByteArray after = session.image();
    EXPECT_EQ(Psf15::u32At(after, kTrackRecords + 32), 4u);
    EXPECT_EQ(Psf15::u32At(after, kTrackFree), quint32(kTrackCapacity - 24));
    EXPECT_EQ(Psf15::u32At(after, kTrackEnd), quint32(kTrackRecords + 24));

    // No room for a fifth point once the free count says so.
    QByteArray full = after;
    Psf15::putU32(full, kTrackFree, 5);
    Session fullSession(full);
    auto fullImage = fullSession.section(OrvoPSFSectionTable_1_5::Track);
    OrvoPSFTrackSeg_1_5 loaded(fullImage.subspan(24), false);
    EXPECT_EQ(loaded.addPoint(fullSession.layout()), nullptr);
    EXPECT_EQ(fullSession.image(), full);
}

TEST(OrvoPSFTrackFrame_1_5Test, RebuildPacksTheSegmentsAndKeepsRoutesWithoutAny)
{
    B builder;
    B::Route ride;
    ride.recorded = true;
    B::Segment segment;
    segment.points = {Psf15::point(0, 1, 0, 1, 1)};
    ride.segments = {segment, segment};
    builder.addRoute(ride);
    B::Route empty;
    empty.names = {{"eng", "No track"}};
    builder.addRoute(empty);
    segment.points.append(Psf15::point(3, 1, 0, 1, 1));
    ride.segments = {segment, segment};
    builder.addRoute(ride);
    const B::Image built = builder.build();

    // A gap after the first ride's segments, as left by a removed route.
    QByteArray image = built.bytes;
    const QByteArray second = image.mid(kTrackRecords + 92, 2 * 57);
    image.replace(kTrackRecords + 92, 2 * 57, QByteArray(2 * 57, '\xFF'));
    image.replace(kTrackRecords + 200, 2 * 57, second);
    Psf15::putU32(image, kRouteRecords + built.routeOffsets[2] + 8, 200);
    Psf15::putU32(image, kTrackRecords + 200 + 28, 257);

    Session session(image);
    auto routes = session.routes();
    ASSERT_TRUE(session.tracks()->rebuild(routes->routes(), session.layout()));
    const QByteArray after = session.image();

    EXPECT_EQ(Psf15::u32At(after, kRouteRecords + 8), 0u);
    EXPECT_EQ(Psf15::u32At(after, kRouteRecords + built.routeOffsets[1] + 8), 0xFFFFFFFFu)
        << "a route without segments is not given another route's";
    EXPECT_EQ(Psf15::u32At(after, kRouteRecords + built.routeOffsets[2] + 8), 92u);
    EXPECT_EQ(Psf15::u32At(after, kTrackRecords + 28), 46u);
    EXPECT_EQ(Psf15::u32At(after, kTrackRecords + 46 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(Psf15::u32At(after, kTrackRecords + 92 + 28), 149u);
    EXPECT_EQ(Psf15::u32At(after, kTrackRecords + 149 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(after.mid(kTrackRecords + 92 + 32, 25), second.mid(32, 25));
    EXPECT_EQ(after.mid(kTrackRecords + 206, 200), QByteArray(200, '\xFF'));
    EXPECT_EQ(Psf15::u32At(after, kTrackFree), quint32(kTrackCapacity - 206));
    EXPECT_EQ(Psf15::u32At(after, kTrackEnd), quint32(kTrackRecords + 206));
    EXPECT_EQ(routes->routes()[2]->segments().size(), 2u);
    EXPECT_TRUE(routes->routes()[1]->segments().empty());
}

TEST(OrvoPSFTrackFrame_1_5Test, RebuildWithoutRoutesClearsAndRefusesAMisplacedSection)
{
    const QByteArray built = Psf15::standardBuilder().build().bytes;
    {
        Session session(built);
        ASSERT_TRUE(session.tracks()->rebuild({}, session.layout()));
        EXPECT_EQ(session.image().mid(kTrackRecords, kTrackCapacity), QByteArray(kTrackCapacity, '\xFF'));
        EXPECT_EQ(session.layout().trackAreaFree(), quint64(kTrackCapacity));
    }
    QByteArray misplaced = built;
    Psf15::putU32(misplaced, kTrackSection, 0x100);
    Session session(misplaced);
    auto routes = session.routes();
    EXPECT_FALSE(session.tracks()->rebuild(routes->routes(), session.layout()));
    EXPECT_EQ(session.image(), misplaced);
}

} // namespace
