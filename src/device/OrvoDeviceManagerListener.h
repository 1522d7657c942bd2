#pragma once

class OrvoClient;

// Told by the device manager what happens to the attached device's client (the device
// controller and the application object).
class OrvoDeviceManagerListener
{
public:
    virtual ~OrvoDeviceManagerListener() = default;

    virtual void onDeviceConnected(OrvoClient *client) = 0;
    virtual void onDeviceDisconnected(OrvoClient *client) = 0;
    // The attached device has changed; client may be null.
    virtual void onDeviceChanged(OrvoClient *) {}
    // The client finished the numbered action; client may be null.
    virtual void onActionDone(OrvoClient *, int) {}
};
