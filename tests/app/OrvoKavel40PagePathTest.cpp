#include "AppTestSupport.h"
#include "FixtureZip.h"
#include "FlashDeviceDescriptions.h"
#include "Kavel40SampleRide.h"
#include "OrvoClientListing.h"
#include "OrvoTestSupport.h"
#include "PsfImage15Builder.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoLanguageImage.h"
#include "device/OrvoLinuxSCSIService.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFDevice.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace AppTest;

namespace {

const QByteArray kLoopRoute = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<gpx creator=\"tarvex\" version=\"2.2.0.3\"><metadata><name>Loop</name></metadata>"
                              "<rte><rtept lat=\"35.6\" lon=\"139.6\"/></rte><trk><trkseg>"
                              "<trkpt lat=\"35.6\" lon=\"139.6\"><ele>10</ele></trkpt>"
                              "<trkpt lat=\"35.61\" lon=\"139.6\"><ele>40</ele></trkpt></trkseg></trk></gpx>\n";
const QByteArray kHillWorkout = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"><wrk id=\"31\">"
                                "<name lang=\"fra\">Colline</name><itv id=\"1\"><name>Work</name>"
                                "<target type=\"2\" low=\"100\" high=\"150\"/><duration type=\"2\" value=\"60\"/>"
                                "</itv></wrk></trncrs>\n";

// The sample ride with its two workouts, and no planned route.
QByteArray deviceImage()
{
    PsfImage15Builder builder;
    const int ride = Kavel40SampleRide::addRide(builder, Kavel40SampleRide::segment(), {{"eng", "Morning"}});
    Kavel40SampleRide::addWorkouts(builder, ride);
    return builder.build().bytes;
}

OrvoDeviceInfo kavel40Row()
{
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.modelName == QLatin1String("Kavel40"))
            return row.info;
    }
    return {};
}

using OrvoTest::Listing;

class OrvoKavel40PagePathTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(QStringLiteral("kosmir.bin")), deviceImage()));
        const QString description = m_dir.filePath(QStringLiteral("kosmir.scsi"));
        ASSERT_TRUE(
            OrvoTest::writeFile(description, FlashDeviceDescriptions::kavel40("1105D3E40000C0DE", "kosmir.bin")));
        m_device = OrvoEmulatedFolder::loadFlashDevice(description);
        ASSERT_TRUE(m_device);
        m_platform->plugScsiDevice(m_device);
        m_manager = std::make_unique<OrvoDeviceManager>();
        m_manager->registerDevice(kavel40Row(), false);
        ASSERT_TRUE(m_manager->start());
        m_client = dynamic_cast<OrvoPSFDevice *>(m_manager->currentClient());
        ASSERT_NE(m_client, nullptr);
        startPython();
        OrvoPSFDevice *client = m_client;
        OrvoControllerHooks::setCurrentClientHook([client] { return client; });
        runPython(QStringLiteral("import orvo\nfrom orvoweb import actions, families\nkavel40 = orvo.OrvoClient()\n"));
    }
    void TearDown() override
    {
        OrvoControllerHooks::setCurrentClientHook({});
        m_client = nullptr;
        m_manager.reset();
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    QString package(const QString &name, const QList<FixtureZip::Entry> &entries) const
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
        return path;
    }

    // What a client that reads the emulated flash afresh lists.
    Listing listing() const
    {
        auto fresh = OrvoDeviceFactory::create<OrvoPSFDevice>(
            std::make_unique<OrvoLinuxSCSIService>(OrvoEmulatedScsiHandle::open(m_device), kavel40Row()));
        if (!fresh)
            return {{QStringLiteral("unreadable")}, {}, {}};
        return OrvoTest::listingOf(*fresh);
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    std::shared_ptr<OrvoEmulatedFlashDevice> m_device;
    std::unique_ptr<OrvoDeviceManager> m_manager;
    OrvoPSFDevice *m_client = nullptr;
};

} // namespace

// The page's share import answers done only once the device holds the package: a client that
// reads the flash afresh lists the route and the workout.
TEST_F(OrvoKavel40PagePathTest, TheShareImportIsOnTheDeviceWhenThePageSaysDone)
{
    const QString share = package(QStringLiteral("share.zip"), {{"Loop.krm", kLoopRoute}, {"Hill.wrk", kHillWorkout}});
    EXPECT_EQ(evalPython(QStringLiteral("actions.import_share_now(kavel40, '%1')").arg(share)), QStringLiteral("True"));
    EXPECT_EQ(evalPython(QStringLiteral("actions.history[0].state")), QStringLiteral("done"));
    const Listing after = listing();
    EXPECT_EQ(after.routes, QStringList({"Loop"}));
    EXPECT_EQ(after.rides, QStringList({"Morning"}));
    EXPECT_EQ(after.workouts, QStringList({"Intervals", "Easy", "Colline"}));
}

// Page actions that answer at once and cannot do what they were asked answer failed, and the
// device keeps what it held.
TEST_F(OrvoKavel40PagePathTest, ActionsThatCannotBeDoneAnswerFailedAndChangeNothing)
{
    const QString share = package(QStringLiteral("share.zip"), {{"Loop.krm", kLoopRoute}});
    const QString text = package(QStringLiteral("text.zip"), {{"readme.txt", "no route here"}});
    // A route file of plain GPX 1.1, as another program writes it: no shared route of the device.
    const QString plain =
        package(QStringLiteral("plain.zip"),
                {{"Loop.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"other\" "
                              "xmlns=\"http://www.topografix.com/GPX/1/1\"><rte><name>Loop</name>"
                              "<rtept lat=\"47.0\" lon=\"11.0\"/><rtept lat=\"47.1\" lon=\"11.1\"/></rte></gpx>\n"}});
    const QByteArray before = m_device->memory(QStringLiteral("flash"));
    struct Case
    {
        const char *name;
        QString call;
        bool busy;
    };
    const std::vector<Case> cases = {
        {"a package with nothing to import", QStringLiteral("actions.import_share_now(kavel40, '%1')").arg(text),
         false},
        {"a package whose only route is plain GPX",
         QStringLiteral("actions.import_share_now(kavel40, '%1')").arg(plain), false},
        {"an import while the device is busy", QStringLiteral("actions.import_share_now(kavel40, '%1')").arg(share),
         true},
        {"languages while the device is busy", QStringLiteral("actions.write_languages(kavel40, ['eng'])"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.busy) {
            ASSERT_TRUE(m_client->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, OrvoClient::STATE_OUT_OF_SERVICE));
        }
        EXPECT_EQ(evalPython(c.call), QStringLiteral("False"));
        EXPECT_EQ(evalPython(QStringLiteral("actions.history[0].state")), QStringLiteral("failed"));
        if (c.busy) {
            ASSERT_TRUE(m_client->setStateWithMatch(OrvoClient::STATE_OUT_OF_SERVICE, OrvoClient::STATE_IN_SERVICE));
        }
        EXPECT_EQ(m_device->memory(QStringLiteral("flash")), before);
    }
}

// "Delete every ride" answers done only once the device holds no ride.
TEST_F(OrvoKavel40PagePathTest, DeletingEveryRideIsOnTheDeviceWhenThePageSaysDone)
{
    ASSERT_EQ(listing().rides, QStringList({"Morning"}));
    EXPECT_EQ(evalPython(QStringLiteral("actions.delete_every_ride(kavel40, families.deletes_in_turns(kavel40))")),
              QStringLiteral("True"));
    const Listing after = listing();
    EXPECT_TRUE(after.rides.isEmpty()) << after.rides.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(after.workouts, QStringList({"Intervals", "Easy"}));
}

// The page's language choice answers done only once the device's language area holds the image
// that was built (the same bytes the language file gets).
TEST_F(OrvoKavel40PagePathTest, TheLanguageChoiceIsOnTheDeviceWhenThePageSaysDone)
{
    const QString folder = OrvoLanguageImage::folder();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/Kosmir.bin"), QByteArray(1008, 'B')));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/lang_eng_.bin"), QByteArray("\x01\x02\x03\x04engwords")));
    const QString lanfile = OrvoEnv::instance()->tmpDir() + QStringLiteral("/lanfile.txt");
    QFile::remove(lanfile);

    EXPECT_EQ(evalPython(QStringLiteral("actions.write_languages(kavel40, ['eng'])")), QStringLiteral("True"));
    const QByteArray built = OrvoTest::readFile(lanfile);
    ASSERT_GT(built.size(), 1008);
    const QByteArray area = m_device->memory(QStringLiteral("language"));
    EXPECT_EQ(area.left(built.size()), built);
    EXPECT_EQ(area.mid(built.size()), QByteArray(area.size() - built.size(), '\xFF'));
    QDir(folder).removeRecursively();
}
