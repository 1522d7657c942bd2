#include "psf14/OrvoPSFDistHeader.h"
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
#include "psf14/OrvoPSFWorkoutFrame.h"

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
