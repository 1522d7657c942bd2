#include "DeviceTestDevices.h"
#include "ManagerTestDoubles.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QPointer>

#include <gtest/gtest.h>

using namespace ManagerTest;

namespace {

const QString kM1 = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kM2 = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kKosmirA = QStringLiteral("1105AAAAAAAAAAAA");
const QString kKosmirB = QStringLiteral("1105BBBBBBBBBBBB");
const QString kTrevanis = QStringLiteral("1102CCCCCCCCCCCC");
const QString kKavel50Id = QStringLiteral("0901DDDDDDDDDDDD");

class OrvoDeviceManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        m_manager = std::make_unique<OrvoDeviceManager>([this] { return m_seconds; }, [this] { return m_tick; });
        for (const OrvoDeviceInfo &info :
             {row("1105", "Kavel40", QStringLiteral("KOSMIR")), row("1102", "Kavel20", QStringLiteral("TREVANIS")),
              row("1207", "Kavel21", kM1), row("1206", "Kavel20plus", kM2), row("0901", "Kavel50", kM2),
              row("9999", "Refused", QStringLiteral("REFUSED"))})
            m_manager->registerDevice(info, false);
        m_manager->addListener(&m_listener);
    }

    void TearDown() override
    {
        m_manager.reset();
        OrvoPlatform::setImplementationFactory({});
        EXPECT_EQ(DeviceClient::s_alive, 0) << "the manager deletes every client it made";
    }

    std::shared_ptr<OrvoEmulatedFlashDevice> attachScsi(const char *product, const QString &id)
    {
        auto device = DeviceTest::makeDevice(DeviceTest::identity(product, id.toLatin1()));
        m_platform->plugScsiDevice(device);
        m_devices.append(device);
        return device;
    }

    // A folder with a device.ini holding the id, plugged as a removable drive.
    QString attachDrive(const QString &name, const QString &id)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        OrvoTest::writeFile(folder + QStringLiteral("/device.ini"), "[UUID]\r\nUUID=" + id.toLatin1() + "\r\n");
        m_platform->plugDrive(folder, QStringLiteral("TARVEX  Kavel50"));
        return folder;
    }

    // A file-system service for the registered row of the model, as detection would hand it.
    std::unique_ptr<OrvoDeviceService> driveService(const QString &model, const QString &id)
    {
        const QString folder = m_dir.filePath(model + id);
        QDir().mkpath(folder);
        const QString ini = folder + QStringLiteral("/device.ini");
        OrvoTest::writeFile(ini, "[UUID]\nUUID=" + id.toLatin1() + "\n");
        const QVector<OrvoDeviceInfo> types = m_manager->deviceTypes();
        for (const OrvoDeviceInfo &info : types) {
            if (info.modelName == model)
                return std::make_unique<OrvoFSDeviceService>(folder, info, ini);
        }
        return nullptr;
    }

    // The SCSI service of the emulated device that the platform finds first.
    std::unique_ptr<OrvoDeviceService> scsiService()
    {
        OrvoPlatformInterface::DeviceServices found = OrvoPlatform().findSCSIDevices(m_manager->deviceTypes());
        return found.empty() ? nullptr : std::move(found.front());
    }

    void plug(std::unique_ptr<OrvoDeviceService> service) { m_manager->onDevicePlugin(service); }

    DeviceClient *client() const { return dynamic_cast<DeviceClient *>(m_manager->currentClient()); }

    int openHandles() const
    {
        int open = 0;
        for (const auto &device : m_devices)
            open += device->openHandleCount();
        return open;
    }

    OrvoTest::OutputDir m_dir;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    QVector<std::shared_ptr<OrvoEmulatedFlashDevice>> m_devices;
    quint32 m_seconds = 1700000000;
    quint32 m_tick = 500000;
    RecordingListener m_listener;
    std::unique_ptr<OrvoDeviceManager> m_manager;
};

} // namespace

TEST_F(OrvoDeviceManagerTest, StartConnectsTheFirstScsiDeviceBeforeAnyDrive)
{
    attachDrive(QStringLiteral("drive"), kKavel50Id);
    attachScsi("KOSMIR", kKosmirA);
    attachScsi("TREVANIS", kTrevanis);
    OrvoMessageCapture capture;
    EXPECT_TRUE(m_manager->start());
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:" + kKosmirA}));
    EXPECT_TRUE(capture.contains(QtDebugMsg, QStringLiteral("start():send onDeviceConnected")));
    EXPECT_EQ(openHandles(), 1) << "only the client's own service stays open";
}

TEST_F(OrvoDeviceManagerTest, StartFallsBackToDrivesAndThenFollowsEvents)
{
    const QString folder = attachDrive(QStringLiteral("drive"), kKavel50Id);
    EXPECT_TRUE(m_manager->start());
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel50:" + kKavel50Id}));
    QString drive;
    ASSERT_TRUE(m_manager->currentClient()->getDrive(drive));
    EXPECT_EQ(drive, folder);

    m_platform->unplugDrive(folder);
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel50:" + kKavel50Id}));
    m_tick += 1001;
    attachScsi("KOSMIR", kKosmirA);
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:" + kKosmirA}));
}

TEST_F(OrvoDeviceManagerTest, StartWithNothingAttachedStillStartsDetection)
{
    EXPECT_TRUE(m_manager->start());
    EXPECT_EQ(m_manager->currentClient(), nullptr);
    EXPECT_TRUE(m_listener.take().isEmpty());
    attachDrive(QStringLiteral("drive"), kKavel50Id);
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel50:" + kKavel50Id}));
}

TEST_F(OrvoDeviceManagerTest, RefusedOrUnservedDeviceLeavesNoClient)
{
    m_manager->registerDevice({QStringLiteral("7777"), QStringLiteral("Unbuilt"), QStringLiteral("UNBUILT"), {}}, true);
    attachScsi("UNBUILT", QStringLiteral("7777000000000001"));
    attachScsi("REFUSED", QStringLiteral("9999000000000001"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        plug(scsiService());
        EXPECT_EQ(m_manager->currentClient(), nullptr);
        EXPECT_TRUE(m_listener.take().isEmpty());
        EXPECT_EQ(openHandles(), 0);
        EXPECT_EQ(DeviceClient::s_alive, 0);
        m_platform->unplugScsiDevice(m_devices.takeFirst());
    }
}

TEST_F(OrvoDeviceManagerTest, PlugWhileAClientIsAttachedIsDropped)
{
    plug(driveService(QStringLiteral("Kavel50"), kKavel50Id));
    ASSERT_NE(client(), nullptr);
    m_listener.take();
    attachScsi("KOSMIR", kKosmirA);
    for (int state : {int(OrvoClient::STATE_IN_SERVICE), int(OrvoClient::STATE_OUT_OF_SERVICE), 4}) {
        SCOPED_TRACE(state);
        ASSERT_TRUE(client()->setStateWithMatch(client()->getState(), state));
        plug(scsiService());
        EXPECT_EQ(describe(client()), "Kavel50:" + kKavel50Id);
        EXPECT_EQ(openHandles(), 0);
    }
    EXPECT_TRUE(m_listener.take().isEmpty());
}

namespace {

struct ReplugCase
{
    const char *name;
    const char *model;
    quint32 secondsAfterUnplug;
    bool connected;
};

void PrintTo(const ReplugCase &c, std::ostream *os)
{
    *os << c.name;
}

const ReplugCase kReplugCases[] = {
    {"Kavel21AtOnce", "Kavel21", 0, false},       {"Kavel21AtFive", "Kavel21", 5, false},
    {"Kavel21AtSix", "Kavel21", 6, true},         {"Kavel20plusAtFive", "Kavel20plus", 5, false},
    {"Kavel20plusAtSix", "Kavel20plus", 6, true}, {"OtherModelAtOnce", "Kavel40", 0, true},
};

class OrvoReplugGuardTest : public OrvoDeviceManagerTest, public ::testing::WithParamInterface<ReplugCase>
{};

} // namespace

TEST_P(OrvoReplugGuardTest, RestartingModelsAreNotConnectedWithinFiveSecondsOfAnUnplug)
{
    const ReplugCase &c = GetParam();
    const QString model = QString::fromLatin1(c.model);
    plug(driveService(QStringLiteral("Kavel50"), kKavel50Id));
    m_manager->onDeviceUnplug();
    m_listener.take();

    m_seconds += c.secondsAfterUnplug;
    OrvoMessageCapture capture;
    plug(driveService(model, QStringLiteral("1207000000000001")));
    EXPECT_EQ(m_manager->currentClient() != nullptr, c.connected);
    EXPECT_EQ(m_listener.take(),
              c.connected ? QStringList({"connected " + model + ":1207000000000001"}) : QStringList());
    EXPECT_EQ(capture.contains(QtDebugMsg, QStringLiteral("plugin device in 5 seconds , do not connect the device")),
              !c.connected);
    EXPECT_EQ(DeviceClient::s_alive, c.connected ? 2 : 1) << "a refused client is deleted; the retired one lives";
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoReplugGuardTest, ::testing::ValuesIn(kReplugCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoDeviceManagerTest, ReplugGuardNeedsAnUnplugFirst)
{
    m_seconds = 3;
    plug(driveService(QStringLiteral("Kavel21"), QStringLiteral("1207000000000001")));
    EXPECT_NE(m_manager->currentClient(), nullptr);
}

// Without clocks of its own the guard reads the installed device waits: under emulated devices
// a virtual clock, on which a swap lets the seconds pass without real time passing.
TEST_F(OrvoDeviceManagerTest, ReplugGuardReadsTheInstalledWaitsWithoutClocksOfItsOwn)
{
    OrvoVirtualDeviceWaits waits(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC));
    OrvoDeviceWaits::install(&waits);
    m_manager = std::make_unique<OrvoDeviceManager>();
    m_manager->registerDevice(row("0901", "Kavel50", kM2), false);
    m_manager->registerDevice(row("1207", "Kavel21", kM1), false);
    plug(driveService(QStringLiteral("Kavel50"), kKavel50Id));
    m_manager->onDeviceUnplug();

    waits.sleep(5000);
    plug(driveService(QStringLiteral("Kavel21"), QStringLiteral("1207000000000001")));
    EXPECT_EQ(m_manager->currentClient(), nullptr);
    waits.sleep(1000);
    plug(driveService(QStringLiteral("Kavel21"), QStringLiteral("1207000000000001")));
    EXPECT_NE(m_manager->currentClient(), nullptr) << "six seconds passed on the installed clock";
    m_manager.reset();
    OrvoDeviceWaits::install(nullptr);
}

namespace {

struct ResumeCase
{
    const char *name;
    int state;
    QString returningId;
    // The worker call the returning device starts; empty when the client gives way.
    QString resumedCall;
};

void PrintTo(const ResumeCase &c, std::ostream *os)
{
    *os << c.name;
}

const ResumeCase kResumeCases[] = {
    {"UpdateGoesOn", OrvoClient::STATE_TOTAL_UPDATE, kKosmirA, QStringLiteral("_updateTotal  ")},
    {"RestoreGoesOn", OrvoClient::STATE_FACTORY_RESTORE, kKosmirA, QStringLiteral("_restoreFactory ")},
    {"OtherDeviceTakesOver", OrvoClient::STATE_TOTAL_UPDATE, kKosmirB, QString()},
};

class OrvoResumeTest : public OrvoDeviceManagerTest, public ::testing::WithParamInterface<ResumeCase>
{};

} // namespace

TEST_P(OrvoResumeTest, WaitingClientSurvivesTheUnplugAndTakesItsDeviceBack)
{
    const ResumeCase &c = GetParam();
    auto device = attachScsi("KOSMIR", kKosmirA);
    plug(scsiService());
    QPointer<OrvoClient> waiting = client();
    ASSERT_FALSE(waiting.isNull());
    m_listener.take();
    ASSERT_TRUE(waiting->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, c.state));
    // The device class carries on from where the restart left it.
    client()->behaviour = [raw = waiting.data()] { raw->setStateWithMatch(raw->getState(), 2); };

    m_platform->unplugScsiDevice(device);
    m_manager->onDeviceUnplug();
    EXPECT_EQ(m_manager->currentClient(), waiting.data()) << "the unplug is ignored while the client waits";
    EXPECT_TRUE(m_listener.take().isEmpty());

    attachScsi("KOSMIR", c.returningId);
    std::unique_ptr<OrvoDeviceService> returning = scsiService();
    OrvoDeviceService *returningService = returning.get();
    plug(std::move(returning));
    if (c.resumedCall.isEmpty()) {
        EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:" + c.returningId}))
            << "the waiting client gives way without a disconnect notice";
        EXPECT_FALSE(waiting.isNull()) << "it is retired, not deleted";
        EXPECT_NE(m_manager->currentClient(), waiting.data());
        return;
    }
    ASSERT_EQ(m_manager->currentClient(), waiting.data());
    EXPECT_EQ(waiting->deviceService(), returningService);
    ASSERT_TRUE(waitIdle(*waiting));
    EXPECT_EQ(client()->calls(), QStringList({c.resumedCall}));
    EXPECT_EQ(waiting->getState(), OrvoClient::STATE_IN_SERVICE);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoResumeTest, ::testing::ValuesIn(kResumeCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoDeviceManagerTest, WaitingClientRefusesADriveAndAClientWithoutId)
{
    plug(driveService(QStringLiteral("Kavel50"), QString()));
    QPointer<OrvoClient> waiting = client();
    ASSERT_TRUE(waiting->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, OrvoClient::STATE_TOTAL_UPDATE));
    m_listener.take();

    OrvoMessageCapture capture;
    plug(driveService(QStringLiteral("Kavel40"), kKosmirA));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("find device service DEVICE_FS for software update")));
    EXPECT_EQ(m_manager->currentClient(), waiting.data());
    EXPECT_EQ(DeviceClient::s_alive, 1);

    // An empty id identifies nothing, not even a device whose id is empty too.
    attachScsi("KOSMIR", QString());
    plug(scsiService());
    EXPECT_NE(m_manager->currentClient(), waiting.data());
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel40:"}));
}

TEST_F(OrvoDeviceManagerTest, ReleaseEjectsOnlyDrivesAndDisconnectsOnce)
{
    EXPECT_FALSE(m_manager->releaseCurrentDevice());
    EXPECT_FALSE(m_manager->ejectCurrentDevice());

    const QString folder = attachDrive(QStringLiteral("drive"), kKavel50Id);
    attachScsi("KOSMIR", kKosmirA);
    ASSERT_TRUE(m_manager->start());
    m_listener.take();
    EXPECT_TRUE(m_manager->releaseCurrentDevice());
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel40:" + kKosmirA}));
    EXPECT_EQ(m_manager->currentClient(), nullptr);
    EXPECT_EQ(m_platform->getRemovableDrives(QString()), QStringList({folder})) << "a SCSI device is not ejected";

    m_platform->unplugScsiDevice(m_devices.takeFirst());
    m_platform->unplugDrive(folder);
    attachDrive(QStringLiteral("drive"), kKavel50Id);
    ASSERT_EQ(m_listener.take(), QStringList({"connected Kavel50:" + kKavel50Id}));
    EXPECT_TRUE(m_manager->releaseCurrentDevice());
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel50:" + kKavel50Id}))
        << "the removal that the eject causes does not disconnect a second time";
    EXPECT_TRUE(m_platform->getRemovableDrives(QString()).isEmpty());
    EXPECT_EQ(m_manager->currentClient(), nullptr);
}

TEST_F(OrvoDeviceManagerTest, RetiredClientLivesUntilTheNextRetirement)
{
    plug(driveService(QStringLiteral("Kavel50"), kKavel50Id));
    QPointer<OrvoClient> first = client();
    m_manager->onDeviceUnplug();
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(m_manager->currentClient(), nullptr);

    plug(driveService(QStringLiteral("Kavel40"), kKosmirA));
    QPointer<OrvoClient> second = client();
    EXPECT_FALSE(first.isNull());
    m_manager->onDeviceUnplug();
    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(second.isNull());
    m_manager->onDeviceUnplug();
    EXPECT_FALSE(second.isNull()) << "an unplug without a client retires nothing";
    EXPECT_EQ(m_listener.take(), QStringList({"connected Kavel50:" + kKavel50Id, "disconnected Kavel50:" + kKavel50Id,
                                              "connected Kavel40:" + kKosmirA, "disconnected Kavel40:" + kKosmirA}));
}

TEST_F(OrvoDeviceManagerTest, FinishedActionsOfTheCurrentClientReachTheListeners)
{
    plug(driveService(QStringLiteral("Kavel50"), kKavel50Id));
    DeviceClient *first = client();
    m_listener.take();
    ASSERT_TRUE(first->readData());
    ASSERT_TRUE(waitIdle(*first));
    EXPECT_EQ(m_listener.take(), QStringList({"done Kavel50:" + kKavel50Id + " 7"}));

    // A client retired while its action runs finishes unheard.
    first->gate.close();
    ASSERT_TRUE(first->finalize());
    ASSERT_TRUE(first->gate.waitEntered());
    m_manager->onDeviceUnplug();
    first->gate.open();
    ASSERT_TRUE(waitIdle(*first));
    EXPECT_EQ(m_listener.take(), QStringList({"disconnected Kavel50:" + kKavel50Id}));

    m_manager->notifyActionDone(OrvoClient::Action_DeleteMap);
    m_manager->onDeviceChanged();
    EXPECT_EQ(m_listener.take(), QStringList({"done none 5", "changed none"}));
}
