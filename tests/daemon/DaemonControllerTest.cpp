#include "OrvoTestSupport.h"
#include "RecordingClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDaemonProxy.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceService.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

const QString kVendors = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");

// The process's environment in the daemon's role; the controller goes before it.
class DaemonControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoEnv::instance()->init(QStringLiteral("daemon"), QString());
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
    }

    void TearDown() override
    {
        OrvoDaemon::release();
        OrvoPlatform::setImplementationFactory({});
        OrvoEnv::instance()->shutdown();
    }

    OrvoTest::OutputDir m_dir;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
};

TEST_F(DaemonControllerTest, ControllerOfTheDaemonServesTheCommandsWithItsAttachedDevice)
{
    const QString drive = m_dir.filePath(QStringLiteral("DEMO"));
    QDir().mkpath(drive);
    OrvoTest::writeFile(drive + QStringLiteral("/device.ini"), "[MODEL]\nModel=Demo\n[UUID]\nUUID=4242000000000001\n");
    m_platform->plugDrive(drive, QStringLiteral("TarvexDemo"));

    OrvoDaemon *controller = OrvoDaemon::instance();
    ASSERT_EQ(dynamic_cast<OrvoDaemonProxy *>(controller), nullptr);
    RecordingClient *client = nullptr;
    controller->deviceManager()->registerDevice({QStringLiteral("4242"), QStringLiteral("Demo"), kVendors,
                                                 [&client, drive](std::unique_ptr<OrvoDeviceService>) {
                                                     auto made = std::make_unique<RecordingClient>();
                                                     made->model = QStringLiteral("Demo");
                                                     made->drive = drive;
                                                     client = made.get();
                                                     return std::unique_ptr<OrvoClient>(std::move(made));
                                                 }},
                                                false);
    ASSERT_TRUE(controller->registerDevices(false));
    ASSERT_NE(client, nullptr);
    const int checksAtStart = client->versionChecks;

    // New minimum versions from the GUI thread are checked at once; from an installer's worker
    // thread, once the GUI thread runs again.
    const QString release = m_dir.filePath(QStringLiteral("release.ini"));
    OrvoTest::writeFile(release, "[Update]\nMinImgVer=2.0\nMinOrvoVer=9.0\n");
    OrvoEnv::instance()->updateDeviceInfo(QStringLiteral("Demo"), release);
    EXPECT_EQ(client->versionChecks, checksAtStart + 1);
    std::thread installer([release] { OrvoEnv::instance()->saveMinOrvoVer(QStringLiteral("Demo"), release); });
    installer.join();
    EXPECT_EQ(client->versionChecks, checksAtStart + 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->versionChecks == checksAtStart + 2; }, 5000));

    // Disconnecting ejects the drive and lets the client go.
    OrvoEnv::instance()->setForceOrvoUpdate(true);
    OrvoControllerHooks::disconnectDevice();
    EXPECT_EQ(controller->currentClient(), nullptr);
    EXPECT_TRUE(m_platform->getRemovableDrives(QString()).isEmpty());
    EXPECT_FALSE(OrvoEnv::instance()->isForceOrvoUpdate());
    OrvoControllerHooks::disconnectDevice();
}

} // namespace
