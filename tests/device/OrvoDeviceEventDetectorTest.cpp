#include "DeviceTestDevices.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceDetectorHost.h"
#include "device/OrvoDeviceDetectorListener.h"
#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceEventDetector.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <gtest/gtest.h>

using namespace DeviceTest;

namespace {

const OrvoDeviceInfo kKavel40{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}};
const QString kFirstId = QStringLiteral("1105000000000001");
const QString kSecondId = QStringLiteral("1105000000000002");
const void *const kClient = &kKavel40;

// A file-system service as the manager lists them; counts the ones alive.
class CountedService : public OrvoDeviceService
{
public:
    CountedService(const QString &id, int &alive)
        : m_id(id)
        , m_alive(alive)
    {
        ++m_alive;
    }
    ~CountedService() override { --m_alive; }

    bool readDeviceId(QString &id) override
    {
        id = m_id;
        return !id.isEmpty();
    }
    OrvoDeviceInfo *deviceInfo() override { return &m_info; }
    int serviceType() const override { return FileSystemService; }

private:
    QString m_id;
    int &m_alive;
    OrvoDeviceInfo m_info = kKavel40;
};

class FakeHost : public OrvoDeviceDetectorHost
{
public:
    AttachedClient attachedClient() override { return attached; }
    QString attachedClientUuid() override { return uuid; }
    QVector<OrvoDeviceInfo> deviceTypes() const override { return types; }
    OrvoPlatformInterface::DeviceServices listDeviceServices() override
    {
        ++listCalls;
        OrvoPlatformInterface::DeviceServices services;
        for (const QString &id : std::as_const(volumeIds))
            services.push_back(std::make_unique<CountedService>(id, aliveServices));
        return services;
    }

    AttachedClient attached;
    QString uuid;
    QVector<OrvoDeviceInfo> types{kKavel40};
    QStringList volumeIds;
    int listCalls = 0;
    int aliveServices = 0;
};

class ManualSource : public OrvoDeviceEventSource
{
public:
    bool start() override { return true; }
    void send(quint32 deviceEvent) { emit deviceChange(deviceEvent); }
};

class RecordingListener : public OrvoDeviceDetectorListener
{
public:
    void onDevicePlugin(std::unique_ptr<OrvoDeviceService> &service) override
    {
        QString id;
        if (service)
            service->readDeviceId(id);
        calls.append(service ? QStringLiteral("plug ") + id : QStringLiteral("plug nothing"));
        if (keep)
            kept.push_back(std::move(service));
    }
    void onDeviceUnplug() override { calls.append(QStringLiteral("unplug")); }
    void onDeviceChanged() override { calls.append(QStringLiteral("changed")); }

    QStringList calls;
    bool keep = false;
    OrvoPlatformInterface::DeviceServices kept;
};

class OrvoDeviceEventDetectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        auto source = std::make_unique<ManualSource>();
        m_source = source.get();
        m_detector = std::make_unique<OrvoDeviceEventDetector>(m_host, std::move(source), [this] { return m_now; });
        m_detector->addListener(&m_listener);
        ASSERT_TRUE(m_detector->start());
    }

    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    void attachScsi(const QString &id)
    {
        auto device = makeDevice(identity("KOSMIR", id.toLatin1()));
        m_platform->plugScsiDevice(device);
        m_devices.append(device);
    }

    void attachClient(int serviceType, int state, const QString &uuid = QString())
    {
        m_host.attached = {kClient, state, serviceType};
        m_host.uuid = uuid;
    }

    void send(OrvoDeviceEvent event) { m_source->send(static_cast<quint32>(event)); }

    int openHandles() const
    {
        int open = 0;
        for (const auto &device : m_devices)
            open += device->openHandleCount();
        return open;
    }

    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    QVector<std::shared_ptr<OrvoEmulatedFlashDevice>> m_devices;
    FakeHost m_host;
    ManualSource *m_source = nullptr;
    RecordingListener m_listener;
    std::unique_ptr<OrvoDeviceEventDetector> m_detector;
    quint32 m_now = 100000;
};

enum class Client { None, FileSystem, Scsi, WithoutService };

struct NodeCase
{
    const char *name;
    Client client;
    int state;
    QString uuid;
    QStringList scsiIds;
    QStringList expected;
    bool ignored;
};

void PrintTo(const NodeCase &c, std::ostream *os)
{
    *os << c.name;
}

const NodeCase kNodeCases[] = {
    {"NoClientPlugsOnlyTheFirstOfTwoDevices", Client::None, -1, {}, {kFirstId, kSecondId}, {"plug " + kFirstId}, false},
    {"NoClientNoDevice", Client::None, -1, {}, {}, {}, false},
    {"FileSystemClientIdleIgnores", Client::FileSystem, 0, {}, {kFirstId}, {}, true},
    {"FileSystemClientInAnActionIgnores", Client::FileSystem, 2, {}, {kFirstId}, {}, true},
    {"FileSystemClientRestartingForFormatIgnores", Client::FileSystem, 4, {}, {kFirstId}, {}, true},
    {"FileSystemClientUpdatingIsOfferedTheDevice", Client::FileSystem, 1, {}, {kFirstId}, {"plug " + kFirstId}, false},
    {"FileSystemClientRestoringFindsNothing", Client::FileSystem, 3, {}, {}, {}, false},
    {"ScsiClientItsDeviceStillThere", Client::Scsi, 0, kFirstId, {kFirstId}, {}, false},
    {"ScsiClientAnotherDeviceIsUnpluggedNotPlugged", Client::Scsi, 2, kSecondId, {kFirstId}, {"unplug"}, false},
    {"ScsiClientDeviceGone", Client::Scsi, 0, kFirstId, {}, {"unplug"}, false},
    {"ScsiClientUpdatingDeviceGone", Client::Scsi, 1, kFirstId, {}, {"unplug"}, false},
    {"ClientWithoutServiceCountsAsNotFileSystem", Client::WithoutService, 0, {}, {kFirstId}, {"unplug"}, false},
};

class OrvoNodeChangeTest : public OrvoDeviceEventDetectorTest, public ::testing::WithParamInterface<NodeCase>
{};

} // namespace

TEST_P(OrvoNodeChangeTest, DecidesByTheAttachedClientAndTheDevicesFound)
{
    const NodeCase &c = GetParam();
    for (const QString &id : c.scsiIds)
        attachScsi(id);
    switch (c.client) {
    case Client::None:
        break;
    case Client::FileSystem:
        attachClient(OrvoDeviceService::FileSystemService, c.state);
        break;
    case Client::Scsi:
        attachClient(OrvoDeviceService::ScsiPassThroughService, c.state, c.uuid);
        break;
    case Client::WithoutService:
        attachClient(-1, c.state);
        break;
    }
    OrvoMessageCapture capture;
    send(OrvoDeviceEvent::NodesChanged);

    EXPECT_EQ(m_listener.calls, c.expected);
    EXPECT_EQ(capture.contains(QtDebugMsg, QStringLiteral("ignore event: device=")), c.ignored);
    EXPECT_EQ(capture.contains(QtDebugMsg, QStringLiteral("tickcount=")), !c.ignored);
    EXPECT_EQ(openHandles(), 0) << "services that no listener kept are freed";
    EXPECT_EQ(m_host.listCalls, 0) << "node changes look for SCSI devices only";
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoNodeChangeTest, ::testing::ValuesIn(kNodeCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoDeviceEventDetectorTest, NodeChangesWithinTheDebounceAfterAPlugOrUnplugAreDropped)
{
    attachScsi(kFirstId);
    send(OrvoDeviceEvent::NodesChanged);
    ASSERT_EQ(m_listener.calls, QStringList({"plug " + kFirstId}));

    // The device is attached now; the manager's client serves it over SCSI under another id.
    attachClient(OrvoDeviceService::ScsiPassThroughService, 0, kSecondId);
    OrvoMessageCapture capture;
    m_now += OrvoDeviceEventDetector::kDebounceMs;
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_EQ(m_listener.calls.size(), 1) << "1000 ms after the plug is still within the debounce";
    EXPECT_TRUE(capture.contains(QtDebugMsg, QStringLiteral("tickcount=")));
    EXPECT_EQ(openHandles(), 0) << "a dropped event does not even search";

    m_now += 1;
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_EQ(m_listener.calls, QStringList({"plug " + kFirstId, "unplug"}));
}

TEST_F(OrvoDeviceEventDetectorTest, DebounceCountsFromTheLastEventPassedOnAcrossTheTickWrap)
{
    // A node change that passes nothing on does not restart the debounce.
    m_now = 0xFFFFFF00u;
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_TRUE(m_listener.calls.isEmpty());
    attachScsi(kFirstId);
    m_now += 10;
    send(OrvoDeviceEvent::NodesChanged);
    ASSERT_EQ(m_listener.calls.size(), 1);

    m_host.attached = {};
    m_now = 0x000002F2u; // 1000 ms after the plug, past the wrap
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_EQ(m_listener.calls.size(), 1);
    m_now = 0x000002F3u;
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_EQ(m_listener.calls.size(), 2);
}

TEST_F(OrvoDeviceEventDetectorTest, ArrivalPlugsTheFirstVolumeOnlyWithoutAClient)
{
    m_host.volumeIds = {kFirstId, kSecondId};
    m_listener.keep = true;
    send(OrvoDeviceEvent::Arrival);
    EXPECT_EQ(m_listener.calls, QStringList({"plug " + kFirstId}));
    EXPECT_EQ(m_host.aliveServices, 1) << "the second service is freed, the first is the listener's";

    // Arrivals are not debounced, but with a client attached they do nothing at all.
    attachClient(OrvoDeviceService::FileSystemService, 0, kFirstId);
    send(OrvoDeviceEvent::Arrival);
    EXPECT_EQ(m_listener.calls.size(), 1);
    EXPECT_EQ(m_host.listCalls, 1);
}

namespace {

struct RemovalCase
{
    const char *name;
    int serviceType;
    int state;
    QStringList volumeIds;
    bool unplugged;
};

void PrintTo(const RemovalCase &c, std::ostream *os)
{
    *os << c.name;
}

const RemovalCase kRemovalCases[] = {
    {"FileSystemDeviceGone", OrvoDeviceService::FileSystemService, 0, {}, true},
    {"AnotherDeviceIsFirstNow", OrvoDeviceService::FileSystemService, 2, {kSecondId, kFirstId}, true},
    {"UnrelatedVolumeGoneDeviceStays", OrvoDeviceService::FileSystemService, 0, {kFirstId}, false},
    {"UpdatingClientSurvives", OrvoDeviceService::FileSystemService, 1, {}, false},
    {"RestoringClientSurvives", OrvoDeviceService::FileSystemService, 3, {}, false},
    {"ScsiClientIgnoresVolumes", OrvoDeviceService::ScsiPassThroughService, 0, {}, false},
    {"ScsiClientInAnActionIgnoresVolumes", OrvoDeviceService::ScsiPassThroughService, 2, {}, false},
};

class OrvoRemovalTest : public OrvoDeviceEventDetectorTest, public ::testing::WithParamInterface<RemovalCase>
{};

} // namespace

TEST_P(OrvoRemovalTest, UnplugsOnlyAFileSystemClientWhoseDeviceIsGone)
{
    const RemovalCase &c = GetParam();
    attachClient(c.serviceType, c.state, kFirstId);
    m_host.volumeIds = c.volumeIds;
    OrvoMessageCapture capture;
    send(OrvoDeviceEvent::RemoveComplete);
    EXPECT_EQ(m_listener.calls, c.unplugged ? QStringList({"unplug"}) : QStringList());
    EXPECT_TRUE(capture.contains(QtDebugMsg, QStringLiteral("DBT_DEVICEREMOVECOMPLETE")));
    EXPECT_EQ(m_host.aliveServices, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoRemovalTest, ::testing::ValuesIn(kRemovalCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoDeviceEventDetectorTest, RemovalWithoutClientAndUnknownCodesDoNothing)
{
    m_host.volumeIds = {kFirstId};
    attachScsi(kFirstId);
    OrvoMessageCapture capture;
    send(OrvoDeviceEvent::RemoveComplete);
    m_source->send(0x8001);
    m_source->send(0x0018);
    EXPECT_TRUE(m_listener.calls.isEmpty());
    EXPECT_EQ(m_host.listCalls, 0);
    EXPECT_EQ(capture.count(QtDebugMsg, QStringLiteral("DBT_")), 1);
}

TEST_F(OrvoDeviceEventDetectorTest, FirstListenerTakesTheServiceTheNextOneSeesItTaken)
{
    RecordingListener second;
    m_detector->addListener(&second);
    m_detector->addListener(&m_listener);
    m_listener.keep = true;
    attachScsi(kFirstId);
    send(OrvoDeviceEvent::NodesChanged);
    EXPECT_EQ(m_listener.calls, QStringList({"plug " + kFirstId}));
    EXPECT_EQ(second.calls, QStringList({"plug nothing"}));
    EXPECT_EQ(openHandles(), 1) << "the kept service holds its device open";

    EXPECT_TRUE(m_detector->removeListener(&second));
    EXPECT_FALSE(m_detector->removeListener(&second));
    m_listener.kept.clear();
    EXPECT_EQ(openHandles(), 0);
}

TEST(OrvoEmulatedDetector, PlatformSignalsReachTheDetectorItCreates)
{
    auto platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoPlatform::setImplementationFactory([platform] { return platform; });
    FakeHost host;
    RecordingListener listener;
    quint32 now = 50000;
    std::unique_ptr<OrvoDeviceDetector> detector = OrvoPlatform().createDeviceDetector(host, [&now] { return now; });
    ASSERT_NE(detector, nullptr);
    detector->addListener(&listener);
    detector->setVendorList({QStringLiteral("Tarvex")});

    auto early = makeDevice(identity("KOSMIR", kFirstId.toLatin1()));
    platform->plugScsiDevice(early);
    platform->unplugScsiDevice(early);
    EXPECT_TRUE(listener.calls.isEmpty()) << "nothing arrives before start";

    ASSERT_TRUE(detector->start());
    ASSERT_TRUE(detector->start()) << "a second start changes nothing";
    platform->plugScsiDevice(makeDevice(identity("KOSMIR", kSecondId.toLatin1())));
    EXPECT_EQ(listener.calls, QStringList({"plug " + kSecondId})) << "one notice, one call";
    OrvoPlatform::setImplementationFactory({});
}
