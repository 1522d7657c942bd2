#pragma once

#include <QString>

#include <functional>
#include <memory>

class OrvoClient;
class OrvoDeviceService;

// One row of the device-type table, copied by value into the manager's list and into every
// device service that matched it.
struct OrvoDeviceInfo
{
    // Makes, equips and probes the client for a service, which the client owns from then on;
    // null when the device cannot be served (the service is gone with the refused client).
    using Factory = std::function<std::unique_ptr<OrvoClient>(std::unique_ptr<OrvoDeviceService>)>;

    // Four characters, compared with the first four of a device id ("1207", "0901", ...).
    QString productId;
    QString modelName;
    // One or more alternatives separated by ":".
    QString matchString;
    Factory factory;
};
