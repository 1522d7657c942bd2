#include "psf14/OrvoPSFDistHeader.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFIntervalLog.h"
#include "psf14/OrvoPSFLap.h"
#include "psf14/OrvoPSFManagementHeaderRecord.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFPOIHeader.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRouteHeader.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFSensorLog.h"
#include "psf14/OrvoPSFSensorLogPoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackPoint.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLog.h"

#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

namespace {

using FixtureBytes::hex;

QByteArray zeros(qsizetype n)
{
    return QByteArray(n, '\0');
}

QByteArray erased(qsizetype n)
{
    return QByteArray(n, '\xFF');
}

// A POI at 139.767125 E, 35.681236 N, value 0x1234, only poiFlag2 set, named "Home".
const QByteArray kPoiHex = hex("55AD5408 D4732002 3412 04 FF 486F6D65") + zeros(124) + erased(8);
// A ride started at 1700000000, named "Ride", bit-font flag and bits 2-3 = 2, activity 1 with
// sub-type 2, value 0x1234, first track at 0x28, summary lap at 0x40, laps from 0x60, 3 laps.
const QByteArray kRouteHex =
    hex("00F15365 52696465") + zeros(124) + hex("0B 21 3412 28000000 40000000 60000000 03") + erased(7);
// A track started at 1700000000 from 139.767125 E 35.681236 N to 35.681236 + 10, altitudes
// 4160 and 4170, all five flags, 2 seconds a tick, bytes 26-27 AA BB, next at 0x30, two
// points, first sensor log at 0x10; then its two track points.
const QByteArray kTrackHex = hex("00F15365 55AD5408 D4732002 55AD5408 DE732002 4010 4A10 1F 02 AABB 30000000 "
                                 "02000000 10000000"
                                 "7800B0FF 05 01"
                                 "0A000A00 FB 02");

// The records below are written by hand from the record layouts, field by field, so that the
// image builder and the readers are each held to the layout rather than to one another.

// A planned route's track: no start time, from 8.54 E 47.37 N back to it, both altitudes 0 m
// (code 4000), no flags, 1 second a tick, bytes 26-27 erased, no next track, one point, no
// sensor log; its route point moves -2 and +300 micro-degrees, value -1, flags 0 and 2.
const QByteArray kPlannedTrackHex = hex("FFFFFFFF 604F8200 10CFD202 604F8200 10CFD202 A00F A00F 00 01 FFFF FFFFFFFF "
                                        "01000000 FFFFFFFF"
                                        "FEFF 2C01 FF 05");
// A lap of 1700000000 to 1700000700 over 12345, speeds 80/120, heart rates 140/175, cadences
// 85/110, powers 200/450, gain 120, loss 118, 512 calories, 690 s riding.
const QByteArray kLapHex = hex("00F15365 BCF35365 39300000 50 78 8C AF 55 6E C800 C201 7800 7600 0002 B2020000");
// A sensor log of 1700000010, next at 0x40, 2 s a point, every channel and bit 7 (0xBF), two
// 9-byte points, bytes 12-15 erased.
const QByteArray kSensorLogHex = hex("0AF15365 40000000 02 BF 0200 FFFFFFFF"
                                     "50 5A 8C C800 FA00 1000"
                                     "51 5B 8D C900 F6FF 1100");
// A workout of 1700100000 named "Intervals", id 0x12345678, intervals from 0, logs from 0x18,
// activity 2 with the daily and exported bits (0x52), repeat 3 of type 1 (0x23), bytes 146-147
// erased, value 0x0BADCAFE.
const QByteArray kWorkoutHex =
    hex("A0775565 496E74657276616C73") + zeros(119) + hex("78563412 00000000 18000000 52 23 FFFF FECAAD0B");
// An interval: step 1, target type 2 (0x21), duration type 1 of 600, next at 0x14, no repeat
// target, repeat 0, targets 100 to 140; the device's bytes 15-19 as the builder leaves them.
const QByteArray kIntervalHex = hex("21 01 5802 14000000 FFFFFFFF 00 64 8C FFFF 00 FFFF");
// A workout log with values 0x11111111 and 0x22222222, the last of its chain, of the ride at
// route offset 156, two interval logs: 1700000000-1700000600 and 1700000600-1700000700.
const QByteArray kWorkoutLogHex = hex("11111111 22222222 FFFFFFFF 9C000000 0200 FFFFFFFFFFFF"
                                      "00F15365 58F35365 58F35365 BCF35365");

TEST(OrvoPSF14RecordsTest, BuilderRecordsMatchTheirHandWrittenBytes)
{
    using namespace PsfImage14Builder;
    Track ridden{1700000000, 139767125, 35681236, 139767125, 35681246, 4160, 4170, 0x1F, 2, {}, {}};
    ridden.points = {{120, -80, 5, 1}, {10, 10, -5, 2}};
    Track planned{0xFFFFFFFF, 8540000, 47370000, 8540000, 47370000, 4000, 4000, 0x00, 1, {}, {}};
    planned.points = {{-2, 300, -1, 0x05}};
    const SensorLog log{
        1700000010,
        2,
        0xBF,
        {QByteArray("\x50\x5A\x8C\xC8\x00\xFA\x00\x10\x00", 9), QByteArray("\x51\x5B\x8D\xC9\x00\xF6\xFF\x11\x00", 9)}};
    const Lap lap{1700000000, 1700000700, 12345, {80, 120, 140, 175, 85, 110}, {200, 450, 120, 118, 512}, 690};
    Workout workout;
    workout.time = 1700100000;
    workout.name = "Intervals";
    workout.id = 0x12345678;
    workout.kind = 0x52;
    workout.repeat = 0x23;
    workout.value148 = 0x0BADCAFE;
    const Interval interval{0x21, 1, 600, 0xFFFFFFFF, 0, 100, 140};
    const WorkoutLog workoutLog{0x11111111, 0x22222222, 156, {{1700000000, 1700000600}, {1700000600, 1700000700}}};

    // The ride's track differs from the reader's sample only in bytes 26-27, which the builder
    // leaves erased.
    QByteArray riddenHex = kTrackHex;
    FixtureBytes::putU16Le(riddenHex, 26, 0xFFFF);
    struct Case
    {
        const char *name;
        QByteArray built;
        QByteArray expected;
    };
    const Case cases[] = {
        {"track with track points", trackRecord(ridden, 0x30, 0x10), riddenHex},
        {"track with route points", trackRecord(planned, 0xFFFFFFFF, 0xFFFFFFFF), kPlannedTrackHex},
        {"lap", lapRecord(lap), kLapHex},
        {"sensor log with its points", sensorLogRecord(log, 0x40), kSensorLogHex},
        {"workout", workoutRecord(workout, 0, 0x18), kWorkoutHex},
        {"interval", intervalRecord(interval, 0x14), kIntervalHex},
        {"workout log with interval logs", workoutLogRecord(workoutLog, 0xFFFFFFFF), kWorkoutLogHex},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.built.toHex(' ').toStdString(), c.expected.toHex(' ').toStdString());
    }
}

TEST(OrvoPSF14RecordsTest, RecordsReadTheirHandWrittenBytes)
{
    const OrvoPSFTrack planned(kPlannedTrackHex, false, nullptr);
    EXPECT_EQ(planned.trackAltitude(), 4000);
    EXPECT_EQ(planned.nextTrack(), 0xFFFFFFFFu);
    ASSERT_EQ(planned.routePoints().size(), 1);
    const OrvoPSFRoutePoint &point = *planned.routePoints().at(0);
    EXPECT_EQ(point.longitudeDelta(), -2);
    EXPECT_EQ(point.latitudeDelta(), 300);
    EXPECT_EQ(point.value(), -1);
    EXPECT_TRUE(point.pointFlag0());
    EXPECT_FALSE(point.pointFlag1());
    EXPECT_TRUE(point.pointFlag2());

    const OrvoPSFLap lap(kLapHex);
    EXPECT_EQ(lap.endTime(), 1700000700u);
    EXPECT_EQ(lap.distance(), 12345u);
    EXPECT_EQ(lap.maximumSpeed(), 120);
    EXPECT_EQ(lap.averageHeartRate(), 140);
    EXPECT_EQ(lap.maximumCadence(), 110);
    EXPECT_EQ(lap.maximumPower(), 450);
    EXPECT_EQ(lap.altitudeLoss(), 118);
    EXPECT_EQ(lap.calories(), 512);
    EXPECT_EQ(lap.ridingTime(), 690u);

    const OrvoPSFSensorLog log(kSensorLogHex);
    EXPECT_EQ(log.logStartTime(), 1700000010u);
    EXPECT_EQ(log.nextSensorLog(), 0x40u);
    EXPECT_EQ(log.logInterval(), 2);
    EXPECT_TRUE(log.logFlag7());
    ASSERT_EQ(log.points().size(), 2);
    EXPECT_EQ(log.points().at(1)->speed(), 0x51);
    EXPECT_EQ(log.points().at(1)->cadence(), 0x5B);
    EXPECT_EQ(log.points().at(1)->heartRate(), 0x8D);
    EXPECT_EQ(log.points().at(1)->power(), 201);
    EXPECT_EQ(log.points().at(1)->temperature(), -10);
    EXPECT_EQ(log.points().at(1)->channel5(), 17);

    const OrvoPSFWorkout workout(kWorkoutHex);
    EXPECT_EQ(workout.workoutTime(), 1700100000u);
    EXPECT_EQ(workout.workoutId(), 0x12345678u);
    EXPECT_EQ(workout.firstWorkoutLog(), 0x18u);
    EXPECT_EQ(workout.activityType(), 2);
    EXPECT_TRUE(workout.daily());
    EXPECT_FALSE(workout.nameIsBitfont());
    EXPECT_TRUE(workout.workoutFlag6());
    EXPECT_EQ(workout.repeatCount(), 3);
    EXPECT_EQ(workout.workoutType(), 1);
    EXPECT_EQ(workout.value148(), 0x0BADCAFEu);

    const OrvoPSFInterval interval(kIntervalHex);
    EXPECT_EQ(interval.stepType(), 1);
    EXPECT_EQ(interval.targetType(), 2);
    EXPECT_EQ(interval.durationType(), 1);
    EXPECT_EQ(interval.durationValue(), 600);
    EXPECT_EQ(interval.nextInterval(), 0x14u);
    EXPECT_EQ(interval.targetLow(), 100);
    EXPECT_EQ(interval.targetHigh(), 140);

    const OrvoPSFWorkoutLog workoutLog(kWorkoutLogHex);
    EXPECT_EQ(workoutLog.value4(), 0x22222222u);
    EXPECT_EQ(workoutLog.rideOffset(), 156u);
    ASSERT_EQ(workoutLog.intervalLogs().size(), 2);
    EXPECT_EQ(workoutLog.intervalLogs().at(1)->startTime(), 1700000600u);
    EXPECT_EQ(workoutLog.intervalLogs().at(1)->endTime(), 1700000700u);
}

TEST(OrvoPSF14RecordsTest, PoiReadsAndSerializesItsHandWrittenBytes)
{
    const OrvoPSFPOI poi(kPoiHex);
    EXPECT_EQ(poi.longitude(), 139767125);
    EXPECT_EQ(poi.latitude(), 35681236);
    EXPECT_EQ(poi.value(), 0x1234);
    EXPECT_FALSE(poi.poiFlag0());
    EXPECT_FALSE(poi.poiFlag1());
    EXPECT_TRUE(poi.poiFlag2());
    EXPECT_EQ(poi.serialize(), kPoiHex);
    EXPECT_EQ(PsfImage14Builder::poiRecord({139767125, 35681236, 0x1234, 0x04, "Home"}), kPoiHex);
}

TEST(OrvoPSF14RecordsTest, TheBuildersEmptyHeaderRecordMatchesTheDevicesBytes)
{
    // Kavel35 with every area empty: free = size, start = end, for the eight areas; the free
    // counts add up to the 974712 bytes the device reports; the checksum is the byte sum of
    // 66-207 (0x3BCE) in the upper half.
    const QByteArray expected = hex("55AA") + erased(64) +
                                hex("900B 70610000 70610000"
                                    "68120000 106D0000 106D0000"
                                    "CC810000 00800000 00800000"
                                    "00000100 00100100 00100100"
                                    "00200000 00100200 00100200"
                                    "F06F0000 10300200 10300200"
                                    "DCDF0700 24A00200 24A00200"
                                    "E8CF0400 1880 0A00 18800A00") +
                                erased(44) + hex("78DF0E00 0000CE3B");
    const QByteArray record =
        PsfImage14Builder::headerRecord(PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35), {});
    EXPECT_EQ(record.toHex().toStdString(), expected.toHex().toStdString());
}

TEST(OrvoPSF14RecordsTest, PoiNamesAreCutAndPaddedTo128Bytes)
{
    OrvoPSFPOI poi;
    poi.setName(QByteArray(130, 'x'));
    EXPECT_EQ(poi.serialize().mid(12, 128), QByteArray(128, 'x'));
    EXPECT_EQ(poi.serialize().size(), OrvoPSFPOI::kSize);
    poi.setName("ab");
    EXPECT_EQ(poi.serialize().mid(12, 128), QByteArray("ab") + zeros(126));
}

TEST(OrvoPSF14RecordsTest, RouteReadsAndSerializesItsHandWrittenBytes)
{
    const OrvoPSFRoute route(kRouteHex);
    EXPECT_EQ(route.routeStartTime(), 1700000000u);
    EXPECT_EQ(route.name(), QByteArray("Ride") + zeros(124));
    EXPECT_TRUE(route.isTrack());
    EXPECT_TRUE(route.routeFlag1());
    EXPECT_EQ(route.routeBits2_3(), 2);
    EXPECT_TRUE(route.routeFlag3());
    EXPECT_EQ(route.routeNibbleLow(), 1);
    EXPECT_EQ(route.routeNibbleHigh(), 2);
    EXPECT_EQ(route.value(), 0x1234);
    EXPECT_EQ(route.firstTrack(), 0x28u);
    EXPECT_EQ(route.lapOffset(), 0x40u);
    EXPECT_EQ(route.firstLapOffset(), 0x60u);
    EXPECT_EQ(route.lapCount(), 3);
    EXPECT_EQ(route.serialize(), kRouteHex);

    PsfImage14Builder::Route built{1700000000, "Ride", 0x0B, 0x21, 0x1234, 0x40, 0x60, 3, {}};
    EXPECT_EQ(PsfImage14Builder::routeRecord(built, 0x28), kRouteHex);
}

TEST(OrvoPSF14RecordsTest, RouteSerializationTakesBit3FromTheTwoBitValueAlone)
{
    OrvoPSFRoute route;
    route.setRouteFlag3(true);
    EXPECT_EQ(route.serialize().at(132), char(0x00));
    route.setRouteBits2_3(3);
    route.setIsTrack(true);
    EXPECT_EQ(route.serialize().at(132), char(0x0D));
}

TEST(OrvoPSF14RecordsTest, AbsentLapCountReadsAsNone)
{
    QByteArray bytes = kRouteHex;
    bytes[148] = char(0xFF);
    EXPECT_EQ(OrvoPSFRoute(bytes).lapCount(), 0);
}

TEST(OrvoPSF14RecordsTest, HeadersReadTheirFieldsAndSerializeWithErasedTails)
{
    const QByteArray poiHeader = hex("03000000 1C000000") + hex("0102030405060708090A0B0C0D0E0F1011121314");
    const OrvoPSFPOIHeader poi(poiHeader);
    EXPECT_EQ(poi.poiCount(), 3u);
    EXPECT_EQ(poi.poiDataOffset(), 0x1Cu);
    EXPECT_EQ(poi.serialize(), hex("03000000 1C000000") + erased(20));

    const QByteArray routeHeader = hex("88000000 88900000 0400") + zeros(14);
    const OrvoPSFRouteHeader route(routeHeader);
    EXPECT_EQ(route.routeDataOffset(), 0x88u);
    EXPECT_EQ(route.lapTableOffset(), 0x9088u);
    EXPECT_EQ(route.routeCount(), 4);
    EXPECT_EQ(route.serialize(), hex("88000000 88900000 0400") + erased(14));
    EXPECT_EQ(OrvoPSFRouteHeader(hex("88000000 88900000 FFFF") + zeros(14)).effectiveRouteCount(), 0);
}

TEST(OrvoPSF14RecordsTest, DistributionHeaderHoldsSixSectionsAndSerializesFiftyTwoBytes)
{
    QByteArray bytes = hex("01040100 CDAB0000 FFFFFFFF");
    for (int i = 0; i < 6; ++i)
        bytes += hex("54010000") + QByteArray(1, char(i)) + hex("01") + erased(14);
    bytes[12 + 20 * 4] = char(0x10);
    const OrvoPSFDistHeader header(bytes);
    ASSERT_EQ(header.records().size(), 6);
    EXPECT_EQ(header.sectionAddress(0), 0x154u);
    EXPECT_EQ(header.sectionAddress(4), 0x110u);
    EXPECT_EQ(header.records().at(5)->value(), 0x0105);
    EXPECT_EQ(header.serialize(), hex("01040100 CDAB0000 FFFFFFFF") + erased(40));

    // A header cut short leaves the missing sections absent.
    const OrvoPSFDistHeader cut(bytes.left(12 + 20 * 2 + 5));
    EXPECT_EQ(cut.sectionAddress(1), 0x154u);
    EXPECT_EQ(cut.sectionAddress(2), 0xFFFFFFFFu);
    EXPECT_EQ(cut.sectionAddress(5), 0xFFFFFFFFu);
}

TEST(OrvoPSF14RecordsTest, PoiFrameSerializesItsHeaderAndAtMostCountPois)
{
    const QByteArray section = hex("02000000 1C000000") + erased(20) + kPoiHex + kPoiHex + kPoiHex;
    OrvoPSFPOIFrame frame(section, 20);
    ASSERT_EQ(frame.pois().size(), 2);
    EXPECT_EQ(frame.serialize(), hex("02000000 1C000000") + erased(20) + kPoiHex + kPoiHex);
    frame.header()->setPoiCount(1);
    EXPECT_EQ(frame.serialize().size(), 28 + 148);

    const OrvoPSFPOIFrame empty(hex("FFFFFFFF 1C000000") + erased(20) + kPoiHex, 20);
    EXPECT_TRUE(empty.pois().isEmpty());

    // An area that holds one POI loads one, whatever the count says.
    OrvoMessageCapture capture;
    const OrvoPSFPOIFrame small(section, 1);
    EXPECT_EQ(small.pois().size(), 1);
    EXPECT_EQ(small.header()->poiCount(), 1u);
    EXPECT_TRUE(capture.contains(QtWarningMsg, "fit their area"));
}

TEST(OrvoPSF14RecordsTest, WorkoutCountsReadOnlyTheirLowByte)
{
    struct Case
    {
        const char *name;
        quint16 count;
        qsizetype loaded;
    };
    const Case cases[] = {{"two", 0x0002, 2},           {"high byte ignored", 0x0102, 2},
                          {"low byte 0xFF", 0x01FF, 0}, {"absent", 0xFFFF, 0},
                          {"zero", 0x0000, 0},          {"cut to the section", 0x0003, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray section = hex("10000000 FFFFFFFF") + QByteArray(2, '\0') + erased(6) + erased(2 * 152);
        FixtureBytes::putU16Le(section, 8, c.count);
        OrvoMessageCapture capture;
        const OrvoPSFWorkoutFrame frame(section, 31, nullptr);
        EXPECT_EQ(frame.workouts().size(), c.loaded);
    }
}

TEST(OrvoPSF14RecordsTest, TrackReadsItsHeaderAndPoints)
{
    const OrvoPSFTrack track(kTrackHex, true, nullptr);
    EXPECT_EQ(track.trackStartTime(), 1700000000u);
    EXPECT_EQ(track.endLatitude(), 35681246);
    EXPECT_EQ(track.trackAltitude(), 4160);
    EXPECT_EQ(track.endAltitude(), 4170);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(track.trackFlag(i)) << i;
    EXPECT_EQ(track.secondsPerTick(), 2);
    EXPECT_EQ(track.nextTrack(), 0x30u);
    EXPECT_EQ(track.firstSensorLog(), 0x10u);
    ASSERT_EQ(track.trackPoints().size(), 2);
    EXPECT_EQ(track.trackPoints().at(0)->longitudeDelta(), 120);
    EXPECT_EQ(track.trackPoints().at(0)->latitudeDelta(), -80);
    EXPECT_EQ(track.trackPoints().at(1)->altitudeDelta(), -5);
    EXPECT_EQ(track.trackPoints().at(1)->ticks(), 2);

    const OrvoPSFTrack planned(kTrackHex, false, nullptr);
    ASSERT_EQ(planned.routePoints().size(), 2);
    EXPECT_TRUE(planned.trackPoints().isEmpty());
    EXPECT_TRUE(planned.routePoints().at(0)->pointFlag0());
    EXPECT_TRUE(planned.routePoints().at(1)->pointFlag1());
    EXPECT_EQ(planned.routePoints().at(1)->value(), -5);
}

TEST(OrvoPSF14RecordsTest, TrackPointCountsAreCountedAsTheDeviceDoes)
{
    struct Case
    {
        const char *name;
        quint32 stored;
        qsizetype loaded;
    };
    // The track's bytes hold two points.
    const Case cases[] = {
        {"as stored", 2, 2},
        {"none", 0, 0},
        {"0xFFFE counts as none", 0xFFFE, 0},
        {"absent counts as none", 0xFFFFFFFF, 0},
        {"0xFFFD is cut to the points inside the bytes", 0xFFFD, 2},
        {"one more than stored is cut", 3, 2},
    };
    OrvoMessageCapture capture;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = kTrackHex;
        FixtureBytes::putU32Le(bytes, 32, c.stored);
        const OrvoPSFTrack track(bytes, true, nullptr);
        EXPECT_EQ(track.trackPoints().size(), c.loaded);
        EXPECT_EQ(track.loadedSize(), 40 + 6 * c.loaded);
    }
    EXPECT_TRUE(capture.contains(QtWarningMsg, "fit the track's"));
}

TEST(OrvoPSF14RecordsTest, WriteTrackLaysOutHeaderAndPointsAndLinksTheNext)
{
    OrvoPSFTrack track(kTrackHex, true, nullptr);
    QByteArray image(200, '\xEE');
    quint32 lastTrackEnd = 0;

    // The track data area starts at 20 of the image; the track goes to 60, 52 bytes long.
    EXPECT_EQ(track.writeTrack(image, 60, false, true, 20, lastTrackEnd), 112);
    EXPECT_EQ(lastTrackEnd, 92u);
    EXPECT_EQ(track.nextTrack(), 0xFFFFFFFFu);
    QByteArray expected(200, '\xEE');
    // Bytes 26-27 keep the image's EE EE; the next link is none, the count and log as held.
    expected.replace(60, 52,
                     hex("00F15365 55AD5408 D4732002 55AD5408 DE732002 4010 4A10 1F 02 EEEE FFFFFFFF 02000000 "
                         "10000000 7800B0FF 05 01 0A000A00 FB 02"));
    EXPECT_EQ(image, expected);

    EXPECT_EQ(track.writeTrack(image, 60, true, true, 20, lastTrackEnd), 112);
    EXPECT_EQ(track.nextTrack(), 92u);
    EXPECT_EQ(image.mid(60 + 28, 4), hex("5C000000"));
}

TEST(OrvoPSF14RecordsTest, WriteTrackOfRoutePointsWritesTheirFlags)
{
    OrvoPSFTrack track(kTrackHex, false, nullptr);
    track.routePoints().at(0)->setPointFlag2(true);
    QByteArray image(100, '\xFF');
    quint32 lastTrackEnd = 0;
    EXPECT_EQ(track.writeTrack(image, 0, false, false, 0, lastTrackEnd), 52);
    EXPECT_EQ(image.mid(40, 12), hex("7800B0FF 05 05 0A000A00 FB 02"));
}

TEST(OrvoPSF14RecordsTest, TrackPointValuesFollowEditsOfThePointObjects)
{
    OrvoPSFTrack track(kTrackHex, true, nullptr);
    const QVector<OrvoPSFTrackPoint::Values> loaded = track.trackPointValues();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(track.trackPointCount(), 2);
    EXPECT_EQ(loaded.at(0).longitudeDelta, 120);
    EXPECT_EQ(loaded.at(0).latitudeDelta, -80);
    EXPECT_EQ(loaded.at(1).altitudeDelta, -5);
    EXPECT_EQ(loaded.at(1).ticks, 2);

    // Once the objects exist they are the points: an edit reaches the values the exports walk
    // and the bytes the write pass lays out, and the count stays.
    track.trackPoints().at(0)->setLongitudeDelta(7);
    track.trackPoints().at(1)->setTicks(9);
    EXPECT_EQ(track.trackPointCount(), 2);
    const QVector<OrvoPSFTrackPoint::Values> edited = track.trackPointValues();
    ASSERT_EQ(edited.size(), 2);
    EXPECT_EQ(edited.at(0).longitudeDelta, 7);
    EXPECT_EQ(edited.at(1).ticks, 9);
    QByteArray image(100, '\xFF');
    quint32 lastTrackEnd = 0;
    EXPECT_EQ(track.writeTrack(image, 0, false, true, 0, lastTrackEnd), 52);
    EXPECT_EQ(image.mid(40, 12), hex("0700B0FF 05 01 0A000A00 FB 09"));
}

TEST(OrvoPSF14RecordsTest, SensorSamplesAndTheirObjectsAgree)
{
    const OrvoPSFSensorLog log(kSensorLogHex);
    ASSERT_EQ(log.samples().size(), 2);
    ASSERT_EQ(log.points().size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const OrvoPSFSensorLogPoint::Sample &sample = log.samples().at(i);
        const OrvoPSFSensorLogPoint &point = *log.points().at(i);
        EXPECT_EQ(sample.channels, point.channels());
        EXPECT_EQ(sample.speed, point.speed());
        EXPECT_EQ(sample.cadence, point.cadence());
        EXPECT_EQ(sample.heartRate, point.heartRate());
        EXPECT_EQ(sample.power, point.power());
        EXPECT_EQ(sample.temperature, point.temperature());
        EXPECT_EQ(sample.channel5, point.channel5());
        EXPECT_EQ(point.size(), OrvoPSFSensorLogPoint::pointSize(sample.channels));
    }
    EXPECT_EQ(log.samples().at(1).power, 201);
    EXPECT_EQ(log.samples().at(1).temperature, -10);
}

TEST(OrvoPSF14RecordsTest, WriteTrackRefusesPositionsOutsideTheImage)
{
    struct Case
    {
        const char *name;
        qsizetype offset;
        qsizetype base;
    };
    const Case cases[] = {
        {"runs past the end", 150, 0},
        {"starts past the end", 201, 0},
        {"negative", -1, 0},
        {"before the track area", 10, 20},
    };
    OrvoMessageCapture capture;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoPSFTrack track(kTrackHex, true, nullptr);
        QByteArray image(200, '\xEE');
        quint32 lastTrackEnd = 7;
        EXPECT_EQ(track.writeTrack(image, c.offset, true, true, c.base, lastTrackEnd), -1);
        EXPECT_EQ(image, QByteArray(200, '\xEE'));
        EXPECT_EQ(lastTrackEnd, 7u);
        EXPECT_EQ(track.nextTrack(), 0x30u);
    }
}

TEST(OrvoPSF14RecordsTest, SensorLogPointsAreAsLongAsTheirChannels)
{
    struct Case
    {
        quint8 channels;
        qsizetype size;
    };
    const Case cases[] = {{0x00, 0}, {0x01, 1}, {0x05, 2}, {0x07, 3}, {0x08, 2},
                          {0x18, 4}, {0x19, 5}, {0x3F, 9}, {0x80, 0}, {0xBF, 9}};
    for (const Case &c : cases)
        EXPECT_EQ(OrvoPSFSensorLogPoint::pointSize(c.channels), c.size) << int(c.channels);

    const OrvoPSFSensorLogPoint point(hex("50 8C"), 0x05);
    EXPECT_EQ(point.speed(), 0x50);
    EXPECT_EQ(point.heartRate(), 0x8C);
    EXPECT_EQ(point.cadence(), 0xFF);
    EXPECT_FALSE(point.hasChannel(OrvoPSFSensorLogPoint::Cadence));
}

TEST(OrvoPSF14RecordsTest, SensorLogCountsLoadOnlyPointsThatExist)
{
    struct Case
    {
        const char *name;
        quint16 count;
        qsizetype loaded;
    };
    // The log's bytes hold three 2-byte points.
    const Case cases[] = {{"as stored", 3, 3},
                          {"absent", 0xFFFF, 0},
                          {"negative", 0x8000, 0},
                          {"more than stored", 4, 3},
                          {"largest count", 0x7FFF, 3}};
    OrvoMessageCapture capture;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = hex("00F15365 FFFFFFFF 01 05") + QByteArray(2, '\0') + erased(4) + hex("5080 5181 5282");
        FixtureBytes::putU16Le(bytes, 10, c.count);
        const OrvoPSFSensorLog log(bytes);
        EXPECT_EQ(log.points().size(), c.loaded);
        EXPECT_EQ(log.loadedSize(), 16 + 2 * c.loaded);
    }
}

TEST(OrvoPSF14RecordsTest, SummaryLapIsFoundByItsOffsetInTheLapTable)
{
    QByteArray section = hex("18000000 18000000 0000") + erased(14);
    for (int i = 0; i < OrvoPSFRouteFrame::kLapTableSize; ++i) {
        QByteArray lap = erased(32);
        FixtureBytes::putU32Le(lap, 0, quint32(1000 + i));
        section += lap;
    }
    const OrvoPSFRouteFrame frame(section, 213, nullptr, nullptr);
    ASSERT_EQ(frame.laps().size(), OrvoPSFRouteFrame::kLapTableSize);
    struct Case
    {
        const char *name;
        quint32 lapOffset;
        quint32 expectedStart; // 0: no lap
    };
    const Case cases[] = {{"0x40 is lap 2", 0x40, 1002},
                          {"inside a lap", 0x5F, 1002},
                          {"last lap", 2047 * 32, 1000 + 2047},
                          {"beyond the table", 2048 * 32, 0},
                          {"absent", 0xFFFFFFFF, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoPSFRoute route;
        route.setLapOffset(c.lapOffset);
        const OrvoPSFLap *lap = frame.lapOf(route);
        EXPECT_EQ(lap ? lap->lapStartTime() : 0, c.expectedStart);
    }

    OrvoPSFRoute route;
    route.setFirstLapOffset(2046 * 32);
    route.setLapCount(5);
    ASSERT_EQ(frame.lapsOf(route).size(), 2);
    EXPECT_EQ(frame.lapsOf(route).at(1)->lapStartTime(), 1000u + 2047);
}

TEST(OrvoPSF14RecordsTest, RouteEndpointsComeFromItsFirstAndLastTrack)
{
    OrvoPSFRoute route;
    qint32 values[4] = {1, 1, 1, 1};
    routeEndpoints(route, values[0], values[1], values[2], values[3]);
    EXPECT_EQ(QVector<qint32>(std::begin(values), std::end(values)), QVector<qint32>({0, 0, 0, 0}));
    EXPECT_EQ(routeDistance(route), 0);

    auto *first = new OrvoPSFTrack(&route);
    first->setStartLatitude(10);
    first->setStartLongitude(20);
    first->setEndLatitude(30);
    auto *last = new OrvoPSFTrack(&route);
    last->setEndLatitude(50);
    last->setEndLongitude(60);
    route.tracks() = {first, last};
    routeEndpoints(route, values[0], values[1], values[2], values[3]);
    EXPECT_EQ(QVector<qint32>(std::begin(values), std::end(values)), QVector<qint32>({10, 20, 50, 60}));
}

} // namespace
