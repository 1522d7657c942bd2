#include "AppTestSupport.h"
#include "FitDrive.h"
#include "GalFolderBuilder.h"
#include "Kavel50Drive.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoDaemon.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/fs/OrvoKavel60.h"
#include "devices/gal/OrvoFitDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace AppTest;

namespace {

// Devices that describe themselves in their own device file, served through the daemon's
// factories on the emulated platform.
class OrvoFileDeviceEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        initEnvironment();
        OrvoDeviceWaits::install(&m_waits);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
    }
    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
};

} // namespace

TEST_F(OrvoFileDeviceEndToEndTest, AWatchWithOnlyItsDeviceTxtTakesAssistanceData)
{
    const QString root = m_dir.filePath(QStringLiteral("WATCH"));
    ASSERT_TRUE(FitDrive(root).setDeviceTxt({}));
    m_platform->plugDrive(root, QStringLiteral("TARVEX  Fit20"));
    OrvoDaemon daemon;
    EXPECT_TRUE(daemon.registerDevices(true));
    auto *fit = dynamic_cast<OrvoFitDevice *>(daemon.currentClient());
    ASSERT_NE(fit, nullptr);
    QString os;
    ASSERT_TRUE(fit->getOS(os));
    EXPECT_EQ(os, QStringLiteral("1.2.0.9.0012.34.005.006"));
    EXPECT_EQ(fit->getAlpDate(), 0);

    const QString updates = OrvoEnv::instance()->userFolder() + QStringLiteral("/updates/Fit20");
    ASSERT_TRUE(OrvoTest::writeFile(updates + QStringLiteral("/AssitOff.alp"), "assistance"));
    ASSERT_TRUE(fit->updateAlp(QStringLiteral("AssitOff.alp"), 12345));
    ASSERT_TRUE(QTest::qWaitFor([fit] { return !fit->isBusy(); }, OrvoTest::kPatienceMs));
    EXPECT_FALSE(fit->error());
    EXPECT_EQ(OrvoTest::readFile(root + QStringLiteral("/System/AssitOff.alp")), QByteArray("assistance"));
    EXPECT_EQ(OrvoTest::readFile(root + QStringLiteral("/System/date.txt")), FitDrive::date(12345));
    EXPECT_EQ(fit->getAlpDate(), 12345);
    EXPECT_TRUE(QDir(updates).removeRecursively());
}

TEST_F(OrvoFileDeviceEndToEndTest, AKavel60IsServedWithItsGalIdentity)
{
    const QString root = m_dir.filePath(QStringLiteral("KAVEL60"));
    const Kavel50Drive drive(root);
    ASSERT_TRUE(drive.writeIdentity({}));
    ASSERT_TRUE(drive.writeSampleData());
    GalFolderBuilder::DeviceIni ini;
    ini.model = QStringLiteral("Kavel60");
    ini.uuid = QStringLiteral("3001A1B2C3D4E5F6");
    ASSERT_TRUE(GalFolderBuilder(root).setDeviceIni(ini));
    m_platform->plugDrive(root, QStringLiteral("TARVEX  Kavel60"));
    OrvoDaemon daemon;
    EXPECT_TRUE(daemon.registerDevices(true));
    auto *kavel60 = dynamic_cast<OrvoKavel60 *>(daemon.currentClient());
    ASSERT_NE(kavel60, nullptr);
    QString os;
    ASSERT_TRUE(kavel60->getOS(os));
    EXPECT_EQ(os, QStringLiteral("1.05.210.1234"));
    QVector<OrvoClientData> tracks;
    kavel60->getTracks(tracks);
    EXPECT_EQ(tracks.size(), 1) << "the Kavel50's ride database";
}
