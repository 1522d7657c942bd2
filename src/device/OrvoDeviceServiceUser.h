#pragma once

class OrvoDeviceService;

// A client that serves its device through a service that another client owns: it keeps the
// pointer it is given and never deletes it. The owner passes on every service it takes, before
// it lets the client be used again, and removes the client before its own service goes.
class OrvoDeviceServiceUser
{
public:
    virtual ~OrvoDeviceServiceUser() = default;

    virtual void useDeviceService(OrvoDeviceService *service) = 0;
};
