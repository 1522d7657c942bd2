#pragma once

#include "PsfImage14Builder.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoLinuxSCSIService.h"
#include "devices/psf14/OrvoKavel35.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedScsiHandle.h"

#include <memory>

// An emulated Kavel35 as the device answers: its 1 MiB flash (erased before every write), its
// language area and the plain memories behind the firmware, clock and zero-sector areas. The
// firmware version sits in the INQUIRY answer's version field.
namespace Kavel35 {

inline const QString kFlash = QStringLiteral("flash");
inline const QString kLanguage = QStringLiteral("language");
inline const QString kFirmware = QStringLiteral("firmware");
inline const QString kClock = QStringLiteral("clock");
inline const QString kZeroA = QStringLiteral("zero1");
inline const QString kZeroB = QStringLiteral("zero0");
inline constexpr qsizetype kLanguageSize = 0x79000;
inline constexpr quint8 kRead = 0x28;
inline constexpr quint8 kWrite = 0x2A;

inline std::shared_ptr<OrvoEmulatedFlashDevice> makeDevice(const QByteArray &image, const QByteArray &version = "V100",
                                                           const QByteArray &product = "QUILMA")
{
    using Access = OrvoEmulatedArea::Access;
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(
        OrvoEmulatedIdentity{"TARVEX", product, version, "1.00", QByteArray(), "1003A1B2C3D4E5F6"});
    device->addMemory(kFlash, PsfImage14Builder::kFlashSize, true);
    device->addMemory(kLanguage, kLanguageSize, false);
    device->addMemory(kFirmware, 0x100000, false);
    device->addMemory(kClock, 2048, false);
    device->addMemory(kZeroA, 512, false);
    device->addMemory(kZeroB, 512, false);
    device->addArea({16, Access::Read, kFlash, 4096, 0});
    device->addArea({15, Access::Write, kFlash, 4096, 0});
    device->addArea({14, Access::EraseAll, kFlash, 512, 0});
    device->addArea({13, Access::Read, kLanguage, 2048, 0});
    device->addArea({12, Access::Write, kLanguage, 2048, 0});
    device->addArea({10, Access::Write, kFirmware, 2048, 0});
    device->addArea({6, Access::Write, kClock, 2048, 0});
    device->addArea({1, Access::Write, kZeroA, 512, 0});
    device->addArea({0, Access::Write, kZeroB, 512, 0});
    device->addArea({3, Access::DeviceId, QString(), 2048, 0});
    device->loadMemory(kFlash, image);
    return device;
}

inline OrvoDeviceInfo row(const QString &model = QStringLiteral("Kavel35"))
{
    return OrvoDeviceInfo{QStringLiteral("1003"), model, QStringLiteral("QUILMA"), {}};
}

// The client over a service that asked the device's INQUIRY, as detection makes it.
template<typename Client = OrvoKavel35>
std::unique_ptr<Client> makeClientOf(const std::shared_ptr<OrvoEmulatedFlashDevice> &device, const OrvoDeviceInfo &info)
{
    auto client = std::make_unique<Client>();
    client->setDeviceService(OrvoLinuxSCSIService::probe(OrvoEmulatedScsiHandle::open(device), {info}));
    device->clearCommandLog();
    return client;
}

inline std::unique_ptr<OrvoKavel35> makeClient(const std::shared_ptr<OrvoEmulatedFlashDevice> &device,
                                               const QString &model = QStringLiteral("Kavel35"))
{
    return makeClientOf<OrvoKavel35>(device, row(model));
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

inline QStringList cdbs(const OrvoEmulatedFlashDevice &device)
{
    QStringList texts;
    for (const auto &command : device.commandLog())
        texts << QString::fromLatin1(command.cdb.toHex(' '));
    return texts;
}

inline int blockOf(const OrvoEmulatedFlashDevice::LoggedCommand &command)
{
    return quint8(command.cdb[4]) << 8 | quint8(command.cdb[5]);
}

} // namespace Kavel35
