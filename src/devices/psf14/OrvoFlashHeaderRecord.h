#pragma once

#include <QByteArray>
#include <QtGlobal>

// The header record of a PSF 1.4 flash: how full each of the eight data regions is. The
// device keeps a journal of these records in 256-byte steps from the start of the flash; a
// step whose first two bytes are 0xFF 0xFF is free, and the step before the first free one
// holds the current record.
//
// Record layout, little-endian:
//   0    2   magic 0xAA55
//   2    64  0xFF
//   66   2   region 1 free count (u16)
//   68   8   further region 1 fields (the container's)
//   76   12  region 2: free count, start address, end address (u32 each)
//   88   12  region 3, 100 region 4, 112 region 5, 124 region 6, 136 region 7, 148 region 8
//   160  44  the container's layout record
//   204  4   sum of the eight free counts (u32)
//   208  4   checksum: the byte sum of offsets 66-207, its low 16 bits in the upper half
class OrvoFlashHeaderRecord
{
public:
    static constexpr qsizetype kSize = 212;
    static constexpr qsizetype kJournalStep = 256;
    static constexpr quint16 kMagic = 0xAA55;
    static constexpr int kRegions = 8;

    struct Region
    {
        quint32 free = 0;
        quint32 start = 0;
        quint32 end = 0;
    };

    OrvoFlashHeaderRecord() = delete;

    // The current record of a journal area: length bytes of the step before the first free
    // one, or of the last step when the first step is free; all zeros when no step is free or
    // the area is too short to hold one.
    static QByteArray current(const QByteArray &area, qsizetype length);
    // Region r (2 to 8) of the record; false when r is out of range or the record too short.
    static bool region(const QByteArray &record, int r, Region &out);
    // Writes region r (2 to 8) into the record; false (and nothing written) when r is out of
    // range or the record too short.
    static bool setRegion(QByteArray &record, int r, const Region &region);
    // The free counts of the eight regions added up; 0 for a record too short to hold them.
    static quint64 freeSum(const QByteArray &record);
    // The byte sum of offsets 66 to 207, modulo 65536, moved into the upper half.
    static quint32 checksum(const QByteArray &record);
    // Writes the magic, the 0xFF run, the free-count sum and the checksum; false (and nothing
    // written) when the record is not kSize bytes.
    static bool seal(QByteArray &record);
};
