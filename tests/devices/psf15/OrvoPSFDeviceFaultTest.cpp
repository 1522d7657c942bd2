#include "FixtureZip.h"
#include "Kavel40Content.h"
#include "Kavel40Emulator.h"
#include "Kavel40SampleRide.h"
#include "Kavel40ShareFiles.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"
#include "PsfImage15Builder.h"

#include "device/OrvoLanguageImage.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace Kavel40;

namespace {

constexpr quint8 kWrite = 0x2A;
constexpr quint8 kEraseArea = 14;
constexpr quint8 kImageWriteArea = 15;
// Commands tried at both ends of an action; in between, every erase and every write of the
// block that holds the management record.
constexpr int kEndCommands = 10;

// Two planned routes, a ride with a segment, laps and a user-info log, two workouts, the first
// with a log of the ride; the profile holds the weight 70.5.
QByteArray deviceImage()
{
    PsfImage15Builder builder;
    const PsfImage15Builder::Segment segment = Kavel40SampleRide::segment();
    for (const char *name : {"Home", "Lake"}) {
        PsfImage15Builder::Route planned;
        planned.names = {{"eng", name}};
        planned.segments = {segment};
        builder.addRoute(planned);
    }
    const int rideIndex = Kavel40SampleRide::addRide(builder, segment, {{"eng", "Morning"}});
    Kavel40SampleRide::addWorkouts(builder, rideIndex);
    builder.setProfileEntries({ProfileFixtures::listEntry(9, 7, QByteArray::fromHex("00 00 8D 42"))});
    return builder.build().bytes;
}

// What the device holds after an action: what a fresh client reads, the language area, and
// for a factory restore the flash itself.
struct Held
{
    Content content;
    QByteArray language;
    QByteArray flash;

    bool operator==(const Held &) const = default;
};

struct WriteAction
{
    const char *name;
    std::function<bool(OrvoPSFDevice &)> run;
    bool wholeFlash = false;
};

class OrvoPSFDeviceFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel40"), QStringLiteral("psflanguagefilter"),
                                           QStringLiteral("0"));
        ASSERT_TRUE(OrvoTest::writeFile(path("route.gpx"), Kavel40::kSharedGpx));
        ASSERT_TRUE(OrvoTest::writeFile(path("workout.wrk"), Kavel40::kSharedWrk));
        ASSERT_TRUE(OrvoTest::writeFile(
            path("share.zip"),
            FixtureZip::storedArchive({{"shared.gpx", Kavel40::kSharedGpx}, {"shared.wrk", Kavel40::kSharedWrk}})));
        ASSERT_TRUE(QDir().mkpath(path("factory")));
        ASSERT_TRUE(OrvoTest::writeFile(path("factory/KOSMIR.bin"), QByteArray(4096, 'i')));
        ASSERT_TRUE(OrvoTest::writeFile(path("factory/KOSMIRExData.bin"), m_image.left(3 * 4096)));
        const QString languages = OrvoLanguageImage::folder();
        QDir(languages).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(languages));
        ASSERT_TRUE(OrvoTest::writeFile(languages + QStringLiteral("/kosmir.bin"), QByteArray(1000, 'B')));
        ASSERT_TRUE(OrvoTest::writeFile(languages + QStringLiteral("/lang_eng_1.bin"), "\1\2\3\4engtext"));
    }
    void TearDown() override
    {
        OrvoDeviceWaits::install(nullptr);
        QDir(OrvoLanguageImage::folder()).removeRecursively();
    }

    QString path(const char *name) const { return m_output.filePath(QString::fromLatin1(name)); }

    std::shared_ptr<OrvoEmulatedFlashDevice> freshDevice() const { return makeDevice(m_image); }

    static Held held(const std::shared_ptr<OrvoEmulatedFlashDevice> &device, bool wholeFlash)
    {
        return {readBack(device), device->memory(kLanguage), wholeFlash ? device->memory(kFlash) : QByteArray()};
    }

    // The commands to fail: both ends of the action, and every erase and management-record
    // write in between (counted from 1).
    static std::set<int> chosenCommands(const QVector<OrvoEmulatedFlashDevice::LoggedCommand> &log)
    {
        std::set<int> chosen;
        const int count = int(log.size());
        for (int k = 1; k <= count; ++k) {
            const auto &command = log.at(k - 1);
            const bool write = quint8(command.cdb[0]) == kWrite;
            const quint8 area = quint8(command.cdb[6]);
            const bool header = write && area == kImageWriteArea && blockOf(command) == 0;
            if (k <= kEndCommands || k > count - kEndCommands || (write && area == kEraseArea) || header)
                chosen.insert(k);
        }
        return chosen;
    }

    void checkAction(const WriteAction &action)
    {
        SCOPED_TRACE(action.name);
        auto reference = freshDevice();
        auto client = makeClient(reference);
        ASSERT_TRUE(client->initial());
        reference->clearCommandLog();
        ASSERT_TRUE(action.run(*client));
        const std::set<int> chosen = chosenCommands(reference->commandLog());
        const Held expected = held(reference, action.wholeFlash);
        ASSERT_TRUE(expected.content.read || action.wholeFlash) << "the action leaves a readable device";
        QFile::remove(OrvoPSFDevice::dumpPath());

        for (int k : chosen) {
            SCOPED_TRACE(k);
            auto device = freshDevice();
            auto first = makeClient(device);
            ASSERT_TRUE(first->initial());
            device->failCommand(k);
            const bool done = action.run(*first);
            ASSERT_FALSE(device->faultPending()) << "the action sends as many commands as without the fault";
            if (!done) {
                EXPECT_TRUE(first->error()) << "a failure raises the error flag";
                first.reset();
                device->unplug();
                device->plug(device->identity());
                auto retry = makeClient(device);
                ASSERT_TRUE(retry->initial());
                EXPECT_TRUE(action.run(*retry)) << "the retry without the fault";
            }
            EXPECT_EQ(held(device, action.wholeFlash), expected);
            QFile::remove(OrvoPSFDevice::dumpPath());
        }
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_output;
    QByteArray m_image = deviceImage();
};

} // namespace

TEST_F(OrvoPSFDeviceFaultTest, ImportsThenFinalizeSurviveAFailedCommand)
{
    const QString share = path("share.zip");
    const QString route = path("route.gpx");
    const QString workout = path("workout.wrk");
    checkAction({"share import", [&](OrvoPSFDevice &c) { return c.setShareData(share) && c._finalize(); }});
    checkAction({"route import", [&](OrvoPSFDevice &c) { return c.importGpxFile(route) && c._finalize(); }});
    checkAction({"workout import",
                 [&](OrvoPSFDevice &c) { return c.importWorkoutFileAllLanguages(workout) && c._finalize(); }});
}

// Deleting rides and deleting everything write the image themselves.
TEST_F(OrvoPSFDeviceFaultTest, DeletionsSurviveAFailedCommand)
{
    // Every ride the device lists, as the page asks: a save cut off at a block it writes as
    // erased leaves the whole new image, and the retry then finds no ride to delete.
    checkAction({"delete every ride", [](OrvoPSFDevice &c) {
                     QVector<OrvoClientData> rides;
                     c.getTracks(rides);
                     QVector<int> ids;
                     for (const OrvoClientData &ride : rides)
                         ids << ride.id;
                     return c.deleteTracks(ids);
                 }});
    checkAction({"delete routes", [](OrvoPSFDevice &c) { return c.deleteRoutes({0, 1}) && c._finalize(); }});
    checkAction({"delete a workout", [](OrvoPSFDevice &c) { return c.deleteWorkouts({0}) && c._finalize(); }});
    checkAction({"delete all", [](OrvoPSFDevice &c) { return c.deleteAll(); }});
}

TEST_F(OrvoPSFDeviceFaultTest, ProfileLanguageAndFactoryWritesSurviveAFailedCommand)
{
    const QMap<QString, QString> profile = {{QStringLiteral("User Weight.Metric"), QStringLiteral("64")}};
    checkAction({"profile", [&](OrvoPSFDevice &c) { return c.saveProfile(profile) && c._finalize(); }});
    checkAction({"language", [](OrvoPSFDevice &c) { return c.setDefLanguage(QStringList{"eng"}, 0); }});
    const QString factory = path("factory");
    checkAction({"factory restore", [&](OrvoPSFDevice &c) { return c._restoreFactory(factory); }, true});
}
