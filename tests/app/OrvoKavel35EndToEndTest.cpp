#include "FixtureZip.h"
#include "FlashDeviceDescriptions.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"
#include "PsfImage14Builder.h"

#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceService.h"
#include "device/OrvoLinuxSCSIService.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoKavel35.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using OrvoTest::kPatienceMs;

namespace {

// The Kavel35 as a folder describes it: its flash erased before every write, its language
// area, and the plain memories of the firmware, clock and zero-sector areas.
// Other PSF 1.4 models differ in their identity only.
std::shared_ptr<OrvoEmulatedFlashDevice> plugKavel35(const QString &folder, const QByteArray &image,
                                                     const QByteArray &product = "QUILMA",
                                                     const QByteArray &deviceId = "1003A1B2C3D4E5F6")
{
    if (!OrvoTest::writeFile(folder + QStringLiteral("/quilma.bin"), image))
        return nullptr;
    const QByteArray description = FlashDeviceDescriptions::psf14(product, deviceId, "quilma.bin");
    const QString path = folder + QStringLiteral("/quilma.scsi");
    if (!OrvoTest::writeFile(path, description))
        return nullptr;
    return OrvoEmulatedFolder::loadFlashDevice(path);
}

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, kPatienceMs);
}

OrvoKavel35 *servedKavel35(OrvoDeviceManager &manager)
{
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.modelName == QLatin1String("Kavel35"))
            manager.registerDevice(row.info, false);
    }
    return manager.start() ? dynamic_cast<OrvoKavel35 *>(manager.currentClient()) : nullptr;
}

QStringList names(const QVector<OrvoClientData> &items)
{
    QStringList list;
    for (const OrvoClientData &item : items)
        list << item.name;
    return list;
}

class OrvoKavel35EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
    }
    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

TEST_F(OrvoKavel35EndToEndTest, AKavel35IsServedAndItsProfileWrittenBackIntoItsSectorOnly)
{
    const ProfileFixtures::UserRecord user{1, 40, 0, 175, 69, 70.5f, 155, 180};
    const QByteArray image =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), user);
    auto device = plugKavel35(m_dir.path(), image);
    ASSERT_TRUE(device);
    m_platform->plugScsiDevice(device);
    OrvoDeviceManager manager;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.modelName == QLatin1String("Kavel35"))
            manager.registerDevice(row.info, false);
    }
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoKavel35 *>(manager.currentClient());
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->deviceService()->deviceInfo()->productId, QStringLiteral("1003"));

    const QString xml = m_dir.filePath(QStringLiteral("profile.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(xml, "<settings><property name=\"User Weight.Metric\" value=\"64\"/></settings>"));
    ASSERT_TRUE(client->writeProfile(xml));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    device->clearCommandLog();
    ASSERT_TRUE(client->finalize());
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());

    const QByteArray after = device->memory(QStringLiteral("flash"));
    ASSERT_EQ(after.size(), image.size());
    EXPECT_EQ(after.left(0xF8000), image.left(0xF8000));
    EXPECT_EQ(after.mid(0xF9000), image.mid(0xF9000));
    OrvoProfileData profile(after.mid(0xF8000, 4096), OrvoProfileData::PsfObsolete);
    ASSERT_TRUE(profile.parse());
    EXPECT_EQ(profile.value(OrvoProfileKeys::kWeightMetric), QStringLiteral("64"));
    EXPECT_EQ(profile.value(OrvoProfileKeys::kMhr), QStringLiteral("180")) << "the other values stay";
    int writes = 0;
    for (const auto &command : device->commandLog()) {
        writes += quint8(command.cdb[0]) == 0x2A ? 1 : 0;
        EXPECT_EQ(command.status, 0) << command.cdb.toHex(' ').toStdString();
    }
    EXPECT_EQ(writes, 257) << "one erase and the 256 blocks of the image";
}

TEST_F(OrvoKavel35EndToEndTest, ASharePackageReachesTheFlashAndRidesExportAsGpx)
{
    const ProfileFixtures::UserRecord user{1, 40, 0, 175, 69, 70.5f, 155, 180};
    const QByteArray image =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), user);
    auto device = plugKavel35(m_dir.path(), image);
    ASSERT_TRUE(device);
    m_platform->plugScsiDevice(device);
    OrvoDeviceManager manager;
    OrvoKavel35 *client = servedKavel35(manager);
    ASSERT_NE(client, nullptr);

    // A workout file as the device itself exports it, and a route as the web application shares it.
    QVector<OrvoClientData> before;
    client->getWorkouts(before);
    ASSERT_NE(client->container(), nullptr);
    client->container()->setFlag2(1);
    const QStringList exported = client->container()->workoutsToFile(m_dir.path(), client->exportDevice());
    ASSERT_FALSE(exported.isEmpty());
    const QByteArray route = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" "
                             "version=\"2.2.0.3\">\n<metadata><name>River path</name>"
                             "<extensions><sharetype>1</sharetype></extensions></metadata>\n"
                             "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
                             "<trk><trkseg><trkpt lat=\"35.0\" lon=\"139.0\"/><trkpt lat=\"35.01\" lon=\"139.0\"/>"
                             "</trkseg></trk>\n</gpx>\n";
    const QString package = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(
        package, FixtureZip::storedArchive(
                     {{"route.KRM", route}, {"w.Wrk", OrvoTest::readFile(m_dir.filePath(exported.first()))}})));

    ASSERT_TRUE(client->importDownloadZip(package));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    ASSERT_TRUE(client->finalize());
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());

    OrvoKavel35 fresh;
    fresh.setDeviceService(
        OrvoLinuxSCSIService::probe(OrvoEmulatedScsiHandle::open(device), {*client->deviceService()->deviceInfo()}));
    QVector<OrvoClientData> routes;
    fresh.getRoutes(routes);
    EXPECT_TRUE(names(routes).contains(QStringLiteral("River path")));
    QVector<OrvoClientData> workouts;
    fresh.getWorkouts(workouts);
    EXPECT_EQ(workouts.size(), before.size() + 1);

    const QString rides = m_dir.filePath(QStringLiteral("rides"));
    ASSERT_TRUE(client->exportTrack(rides));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    EXPECT_EQ(QDir(rides).entryList({QStringLiteral("*.gpx")}, QDir::Files).size(), 2);
}

TEST_F(OrvoKavel35EndToEndTest, APulmor30AttachesByItsRowAndSetsItsClock)
{
    const ProfileFixtures::UserRecord user{1, 40, 0, 175, 69, 70.5f, 155, 180};
    const QByteArray image =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Pulmor30, PsfImage14Builder::sampleContent(), user);
    auto device = plugKavel35(m_dir.path(), image, "TESKA", "1004A1B2C3D4E5F6");
    ASSERT_TRUE(device);
    m_platform->plugScsiDevice(device);
    OrvoDeviceManager manager;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.productId == QLatin1String("1004"))
            manager.registerDevice(row.info, false);
    }
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoPulmor30 *>(manager.currentClient());
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->deviceService()->deviceInfo()->modelName, QStringLiteral("Pulmor30"));

    device->clearCommandLog();
    ASSERT_TRUE(client->syncTime());
    const QDateTime local = OrvoDeviceWaits::current().currentLocal();
    const QByteArray clock = device->memory(QStringLiteral("clock"));
    EXPECT_EQ(quint8(clock[0]), local.time().second());
    EXPECT_EQ(quint8(clock[2]), local.time().hour());
    EXPECT_EQ(quint8(clock[4]), local.date().month());
    ASSERT_EQ(device->commandLog().size(), 1);
    EXPECT_EQ(quint8(device->commandLog().first().cdb[6]), 6);
}
