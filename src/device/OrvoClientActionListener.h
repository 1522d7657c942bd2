#pragma once

class OrvoClient;

// Told when a device client's action has finished and its done signal (or result list) has
// gone out; not told while the client waits for its device to come back after a restart, nor
// for the marker action that keeps a restarting client busy. The device manager implements it
// and installs itself with OrvoClient::setActionListener; it removes itself (null) before it
// goes away. Called on the GUI thread only.
class OrvoClientActionListener
{
public:
    virtual ~OrvoClientActionListener() = default;

    virtual void onClientActionDone(OrvoClient *client, int action) = 0;
};
