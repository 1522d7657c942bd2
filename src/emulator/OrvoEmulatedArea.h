#pragma once

#include <QString>
#include <QtGlobal>

// One vendor area of an emulated flash device: what a READ (0x28) or WRITE (0x2A) command with
// this area code in byte 6 does. Device families describe their areas with rows of this kind.
struct OrvoEmulatedArea
{
    enum class Access {
        // READ: copies blocks of the memory out.
        Read,
        // WRITE: copies blocks into the memory.
        Write,
        // WRITE: sets one erase unit of the memory to 0xFF; the data phase is ignored.
        EraseBlock,
        // WRITE of block 0: sets the whole memory to 0xFF.
        EraseAll,
        // READ of block 0: zeros ending in the 16-character device id.
        DeviceId,
        // READ of block 0: byte 0 is 0 once the flash is ready, 1 while an erase still runs
        // (see OrvoEmulatedFlashDevice::setBusyPolls); the other bytes are 0.
        ReadyPoll,
        // READ of block 0: zeros; the device's notice listener hears of it once the command has
        // been answered (an updater told to start, see OrvoEmulatedFlashDevice::setNoticeListener).
        Notice,
    };

    quint8 code = 0;
    Access access = Access::Read;
    // The memory the area reaches; unused for DeviceId.
    QString memory;
    // Bytes of the data phase: byte 8 of the command times 512 must equal it.
    int transferSize = 512;
    // Bytes one block number stands for; the transfer size when 0.
    int unitSize = 0;
};
