#include "DeviceTestDevices.h"
#include "ManagerTestDoubles.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace ManagerTest;

// Scripts of a desk with emulated devices: the manager sees only what the emulated platform
// tells it, and the test moves both clocks by hand.
namespace {

const QString kM1 = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kM2 = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kKosmirA = QStringLiteral("1105AAAAAAAAAAAA");
const QString kKosmirB = QStringLiteral("1105BBBBBBBBBBBB");
const QString kGalId = QStringLiteral("1207ABCDEF012345");
const QString kOtherGalId = QStringLiteral("1207FFFFFFFFFFFF");
const QString kKavel50Id = QStringLiteral("0901A1B2C3D4E5F6");

// A device file as the device writes it: CR LF, several groups, no marker yet.
QByteArray deviceIni(const QString &model, const QString &id)
{
    return "[MODEL]\r\nModel=" + model.toLatin1() + "\r\n\r\n[UUID]\r\nUUID=" + id.toLatin1() +
           "\r\nSN=0042\r\n\r\n[VERSION]\r\nOS=1.2.0\r\n";
}

class OrvoDeviceScenarioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        m_manager = std::make_unique<OrvoDeviceManager>([this] { return m_seconds; }, [this] { return m_tick; });
        for (const OrvoDeviceInfo &info :
             {row("1207", "Kavel21", kM1), row("1105", "Kavel40", QStringLiteral("KOSMIR")),
              row("0901", "Kavel50", kM2), row("1207", "Kavel21Boot", QStringLiteral("KAVELIAP"))})
            m_manager->registerDevice(info, false);
        m_manager->addListener(&m_listener);
    }

    void TearDown() override
    {
        m_manager.reset();
        OrvoPlatform::setImplementationFactory({});
        EXPECT_EQ(DeviceClient::s_alive, 0);
    }

    std::shared_ptr<OrvoEmulatedFlashDevice> plugScsi(const char *product, const QString &id)
    {
        auto device = DeviceTest::makeDevice(DeviceTest::identity(product, id.toLatin1()));
        m_platform->plugScsiDevice(device);
        return device;
    }

    QString volume(const QString &name, const QByteArray &deviceIniText = QByteArray())
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        if (!deviceIniText.isEmpty())
            OrvoTest::writeFile(folder + QStringLiteral("/device.ini"), deviceIniText);
        return folder;
    }

    // Milliseconds pass on the tick clock, and the seconds clock follows.
    void pass(quint32 milliseconds)
    {
        m_tick += milliseconds;
        m_seconds += milliseconds / 1000;
    }

    DeviceClient *client() const { return dynamic_cast<DeviceClient *>(m_manager->currentClient()); }

    OrvoTest::OutputDir m_dir;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    quint32 m_seconds = 1700000000;
    quint32 m_tick = 7000000;
    RecordingListener m_listener;
    std::unique_ptr<OrvoDeviceManager> m_manager;
};

} // namespace

TEST_F(OrvoDeviceScenarioTest, ScsiDevicesComeAndGoWithTheDebounceAndVolumesDoNotDisturbThem)
{
    auto first = plugScsi("KOSMIR", kKosmirA);
    ASSERT_TRUE(m_manager->start());
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:" + kKosmirA})) << "attached before the start";

    // A USB stick comes and goes while the SCSI-served client works.
    const QString stick = volume(QStringLiteral("stick"));
    pass(5000);
    m_platform->plugDrive(stick, QStringLiteral("SanDisk Cruzer Blade"));
    m_platform->unplugDrive(stick);
    EXPECT_TRUE(m_listener.take().isEmpty()) << "an unrelated volume does not unplug a SCSI-served client";
    EXPECT_EQ(describe(client()), "Kavel40:" + kKosmirA);

    m_platform->unplugScsiDevice(first);
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel40:" + kKosmirA}));

    pass(1000);
    plugScsi("KOSMIR", kKosmirB);
    EXPECT_TRUE(m_listener.take().isEmpty()) << "1000 ms after the unplug the node change is dropped";
    EXPECT_EQ(m_manager->currentClient(), nullptr);

    pass(1);
    plugScsi("GENERIC", QStringLiteral("0000000000000000"));
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:" + kKosmirB})) << "1001 ms after it is acted on";
}

TEST_F(OrvoDeviceScenarioTest, DriveDeviceWithItsSecondVolumeIsPairedAndFollowedThroughVolumeEvents)
{
    ASSERT_TRUE(m_manager->start());
    const QByteArray written = deviceIni(QStringLiteral("Kavel50"), kKavel50Id);
    const QString card = volume(QStringLiteral("card"));
    const QString own = volume(QStringLiteral("own"), written);

    m_platform->plugDrive(card, QStringLiteral("VORNA   VORNA MS"));
    EXPECT_TRUE(m_listener.take().isEmpty()) << "the second volume alone is no device";
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel50"));
    ASSERT_EQ(m_listener.take(), QStringList({"connected Kavel50:" + kKavel50Id}));
    auto *service = dynamic_cast<OrvoFSDeviceService *>(client()->deviceService());
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->drivePath(), own);
    EXPECT_EQ(service->secondDrive(), card);

    QByteArray marked = written;
    marked.replace("SN=0042\r\n", "SN=0042\r\nORVO=1\r\n");
    EXPECT_EQ(OrvoTest::readFile(own + QStringLiteral("/device.ini")), marked)
        << "the marker is added to the id's group; nothing else changes";

    // Node changes are no concern of a drive client that is not updating.
    pass(5000);
    plugScsi("KOSMIR", kKosmirA);
    EXPECT_TRUE(m_listener.take().isEmpty());

    m_platform->unplugDrive(card);
    EXPECT_TRUE(m_listener.take().isEmpty()) << "the device itself is still there";
    EXPECT_EQ(OrvoTest::readFile(own + QStringLiteral("/device.ini")), marked) << "found again, marked once";

    m_platform->unplugDrive(own);
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel50:" + kKavel50Id}));
    EXPECT_EQ(m_manager->currentClient(), nullptr);
}

TEST_F(OrvoDeviceScenarioTest, UpdatingClientSurvivesItsRestartAndGoesOnWhenTheSameDeviceReturns)
{
    ASSERT_TRUE(m_manager->start());
    const QString own = volume(QStringLiteral("gal"), deviceIni(QStringLiteral("Kavel21"), kGalId));
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel21"));
    ASSERT_EQ(m_listener.take(), QStringList({"connected Kavel21:" + kGalId}));

    // The update restarts the device into its boot loader and goes on once it is back.
    QPointer<DeviceClient> updating = client();
    updating->behaviour = [raw = updating.data()] {
        if (!raw->setStateWithMatch(OrvoClient::STATE_TOTAL_UPDATE, OrvoClient::STATE_OUT_OF_SERVICE))
            raw->setStateWithMatch(OrvoClient::STATE_OUT_OF_SERVICE, OrvoClient::STATE_TOTAL_UPDATE);
    };
    QSignalSpy done(updating.data(), &OrvoClient::updateTotalDone);
    ASSERT_TRUE(updating->updateTotal(QStringLiteral("fw.bin"), QString()));
    ASSERT_TRUE(waitIdle(*updating));
    EXPECT_EQ(updating->getState(), OrvoClient::STATE_TOTAL_UPDATE);

    pass(3000);
    m_platform->unplugDrive(own);
    auto bootLoader = plugScsi("KAVELIAP", kGalId);
    ASSERT_EQ(m_manager->currentClient(), updating.data()) << "the restart does not unplug the client";
    ASSERT_TRUE(waitIdle(*updating));
    EXPECT_EQ(updating->calls(), QStringList({"_updateTotal fw.bin ", "_updateTotal  "}));
    EXPECT_EQ(updating->deviceServiceType(), OrvoDeviceService::ScsiPassThroughService);
    EXPECT_EQ(done.count(), 1) << "the update is done once, after the device came back";
    EXPECT_EQ(m_listener.take(), QStringList({"done Kavel21:" + kGalId + " 0"}));
    EXPECT_EQ(updating->getState(), OrvoClient::STATE_IN_SERVICE);
}

TEST_F(OrvoDeviceScenarioTest, UpdatingClientGivesWayWhenAnotherDeviceReturns)
{
    ASSERT_TRUE(m_manager->start());
    const QString own = volume(QStringLiteral("gal"), deviceIni(QStringLiteral("Kavel21"), kGalId));
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel21"));
    m_listener.take();
    QPointer<DeviceClient> updating = client();
    ASSERT_TRUE(updating->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, OrvoClient::STATE_TOTAL_UPDATE));

    pass(3000);
    m_platform->unplugDrive(own);
    plugScsi("KAVELIAP", kOtherGalId);
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel21Boot:" + kOtherGalId}));
    EXPECT_NE(m_manager->currentClient(), updating.data());
    EXPECT_FALSE(updating.isNull()) << "retired, alive until the next retirement";
    EXPECT_TRUE(updating->calls().isEmpty());
}

TEST_F(OrvoDeviceScenarioTest, RestartingModelIsRefusedFiveSecondsAfterAnUnplugAndTakenAtSix)
{
    ASSERT_TRUE(m_manager->start());
    const QString own = volume(QStringLiteral("gal"), deviceIni(QStringLiteral("Kavel21"), kGalId));
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel21"));
    m_platform->unplugDrive(own);
    ASSERT_EQ(m_listener.take(), QStringList({"connected Kavel21:" + kGalId, "disconnected Kavel21:" + kGalId}));

    pass(5000);
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel21"));
    EXPECT_TRUE(m_listener.take().isEmpty()) << "5 s after the unplug";
    EXPECT_EQ(m_manager->currentClient(), nullptr);
    m_platform->unplugDrive(own);

    pass(1000);
    m_platform->plugDrive(own, QStringLiteral("TARVEX  Kavel21"));
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel21:" + kGalId})) << "6 s after the unplug";
}
