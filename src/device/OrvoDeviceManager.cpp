#include "device/OrvoDeviceManager.h"

#include "device/OrvoClient.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoDeviceServiceOwner.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoPlatform.h"
#include "env/OrvoFunctionTrace.h"

namespace {

const QStringList kVendors = {QStringLiteral("Tarvex")};
// Models whose device shows up again while it is still restarting after an unplug.
const QStringList kReplugGuardedModels = {QStringLiteral("Kavel21"), QStringLiteral("Kavel20plus")};

// The re-plug guard is a device wait: under emulated devices it runs on their virtual clock.
quint32 waitsSeconds()
{
    return quint32(OrvoDeviceWaits::current().currentUtc().toSecsSinceEpoch());
}

} // namespace

OrvoDeviceManager::OrvoDeviceManager(OrvoDeviceClock::Seconds seconds, OrvoDeviceClock::Tick tick)
    : m_seconds(seconds ? std::move(seconds) : OrvoDeviceClock::Seconds(&waitsSeconds))
    , m_tick(std::move(tick))
{
    OrvoClient::setActionListener(this);
    OrvoClient::setDeviceRows(this);
}

OrvoDeviceManager::~OrvoDeviceManager()
{
    OrvoClient::setActionListener(nullptr);
    if (OrvoClient::deviceRows() == this)
        OrvoClient::setDeviceRows(nullptr);
    m_previousClient.reset();
    m_currentClient.reset();
    m_detector.reset();
}

void OrvoDeviceManager::registerDevice(const OrvoDeviceInfo &info, bool atFront)
{
    m_registry.registerDevice(info, atFront);
}

void OrvoDeviceManager::unregisterDevice(const QString &modelName)
{
    m_registry.unregisterDevice(modelName);
}

void OrvoDeviceManager::addDeviceRowAtFront(const OrvoDeviceInfo &row)
{
    m_registry.registerDevice(row, true);
}

void OrvoDeviceManager::removeDeviceRow(const QString &modelName)
{
    m_registry.unregisterDevice(modelName);
}

QVector<OrvoDeviceInfo> OrvoDeviceManager::deviceTypes() const
{
    return m_registry.deviceTypes();
}

OrvoDeviceRegistry &OrvoDeviceManager::registry()
{
    return m_registry;
}

void OrvoDeviceManager::addListener(OrvoDeviceManagerListener *listener)
{
    m_listeners.addListener(listener);
}

bool OrvoDeviceManager::removeListener(OrvoDeviceManagerListener *listener)
{
    return m_listeners.removeListener(listener);
}

OrvoClient *OrvoDeviceManager::currentClient() const
{
    return m_currentClient.get();
}

bool OrvoDeviceManager::start()
{
    OrvoPlatform platform;
    OrvoPlatformInterface::DeviceServices services = platform.findSCSIDevices(m_registry.deviceTypes());
    if (services.empty())
        services = listDeviceServices();
    // Only the first device found is served; the other services are freed with the list.
    if (!services.empty()) {
        retireCurrentClient();
        connectClient(makeClient(std::move(services.front())), "OrvoDeviceManager::start",
                      "start():send onDeviceConnected");
    }
    m_detector = platform.createDeviceDetector(*this, m_tick);
    if (!m_detector)
        return false;
    m_detector->setVendorList(kVendors);
    m_detector->addListener(this);
    return m_detector->start();
}

OrvoPlatformInterface::DeviceServices OrvoDeviceManager::listDeviceServices()
{
    return OrvoPlatform().findFSDevices(m_registry);
}

void OrvoDeviceManager::notifyActionDone(int action)
{
    m_listeners.broadcast(&OrvoDeviceManagerListener::onActionDone, m_currentClient.get(), action);
}

bool OrvoDeviceManager::ejectCurrentDevice()
{
    if (!m_currentClient)
        return false;
    QString drive;
    m_currentClient->getDrive(drive);
    return OrvoPlatform().ejectDevice(drive);
}

bool OrvoDeviceManager::releaseCurrentDevice()
{
    OrvoClient *client = m_currentClient.get();
    if (client == nullptr)
        return false;
    if (client->deviceServiceType() == OrvoDeviceService::FileSystemService)
        ejectCurrentDevice();
    // The volume's removal may have been noticed during the eject and unplugged the client.
    if (m_currentClient.get() != client)
        return true;
    m_listeners.broadcast(&OrvoDeviceManagerListener::onDeviceDisconnected, client);
    retireCurrentClient();
    return true;
}

void OrvoDeviceManager::onDevicePlugin(std::unique_ptr<OrvoDeviceService> &service)
{
    std::unique_ptr<OrvoDeviceService> found = std::move(service);
    if (!found)
        return;
    if (m_currentClient && survivesRestart(m_currentClient->getState())) {
        if (resumeWithService(found))
            return;
        // Another device came: the waiting client gives way without a word to the listeners.
        retireCurrentClient();
    } else if (m_currentClient) {
        return;
    }
    std::unique_ptr<OrvoClient> client = makeClient(std::move(found));
    if (client && refusedAfterUnplug(*client))
        return;
    connectClient(std::move(client), "OrvoDeviceManager::onDevicePlugin", "send onDeviceConnected");
}

bool OrvoDeviceManager::resumeWithService(std::unique_ptr<OrvoDeviceService> &service)
{
    if (service->serviceType() != OrvoDeviceService::ScsiPassThroughService) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoDeviceManager::onDevicePlugin")
            << "find device service DEVICE_FS for software update";
        service.reset();
        return true;
    }
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoDeviceManager::onDevicePlugin") << "devicePlugin for software update";
    QString id;
    service->readDeviceId(id);
    QString uuid;
    m_currentClient->getUUID(uuid);
    if (uuid.isEmpty() || uuid != id)
        return false;
    auto *owner = dynamic_cast<OrvoDeviceServiceOwner *>(m_currentClient.get());
    if (owner == nullptr) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoDeviceManager::onDevicePlugin")
            << "the waiting client cannot take its device service back";
        service.reset();
        return true;
    }
    owner->setDeviceService(std::move(service));
    const int state = m_currentClient->getState();
    if (state == kTotalUpdateState) {
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoDeviceManager::onDevicePlugin") << "updateTotal";
        m_currentClient->updateTotal(QString(), QString());
    } else if (state == kFactoryRestoreState) {
        m_currentClient->restoreFactory(QString());
    }
    return true;
}

std::unique_ptr<OrvoClient> OrvoDeviceManager::makeClient(std::unique_ptr<OrvoDeviceService> service)
{
    const OrvoDeviceInfo::Factory factory = service->deviceInfo()->factory;
    if (!factory) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoDeviceManager::makeClient")
            << "no client class for the model" << service->deviceInfo()->modelName;
        return nullptr;
    }
    return factory(std::move(service));
}

bool OrvoDeviceManager::refusedAfterUnplug(OrvoClient &client)
{
    if (!m_unplugged || quint32(m_seconds() - m_lastUnplugTime) > kReplugGuardSeconds)
        return false;
    QString model;
    client.getName(model);
    if (!kReplugGuardedModels.contains(model))
        return false;
    qCDebug(lcOrvoDevice) << "plugin device in 5 seconds , do not connect the device";
    return true;
}

void OrvoDeviceManager::onDeviceUnplug()
{
    if (!m_currentClient || survivesRestart(m_currentClient->getState()))
        return;
    m_unplugged = true;
    m_lastUnplugTime = m_seconds();
    m_listeners.broadcast(&OrvoDeviceManagerListener::onDeviceDisconnected, m_currentClient.get());
    retireCurrentClient();
}

void OrvoDeviceManager::onDeviceChanged()
{
    m_listeners.broadcast(&OrvoDeviceManagerListener::onDeviceChanged, m_currentClient.get());
}

OrvoDeviceDetectorHost::AttachedClient OrvoDeviceManager::attachedClient()
{
    if (!m_currentClient)
        return {};
    return {m_currentClient.get(), m_currentClient->getState(), m_currentClient->deviceServiceType()};
}

QString OrvoDeviceManager::attachedClientUuid()
{
    QString uuid;
    if (m_currentClient)
        m_currentClient->getUUID(uuid);
    return uuid;
}

void OrvoDeviceManager::onClientActionDone(OrvoClient *client, int action)
{
    // A retired client that finishes its last action is no news about the attached device.
    if (client == m_currentClient.get())
        notifyActionDone(action);
}

void OrvoDeviceManager::retireCurrentClient()
{
    if (m_currentClient)
        m_previousClient = std::move(m_currentClient);
}

void OrvoDeviceManager::connectClient(std::unique_ptr<OrvoClient> client, const char *function, const char *message)
{
    m_currentClient = std::move(client);
    if (!m_currentClient)
        return;
    ORVO_TRACE_DEBUG(lcOrvoDevice, function) << message;
    m_listeners.broadcast(&OrvoDeviceManagerListener::onDeviceConnected, m_currentClient.get());
}
