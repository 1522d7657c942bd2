#include "emulator/OrvoEmulatedEventSource.h"

#include "emulator/OrvoEmulatedPlatform.h"

OrvoEmulatedEventSource::OrvoEmulatedEventSource(OrvoEmulatedPlatform *platform, QObject *parent)
    : OrvoDeviceEventSource(parent)
    , m_platform(platform)
{}

bool OrvoEmulatedEventSource::start()
{
    if (m_platform.isNull())
        return false;
    connect(m_platform.data(), &OrvoEmulatedPlatform::deviceChange, this, &OrvoDeviceEventSource::deviceChange,
            Qt::UniqueConnection);
    return true;
}
