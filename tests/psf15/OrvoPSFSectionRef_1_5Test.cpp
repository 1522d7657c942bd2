#include "psf15/OrvoPSFSectionRef_1_5.h"

#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"
#include "psf15/OrvoPSFSensorLogCursor.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Psf15::Session;
using B = PsfImage15Builder;
using Channel = OrvoPSFSensorLog_1_5::Channel;

struct LayoutCase
{
    const char *name;
    quint8 mask;
    int stride;
    // Offsets of speed, cadence, heart rate, the word channel, temperature, the doubled word.
    std::array<int, 6> offsets;
};

const LayoutCase kLayouts[] = {
    {"speedCadenceHeartRate", 0x07, 3, {0, 1, 2, -1, -1, -1}}, {"speedWordTemperature", 0x19, 5, {0, -1, -1, 1, 3, -1}},
    {"everyReadChannel", 0x3F, 9, {0, 1, 2, 3, 5, 7}},         {"unreadByteOnly", 0x40, 1, {-1, -1, -1, -1, -1, -1}},
    {"bit7HasNoChannel", 0x80, 0, {-1, -1, -1, -1, -1, -1}},   {"allBits", 0xFF, 10, {0, 1, 2, 3, 5, 7}},
};

TEST(OrvoPSFSectionRef_1_5Test, SensorLogChannelsFollowTheirMaskBits)
{
    const Channel channels[] = {Channel::Speed,       Channel::Cadence,     Channel::HeartRate,
                                Channel::WordChannel, Channel::Temperature, Channel::DoubledWordChannel};
    for (const LayoutCase &c : kLayouts) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = B::sensorLog({c.mask, 0, {QByteArray(c.stride, '\0'), QByteArray(c.stride, '\0')}});
        OrvoPSFSensorLog_1_5 log(OrvoPSFObject::spanOf(bytes));
        EXPECT_EQ(log.stride(), c.stride);
        EXPECT_EQ(log.sampleCount(), 2);
        EXPECT_EQ(log.size(), 16 + 2 * c.stride);
        for (size_t i = 0; i < c.offsets.size(); ++i)
            EXPECT_EQ(log.channelOffset(channels[i]), c.offsets[i]) << "channel " << i;
    }
}

TEST(OrvoPSFSectionRef_1_5Test, SensorLogsOfARouteAndTheirSamples)
{
    Session session(Psf15::standardBuilder().build().bytes);
    const auto routes = session.routes();
    const auto sensorLogs = session.logs(OrvoPSFSectionTable_1_5::SensorLog);
    for (const auto &route : routes->routes()) {
        session.tracks()->loadSegmentsOfRoute(*route);
        sensorLogs->loadSensorLogsOfRoute(*route);
    }
    const auto logs = routes->routes()[0]->sensorLogs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_TRUE(routes->routes()[2]->sensorLogs().empty()) << "segments whose sensor-log word is absent";
    EXPECT_EQ(logs[0]->attribute(), 5);

    struct Sample
    {
        double speed;
        double cadence;
        double scaledCadence;
        double heartRate;
        double word;
        double temperature;
    };
    const double absent = OrvoPSFMeasure::kAbsent;
    const Sample first[] = {{36.0, 90, 84.375, 140, absent, absent},
                            {absent, absent, absent, absent, absent, absent},
                            {32.4, 0, 0, 120, absent, absent}};
    const Sample second[] = {{36.0, absent, absent, absent, 4660, -20.0}, {7.2, absent, absent, absent, absent, 20.0}};
    const std::vector<std::vector<Sample>> expected = {{std::begin(first), std::end(first)},
                                                       {std::begin(second), std::end(second)}};
    for (size_t l = 0; l < logs.size(); ++l) {
        OrvoPSFSensorLogCursor cursor(*logs[l]);
        EXPECT_EQ(cursor.address(), nullptr) << "before the first sample";
        for (const Sample &s : expected[l]) {
            SCOPED_TRACE(cursor.index() + 1);
            ASSERT_TRUE(cursor.next());
            EXPECT_NEAR(cursor.speed().value(), s.speed, 1e-9);
            EXPECT_EQ(cursor.speed().isValid(), s.speed != absent);
            EXPECT_EQ(cursor.byteChannelA().value(), s.cadence);
            EXPECT_EQ(cursor.scaledByteChannel().value(), s.scaledCadence);
            EXPECT_EQ(cursor.byteChannelB().value(), s.heartRate);
            EXPECT_EQ(cursor.wordChannel().value(), s.word);
            EXPECT_EQ(cursor.temperature().value(), s.temperature);
            EXPECT_FALSE(cursor.doubledWordChannel().isValid());
        }
        EXPECT_FALSE(cursor.next());
        EXPECT_EQ(cursor.address(), nullptr);
        EXPECT_FALSE(cursor.speed().isValid()) << "past the last sample";
        EXPECT_FALSE(cursor.next());
    }
}

TEST(OrvoPSFSectionRef_1_5Test, SensorLogSamplesEndWithTheirMemory)
{
    QByteArray bytes = B::sensorLog({0x20, 0, {QByteArray::fromHex("FFFF"), QByteArray::fromHex("0A00")}});
    {
        OrvoPSFSensorLog_1_5 log(OrvoPSFObject::spanOf(bytes));
        OrvoPSFSensorLogCursor cursor(log);
        ASSERT_TRUE(cursor.next());
        EXPECT_FALSE(cursor.doubledWordChannel().isValid());
        ASSERT_TRUE(cursor.next());
        EXPECT_EQ(cursor.doubledWordChannel().value(), 20.0);
    }
    Psf15::putU16(bytes, 10, 1000); // claims 1000 samples; the memory holds two
    OrvoPSFSensorLog_1_5 log(OrvoPSFObject::spanOf(bytes));
    EXPECT_EQ(log.sampleCount(), 2);
    QByteArray tooShort = bytes.left(10);
    OrvoPSFSensorLog_1_5 cut(OrvoPSFObject::spanOf(tooShort));
    EXPECT_EQ(cut.sampleCount(), 0);
    EXPECT_EQ(cut.sample(0), nullptr);
}

struct ZoneCase
{
    const char *name;
    QByteArray bytes;
    int records;
    // Zone count and size of the first record.
    int zones;
    qsizetype size;
};

const ZoneCase kZones[] = {
    {"twoRecordsOfFiveAndOneZones",
     QByteArray(14, '\0') + '\x10' + QByteArray(9, '\0') + QByteArray::fromHex("53 00 AA00") + QByteArray(20, '\x01') +
         QByteArray::fromHex("18 00 0000 0100 0200"),
     2, 5, 24},
    {"noZoneRecords", QByteArray(14, '\0') + '\x07' + QByteArray(9, '\0'), 0, 0, 0},
    {"recordRunningPastTheLog", QByteArray(14, '\0') + '\x08' + QByteArray(9, '\0') + QByteArray::fromHex("F0 00 0000"),
     0, 0, 0},
};

TEST(OrvoPSFSectionRef_1_5Test, UserInfoZoneRecords)
{
    for (const ZoneCase &c : kZones) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = c.bytes;
        OrvoPSFUserInfoLog_1_5 log(OrvoPSFObject::spanOf(bytes));
        ASSERT_EQ(log.zones().size(), size_t(c.records));
        if (c.records > 0) {
            EXPECT_EQ(log.zones()[0]->zoneCount(), c.zones);
            EXPECT_EQ(log.zones()[0]->size(), c.size);
            EXPECT_EQ(log.size(), 24 + c.size + 8);
        }
    }
}

TEST(OrvoPSFSectionRef_1_5Test, UserInfoLogOfARide)
{
    const B::Image built = Psf15::standardBuilder().build();
    Session session(built.bytes);
    const auto routes = session.routes();
    const auto userInfo = session.logs(OrvoPSFSectionTable_1_5::UserInfoLog);
    for (const auto &route : routes->routes())
        userInfo->loadUserInfoLogOfRoute(*route);

    const OrvoPSFUserInfoLog_1_5 *log = routes->routes()[0]->userInfoLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->weight().value(), 72.5);
    EXPECT_EQ(log->height().value(), 178.0);
    EXPECT_EQ(log->bikeNumber(), 1);
    EXPECT_EQ(log->bikeType(), 2);
    EXPECT_EQ(log->bikeWeight().value(), 8.5);
    EXPECT_EQ(log->wheelSize().value(), 2100.0);
    ASSERT_EQ(log->zones().size(), 2u);
    const OrvoPSFTZone_1_5 &lthr = *log->zones()[0];
    EXPECT_EQ(lthr.zoneType(), 5);
    EXPECT_EQ(lthr.value(), 170);
    EXPECT_EQ(lthr.zoneCount(), 5);
    EXPECT_EQ(lthr.zoneLow(1), 121);
    EXPECT_EQ(lthr.zoneHigh(4), 200);
    EXPECT_EQ(lthr.zoneHigh(5), 0xFFFF) << "past the zones";
    EXPECT_EQ(log->zones()[1]->zoneHigh(1), 250);
    EXPECT_EQ(log->size(), 24 + 24 + 12);

    EXPECT_EQ(routes->routes()[1]->userInfoLog(), nullptr) << "an absent user-info word is no log";
    EXPECT_EQ(routes->routes()[2]->userInfoLog(), nullptr);

    // A user-info word that points past the area's records is no log either.
    QByteArray image = built.bytes;
    Psf15::putU32(image, 0x80018 + 20, 0x7FFFFFF0);
    Session broken(image);
    const auto brokenRoutes = broken.routes();
    broken.logs(OrvoPSFSectionTable_1_5::UserInfoLog)->loadUserInfoLogOfRoute(*brokenRoutes->routes()[0]);
    EXPECT_EQ(brokenRoutes->routes()[0]->userInfoLog(), nullptr);
}

TEST(OrvoPSFSectionRef_1_5Test, WorkoutLogsLinkToTheirRides)
{
    const B::Image built = Psf15::standardBuilder().build();
    const qsizetype logs = B::areas("1510").workoutLogs.first;
    {
        Session session(built.bytes);
        const auto routes = session.routes();
        const auto workouts = session.workouts();
        const auto section = session.logs(OrvoPSFSectionTable_1_5::WorkoutLog);
        section->linkWorkoutLogs(*routes, *workouts);
        section->linkWorkoutLogs(*routes, *workouts);
        ASSERT_EQ(routes->routes()[0]->workoutLogs().size(), 1u) << "linking again replaces the links";
        const OrvoPSFWorkoutLog_1_5 &log = *routes->routes()[0]->workoutLogs()[0];
        EXPECT_EQ(log.entryCount(), 2);
        EXPECT_EQ(log.entry(1), QByteArray::fromHex("1112131415161718"));
        EXPECT_EQ(log.entry(2), QByteArray());
        EXPECT_TRUE(routes->routes()[1]->workoutLogs().empty());
        EXPECT_EQ(routes->routes()[2]->workoutLogs().size(), 1u);
    }
    struct ChainCase
    {
        const char *name;
        quint32 secondRoute;
        quint32 secondNext;
        size_t firstRide;
        size_t secondRide;
    };
    const ChainCase chains[] = {
        {"cycleBackToTheFirstLog", 134, quint32(built.workoutLogOffsets[0]), 1, 1},
        {"logOfNoRoute", 100, 0xFFFFFFFF, 1, 0},
        {"bothLogsOfOneRide", 0, 0xFFFFFFFF, 2, 0},
        {"nextOutsideTheArea", 134, 0x7FFFFFFF, 1, 1},
    };
    for (const ChainCase &c : chains) {
        SCOPED_TRACE(c.name);
        QByteArray image = built.bytes;
        Psf15::putU32(image, logs + built.workoutLogOffsets[1] + 12, c.secondRoute);
        Psf15::putU32(image, logs + built.workoutLogOffsets[1] + 8, c.secondNext);
        Session session(image);
        const auto routes = session.routes();
        session.logs(OrvoPSFSectionTable_1_5::WorkoutLog)->linkWorkoutLogs(*routes, *session.workouts());
        EXPECT_EQ(routes->routes()[0]->workoutLogs().size(), c.firstRide);
        EXPECT_EQ(routes->routes()[2]->workoutLogs().size(), c.secondRide);
    }
}

struct EraseCase
{
    const char *name;
    int section;
    bool (OrvoPSFSectionRef_1_5::*erase)(OrvoPSFFlashLayout &);
    qsizetype first;
    qsizetype capacity;
    qsizetype counters;
};

const EraseCase kErasures[] = {
    {"sensorLogs", OrvoPSFSectionTable_1_5::SensorLog, &OrvoPSFSectionRef_1_5::eraseSensorLogs, 0x14F018, 0x9AFE8, 148},
    {"workoutLogs", OrvoPSFSectionTable_1_5::WorkoutLog, &OrvoPSFSectionRef_1_5::eraseWorkoutLogs, 0xA9010, 0x7FF0,
     124},
    {"userInfoLogs", OrvoPSFSectionTable_1_5::UserInfoLog, &OrvoPSFSectionRef_1_5::eraseUserInfoLogs, 0x1EA018, 0x4F74,
     160},
};

TEST(OrvoPSFSectionRef_1_5Test, ErasingALogAreaEmptiesItsRecordsOnly)
{
    const QByteArray built = Psf15::standardBuilder().build().bytes;
    for (const EraseCase &c : kErasures) {
        SCOPED_TRACE(c.name);
        Session session(built);
        ASSERT_NE(Psf15::u32At(built, 512 + c.counters), quint32(c.capacity));
        ASSERT_TRUE((session.logs(c.section).get()->*c.erase)(session.layout()));
        const QByteArray image = session.image();
        QByteArray expected = built;
        expected.replace(c.first, c.capacity, QByteArray(c.capacity, '\xFF'));
        Psf15::putU32(expected, 512 + c.counters, quint32(c.capacity));
        Psf15::putU32(expected, 512 + c.counters + 8, Psf15::u32At(built, 512 + c.counters + 4));
        EXPECT_EQ(image, expected) << "the records and the area's free and end counters change, nothing else";
        EXPECT_EQ(Psf15::u32At(image, 512 + c.counters + 8), quint32(c.first));
    }
}

} // namespace
