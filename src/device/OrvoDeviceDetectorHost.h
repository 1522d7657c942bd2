#pragma once

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoPlatformInterface.h"

#include <QString>
#include <QVector>

// What device detection needs of the device manager: the attached client as far as the
// decision goes, the registered device types and the file-system devices present.
class OrvoDeviceDetectorHost
{
public:
    // Service states of a client that survive the device's restart: a whole update and a
    // factory restore. The manager keeps such a client when its device goes away.
    static constexpr int kTotalUpdateState = 1;
    static constexpr int kFactoryRestoreState = 3;

    struct AttachedClient
    {
        // Null when no client is attached; used to tell clients apart in log lines.
        const void *client = nullptr;
        int state = -1;
        // OrvoDeviceService::ServiceType of the client's service; -1 when it has none.
        int serviceType = -1;
    };

    static bool survivesRestart(int state) { return state == kTotalUpdateState || state == kFactoryRestoreState; }

    virtual ~OrvoDeviceDetectorHost() = default;

    virtual AttachedClient attachedClient() = 0;
    // The attached client's device id; empty when there is none.
    virtual QString attachedClientUuid() = 0;
    virtual QVector<OrvoDeviceInfo> deviceTypes() const = 0;
    // The file-system device services present now, owned by the caller.
    virtual OrvoPlatformInterface::DeviceServices listDeviceServices() = 0;
};
