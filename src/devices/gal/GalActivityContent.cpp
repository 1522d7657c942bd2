#include "devices/gal/GalActivityContent.h"

#include "env/OrvoByteReader.h"

#include <algorithm>

namespace {

constexpr quint8 kNoNameFlag = 0x02;
constexpr quint8 kUploadedFlag = 0x10;
constexpr quint8 kTypeMask = 0x0F;
constexpr qsizetype kFlagsOffset = 4;
constexpr qsizetype kNameLengthOffset = 62;

} // namespace

bool GalActivityContent::hasName() const
{
    return (flags & kNoNameFlag) == 0;
}

bool GalActivityContent::uploaded() const
{
    return (flags & kUploadedFlag) != 0;
}

bool parseGalActivityContent(OrvoByteReader &reader, GalActivityContent &content)
{
    const qsizetype start = reader.offset();
    if (!reader.canRead(GalActivityContent::kSize))
        return false;
    GalActivityContent read;
    reader.seek(start + kFlagsOffset);
    read.flags = reader.readU8();
    read.activityType = reader.readU8() & kTypeMask;
    reader.seek(start + kNameLengthOffset);
    read.storedNameLength = reader.readU16Le();
    reader.seek(start + GalActivityContent::kNameOffset);
    const QByteArray nameBytes = reader.readBytes(GalActivityContent::kNameCapacity);
    if (!reader.ok())
        return false;
    if (read.hasName())
        read.name = nameBytes.left(std::min<qsizetype>(read.storedNameLength, GalActivityContent::kNameCapacity));
    content = read;
    return true;
}
