#include "psf15/OrvoPSFWorkoutLog_1_5.h"

#include <algorithm>

namespace {

constexpr qsizetype kNextOffset = 8;
constexpr qsizetype kRouteOffset = 12;
constexpr qsizetype kCountOffset = 16;

} // namespace

OrvoPSFWorkoutLog_1_5::OrvoPSFWorkoutLog_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{}

qsizetype OrvoPSFWorkoutLog_1_5::size() const
{
    return kFixedSize + entryCount() * kEntrySize;
}

qint64 OrvoPSFWorkoutLog_1_5::nextLog() const
{
    return link(kNextOffset);
}

qint64 OrvoPSFWorkoutLog_1_5::routeOffset() const
{
    return link(kRouteOffset);
}

bool OrvoPSFWorkoutLog_1_5::setRouteOffset(qint64 offset)
{
    return setLink(kRouteOffset, offset);
}

int OrvoPSFWorkoutLog_1_5::entryCount() const
{
    const quint16 stored = u16(kCountOffset);
    const qsizetype fits = std::max<qsizetype>(available() - kFixedSize, 0) / kEntrySize;
    return int(std::min<qsizetype>(stored == 0xFFFF ? 0 : stored, fits));
}

QByteArray OrvoPSFWorkoutLog_1_5::entry(int i) const
{
    if (i < 0 || i >= entryCount())
        return {};
    return bytesAt(kFixedSize + i * kEntrySize, kEntrySize);
}
