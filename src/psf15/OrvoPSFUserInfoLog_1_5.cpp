#include "psf15/OrvoPSFUserInfoLog_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

constexpr qsizetype kPlainOffset = 2;
constexpr qsizetype kWeightOffset = 4;
constexpr qsizetype kHeightOffset = 8;
constexpr qsizetype kBikeOffset = 10;
constexpr qsizetype kBikeWeightOffset = 11;
constexpr qsizetype kWheelOffset = 12;
constexpr qsizetype kZoneCountOffset = 14;

} // namespace

OrvoPSFUserInfoLog_1_5::OrvoPSFUserInfoLog_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{
    qsizetype offset = kFixedSize;
    for (int i = 0; i < zoneRecordCount(); ++i) {
        auto zone = std::make_unique<OrvoPSFTZone_1_5>(spanFrom(offset));
        if (!contains(offset, OrvoPSFTZone_1_5::kHeaderSize) || !contains(offset, zone->size())) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFUserInfoLog_1_5")
                << "zone record" << i << "at offset" << offset << "runs past the log's" << available() << "bytes";
            break;
        }
        offset += zone->size();
        m_zones.push_back(std::move(zone));
    }
}

OrvoPSFUserInfoLog_1_5::~OrvoPSFUserInfoLog_1_5() = default;

qsizetype OrvoPSFUserInfoLog_1_5::size() const
{
    qsizetype total = kFixedSize;
    for (const auto &zone : m_zones)
        total += zone->size();
    return total;
}

quint16 OrvoPSFUserInfoLog_1_5::plainValue() const
{
    return u16(kPlainOffset);
}

OrvoPSFMeasure OrvoPSFUserInfoLog_1_5::weight() const
{
    return OrvoPSFMeasure::fromHundredthsWord(u16(kWeightOffset));
}

OrvoPSFMeasure OrvoPSFUserInfoLog_1_5::height() const
{
    return OrvoPSFMeasure::fromHundredthsWord(u16(kHeightOffset));
}

quint8 OrvoPSFUserInfoLog_1_5::bikeNumber() const
{
    return bits(kBikeOffset, 0, 3);
}

quint8 OrvoPSFUserInfoLog_1_5::bikeType() const
{
    return bits(kBikeOffset, 4, 4);
}

OrvoPSFMeasure OrvoPSFUserInfoLog_1_5::bikeWeight() const
{
    return OrvoPSFMeasure::fromTenthsByte(u8(kBikeWeightOffset));
}

OrvoPSFMeasure OrvoPSFUserInfoLog_1_5::wheelSize() const
{
    return OrvoPSFMeasure::fromTenthsWord(u16(kWheelOffset));
}

int OrvoPSFUserInfoLog_1_5::zoneRecordCount() const
{
    return bits(kZoneCountOffset, 3, 3);
}

const OrvoPSFUserInfoLog_1_5::Zones &OrvoPSFUserInfoLog_1_5::zones() const
{
    return m_zones;
}
