#include "emulator/OrvoPlatformSelection.h"

#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatedPlugControl.h"
#include "emulator/OrvoEmulatorLogging.h"
#include "env/OrvoFunctionTrace.h"

OrvoPlatformSelection::OrvoPlatformSelection(const QString &setting)
{
    if (setting.isEmpty())
        return;
    const std::optional<QString> emulated = emulatorFolder(setting);
    if (!emulated) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoPlatformSelection")
            << "unknown platform" << setting << "- the devices of this computer are served";
        return;
    }
    const QString &folder = *emulated;
    m_platform = std::make_shared<OrvoEmulatedPlatform>();
    // A folder that is missing still gives the emulated platform, only without devices: the
    // program was asked not to touch this computer's devices.
    m_plugControl = std::make_unique<OrvoEmulatedPlugControl>(*m_platform, folder, m_virtualWaits);
    m_plugControl->start();
    ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoPlatformSelection") << "emulated devices of" << folder;
    auto platform = m_platform;
    OrvoPlatform::setImplementationFactory([platform] { return platform; });
}

std::optional<QString> OrvoPlatformSelection::emulatorFolder(const QString &setting)
{
    const QLatin1String prefix("emulator:");
    if (!setting.startsWith(prefix))
        return std::nullopt;
    return setting.mid(prefix.size());
}

OrvoPlatformSelection::~OrvoPlatformSelection()
{
    m_plugControl.reset();
    if (m_platform)
        OrvoPlatform::setImplementationFactory({});
}

OrvoEmulatedPlatform *OrvoPlatformSelection::emulatedPlatform() const
{
    return m_platform.get();
}

OrvoDeviceWaits *OrvoPlatformSelection::deviceWaits()
{
    if (m_platform)
        return &m_virtualWaits;
    return &m_systemWaits;
}
