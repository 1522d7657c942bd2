#include "Kavel40Emulator.h"
#include "Kavel40SampleRide.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"
#include "PsfImage15Builder.h"

#include "device/OrvoLanguageImage.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "env/OrvoEnv.h"
#include "psf15/OrvoPSFRoute_1_5.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace Kavel40;

namespace {

constexpr quint8 kRead = 0x28;
constexpr quint8 kWrite = 0x2A;

// Two planned routes and a ride with a segment, laps and a user-info log, a workout with an
// interval and a workout log of the ride; the profile holds the weight 70.5.
PsfImage15Builder kavel40Image()
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route planned;
    planned.names = {{"eng", "Home"}};
    builder.addRoute(planned);
    planned.names = {{"eng", "Lake"}};
    builder.addRoute(planned);
    const int rideIndex = Kavel40SampleRide::addRide(builder, Kavel40SampleRide::segment(), {{"eng", "Morning"}});
    PsfImage15Builder::Workout workout;
    workout.names = {{"eng", "Intervals"}};
    workout.intervals = {{}};
    workout.logs = {{rideIndex, {QByteArray(8, '\1')}}};
    builder.addWorkout(workout);
    builder.setProfileEntries({ProfileFixtures::listEntry(9, 7, QByteArray::fromHex("00 00 8D 42"))});
    return builder;
}

class OrvoPSFDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    QByteArray m_image = kavel40Image().build().bytes;
};

std::vector<OrvoPSFRoute_1_5 *> routesOf(OrvoPSFDevice &client, bool recorded)
{
    std::vector<OrvoPSFRoute_1_5 *> routes;
    EXPECT_TRUE(client.flashImage()->routes(recorded, routes));
    return routes;
}

} // namespace

TEST_F(OrvoPSFDeviceTest, InitialReadsTheProfileBlocksAndTheDistributionHeaderOnly)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    QStringList cdbs;
    for (const auto &command : device->commandLog())
        cdbs << QString::fromLatin1(command.cdb.toHex(' '));
    EXPECT_EQ(cdbs, QStringList({"28 00 00 00 01 f8 10 00 08 00", "28 00 00 00 01 f9 10 00 08 00",
                                 "28 00 00 00 00 06 10 00 08 00"}));
    EXPECT_EQ(client->flashImage()->variantCode(), QByteArray("1510"));

    struct Case
    {
        const char *name;
        QString model;
        quint8 setUp;
        bool served;
    };
    const std::vector<Case> cases = {
        {"a Kavel40 never set up", QStringLiteral("Kavel40"), 0, false},
        {"a Kavel40 set up", QStringLiteral("Kavel40"), 1, true},
        {"another model", QStringLiteral("Kavel41"), 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PsfImage15Builder builder = kavel40Image();
        builder.setSetUpByte(c.setUp);
        auto other = makeClient(makeDevice(builder.build().bytes), c.model);
        EXPECT_EQ(other->initial(), c.served);
    }
    device->failCommand(1);
    EXPECT_FALSE(makeClient(device)->initial()) << "an unreadable profile block";
}

// Every block read is recorded, so a range that overlaps loaded blocks reads only the others
// and never reads a block over what the model changed in it.
TEST_F(OrvoPSFDeviceTest, EnsureLoadedReadsEachBlockOnce)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    struct Case
    {
        const char *name;
        qint64 offset;
        qint64 length;
        bool loaded;
        QVector<int> blocks;
    };
    const std::vector<Case> cases = {
        {"three blocks", 0, 3 * 4096, true, {0, 1, 2}},
        {"the middle block again", 4096, 4096, true, {}},
        {"a range over loaded blocks", 100, 5 * 4096, true, {3, 4, 5}},
        {"nothing at a block boundary", 7 * 4096, 0, true, {}},
        {"nothing inside a block", 7 * 4096 + 10, 0, true, {7}},
        {"past the image", 0x200000 - 1, 2, false, {}},
        {"a negative length", 4096, -1, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        device->clearCommandLog();
        EXPECT_EQ(client->ensureLoaded(c.offset, c.length), c.loaded);
        QVector<int> blocks;
        for (const auto &command : commands(*device, kRead, 16))
            blocks << blockOf(command);
        EXPECT_EQ(blocks, c.blocks);
    }
}

TEST_F(OrvoPSFDeviceTest, TheReservedAreaNeedsNoRead)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    device->unplug();
    EXPECT_TRUE(client->loadReserved());
    EXPECT_TRUE(device->commandLog().isEmpty());
}

TEST_F(OrvoPSFDeviceTest, SaveWritesTheEditedImageBackOnceIntoTheErasedFlash)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    ASSERT_TRUE(client->deleteTracks({0})) << "the deletion writes the image itself";

    QVector<int> reads;
    for (const auto &command : commands(*device, kRead, 16))
        reads << blockOf(command);
    EXPECT_EQ(QSet<int>(reads.cbegin(), reads.cend()).size(), reads.size()) << "no block is read twice";
    EXPECT_EQ(commands(*device, kWrite, 14).size(), 1);
    EXPECT_GE(commands(*device, kRead, 21).size(), 3) << "the writes wait for the flash to get ready";

    const auto writes = commands(*device, kWrite, 15);
    QSet<int> written;
    bool sent510 = false;
    for (const auto &command : writes) {
        written.insert(blockOf(command));
        sent510 = sent510 || command.cdb.mid(4, 2) == QByteArray::fromHex("01FE");
    }
    EXPECT_EQ(written.size(), writes.size()) << "a block shared by two frames is programmed once";
    EXPECT_TRUE(sent510);
    const qint64 laps = PsfImage15Builder::areas("1510").laps.first;
    for (int block : written) {
        EXPECT_FALSE(block * 4096 >= laps && block * 4096 < laps + 0x1C000) << "the empty lap area is not written";
    }

    OrvoTest::OutputDir out;
    const QString saved = out.filePath(QStringLiteral("image.bin"));
    ASSERT_TRUE(client->saveToFile(saved));
    const QByteArray edited = OrvoTest::readFile(saved);
    const QByteArray flash = device->memory(kFlash);
    for (int block : written)
        ASSERT_EQ(flash.mid(block * 4096, 4096), edited.mid(block * 4096, 4096)) << "block " << block;

    auto fresh = makeClient(device);
    ASSERT_TRUE(fresh->initial());
    EXPECT_TRUE(routesOf(*fresh, true).empty()) << "the ride is gone on the device";
    EXPECT_EQ(routesOf(*fresh, false).size(), 2u);
}

// Fault injection at every command of a save: a save with a failed command answers false,
// except when only a ready poll failed and a later one answered ready; a failed read before
// the erase leaves the flash as it was.
TEST_F(OrvoPSFDeviceTest, EveryFailedCommandOfASaveMakesItFalse)
{
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        auto device = makeDevice(m_image);
        auto client = makeClient(device);
        ASSERT_TRUE(client->initial());
        device->clearCommandLog();
        device->failCommand(n);
        const bool saved = client->save();
        if (device->faultPending()) {
            EXPECT_TRUE(saved);
            EXPECT_GT(n, 10);
            break;
        }
        const auto log = device->commandLog();
        const auto failed = std::find_if(log.cbegin(), log.cend(), [](const auto &c) { return c.asc == 0x44; });
        ASSERT_NE(failed, log.cend());
        const bool erased = !commands(*device, kWrite, 14).isEmpty();
        if (!erased) {
            EXPECT_EQ(device->memory(kFlash), m_image) << "nothing is erased before the image is whole";
        }
        if (quint8(failed->cdb[6]) != 21) {
            EXPECT_FALSE(saved);
        }
    }
}

TEST_F(OrvoPSFDeviceTest, DeletionsActOnlyOnAllRoutesOfTheirKind)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    EXPECT_FALSE(client->deleteRoutes({0}));
    EXPECT_FALSE(client->deleteRoutes({0, 1, 2}));
    EXPECT_FALSE(client->deleteTracks({}));
    EXPECT_TRUE(client->error());
    EXPECT_EQ(routesOf(*client, false).size(), 2u);
    EXPECT_EQ(routesOf(*client, true).size(), 1u);

    EXPECT_TRUE(client->deleteRoutes({1, 0, 1}));
    EXPECT_TRUE(routesOf(*client, false).empty());
    ASSERT_EQ(routesOf(*client, true).size(), 1u) << "the ride stays";
    EXPECT_EQ(routesOf(*client, true).front()->workoutLogs().size(), 1u) << "with its workout log";
}

TEST_F(OrvoPSFDeviceTest, FinalizeAppendsTwoDumpsAndStartsAfreshPast16MiB)
{
    struct Case
    {
        const char *name;
        qint64 before;
        qint64 after;
    };
    const std::vector<Case> cases = {
        {"exactly 16 MiB", 16777216, 16777216 + 2 * 2097152},
        {"one byte more", 16777217, 2 * 2097152},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(m_image);
        auto client = makeClient(device);
        ASSERT_TRUE(client->initial());
        const QString dump = OrvoPSFDevice::dumpPath();
        ASSERT_TRUE(OrvoTest::writeFile(dump, QByteArray(c.before, 'd')));
        EXPECT_TRUE(client->_finalize());
        EXPECT_EQ(QFileInfo(dump).size(), c.after);
        const QByteArray tail = OrvoTest::readFile(dump).right(2097152);
        EXPECT_EQ(tail, device->memory(kFlash)) << "the second dump is the flash after the save";
        QFile::remove(dump);
    }
}

TEST_F(OrvoPSFDeviceTest, FactoryRestoreAnswersFalseWhenAnyWriteOrTheEraseFails)
{
    OrvoTest::OutputDir folder;
    ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("KOSMIR.bin")), QByteArray(4096, 'i')));
    ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("KOSMIRExData.bin")), m_image.left(8192)));
    struct Case
    {
        const char *name;
        int failing;
        bool restored;
    };
    // Commands: two internal blocks, the erase, three polls, two external blocks.
    const std::vector<Case> cases = {
        {"internal write", 2, false},
        {"erase", 3, false},
        {"external write", 8, false},
        {"nothing", 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(m_image);
        auto client = makeClient(device);
        device->failCommand(c.failing);
        EXPECT_EQ(client->_restoreFactory(folder.path()), c.restored);
    }
}

TEST_F(OrvoPSFDeviceTest, ProfileIsParsedOnceUntilSavedAndReadBackByAFreshClient)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    QMap<QString, QString> values;
    ASSERT_TRUE(client->flashImage()->readProfile(values));
    EXPECT_EQ(values.value(QStringLiteral("User Weight.Metric")), QStringLiteral("70.5"));

    // The image changes under the model; the kept values are answered until a save.
    PsfImage15Builder other = kavel40Image();
    other.setProfileEntries({ProfileFixtures::listEntry(9, 7, QByteArray::fromHex("00 00 A0 42"))});
    OrvoTest::OutputDir out;
    ASSERT_TRUE(other.writeImageFile(out.filePath(QStringLiteral("other.bin"))));
    ASSERT_TRUE(client->loadFromFile(out.filePath(QStringLiteral("other.bin"))));
    ASSERT_TRUE(client->flashImage()->readProfile(values));
    EXPECT_EQ(values.value(QStringLiteral("User Weight.Metric")), QStringLiteral("70.5")) << "parsed once";

    ASSERT_TRUE(client->saveProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("64")}}));

    ASSERT_TRUE(client->flashImage()->readProfile(values));
    EXPECT_EQ(values.value(QStringLiteral("User Weight.Metric")), QStringLiteral("64"));
    ASSERT_TRUE(client->save());
    auto fresh = makeClient(device);
    ASSERT_TRUE(fresh->initial());
    ASSERT_TRUE(fresh->flashImage()->readProfile(values));
    EXPECT_EQ(values.value(QStringLiteral("User Weight.Metric")), QStringLiteral("64"));
}

TEST_F(OrvoPSFDeviceTest, LanguageImageIsWrittenUntilItReadsBackEqualOrSavedToAFileInstead)
{
    const QString folder = OrvoLanguageImage::folder();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/kosmir.bin"), QByteArray(1000, 'B')));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/lang_eng_1.bin"), QByteArray("\1\2\3\4eng") + "text"));
    auto device = makeDevice(m_image);
    auto client = makeClient(device);

    QStringList codes;
    device->failCommand(1);
    EXPECT_FALSE(client->getLanguageOnDevice(codes)) << "an unreadable area";
    EXPECT_TRUE(client->getLanguageOnDevice(codes)) << "read again after the failure";
    EXPECT_TRUE(codes.isEmpty());

    device->clearCommandLog();
    device->flipOnRead(kLanguage, 100);
    ASSERT_TRUE(client->setDefLanguage(QStringList{"eng"}, 0));
    EXPECT_EQ(commands(*device, kWrite, 12).size(), 2 * 497) << "the corrupted read-back is written again";
    EXPECT_EQ(commands(*device, kRead, 13).size(), 2 * 497);
    const QByteArray area = device->memory(kLanguage);
    EXPECT_EQ(area.left(1008), QByteArray(1000, 'B') + QByteArray(8, '\0'));
    codes.clear();
    ASSERT_TRUE(client->getLanguageOnDevice(codes));
    EXPECT_EQ(codes, QStringList{"eng"});

    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel40"), QStringLiteral("savelangeageimage"),
                                       QStringLiteral("1"));
    device->clearCommandLog();
    EXPECT_TRUE(client->setDefLanguage(QStringList{"eng"}, 0));
    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel40"), QStringLiteral("savelangeageimage"),
                                       QStringLiteral("0"));
    EXPECT_TRUE(commands(*device, kWrite, 12).isEmpty());
    EXPECT_EQ(OrvoTest::readFile(OrvoEnv::instance()->tmpDir() + QStringLiteral("/Quilma.bin")), area);

    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/kosmir.bin"), QByteArray(0xF8800, 'B')));
    EXPECT_FALSE(client->setDefLanguage(QStringList{"eng"}, 0)) << "an image longer than the area";
    EXPECT_EQ(device->memory(kLanguage), area);
    QDir(folder).removeRecursively();
}
