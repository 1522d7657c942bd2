#pragma once

#include "device/OrvoVirtualDeviceWaits.h"

#include <functional>

namespace OrvoTest {

// A virtual clock that runs a hook once, the next time a device class reads it. The drive
// classes read the clock right after each copy onto the drive, before they read the copy back:
// a hook there acts in the middle of a write action, as a pulled cable does.
class HookedDeviceWaits : public OrvoVirtualDeviceWaits
{
public:
    QDateTime currentUtc() override
    {
        if (hook) {
            const std::function<void()> once = std::move(hook);
            hook = nullptr;
            once();
        }
        return OrvoVirtualDeviceWaits::currentUtc();
    }

    std::function<void()> hook;
};

} // namespace OrvoTest
