#include "device/OrvoDeviceWaits.h"

#include "device/OrvoSystemDeviceWaits.h"

#include <atomic>

namespace {

std::atomic<OrvoDeviceWaits *> g_installed{nullptr};

} // namespace

QDateTime OrvoDeviceWaits::currentLocal()
{
    return currentUtc().toLocalTime();
}

OrvoDeviceWaits &OrvoDeviceWaits::current()
{
    static OrvoSystemDeviceWaits system;
    OrvoDeviceWaits *installed = g_installed.load();
    return installed != nullptr ? *installed : system;
}

void OrvoDeviceWaits::install(OrvoDeviceWaits *waits)
{
    g_installed.store(waits);
}
