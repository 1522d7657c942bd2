#include "OrvoFreePort.h"
#include "OrvoTestSupport.h"
#include "RecordingClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDaemonProxy.h"
#include "app/OrvoPybind.h"
#include "app/OrvoPython.h"
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

// str() of an expression of the web application's world.
QString evalPython(const char *expression)
{
    pybind11::gil_scoped_acquire gil;
    try {
        return pybind11::str(pybind11::eval(expression, pybind11::module_::import("__main__").attr("__dict__")))
            .cast<QString>();
    } catch (pybind11::error_already_set &e) {
        ADD_FAILURE() << e.what();
    }
    return {};
}

// The process's environment in the daemon's role, with the web application on a port of its
// own; shut down in the programs' order.
class DaemonControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoEnv::instance()->init(QStringLiteral("daemon"), QString());
        OrvoEnv::instance()->setValue(QStringLiteral("listen_port"), QString::number(OrvoTest::freePort()));
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        initPython();
        ASSERT_TRUE(isPythonRunning());
    }

    void TearDown() override
    {
        OrvoDaemon::release();
        finalizePython();
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
    EXPECT_EQ(OrvoControllerHooks::currentClient(), client);
    EXPECT_EQ(evalPython("__import__('orvo').OrvoClient().getName()"), QStringLiteral("Demo"));
    EXPECT_EQ(evalPython("__import__('serveree').announced"), QStringLiteral("('%1', '14d')").arg(drive));
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
    EXPECT_EQ(OrvoControllerHooks::currentClient(), nullptr);
    EXPECT_EQ(evalPython("__import__('orvo').OrvoClient().isExist()"), QStringLiteral("False"));
    OrvoControllerHooks::disconnectDevice();
}

} // namespace
