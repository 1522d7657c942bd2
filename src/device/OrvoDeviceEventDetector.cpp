#include "device/OrvoDeviceEventDetector.h"

#include "device/OrvoDeviceDetectorHost.h"
#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoPlatform.h"
#include "env/OrvoFunctionTrace.h"

namespace {

constexpr const char *kTraceName = "OrvoDeviceEventDetector::deviceChange";

bool isFileSystem(int serviceType)
{
    return serviceType == OrvoDeviceService::FileSystemService;
}

} // namespace

OrvoDeviceEventDetector::OrvoDeviceEventDetector(OrvoDeviceDetectorHost &host,
                                                 std::unique_ptr<OrvoDeviceEventSource> source,
                                                 OrvoDeviceClock::Tick tick)
    : m_host(host)
    , m_source(std::move(source))
    , m_tick(tick ? std::move(tick) : OrvoDeviceClock::Tick(&OrvoDeviceClock::systemTick))
{}

OrvoDeviceEventDetector::~OrvoDeviceEventDetector() = default;

bool OrvoDeviceEventDetector::start()
{
    if (!m_source)
        return false;
    connect(m_source.get(), &OrvoDeviceEventSource::deviceChange, this, &OrvoDeviceEventDetector::deviceChange,
            Qt::UniqueConnection);
    return m_source->start();
}

void OrvoDeviceEventDetector::setVendorList(const QStringList &)
{}

void OrvoDeviceEventDetector::addListener(OrvoDeviceDetectorListener *listener)
{
    m_listeners.addListener(listener);
}

bool OrvoDeviceEventDetector::removeListener(OrvoDeviceDetectorListener *listener)
{
    return m_listeners.removeListener(listener);
}

bool OrvoDeviceEventDetector::isSameDevice(OrvoDeviceService &service)
{
    QString id;
    service.readDeviceId(id);
    return m_host.attachedClientUuid() == id;
}

void OrvoDeviceEventDetector::deviceChange(quint32 deviceEvent)
{
    switch (static_cast<OrvoDeviceEvent>(deviceEvent)) {
    case OrvoDeviceEvent::NodesChanged:
        nodesChanged();
        break;
    case OrvoDeviceEvent::Arrival:
        arrival();
        break;
    case OrvoDeviceEvent::RemoveComplete:
        removeComplete();
        break;
    }
}

void OrvoDeviceEventDetector::nodesChanged()
{
    ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "ALL DBT_DEVNODES_CHANGED";
    const OrvoDeviceDetectorHost::AttachedClient attached = m_host.attachedClient();
    const bool waitsForRestart = OrvoDeviceDetectorHost::survivesRestart(attached.state);
    if (attached.client != nullptr && isFileSystem(attached.serviceType) && !waitsForRestart) {
        ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "ignore event: device=" << quintptr(attached.client);
        return;
    }
    const quint32 now = m_tick();
    ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "tickcount=" << now << "," << m_lastEventTick;
    // Unsigned difference: the tick's wrap-around is harmless.
    if (quint32(now - m_lastEventTick) > kDebounceMs)
        handleNodes(attached.client, attached.serviceType, attached.state);
    ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "DBT_DEVNODES_CHANGED";
}

void OrvoDeviceEventDetector::handleNodes(const void *client, int serviceType, int state)
{
    OrvoPlatformInterface::DeviceServices services = OrvoPlatform().findSCSIDevices(m_host.deviceTypes());
    ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "handle event : services=" << services.size();
    if (client == nullptr || (isFileSystem(serviceType) && OrvoDeviceDetectorHost::survivesRestart(state))) {
        if (!services.empty()) {
            ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "send onDevicePlugin event";
            plug(services.front());
        }
        return;
    }
    if (services.empty() || !isSameDevice(*services.front()))
        unplug();
}

void OrvoDeviceEventDetector::arrival()
{
    if (m_host.attachedClient().client != nullptr)
        return;
    OrvoPlatformInterface::DeviceServices services = m_host.listDeviceServices();
    if (!services.empty())
        plug(services.front());
}

void OrvoDeviceEventDetector::removeComplete()
{
    ORVO_TRACE_DEBUG(lcOrvoDevice, kTraceName) << "DBT_DEVICEREMOVECOMPLETE";
    const OrvoDeviceDetectorHost::AttachedClient attached = m_host.attachedClient();
    // A volume that goes away concerns only a client served through its file system: a client
    // that SCSI serves is followed by node changes, and unplugging it here would let the next
    // node change attach a second client to a device the first may still be writing.
    if (attached.client == nullptr || !isFileSystem(attached.serviceType) ||
        OrvoDeviceDetectorHost::survivesRestart(attached.state))
        return;
    OrvoPlatformInterface::DeviceServices services = m_host.listDeviceServices();
    if (services.empty() || !isSameDevice(*services.front()))
        unplug();
}

void OrvoDeviceEventDetector::plug(std::unique_ptr<OrvoDeviceService> &service)
{
    m_listeners.broadcast(&OrvoDeviceDetectorListener::onDevicePlugin, service);
    m_lastEventTick = m_tick();
}

void OrvoDeviceEventDetector::unplug()
{
    m_listeners.broadcast(&OrvoDeviceDetectorListener::onDeviceUnplug);
    m_lastEventTick = m_tick();
}
