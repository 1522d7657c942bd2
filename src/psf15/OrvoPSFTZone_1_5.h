#pragma once

#include "psf/OrvoPSFObject.h"

// One training-zone record of a user-info log, little-endian:
//   0       u8   bits 0-3: zone type; bits 4-7: zone count n
//   1       u8   not read here
//   2       u16  the value of the zone type (a maximum or threshold)
//   4 + 4i  u16  low bound of zone i
//   6 + 4i  u16  high bound of zone i
class OrvoPSFTZone_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kHeaderSize = 4;
    static constexpr qsizetype kZoneSize = 4;

    explicit OrvoPSFTZone_1_5(std::span<uchar> bytes);

    qsizetype size() const override;
    quint8 zoneType() const;
    int zoneCount() const;
    quint16 value() const;
    // The bounds of zone i; 0xFFFF outside the zones.
    quint16 zoneLow(int i) const;
    quint16 zoneHigh(int i) const;
};
