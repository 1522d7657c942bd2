#pragma once

#include "device/OrvoDeviceInfo.h"

#include <QString>

// Where a device class adds and removes a device-type row of its own from its worker: a device
// that restarts into its updater is recognised by such a row until the update is done. The
// program's device manager installs itself (OrvoClient::setDeviceRows); both calls may come
// from any thread.
class OrvoDeviceRowRegistration
{
public:
    OrvoDeviceRowRegistration() = default;
    OrvoDeviceRowRegistration(const OrvoDeviceRowRegistration &) = delete;
    OrvoDeviceRowRegistration &operator=(const OrvoDeviceRowRegistration &) = delete;
    virtual ~OrvoDeviceRowRegistration() = default;

    // The row goes before every other, so that it matches first.
    virtual void addDeviceRowAtFront(const OrvoDeviceInfo &row) = 0;
    // Removes the first row of the model name.
    virtual void removeDeviceRow(const QString &modelName) = 0;
};
