#pragma once

#include "device/OrvoDeviceService.h"

#include <memory>

// A client that serves its device through a device service it owns. The device manager hands
// a client the service of its device when the device comes back after a restart.
class OrvoDeviceServiceOwner
{
public:
    virtual ~OrvoDeviceServiceOwner() = default;

    // Takes the service; the one held before is deleted.
    virtual void setDeviceService(std::unique_ptr<OrvoDeviceService> service) = 0;
};
