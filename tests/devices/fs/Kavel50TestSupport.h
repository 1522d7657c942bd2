#pragma once

#include "Kavel50Drive.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "devices/fs/OrvoKavel50CR.h"

#include <memory>

namespace Kavel50Test {

inline OrvoDeviceInfo kavel50Row()
{
    return {QStringLiteral("0901"), QStringLiteral("Kavel50"), QStringLiteral("Tarvex"), {}};
}

// A client of the drive, without initial(); secondDrive is the drive's second volume.
inline std::unique_ptr<OrvoKavel50CR> makeClient(const QString &root, const QString &secondDrive = QString())
{
    auto service = std::make_unique<OrvoFSDeviceService>(root, kavel50Row(), root + QStringLiteral("/device.ini"));
    service->setSecondDrive(secondDrive);
    auto client = std::make_unique<OrvoKavel50CR>();
    client->setDeviceService(std::move(service));
    return client;
}

} // namespace Kavel50Test
