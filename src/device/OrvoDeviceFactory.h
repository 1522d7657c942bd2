#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoDeviceService.h"

#include <memory>

// The factory of the device-type rows: every row's factory makes a client of its class in
// the same four steps.
class OrvoDeviceFactory
{
public:
    OrvoDeviceFactory() = delete;

    // Creates a Client, gives it the service and probes it with initial(). A client that
    // refuses the device is deleted, and its service with it: the answer is null then.
    template<typename Client>
    static std::unique_ptr<OrvoClient> create(std::unique_ptr<OrvoDeviceService> service)
    {
        auto client = std::make_unique<Client>();
        client->setDeviceService(std::move(service));
        if (!client->initial())
            return nullptr;
        return client;
    }
};
