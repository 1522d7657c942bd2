#pragma once

#include "device/OrvoDeviceClock.h"
#include "device/OrvoDeviceManagerListener.h"

#include <QString>

#include <memory>

class OrvoClient;
class OrvoDeviceManager;
class OrvoModelSetupInterface;

// The process's device controller. It owns the device manager, registers the device types with
// it, prepares the device library and the web application when a device is attached, hands the
// attached device's client to the scripting side and packs the logs for support. The daemon
// program gets this class; the tray program, which serves no device, gets OrvoDaemonProxy.
// GUI thread only.
class OrvoDaemon : public OrvoDeviceManagerListener
{
public:
    // The device library takes model names shorter than this, and image and boot-loader codes
    // shorter than kMaxCodeLength; longer or empty texts are not passed on.
    static constexpr qsizetype kMaxModelNameLength = 10;
    static constexpr qsizetype kMaxCodeLength = 4;
    // The client state of a device that formats itself and restarts.
    static constexpr int kFormattingState = 4;

    // Empty clocks read the system's.
    explicit OrvoDaemon(OrvoDeviceClock::Seconds seconds = {}, OrvoDeviceClock::Tick tick = {});
    ~OrvoDaemon() override;
    OrvoDaemon(const OrvoDaemon &) = delete;
    OrvoDaemon &operator=(const OrvoDaemon &) = delete;

    // The process's controller, made on first use for the environment's role: the proxy for
    // "user", this class for any other. It then serves the commands of the environment wrapper
    // and the tray menu, and the environment's version check.
    static OrvoDaemon *instance();
    // Deletes the controller, and with it the device manager and its clients; the commands
    // find no controller afterwards. Called by main, before Python ends.
    static void release();

    void onDeviceConnected(OrvoClient *client) override;
    void onDeviceDisconnected(OrvoClient *client) override;

    // Registers the device-type table (when withTable is true), listens to the device manager
    // and starts it; a device attached already becomes the current client. True when there is a
    // current client afterwards.
    virtual bool registerDevices(bool withTable);
    // Null when no device is attached.
    virtual OrvoClient *currentClient();
    // Writes the new zip file dest holding copies of the program's two logs and the attached
    // device's flash dump, each under its bare name; the copies are removed again. An existing
    // dest (a link too) is left as it is and nothing is written. True when dest holds the zip
    // file; otherwise error says why, and nothing is left at dest.
    virtual bool exportLog(const QString &dest, QString &error);

    OrvoDeviceManager *deviceManager() const;
    // The device library that takes the attached model; null (the default) leaves it out.
    void setModelSetup(OrvoModelSetupInterface *setup);

private:
    void installCommands();
    static void removeCommands();
    void setUpModel(OrvoClient &client, const QString &model);
    void releaseCurrentDevice();

    std::unique_ptr<OrvoDeviceManager> m_manager;
    OrvoModelSetupInterface *m_modelSetup = nullptr;
};
