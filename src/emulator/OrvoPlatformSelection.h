#pragma once

#include "device/OrvoSystemDeviceWaits.h"
#include "device/OrvoVirtualDeviceWaits.h"

#include <QString>

#include <memory>
#include <optional>

class OrvoEmulatedPlatform;
class OrvoEmulatedPlugControl;

// The platform a program runs on, chosen by the text of ORVO_PLATFORM: "emulator:<folder>"
// puts an emulated platform with the devices of that folder (OrvoEmulatedFolder) in place of
// the Linux one for as long as the selection lives, and follows the folder's choice of the
// plugged device (OrvoEmulatedPlugControl); an empty text keeps the Linux platform.
// Made and destroyed on the GUI thread.
class OrvoPlatformSelection
{
public:
    static constexpr const char *kVariable = "ORVO_PLATFORM";
    // The folder of emulated devices that the text names after "emulator:" (maybe empty); no
    // value for a text of another form.
    static std::optional<QString> emulatorFolder(const QString &setting);

    explicit OrvoPlatformSelection(const QString &setting);
    ~OrvoPlatformSelection();
    OrvoPlatformSelection(const OrvoPlatformSelection &) = delete;
    OrvoPlatformSelection &operator=(const OrvoPlatformSelection &) = delete;

    // Null while the Linux platform serves.
    OrvoEmulatedPlatform *emulatedPlatform() const;
    // The waits the devices of this platform take: emulated devices need no real time to
    // erase or restart, so they get a virtual clock; real devices the system's.
    OrvoDeviceWaits *deviceWaits();

private:
    std::shared_ptr<OrvoEmulatedPlatform> m_platform;
    OrvoSystemDeviceWaits m_systemWaits;
    OrvoVirtualDeviceWaits m_virtualWaits;
    // Goes before the platform and the waits it plugs with.
    std::unique_ptr<OrvoEmulatedPlugControl> m_plugControl;
};
