#include "psf15/OrvoPSFTZone_1_5.h"

namespace {

constexpr qsizetype kTypeOffset = 0;
constexpr qsizetype kValueOffset = 2;

} // namespace

OrvoPSFTZone_1_5::OrvoPSFTZone_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{}

qsizetype OrvoPSFTZone_1_5::size() const
{
    return kHeaderSize + zoneCount() * kZoneSize;
}

quint8 OrvoPSFTZone_1_5::zoneType() const
{
    return bits(kTypeOffset, 0, 4);
}

int OrvoPSFTZone_1_5::zoneCount() const
{
    return bits(kTypeOffset, 4, 4);
}

quint16 OrvoPSFTZone_1_5::value() const
{
    return u16(kValueOffset);
}

quint16 OrvoPSFTZone_1_5::zoneLow(int i) const
{
    return i >= 0 && i < zoneCount() ? u16(kHeaderSize + i * kZoneSize) : 0xFFFF;
}

quint16 OrvoPSFTZone_1_5::zoneHigh(int i) const
{
    return i >= 0 && i < zoneCount() ? u16(kHeaderSize + i * kZoneSize + 2) : 0xFFFF;
}
