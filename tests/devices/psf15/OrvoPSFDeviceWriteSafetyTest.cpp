#include "FixtureZip.h"
#include "Kavel40Content.h"
#include "Kavel40Emulator.h"
#include "Kavel40SampleRide.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "PsfImage15Builder.h"

#include "device/OrvoLanguageImage.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "util/ZKGpx2.h"

#include <QDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel40;

namespace {

constexpr quint8 kWrite = 0x2A;
constexpr quint8 kEraseArea = 14;
// The current management record is the first one: the workout-log counters (area 4) at
// 76 + 4 × 12 are its free, start and end counts.
constexpr qsizetype kWorkoutLogStart = 76 + 4 * 12 + 4;
// The section table in the distribution header: 20-byte records from 0x6000 + 60.
constexpr qsizetype kSectionRecords = 0x6000 + 60;
constexpr qsizetype kVariantCode = 0x6000 + 16;
constexpr int kRouteSection = 1;
constexpr int kWorkoutSection = 2;

// A planned route, a ride with a segment, laps and a user-info log, and three workouts with
// one, two and three intervals, the first with a log of the ride; the last interval of the
// third workout leads back to its first.
PsfImage15Builder deviceImage()
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route planned;
    planned.names = {{"eng", "Home"}};
    const PsfImage15Builder::Segment segment = Kavel40SampleRide::segment();
    planned.segments = {segment};
    builder.addRoute(planned);
    const int rideIndex = Kavel40SampleRide::addRide(builder, segment, {{"eng", "Morning"}});
    for (int w = 0; w < 3; ++w) {
        PsfImage15Builder::Workout workout;
        workout.number = quint32(10 + w);
        workout.names = {{"eng", "Workout " + QByteArray::number(w)}};
        workout.descriptions = {{"eng", "Steady " + QByteArray::number(w)}};
        for (int k = 0; k <= w; ++k)
            workout.intervals.append({2, 2, quint16(60 * (w + 1) + k), k == 2 ? 0 : -1, quint8(k == 2 ? 3 : 0)});
        if (w == 0)
            workout.logs = {{rideIndex, {QByteArray(8, '\1')}}};
        builder.addWorkout(workout);
    }
    return builder;
}

const QByteArray kWorkoutFile = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"><wrk id=\"9\">"
                                "<name lang=\"eng\">Added</name><time>2024-04-30T10:00:00Z</time>"
                                "<itv id=\"1\"><name>Work</name><target type=\"2\" low=\"100\" high=\"150\"/>"
                                "<duration type=\"2\" value=\"60\"/></itv></wrk></trncrs>\n";

class OrvoPSFDeviceWriteSafetyTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    // The program's copy of the image as far as it was read.
    QByteArray copyOf(OrvoPSFDevice &client)
    {
        const QString path = m_output.filePath(QStringLiteral("copy.bin"));
        EXPECT_TRUE(client.saveToFile(path));
        return OrvoTest::readFile(path);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_output;
};

void putU32(QByteArray &image, qsizetype offset, quint32 value)
{
    qToLittleEndian<quint32>(value, image.data() + offset);
}

quint32 u32At(const QByteArray &image, qsizetype offset)
{
    return qFromLittleEndian<quint32>(image.constData() + offset);
}

void moveSection(QByteArray &image, int section, qint32 by)
{
    const qsizetype at = kSectionRecords + section * 20;
    putU32(image, at, u32At(image, at) + quint32(by));
}

} // namespace

// A workout-log start counter below its area: "delete every ride" must not carry the end
// counter there, and a save either writes the whole image or leaves the flash alone.
TEST_F(OrvoPSFDeviceWriteSafetyTest, StartCounterOutsideItsAreaCountsAsTheAreasFirstRecord)
{
    QByteArray image = deviceImage().build().bytes;
    const quint32 first = quint32(PsfImage15Builder::areas("1510").workoutLogs.first);
    putU32(image, kWorkoutLogStart, first - 0x1000);
    auto device = makeDevice(image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    ASSERT_TRUE(client->deleteAll());
    ASSERT_TRUE(client->save());
    EXPECT_EQ(u32At(device->memory(kFlash), kWorkoutLogStart), first);

    const Content empty = readBack(device);
    EXPECT_TRUE(empty.read);
    EXPECT_TRUE(empty.routes.isEmpty() && empty.rides.isEmpty() && empty.workouts.isEmpty()) << empty;
    auto again = makeClient(device);
    ASSERT_TRUE(again->initial());
    EXPECT_TRUE(again->save()) << "a later save still finds the image whole";
}

// An end counter that a save could not write back is refused before the erase.
TEST_F(OrvoPSFDeviceWriteSafetyTest, SaveChecksEveryFrameBeforeTheErase)
{
    const QByteArray image = deviceImage().build().bytes;
    auto device = makeDevice(image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    ASSERT_TRUE(client->loadAll());
    // The lap area's start counter, moved past its end after everything was loaded.
    const qsizetype lapStart = 76 + 2 * 12 + 4;
    std::span<uchar> record = client->layout().lastUsedRecord();
    qToLittleEndian<quint32>(0x300000, record.data() + lapStart);
    device->clearCommandLog();
    EXPECT_FALSE(client->save());
    EXPECT_TRUE(commands(*device, kWrite, kEraseArea).isEmpty());
    EXPECT_EQ(device->memory(kFlash), image);
}

// A section that does not stand where the area table puts it, or an area table taken from a
// damaged variant code: clearing would erase bytes the section does not count, so it is
// refused and nothing changes.
TEST_F(OrvoPSFDeviceWriteSafetyTest, ClearsOfMisplacedSectionsAreRefused)
{
    struct Case
    {
        const char *name;
        std::function<void(QByteArray &)> damage;
        std::function<bool(OrvoPSFDevice &)> action;
    };
    const auto damagedVariant = [](QByteArray &image) { image.replace(kVariantCode, 4, "1511"); };
    const auto movedWorkouts = [](QByteArray &image) { moveSection(image, kWorkoutSection, 4); };
    const auto movedRoutes = [](QByteArray &image) { moveSection(image, kRouteSection, 4); };
    const auto deleteAll = [](OrvoPSFDevice &client) { return client.deleteAll(); };
    const auto deleteWorkouts = [](OrvoPSFDevice &client) { return client.deleteWorkouts({0, 1, 2}); };
    const std::vector<Case> cases = {
        {"delete all, damaged variant", damagedVariant, deleteAll},
        {"delete workouts, damaged variant", damagedVariant, deleteWorkouts},
        {"delete all, workouts moved", movedWorkouts, deleteAll},
        {"delete workouts, workouts moved", movedWorkouts, deleteWorkouts},
        {"delete all, routes moved", movedRoutes, deleteAll},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray image = deviceImage().build().bytes;
        c.damage(image);
        auto device = makeDevice(image);
        auto client = makeClient(device);
        ASSERT_TRUE(client->initial());
        ASSERT_TRUE(client->loadAll());
        const QByteArray before = copyOf(*client);
        EXPECT_FALSE(c.action(*client));
        EXPECT_TRUE(client->error());
        EXPECT_EQ(copyOf(*client), before) << "the program's copy is unchanged";
    }
}

// A description whose has-next bit leads into erased flash: a workout written after it later
// must not join its chain.
TEST_F(OrvoPSFDeviceWriteSafetyTest, StrayHasNextBitDoesNotJoinTheNextWorkout)
{
    const PsfImage15Builder builder = deviceImage();
    const PsfImage15Builder::Image built = builder.build();
    QByteArray image = built.bytes;
    const qsizetype last = builder.areas().workouts.first + built.workoutOffsets.last();
    const qsizetype description = last + qsizetype(u32At(image, last + 36));
    image[description] = char(image[description] | 0x02);
    auto device = makeDevice(image);
    const Content before = readBack(device);
    ASSERT_EQ(before.workouts.size(), 3);

    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    const QString file = m_output.filePath(QStringLiteral("added.wrk"));
    ASSERT_TRUE(OrvoTest::writeFile(file, kWorkoutFile));
    ASSERT_TRUE(client->importWorkoutFileAllLanguages(file));
    ASSERT_TRUE(client->save());
    const Content after = readBack(device);
    EXPECT_EQ(after, contentOf(*client)) << "the device reads as the program's copy";
    ASSERT_EQ(after.workouts.size(), 4);
    EXPECT_EQ(after.workouts.mid(0, 3), before.workouts) << "no workout gains a description";
}

// Only the workouts named go; the others keep their names, descriptions and intervals, the
// goto of the third one included.
TEST_F(OrvoPSFDeviceWriteSafetyTest, DeleteWorkoutsRemovesOnlyThoseNamed)
{
    struct Case
    {
        const char *name;
        QVector<int> ids;
        bool deleted;
        QVector<int> kept;
    };
    const std::vector<Case> cases = {
        {"the middle one", {1}, true, {0, 2}},
        {"the first and the last", {2, 0}, true, {1}},
        {"none", {}, true, {0, 1, 2}},
        {"all", {0, 1, 2}, true, {}},
        {"an id not listed", {1, 3}, false, {0, 1, 2}},
        {"a negative id", {-1}, false, {0, 1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(deviceImage().build().bytes);
        const Content before = readBack(device);
        auto client = makeClient(device);
        ASSERT_TRUE(client->initial());
        EXPECT_EQ(client->deleteWorkouts(c.ids), c.deleted);
        EXPECT_EQ(client->error(), !c.deleted);
        Content expected = before;
        expected.workouts.clear();
        for (int kept : c.kept)
            expected.workouts << before.workouts.at(kept);
        EXPECT_EQ(contentOf(*client), expected);
        ASSERT_TRUE(client->save());
        EXPECT_EQ(readBack(device), expected);
    }
}

// A package with a damaged entry does not unpack whole: the device keeps its languages and the
// language folder what it held.
TEST_F(OrvoPSFDeviceWriteSafetyTest, LanguagePackageThatDoesNotUnpackChangesNothing)
{
    const QString folder = OrvoLanguageImage::folder();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/kosmir.bin"), QByteArray(1000, 'B')));
    QByteArray package = FixtureZip::storedArchive({{"kosmir.bin", QByteArray(1000, 'C')},
                                                    {"lang_eng_1.bin", "\1\2\3\4engENGLISH-TEXT"},
                                                    {"lang_fra_1.bin", "\1\2\3\4fraFRENCH-TEXT"}});
    const qsizetype french = package.indexOf("FRENCH-TEXT");
    ASSERT_GT(french, 0);
    package[french] = 'f';
    const QString path = m_output.filePath(QStringLiteral("lang.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(path, package));

    QByteArray area(OrvoPSFDevice::kLanguageAreaSize, '\xFF');
    QByteArray header(OrvoLanguageImage::kHeaderSize, '\0');
    qToLittleEndian<quint32>(OrvoLanguageImage::kMagic, header.data());
    header[8] = 2;
    header.replace(9, 6, "engfra");
    area.replace(0, header.size(), header);
    auto device = makeDevice(deviceImage().build().bytes);
    device->loadMemory(kLanguage, area);
    auto client = makeClient(device);

    EXPECT_FALSE(client->_updateTotal(path, QString()));
    EXPECT_TRUE(client->error());
    EXPECT_EQ(device->memory(kLanguage), area);
    QStringList codes;
    ASSERT_TRUE(client->getLanguageOnDevice(codes));
    EXPECT_EQ(codes, QStringList({"eng", "fra"}));
    EXPECT_EQ(OrvoTest::readFile(folder + QStringLiteral("/kosmir.bin")), QByteArray(1000, 'B'));
    QDir(folder).removeRecursively();
}

// The longest route a segment holds is imported and read back whole.
TEST_F(OrvoPSFDeviceWriteSafetyTest, LongestRouteImportsWhole)
{
    constexpr int kPoints = 65533;
    ZKGpx2 document;
    document.metadata.emplace();
    document.metadata->name = QStringLiteral("Long");
    document.route.emplace();
    document.trackList.emplace();
    ZKGpxTrack track;
    track.points.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        ZKGpxTrackPoint point;
        point.lat = QString::number(48.0 + (i % 1000) * 1e-5, 'f', 6);
        point.lon = QString::number(11.0 + (i / 1000) * 1e-5, 'f', 6);
        point.ele = QStringLiteral("500");
        track.points.append(point);
    }
    document.trackList->append(track);
    auto device = makeDevice(PsfImage15Builder().build().bytes);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    ASSERT_TRUE(client->addRoute(document));
    const Content stored = contentOf(*client);
    ASSERT_EQ(stored.routes.size(), 1);
    EXPECT_TRUE(stored.routes.front().contains(QStringLiteral("|65532 points "))) << stored;
    ASSERT_TRUE(client->save());
    EXPECT_EQ(readBack(device), stored);
}
