#pragma once

#include <QtGlobal>

#include <array>

// The command blocks this program sends. The vendor commands are shaped like READ(10) and
// WRITE(10): bytes 4 and 5 hold a 16-bit block number (high byte first), byte 6 the device's
// area code and byte 8 the transfer length in 512-byte sectors; every other byte is 0.
class ScsiCommand
{
public:
    using Cdb6 = std::array<quint8, 6>;
    using Cdb10 = std::array<quint8, 10>;

    static constexpr quint8 kInquiry = 0x12;
    static constexpr quint8 kStartStopUnit = 0x1B;
    static constexpr quint8 kVendorRead = 0x28;
    static constexpr quint8 kVendorWrite = 0x2A;

    static constexpr int kInquiryLength = 128;
    static constexpr int kSectorSize = 512;
    static constexpr int kMaxSectors = 255;
    static constexpr qint64 kMaxBlock = 65535;

    static constexpr quint8 kDeviceIdArea = 0x03;
    static constexpr quint8 kDeviceIdSectors = 4;
    static constexpr int kDeviceIdLength = kDeviceIdSectors * kSectorSize;
    static constexpr int kDeviceIdTextLength = 16;
    static constexpr quint8 kFlashEraseArea = 0x18;

    // INQUIRY for the standard answer, 128 bytes allocated.
    static Cdb6 inquiry();
    // START STOP UNIT with LOEJ set and START clear: stop the medium and eject it.
    static Cdb6 ejectMedium();
    static Cdb10 vendorRead(quint16 block, quint8 area, quint8 sectors);
    static Cdb10 vendorWrite(quint16 block, quint8 area, quint8 sectors);

    // True when a block number can be sent without wrapping into another block.
    static bool blockFits(qint64 block);
    // True when a block size is a whole number of sectors that one command can carry.
    static bool blockSizeFits(qint64 blockSize);
};
