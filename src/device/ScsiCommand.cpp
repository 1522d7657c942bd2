#include "device/ScsiCommand.h"

#include <QtEndian>

namespace {

constexpr qsizetype kBlockOffset = 4;
constexpr qsizetype kAreaOffset = 6;
constexpr qsizetype kSectorsOffset = 8;
constexpr qsizetype kAllocationLengthOffset = 3;
constexpr quint8 kInquiryLegacyByte1 = 0x80;
constexpr quint8 kLoadEject = 0x02;

ScsiCommand::Cdb10 vendorCommand(quint8 opcode, quint16 block, quint8 area, quint8 sectors)
{
    ScsiCommand::Cdb10 cdb{opcode};
    qToBigEndian<quint16>(block, cdb.data() + kBlockOffset);
    cdb[kAreaOffset] = area;
    cdb[kSectorsOffset] = sectors;
    return cdb;
}

} // namespace

ScsiCommand::Cdb6 ScsiCommand::inquiry()
{
    Cdb6 cdb{kInquiry, kInquiryLegacyByte1};
    qToBigEndian<quint16>(kInquiryLength, cdb.data() + kAllocationLengthOffset);
    return cdb;
}

ScsiCommand::Cdb6 ScsiCommand::ejectMedium()
{
    return Cdb6{kStartStopUnit, 0, 0, 0, kLoadEject, 0};
}

ScsiCommand::Cdb10 ScsiCommand::vendorRead(quint16 block, quint8 area, quint8 sectors)
{
    return vendorCommand(kVendorRead, block, area, sectors);
}

ScsiCommand::Cdb10 ScsiCommand::vendorWrite(quint16 block, quint8 area, quint8 sectors)
{
    return vendorCommand(kVendorWrite, block, area, sectors);
}

bool ScsiCommand::blockFits(qint64 block)
{
    return block >= 0 && block <= kMaxBlock;
}

bool ScsiCommand::blockSizeFits(qint64 blockSize)
{
    return blockSize > 0 && blockSize % kSectorSize == 0 && blockSize / kSectorSize <= kMaxSectors;
}
