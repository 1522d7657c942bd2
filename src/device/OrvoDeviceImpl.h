#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoDeviceServiceOwner.h"

#include <memory>
#include <type_traits>

// The device-class template: a client of class Base that owns the device service it serves.
// Device classes derive from it over the class they extend.
template<typename Base>
class OrvoDeviceImpl : public Base, public OrvoDeviceServiceOwner
{
    static_assert(std::is_base_of_v<OrvoClient, Base>, "a device class is a client");

public:
    // The worker may use the service until it ends: stop it before the service goes.
    ~OrvoDeviceImpl() override { this->stopWorker(); }

    OrvoDeviceService *deviceService() override { return m_service.get(); }

    // Waits for an action that is still ending before its service is replaced.
    void setDeviceService(std::unique_ptr<OrvoDeviceService> service) override
    {
        if (this->isRunning() && QThread::currentThread() != this)
            this->wait();
        m_service = std::move(service);
    }

private:
    std::unique_ptr<OrvoDeviceService> m_service;
};
