#pragma once

#include "device/OrvoDeviceService.h"

#include <QtGlobal>

// A device reached by SCSI command blocks. Subclasses deliver single commands; the flash block
// erase and write loops are built here on top of them.
class OrvoSCSIDeviceService : public OrvoDeviceService
{
public:
    // True when the device can take commands.
    virtual bool openClient() = 0;
    virtual bool closeClient() = 0;
    // A data-out command: length bytes of data go to the device.
    virtual bool writeClient(const quint8 *cdb, int cdbLength, const char *data, qsizetype length) = 0;
    // A data-in command: the device fills length bytes of buffer.
    virtual bool readClient(const quint8 *cdb, int cdbLength, char *buffer, qsizetype length) = 0;

    // Writes length bytes from data into region, one command per block from block first on; a
    // last partial block goes out padded with 0xFF.
    virtual bool writeFlashBlocks(const char *data, quint8 region, qint64 length, int blockSize, int first);
    // Reads length bytes of region into buffer, one command per block from block first on; a
    // last partial block is read whole and only its first bytes are kept. Stops at the first
    // failed command: the bytes of the blocks read before it stay in buffer.
    virtual bool readFlashBlocks(char *buffer, quint8 region, qint64 length, int blockSize, int first);
    // Erases every block of blockSize bytes that length bytes from block first on touch.
    virtual bool eraseFlashBlocks(qint64 length, int blockSize, int first);
};
