#pragma once

#include "device/OrvoClientActionListener.h"
#include "device/OrvoDeviceClock.h"
#include "device/OrvoDeviceDetector.h"
#include "device/OrvoDeviceDetectorHost.h"
#include "device/OrvoDeviceDetectorListener.h"
#include "device/OrvoDeviceManagerListener.h"
#include "device/OrvoDeviceRegistry.h"
#include "device/OrvoDeviceRowRegistration.h"
#include "device/ZKEventBroadcaster.h"

#include <memory>

class OrvoClient;

// Owns the one attached device client. It keeps the registered device types, starts detection,
// makes a client with the factory of the device type that a found service matched, keeps a
// client alive while its device restarts during an update or a factory restore, and tells its
// listeners when a client is connected, disconnected or changed, or has finished an action.
// GUI thread only.
class OrvoDeviceManager : public OrvoDeviceDetectorListener,
                          public OrvoDeviceDetectorHost,
                          public OrvoClientActionListener,
                          public OrvoDeviceRowRegistration
{
public:
    // A device of these models that appears again this many seconds or less after an unplug is
    // still restarting: it is not connected.
    static constexpr quint32 kReplugGuardSeconds = 5;

    // An empty tick reads the system's; empty seconds read the installed device waits
    // (OrvoDeviceWaits), the system's clock unless a virtual one is installed.
    explicit OrvoDeviceManager(OrvoDeviceClock::Seconds seconds = {}, OrvoDeviceClock::Tick tick = {});
    ~OrvoDeviceManager() override;
    OrvoDeviceManager(const OrvoDeviceManager &) = delete;
    OrvoDeviceManager &operator=(const OrvoDeviceManager &) = delete;

    void registerDevice(const OrvoDeviceInfo &info, bool atFront);
    void unregisterDevice(const QString &modelName);
    // The device types with the id-source flags and the factories of self-describing devices.
    OrvoDeviceRegistry &registry();

    void addListener(OrvoDeviceManagerListener *listener);
    bool removeListener(OrvoDeviceManagerListener *listener);

    // Null when no device is attached.
    OrvoClient *currentClient() const;

    // Connects a device that is attached already, then starts detection; false when detection
    // cannot start.
    bool start();
    void notifyActionDone(int action);
    // False without a client; otherwise ejects the drive of the client's device.
    bool ejectCurrentDevice();
    // Ejects a device served through its file system, tells the listeners that the client is
    // gone and retires it; false without a client.
    bool releaseCurrentDevice();

    void onDevicePlugin(std::unique_ptr<OrvoDeviceService> &service) override;
    void onDeviceUnplug() override;
    void onDeviceChanged() override;

    AttachedClient attachedClient() override;
    QString attachedClientUuid() override;
    QVector<OrvoDeviceInfo> deviceTypes() const override;
    OrvoPlatformInterface::DeviceServices listDeviceServices() override;

    void onClientActionDone(OrvoClient *client, int action) override;

    void addDeviceRowAtFront(const OrvoDeviceInfo &row) override;
    void removeDeviceRow(const QString &modelName) override;

private:
    // Hands the re-plugged service to a client that waits for its device; false when the
    // service belongs to another device.
    bool resumeWithService(std::unique_ptr<OrvoDeviceService> &service);
    std::unique_ptr<OrvoClient> makeClient(std::unique_ptr<OrvoDeviceService> service);
    bool refusedAfterUnplug(OrvoClient &client);
    // The current client becomes the previous one, which keeps it alive until the next
    // retirement; the one before is deleted.
    void retireCurrentClient();
    // The client becomes the current one; the listeners hear of it unless it is null.
    void connectClient(std::unique_ptr<OrvoClient> client, const char *function, const char *message);

    OrvoDeviceClock::Seconds m_seconds;
    OrvoDeviceClock::Tick m_tick;
    ZKEventBroadcaster<OrvoDeviceManagerListener> m_listeners;
    OrvoDeviceRegistry m_registry;
    std::unique_ptr<OrvoDeviceDetector> m_detector;
    std::unique_ptr<OrvoClient> m_currentClient;
    std::unique_ptr<OrvoClient> m_previousClient;
    bool m_unplugged = false;
    quint32 m_lastUnplugTime = 0;
};
