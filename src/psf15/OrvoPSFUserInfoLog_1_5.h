#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFTZone_1_5.h"

#include <memory>
#include <vector>

// The user's values at the time of a ride, little-endian:
//   0   2    not read here
//   2   u16  a plain value
//   4   u16  weight in hundredths of a kilogram (0xFFFF absent)
//   6   2    not read here
//   8   u16  height in hundredths (0xFFFF absent)
//   10  u8   bits 0-2: the bike's number; bits 4-7: the bike's type
//   11  u8   bike weight in tenths of a kilogram (0xFF absent)
//   12  u16  wheel size in tenths (0xFFFF absent)
//   14  u8   bits 3-5: number of training-zone records that follow
//   15  9    not read here
//   24  ...  training-zone records, end to end
class OrvoPSFUserInfoLog_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kFixedSize = 24;
    using Zones = std::vector<std::unique_ptr<OrvoPSFTZone_1_5>>;

    explicit OrvoPSFUserInfoLog_1_5(std::span<uchar> bytes);
    ~OrvoPSFUserInfoLog_1_5() override;

    qsizetype size() const override;
    quint16 plainValue() const;
    OrvoPSFMeasure weight() const;
    OrvoPSFMeasure height() const;
    quint8 bikeNumber() const;
    quint8 bikeType() const;
    OrvoPSFMeasure bikeWeight() const;
    OrvoPSFMeasure wheelSize() const;
    // The number of zone records the log announces.
    int zoneRecordCount() const;
    // The zone records that lie inside the log's memory.
    const Zones &zones() const;

private:
    Zones m_zones;
};
