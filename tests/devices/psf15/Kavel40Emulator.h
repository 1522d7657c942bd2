#pragma once

#include "PsfImage15Builder.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoLinuxSCSIService.h"
#include "devices/psf15/OrvoPSFDevice.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedScsiHandle.h"

#include <memory>

// An emulated Kavel40 as the device answers: its 2 MiB flash (erased before every write,
// busy for two polls after an erase) and its language area (plain storage).
namespace Kavel40 {

inline const QString kFlash = QStringLiteral("flash");
inline const QString kLanguage = QStringLiteral("language");

inline std::shared_ptr<OrvoEmulatedFlashDevice> makeDevice(const QByteArray &image)
{
    using Access = OrvoEmulatedArea::Access;
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(
        OrvoEmulatedIdentity{"TARVEX", "KOSMIR", "0207", "1.00", QByteArray(), "1105D3E40000C0DE"});
    device->addMemory(kFlash, PsfImage15Builder::kImageSize, true);
    device->addMemory(kLanguage, 0xF8800, false);
    device->addArea({16, Access::Read, kFlash, 4096, 0});
    device->addArea({15, Access::Write, kFlash, 4096, 0});
    device->addArea({14, Access::EraseAll, kFlash, 512, 0});
    device->addArea({21, Access::ReadyPoll, kFlash, 4096, 0});
    device->addArea({13, Access::Read, kLanguage, 2048, 0});
    device->addArea({12, Access::Write, kLanguage, 2048, 0});
    device->addArea({3, Access::DeviceId, QString(), 2048, 0});
    device->setBusyPolls(2);
    device->loadMemory(kFlash, image);
    return device;
}

inline std::unique_ptr<OrvoPSFDevice> makeClient(const std::shared_ptr<OrvoEmulatedFlashDevice> &device,
                                                 const QString &model = QStringLiteral("Kavel40"))
{
    auto client = std::make_unique<OrvoPSFDevice>();
    const OrvoDeviceInfo row{QStringLiteral("1105"), model, QStringLiteral("KOSMIR"), {}};
    client->setDeviceService(std::make_unique<OrvoLinuxSCSIService>(OrvoEmulatedScsiHandle::open(device), row));
    return client;
}

// The commands of an area (byte 6) and direction (byte 0) in the device's log.
inline QVector<OrvoEmulatedFlashDevice::LoggedCommand> commands(const OrvoEmulatedFlashDevice &device, quint8 opcode,
                                                                quint8 area)
{
    QVector<OrvoEmulatedFlashDevice::LoggedCommand> found;
    for (const auto &command : device.commandLog()) {
        if (quint8(command.cdb[0]) == opcode && quint8(command.cdb[6]) == area)
            found.append(command);
    }
    return found;
}

inline int blockOf(const OrvoEmulatedFlashDevice::LoggedCommand &command)
{
    return quint8(command.cdb[4]) << 8 | quint8(command.cdb[5]);
}

} // namespace Kavel40
