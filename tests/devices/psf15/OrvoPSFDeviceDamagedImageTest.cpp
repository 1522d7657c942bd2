#include "Kavel40Content.h"
#include "Kavel40Emulator.h"
#include "Kavel40ShareFiles.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "PsfImage15Builder.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "env/OrvoEnv.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel40;

namespace {

constexpr quint8 kWrite = 0x2A;
constexpr quint8 kEraseArea = 14;
// The current (first) management record: the counters of area i from 76 + 12 × i, free,
// start and end.
constexpr qsizetype kCounters = 76;
constexpr qsizetype kCounterStride = 12;
constexpr int kWorkoutLogArea = 4;
constexpr int kTrackArea = 5;
// The section table in the distribution header: 20-byte records from 0x6000 + 60.
constexpr qsizetype kSectionRecords = 0x6000 + 60;
constexpr qsizetype kVariantCode = 0x6000 + 16;
constexpr int kRouteSection = 1;
constexpr int kWorkoutSection = 2;
constexpr quint8 kHasNext = 0x02;
constexpr qsizetype kNamesWord = 32;
constexpr qsizetype kDescriptionsWord = 36;

struct Layout
{
    QByteArray image;
    qsizetype lastRoute;
    qsizetype lastWorkout;
};

// A planned route, a ride with a segment and a workout log, and two workouts with names and
// descriptions.
Layout deviceImage()
{
    PsfImage15Builder builder;
    PsfImage15Builder::Segment segment;
    segment.time = 1700000000;
    segment.points = {{0, 1, 5, 10, 10}, {2, 2, -3, 100000, -2000}};
    PsfImage15Builder::Route planned;
    planned.names = {{"eng", "Home"}};
    planned.segments = {segment};
    builder.addRoute(planned);
    PsfImage15Builder::Route ride;
    ride.recorded = true;
    ride.startTime = 1700000000;
    ride.names = {{"eng", "Morning"}};
    ride.segments = {segment};
    ride.userInfoLog = builder.addUserInfoLog({});
    const int rideIndex = builder.addRoute(ride);
    for (const char *name : {"Climb", "Flat"}) {
        PsfImage15Builder::Workout workout;
        workout.names = {{"eng", name}};
        workout.descriptions = {{"eng", "Steady"}};
        workout.intervals = {{2, 2, 300, -1, 0}};
        if (name[0] == 'C')
            workout.logs = {{rideIndex, {QByteArray(8, '\1')}}};
        builder.addWorkout(workout);
    }
    const PsfImage15Builder::Image built = builder.build();
    return {built.bytes, builder.areas().routes.first + built.routeOffsets.last(),
            builder.areas().workouts.first + built.workoutOffsets.last()};
}

quint32 u32At(const QByteArray &image, qsizetype offset)
{
    return qFromLittleEndian<quint32>(image.constData() + offset);
}

void putU32(QByteArray &image, qsizetype offset, quint32 value)
{
    qToLittleEndian<quint32>(value, image.data() + offset);
}

void setCounter(QByteArray &image, int area, int field, quint32 value)
{
    putU32(image, kCounters + area * kCounterStride + field * 4, value);
}

void moveSection(QByteArray &image, int section, qint32 by)
{
    const qsizetype at = kSectionRecords + section * 20;
    putU32(image, at, u32At(image, at) + quint32(by));
}

// Sets the has-next bit of the first string of a record's chain at word.
void strayHasNext(QByteArray &image, qsizetype record, qsizetype word)
{
    const qsizetype string = record + qsizetype(u32At(image, record + word));
    image[string] = char(image[string] | kHasNext);
}

class OrvoPSFDeviceDamagedImageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel40"), QStringLiteral("psflanguagefilter"),
                                           QStringLiteral("0"));
        ASSERT_TRUE(OrvoTest::writeFile(m_output.filePath(QStringLiteral("route.gpx")), Kavel40::kSharedGpx));
        ASSERT_TRUE(OrvoTest::writeFile(m_output.filePath(QStringLiteral("workout.wrk")), Kavel40::kSharedWrk));
    }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_output;
};

} // namespace

// Every write action on every damaged image either refuses before any erase, leaving the flash
// byte for byte as it was, or succeeds, and a fresh client then reads the program's copy.
TEST_F(OrvoPSFDeviceDamagedImageTest, WritesRefuseBeforeTheEraseOrReadBackAsTheCopy)
{
    struct Damage
    {
        const char *name;
        std::function<void(Layout &)> apply;
    };
    const std::vector<Damage> damages = {
        {"workout-log start below its area",
         [](Layout &l) { setCounter(l.image, kWorkoutLogArea, 1, quint32(0x89000 - 0x1000)); }},
        {"track start past its area", [](Layout &l) { setCounter(l.image, kTrackArea, 1, 0x1F0000); }},
        {"workout section moved", [](Layout &l) { moveSection(l.image, kWorkoutSection, 4); }},
        {"route section moved", [](Layout &l) { moveSection(l.image, kRouteSection, 8); }},
        {"damaged variant code", [](Layout &l) { l.image.replace(kVariantCode, 4, "1511"); }},
        {"stray has-next bit on a route name", [](Layout &l) { strayHasNext(l.image, l.lastRoute, kNamesWord); }},
        {"stray has-next bit on a description",
         [](Layout &l) { strayHasNext(l.image, l.lastWorkout, kDescriptionsWord); }},
    };
    const QString route = m_output.filePath(QStringLiteral("route.gpx"));
    const QString workout = m_output.filePath(QStringLiteral("workout.wrk"));
    const QMap<QString, QString> profile = {{QStringLiteral("User Weight.Metric"), QStringLiteral("64")}};
    struct Action
    {
        const char *name;
        std::function<bool(OrvoPSFDevice &)> edit;
    };
    const std::vector<Action> actions = {
        {"import a route", [&](OrvoPSFDevice &c) { return c.importGpxFile(route); }},
        {"import a workout", [&](OrvoPSFDevice &c) { return c.importWorkoutFileAllLanguages(workout); }},
        {"delete the rides", [](OrvoPSFDevice &c) { return c.deleteTracks({0}); }},
        {"delete the routes", [](OrvoPSFDevice &c) { return c.deleteRoutes({0}); }},
        {"delete a workout", [](OrvoPSFDevice &c) { return c.deleteWorkouts({0}); }},
        {"delete all", [](OrvoPSFDevice &c) { return c.deleteAll(); }},
        {"write the profile", [&](OrvoPSFDevice &c) { return c.saveProfile(profile); }},
    };
    for (const Damage &damage : damages) {
        Layout layout = deviceImage();
        damage.apply(layout);
        for (const Action &action : actions) {
            SCOPED_TRACE(std::string(damage.name) + ", " + action.name);
            auto device = makeDevice(layout.image);
            auto client = makeClient(device);
            if (!client->initial())
                continue;
            const bool done = action.edit(*client) && client->_finalize();
            if (!done) {
                EXPECT_TRUE(client->error());
                EXPECT_TRUE(commands(*device, kWrite, kEraseArea).isEmpty()) << "no erase before a refusal";
                EXPECT_EQ(device->memory(kFlash), layout.image);
            } else {
                EXPECT_EQ(readBack(device), contentOf(*client));
            }
            QFile::remove(OrvoPSFDevice::dumpPath());
        }
    }
}
