#pragma once

#include "emulator/OrvoEmulatedArea.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedIdentity.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Emulated devices shared by the device tests. The areas are the test's own: a sector memory
// that takes blocks of 512 and 2048 bytes anywhere, and a flash memory of 4096-byte blocks
// that must be erased (area 0x18, as the flash block erase command sends it) before a write.
namespace DeviceTest {

inline const QString kSectors = QStringLiteral("sectors");
inline const QString kFlash = QStringLiteral("flash");
constexpr quint8 kSectorRegion = 0x01;
constexpr quint8 kWideSectorRegion = 0x02;
constexpr quint8 kFlashWriteRegion = 0x0F;
constexpr quint8 kFlashReadRegion = 0x10;
constexpr quint8 kFlashEraseRegion = 0x18;
constexpr quint8 kDeviceIdRegion = 0x03;
constexpr qsizetype kSectorMemorySize = 512 * 400;
constexpr qsizetype kFlashMemorySize = 4096 * 8;

inline OrvoEmulatedIdentity identity(const QByteArray &product, const QByteArray &deviceId,
                                     const QByteArray &vendorData = QByteArray())
{
    return OrvoEmulatedIdentity{"TARVEX", product, "0207", "1.00", vendorData, deviceId};
}

inline std::shared_ptr<OrvoEmulatedFlashDevice> makeDevice(const OrvoEmulatedIdentity &who)
{
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(who);
    device->addMemory(kSectors, kSectorMemorySize, false);
    device->addMemory(kFlash, kFlashMemorySize, true);
    device->addArea({kSectorRegion, OrvoEmulatedArea::Access::Write, kSectors, 512, 0});
    device->addArea({kSectorRegion, OrvoEmulatedArea::Access::Read, kSectors, 512, 0});
    device->addArea({kWideSectorRegion, OrvoEmulatedArea::Access::Write, kSectors, 2048, 0});
    device->addArea({kFlashWriteRegion, OrvoEmulatedArea::Access::Write, kFlash, 4096, 0});
    device->addArea({kFlashReadRegion, OrvoEmulatedArea::Access::Read, kFlash, 4096, 0});
    device->addArea({kFlashEraseRegion, OrvoEmulatedArea::Access::EraseBlock, kFlash, 512, 4096});
    device->addArea({kDeviceIdRegion, OrvoEmulatedArea::Access::DeviceId, QString(), 2048, 0});
    return device;
}

inline std::shared_ptr<OrvoEmulatedFlashDevice> makeKosmir()
{
    return makeDevice(identity("KOSMIR", "1105ABCDEF012345"));
}

// Bytes that differ from block to block and from the erased state.
inline QByteArray pattern(qsizetype length)
{
    QByteArray bytes(length, '\0');
    for (qsizetype i = 0; i < length; ++i)
        bytes[i] = char((i * 7 + 1) % 251);
    return bytes;
}

} // namespace DeviceTest
