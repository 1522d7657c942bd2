#include "device/OrvoSCSIDeviceService.h"

#include "device/OrvoDeviceLogging.h"
#include "device/ScsiCommand.h"
#include "env/OrvoFunctionTrace.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint8 kEraseSectors = 1;

qint64 blocksTouched(qint64 length, int blockSize)
{
    return length / blockSize + (length % blockSize != 0 ? 1 : 0);
}

// A block number above 65535 would wrap into block 0 and a block size that is not a whole
// number of sectors would be cut short by the sector count, so both are refused before any
// block is sent: a transfer never stops half way for a reason known in advance.
bool checkBlockRange(const char *function, qint64 length, int blockSize, int first)
{
    if (length <= 0) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "no block to transfer: length=" << length;
        return false;
    }
    if (!ScsiCommand::blockSizeFits(blockSize)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function)
            << "block size" << blockSize << "is not a whole number of 512-byte sectors up to 255";
        return false;
    }
    const qint64 last = qint64(first) + blocksTouched(length, blockSize) - 1;
    if (!ScsiCommand::blockFits(first) || !ScsiCommand::blockFits(last)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function)
            << "blocks" << first << "to" << last << "do not fit in 16-bit block numbers";
        return false;
    }
    return true;
}

} // namespace

bool OrvoSCSIDeviceService::writeFlashBlocks(const char *data, quint8 region, qint64 length, int blockSize, int first)
{
    const char *function = "OrvoSCSIDeviceService::writeFlashBlocks";
    if (data == nullptr || !checkBlockRange(function, length, blockSize, first))
        return false;
    if (!openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "open client failed";
        return false;
    }
    const quint8 sectors = quint8(blockSize / ScsiCommand::kSectorSize);
    const qint64 whole = length / blockSize;
    bool ok = true;
    for (qint64 k = 0; k < whole && ok; ++k) {
        const qint64 block = first + k;
        const auto cdb = ScsiCommand::vendorWrite(quint16(block), region, sectors);
        ok = writeClient(cdb.data(), int(cdb.size()), data + k * blockSize, blockSize);
        if (!ok)
            ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "write client failed at loop " << block;
    }
    const qint64 rest = length % blockSize;
    if (ok && rest != 0) {
        QByteArray tail(blockSize, '\xFF');
        std::memcpy(tail.data(), data + whole * blockSize, size_t(rest));
        const auto cdb = ScsiCommand::vendorWrite(quint16(first + whole), region, sectors);
        ok = writeClient(cdb.data(), int(cdb.size()), tail.constData(), tail.size());
        if (!ok)
            ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "write client failed";
    }
    closeClient();
    return ok;
}

bool OrvoSCSIDeviceService::readFlashBlocks(char *buffer, quint8 region, qint64 length, int blockSize, int first)
{
    const char *function = "OrvoSCSIDeviceService::readFlashBlocks";
    if (buffer == nullptr || !checkBlockRange(function, length, blockSize, first))
        return false;
    if (!openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "open client failed";
        return false;
    }
    const quint8 sectors = quint8(blockSize / ScsiCommand::kSectorSize);
    QByteArray block(blockSize, '\0');
    bool ok = true;
    for (qint64 done = 0; done < length && ok; done += blockSize) {
        const qint64 number = first + done / blockSize;
        const auto cdb = ScsiCommand::vendorRead(quint16(number), region, sectors);
        ok = readClient(cdb.data(), int(cdb.size()), block.data(), block.size());
        if (ok)
            std::memcpy(buffer + done, block.constData(), size_t(std::min<qint64>(blockSize, length - done)));
        else
            ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "read client failed at loop " << number;
    }
    closeClient();
    return ok;
}

bool OrvoSCSIDeviceService::eraseFlashBlocks(qint64 length, int blockSize, int first)
{
    const char *function = "OrvoSCSIDeviceService::eraseFlashBlocks";
    if (!checkBlockRange(function, length, blockSize, first))
        return false;
    if (!openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "open client failed";
        return false;
    }
    const QByteArray zeros(ScsiCommand::kSectorSize, '\0');
    const qint64 end = first + blocksTouched(length, blockSize);
    bool ok = true;
    for (qint64 block = first; block < end && ok; ++block) {
        const auto cdb = ScsiCommand::vendorWrite(quint16(block), ScsiCommand::kFlashEraseArea, kEraseSectors);
        ok = writeClient(cdb.data(), int(cdb.size()), zeros.constData(), zeros.size());
        if (!ok)
            ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "erase client failed at loop " << block;
    }
    closeClient();
    return ok;
}
