#include "FixtureZip.h"
#include "GalFolderBuilder.h"
#include "Kavel50Drive.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceVersionUtil.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoInnerDeviceFactory.h"
#include "device/OrvoPlatform.h"
#include "devices/fs/OrvoKavel60.h"
#include "devices/gal/OrvoGalDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

const QString kMaker = QStringLiteral("Tarvex  Kavel60");

OrvoDeviceInfo kavel60Row()
{
    return {QStringLiteral("3001"), QStringLiteral("Kavel60"), QStringLiteral("TARVEX"), {}};
}

// A drive service that counts its deletions; it answers as a drive or, with drive false, as the
// SCSI device of an updater.
class CountedService : public OrvoFSDeviceService
{
public:
    CountedService(const QString &root, int &deleted, bool drive = true)
        : OrvoFSDeviceService(root, kavel60Row(), root + QStringLiteral("/device.ini"))
        , m_deleted(deleted)
        , m_drive(drive)
    {}
    ~CountedService() override { ++m_deleted; }
    int serviceType() const override { return m_drive ? FileSystemService : ScsiPassThroughService; }

private:
    int &m_deleted;
    bool m_drive;
};

// A Kavel60 drive: the Kavel50 tree of files and databases under a GAL "/device.ini".
class OrvoKavel60Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoInnerDeviceFactory::setGalDeviceMaker([] { return std::make_unique<OrvoGalDevice>(); });
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        makeDrive(m_dir.path(), QStringLiteral("3001A1B2C3D4E5F6"));
        m_platform->plugDrive(m_dir.path(), kMaker);
    }
    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoInnerDeviceFactory::setGalDeviceMaker({});
    }

    static void makeDrive(const QString &root, const QString &uuid)
    {
        ASSERT_TRUE(Kavel50Drive(root).writeIdentity({}));
        GalFolderBuilder::DeviceIni ini;
        ini.model = QStringLiteral("Kavel60");
        ini.uuid = uuid;
        ASSERT_TRUE(GalFolderBuilder(root).setDeviceIni(ini));
    }

    std::unique_ptr<OrvoClient> create(std::unique_ptr<OrvoDeviceService> service)
    {
        return OrvoDeviceFactory::create<OrvoKavel60>(std::move(service));
    }
    std::unique_ptr<OrvoClient> attach() { return create(std::make_unique<CountedService>(m_dir.path(), m_deleted)); }

    void plugCard(const QString &label)
    {
        ASSERT_TRUE(QDir().mkpath(card(QStringLiteral("/data"))));
        m_platform->plugDrive(m_card.path(), kMaker, label);
    }
    QString card(const QString &relative) const { return m_card.path() + relative; }

    const OrvoTest::UserFolderScope m_userFolder;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_card;
    OrvoTest::OutputDir m_packages;
    int m_deleted = 0;
};

} // namespace

TEST_F(OrvoKavel60Test, ARefusedDeviceFreesItsServiceOnce)
{
    struct Case
    {
        const char *name;
        bool galMaker;
        bool drive;
    };
    const Case cases[] = {
        {"no GAL client to ask", false, true},
        {"a service that is no drive", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.galMaker)
            OrvoInnerDeviceFactory::setGalDeviceMaker({});
        m_deleted = 0;
        EXPECT_EQ(create(std::make_unique<CountedService>(m_dir.path(), m_deleted, c.drive)), nullptr);
        EXPECT_EQ(m_deleted, 1);
        OrvoInnerDeviceFactory::setGalDeviceMaker([] { return std::make_unique<OrvoGalDevice>(); });
    }

    m_deleted = 0;
    std::unique_ptr<OrvoClient> client = attach();
    ASSERT_NE(client, nullptr);
    client.reset();
    EXPECT_EQ(m_deleted, 1);
}

TEST_F(OrvoKavel60Test, IdentityComesFromTheGalDeviceAndFilesFromTheKavel50)
{
    std::unique_ptr<OrvoClient> client = attach();
    ASSERT_NE(client, nullptr);
    QString os;
    QString total;
    QString uuid;
    QString model;
    QString drive;
    QString ap;
    ASSERT_TRUE(client->getOS(os));
    EXPECT_EQ(os, QStringLiteral("1.05.210.1234"));
    EXPECT_TRUE(client->getTotal(total));
    EXPECT_EQ(total, QStringLiteral("1.05")) << "the GAL [OS], not a Kavel50 [Total]";
    EXPECT_TRUE(client->getUUID(uuid));
    EXPECT_EQ(uuid, QStringLiteral("3001A1B2C3D4E5F6"));
    EXPECT_TRUE(client->getName(model));
    EXPECT_EQ(model, QStringLiteral("Kavel60"));
    EXPECT_TRUE(client->getDrive(drive));
    EXPECT_EQ(drive, m_dir.path());
    EXPECT_TRUE(client->getAP(ap));
    EXPECT_EQ(ap, QStringLiteral("ZK2.1.0.5")) << "the Kavel50's application version file";
}

TEST_F(OrvoKavel60Test, AfterAReplugTheGalDeviceUsesTheNewService)
{
    std::unique_ptr<OrvoClient> client = attach();
    ASSERT_NE(client, nullptr);
    auto *owner = dynamic_cast<OrvoDeviceServiceOwner *>(client.get());
    ASSERT_NE(owner, nullptr);

    const OrvoTest::OutputDir other;
    makeDrive(other.path(), QStringLiteral("3001000000000002"));
    int otherDeleted = 0;
    owner->setDeviceService(std::make_unique<CountedService>(other.path(), otherDeleted));
    EXPECT_EQ(m_deleted, 1) << "the old service is gone";
    // Under the address sanitizer a GAL device left on the old service fails here.
    QString drive;
    ASSERT_TRUE(client->getDrive(drive));
    EXPECT_EQ(drive, other.path());
    EXPECT_EQ(client->deviceService()->deviceInfo()->modelName, QStringLiteral("Kavel60"));

    owner->setDeviceService(std::make_unique<CountedService>(other.path(), otherDeleted, false));
    EXPECT_EQ(otherDeleted, 1);
    EXPECT_FALSE(client->getDrive(drive)) << "the updater's SCSI device has no drive";
    client.reset();
    EXPECT_EQ(otherDeleted, 2);
}

TEST_F(OrvoKavel60Test, TheEngineGoesOntoAnOwnDriveWithoutVersionFileEvenWhenOlder)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    QSettings(card(QStringLiteral("/data/version.ini")), QSettings::IniFormat)
        .setValue(QStringLiteral("version"), QStringLiteral("2.0"));
    const QString package = m_packages.filePath(QStringLiteral("engine.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(package, FixtureZip::storedArchive({{"engine.bin", "engine"}})));
    std::unique_ptr<OrvoClient> client = attach();
    ASSERT_NE(client, nullptr);

    ASSERT_TRUE(client->updateComponent(package, QStringLiteral("Kavel60"), QStringLiteral("GPST_ENGINE"),
                                        QStringLiteral("1.5")));
    client->wait();
    EXPECT_FALSE(client->error());
    const QString ownFolder = m_dir.path() + QLatin1String(Kavel50Drive::kSharePath);
    EXPECT_EQ(OrvoTest::readFile(ownFolder + QStringLiteral("/data/engine.bin")), QByteArray("engine"));
    EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("version"), ownFolder), QStringLiteral("1.5"));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/engine.bin")))) << "the card's engine is newer";
}

TEST_F(OrvoKavel60Test, MapDataFillTheCardAndTakeTheNewDescription)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml")), "<old/>"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/temp.xml")), "<new/>"));
    const QString source = m_packages.filePath(QStringLiteral("maps"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/TWN/TWN.2.map"), "new map"));
    std::unique_ptr<OrvoClient> client = attach();
    ASSERT_NE(client, nullptr);

    ASSERT_TRUE(client->updateMapData(source + QStringLiteral("^Kavel60")));
    client->wait();
    EXPECT_FALSE(client->error());
    EXPECT_EQ(OrvoTest::readFile(card(QStringLiteral("/data/mapengine/map/Countries/TWN.2.map"))),
              QByteArray("new map"));
    EXPECT_EQ(OrvoTest::readFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml"))), QByteArray("<new/>"));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/mapsinfo/temp.xml"))));
}
