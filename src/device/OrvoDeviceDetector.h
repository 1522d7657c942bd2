#pragma once

#include <QStringList>

class OrvoDeviceDetectorListener;

// Turns the system's device-change notices into calls on its listeners.
class OrvoDeviceDetector
{
public:
    OrvoDeviceDetector() = default;
    OrvoDeviceDetector(const OrvoDeviceDetector &) = delete;
    OrvoDeviceDetector &operator=(const OrvoDeviceDetector &) = delete;
    virtual ~OrvoDeviceDetector() = default;

    // Starts listening to the system; false when no notice can arrive.
    virtual bool start() = 0;
    // The vendors whose devices matter; detection relies on the device types instead.
    virtual void setVendorList(const QStringList &vendors) = 0;
    virtual void addListener(OrvoDeviceDetectorListener *listener) = 0;
    // False when the listener was not added.
    virtual bool removeListener(OrvoDeviceDetectorListener *listener) = 0;
};
