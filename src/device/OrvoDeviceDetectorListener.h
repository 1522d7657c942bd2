#pragma once

#include "device/OrvoDeviceService.h"

#include <memory>

// Told by device detection what happened to the attached device (the device manager).
class OrvoDeviceDetectorListener
{
public:
    virtual ~OrvoDeviceDetectorListener() = default;

    // A device service was found. A listener that keeps it moves it out of the pointer; what no
    // listener takes is freed by the detector.
    virtual void onDevicePlugin(std::unique_ptr<OrvoDeviceService> &service) = 0;
    // The attached device has gone.
    virtual void onDeviceUnplug() = 0;
    // The attached device has changed; detection itself never says so.
    virtual void onDeviceChanged() = 0;
};
