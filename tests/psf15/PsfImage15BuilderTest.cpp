#include "PsfImage15Builder.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

using B = PsfImage15Builder;

// The builder's records against bytes laid out by hand from the documented offsets, so that
// the builder cannot drift along with the code it checks.
struct AnchorCase
{
    const char *name;
    qsizetype offset;
    const char *hex;
};

B::Image anchoredImage()
{
    B builder;
    B::Route route;
    route.recorded = true;
    route.startTime = 0x65000000;
    route.travelDistance = 250;
    route.names = {{"eng", "Ride"}};
    B::Segment segment;
    segment.time = 0x65000000;
    segment.lon = 139700000;
    segment.lat = 35600000;
    segment.endLon = 139700010;
    segment.endLat = 35600020;
    segment.secondsPerTick = 1;
    segment.sensorLog = 0;
    segment.points = {{0, 1, -10, 10, 20}};
    route.segments = {segment};
    route.laps = {{0x65000000, 0x65000064, 1000, 0x50, 0x8C, 30}};
    route.userInfoLog = 0;
    builder.addRoute(route);
    builder.addSensorLog({0x07, 1, {QByteArray::fromHex("505A8C")}});
    builder.addUserInfoLog({7250, 17800, 0x21, 85, 21000, {{5, 170, {{100, 120}}}}});
    B::Workout workout;
    workout.time = 0x64000000;
    workout.number = 7;
    workout.names = {{"eng", "Hard"}};
    workout.intervals = {{1, 1, 600, -1, 0}, {2, 2, 1000, 0, 3}};
    workout.logs = {{0, {QByteArray::fromHex("0102030405060708")}}};
    builder.addWorkout(workout);
    return builder.build();
}

const AnchorCase kAnchors[] = {
    {"sectionTable", 0x6000 + 48,
     "000000000000000000000000"                               // the table's own 12 bytes
     "54010000 00000000000000000000000000000000"              // record 0
     "00A00700 00000000000000000000000000000000"              // routes at 0x80000
     "280D0000 00000000000000000000000000000000"              // workouts at 0x6D28
     "00300A00 00000000000000000000000000000000"              // workout logs at 0xA9000
     "00B00A00 00000000000000000000000000000000"              // tracks at 0xB1000
     "00901400 00000000000000000000000000000000"              // sensor logs at 0x14F000
     "00401E00 00000000000000000000000000000000"},            // user-info logs at 0x1EA000
    {"variantCode", 0x6000 + 16, "31353130"},                 // "1510"
    {"routeSection", 0x80000, "18000000 00900000 0100 FFFF"}, // records, laps, count 1
    {"workoutSection", 0x6D28, "18000000 D8E20900 0100"},     // records, intervals, count
    {"routeRecord", 0x80018,
     "00000065 01 00 0000 00000000 FFFFFFFF 00000000 00000000" // ride; segment 0; lap 0
     "01 FF FA00 FFFFFFFF 24000000"                            // 1 lap, 250 (x 10 m), last
     "00 00 0400 656E6700 0000 0000 52696465 FF"},             // "Ride"
    {"segment", 0xB1018,
     "00000065 20A75308 80361F02 2AA75308 94361F02 A00F A00F 40 01 0000" // start, end, 0 m, 1 s a tick
     "FFFFFFFF 01000000 00000000"                                        // last; 1 point; sensor log 0
     "04 F6 0A00 1400 FF"},                                              // type 0, 1 tick
    {"lap", 0x89000, "00000065 64000065 E8030000 50 FF 8C FF FF FF FFFF FFFF 0000 0000 1E00 64000000"},
    {"sensorLog", 0x14F018, "000000000000000000 07 0100 04 000000 505A8C FF"},
    {"userInfoLog", 0x1EA018,
     "0000 0000 521C 0000 8845 21 55 0852 08 000000000000000000" // one zone record
     "15 00 AA00 6400 7800 FF"},                                 // type 5, one zone
    {"workout", 0x6D40,
     "00000064 07000000 00000000 00000000 00000000 FFFFFFFF 00000000"
     "FFFFFFFF 28000000 FFFFFFFF 00 00 0400 656E6700 0000 0000 48617264 FF"},
    {"intervals", 0xA5000,
     "01 01 5802 18000000 FFFFFFFF 00 00000000 71 00 00 00000000"      // warm-up 600, next at 24
     "02 02 E803 FFFFFFFF 00000000 03 00000000 71 00 00 00000000 FF"}, // work 1000, goto 0, 3 times
    {"workoutLog", 0xA9010, "0000000000000000 FFFFFFFF 00000000 0100 000000000000 0102030405060708 FF"},
    {"managementRecord", 0, "55AA FFFFFFFF"},
    {"managementCounters", 66,
     "0000 68696A6B6C6D6E6F"
     "88920700 406D0000 786D0000"   // workouts: 56 bytes used
     "A4820000 18000800 4C000800"   // routes: 52
     "C8BF0100 00900800 38900800"   // laps: 56
     "B03D0000 00500A00 30500A00"   // intervals: 48
     "D07F0000 10900A00 30900A00"   // workout logs: 32
     "BADF0900 18100B00 46100B00"   // tracks: 46
     "D5AF0900 18F01400 2BF01400"   // sensor logs: 19
     "544F0000 18A01E00 38A01E00"}, // user-info logs: 32
};

TEST(PsfImage15BuilderTest, RecordsMatchTheirHandWrittenBytes)
{
    const B::Image image = anchoredImage();
    for (const AnchorCase &c : kAnchors) {
        SCOPED_TRACE(c.name);
        const QByteArray expected = QByteArray::fromHex(c.hex);
        EXPECT_EQ(image.bytes.mid(c.offset, expected.size()), expected);
    }
    EXPECT_EQ(image.routeOffsets, QVector<qsizetype>{0});
    EXPECT_EQ(image.workoutLogOffsets, QVector<qsizetype>{0});
}

TEST(PsfImage15BuilderTest, OtherVariantMovesTheAreas)
{
    B builder("1511");
    builder.addRoute({});
    const QByteArray image = builder.build().bytes;
    EXPECT_EQ(image.mid(0x6000 + 16, 4), QByteArray("1511"));
    EXPECT_EQ(image.mid(0x6000 + 80, 4), QByteArray::fromHex("864C0700")) << "routes at 0x7AC86";
    EXPECT_EQ(image.mid(0x7AC86, 10), QByteArray::fromHex("18000000 7A830000 0100"));
    EXPECT_EQ(image.mid(0x7AC9E, 4), QByteArray::fromHex("FFFFFFFF"));
}

} // namespace
