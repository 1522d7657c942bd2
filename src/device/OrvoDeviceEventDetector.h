#pragma once

#include "device/OrvoDeviceClock.h"
#include "device/OrvoDeviceDetector.h"
#include "device/OrvoDeviceDetectorListener.h"
#include "device/OrvoDeviceEventSource.h"
#include "device/ZKEventBroadcaster.h"

#include <QObject>

#include <memory>

class OrvoDeviceDetectorHost;

// Decides what a device-change code means for the device manager. Node changes look for
// SCSI-served devices, at most once in each debounce period; arrivals and removals of volumes
// look for file-system devices. A client that a file-system device serves ignores node changes
// unless it waits for its device to come back from a restart.
class OrvoDeviceEventDetector : public QObject, public OrvoDeviceDetector
{
    Q_OBJECT

public:
    // A node change this many milliseconds or less after the last plug or unplug is dropped.
    static constexpr quint32 kDebounceMs = 1000;

    OrvoDeviceEventDetector(OrvoDeviceDetectorHost &host, std::unique_ptr<OrvoDeviceEventSource> source,
                            OrvoDeviceClock::Tick tick);
    ~OrvoDeviceEventDetector() override;

    bool start() override;
    void setVendorList(const QStringList &vendors) override;
    void addListener(OrvoDeviceDetectorListener *listener) override;
    bool removeListener(OrvoDeviceDetectorListener *listener) override;

    // True when the service's device id is the attached client's; an unreadable id counts as
    // the empty one.
    bool isSameDevice(OrvoDeviceService &service);

public slots:
    void deviceChange(quint32 deviceEvent);

private:
    void nodesChanged();
    void handleNodes(const void *client, int serviceType, int state);
    void arrival();
    void removeComplete();
    void plug(std::unique_ptr<OrvoDeviceService> &service);
    void unplug();

    OrvoDeviceDetectorHost &m_host;
    std::unique_ptr<OrvoDeviceEventSource> m_source;
    OrvoDeviceClock::Tick m_tick;
    ZKEventBroadcaster<OrvoDeviceDetectorListener> m_listeners;
    quint32 m_lastEventTick = 0;
};
