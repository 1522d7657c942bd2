#pragma once

#include "device/OrvoDeviceEventSource.h"

#include <QPointer>

class OrvoEmulatedPlatform;

// Passes on the device-change codes that an emulated platform emits while it lives.
class OrvoEmulatedEventSource : public OrvoDeviceEventSource
{
    Q_OBJECT

public:
    explicit OrvoEmulatedEventSource(OrvoEmulatedPlatform *platform, QObject *parent = nullptr);

    // False when the platform is gone.
    bool start() override;

private:
    QPointer<OrvoEmulatedPlatform> m_platform;
};
