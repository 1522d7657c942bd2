#include "devices/psf14/OrvoFlashHeaderRecord.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"

namespace {

constexpr qsizetype kFillSize = 64;
constexpr qsizetype kFirstFreeOffset = 66;
constexpr qsizetype kRegionTable = 76;
constexpr qsizetype kRegionRecordSize = 12;
constexpr qsizetype kFreeSumOffset = 204;
constexpr qsizetype kChecksumOffset = 208;
constexpr quint16 kFreeStep = 0xFFFF;

} // namespace

QByteArray OrvoFlashHeaderRecord::current(const QByteArray &area, qsizetype length)
{
    QByteArray record(length, '\0');
    const qsizetype steps = area.size() / kJournalStep;
    if (length <= 0 || length > kJournalStep || steps == 0)
        return record;
    for (qsizetype step = 0; step < steps; ++step) {
        OrvoByteReader reader(area, step * kJournalStep);
        if (reader.readU16Le() != kFreeStep)
            continue;
        const qsizetype from = (step == 0 ? steps - 1 : step - 1) * kJournalStep;
        return area.mid(from, length);
    }
    return record;
}

bool OrvoFlashHeaderRecord::region(const QByteArray &record, int r, Region &out)
{
    if (r < 2 || r > kRegions)
        return false;
    OrvoByteReader reader(record, kRegionTable + (r - 2) * kRegionRecordSize);
    Region read;
    read.free = reader.readU32Le();
    read.start = reader.readU32Le();
    read.end = reader.readU32Le();
    if (!reader.ok())
        return false;
    out = read;
    return true;
}

bool OrvoFlashHeaderRecord::setRegion(QByteArray &record, int r, const Region &region)
{
    const qsizetype offset = kRegionTable + (r - 2) * kRegionRecordSize;
    if (r < 2 || r > kRegions || offset + kRegionRecordSize > record.size())
        return false;
    OrvoByteWriter writer = OrvoByteWriter::patch(record, offset);
    writer.writeU32Le(region.free);
    writer.writeU32Le(region.start);
    writer.writeU32Le(region.end);
    return writer.ok();
}

quint64 OrvoFlashHeaderRecord::freeSum(const QByteArray &record)
{
    OrvoByteReader reader(record, kFirstFreeOffset);
    quint64 sum = reader.readU16Le();
    for (int r = 2; r <= kRegions; ++r) {
        Region region;
        if (!OrvoFlashHeaderRecord::region(record, r, region))
            return 0;
        sum += region.free;
    }
    return reader.ok() ? sum : 0;
}

quint32 OrvoFlashHeaderRecord::checksum(const QByteArray &record)
{
    OrvoByteReader reader(record, kFirstFreeOffset);
    quint32 sum = 0;
    for (qsizetype i = kFirstFreeOffset; i < kChecksumOffset; ++i)
        sum += reader.readU8();
    return (sum & 0xFFFF) << 16;
}

bool OrvoFlashHeaderRecord::seal(QByteArray &record)
{
    if (record.size() != kSize)
        return false;
    OrvoByteWriter writer = OrvoByteWriter::patch(record, 0);
    writer.writeU16Le(kMagic);
    writer.fill('\xFF', kFillSize);
    // The device adds the free counts as it stores them: region 1's 16 bits, the others' 32.
    writer.seek(kFreeSumOffset);
    writer.writeU32Le(quint32(freeSum(record)));
    writer.writeU32Le(checksum(record));
    return writer.ok();
}
