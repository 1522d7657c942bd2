#include "psf15/OrvoPSFLap_1_5.h"

namespace {

constexpr qsizetype kStartOffset = 0;
constexpr qsizetype kEndOffset = 4;
constexpr qsizetype kDistanceOffset = 8;
constexpr qsizetype kAverageSpeedOffset = 12;
constexpr qsizetype kMaximumSpeedOffset = 13;
constexpr qsizetype kAverageHeartRateOffset = 14;
constexpr qsizetype kMaximumHeartRateOffset = 15;
constexpr qsizetype kAverageCadenceOffset = 16;
constexpr qsizetype kMaximumCadenceOffset = 17;
constexpr qsizetype kAveragePowerOffset = 18;
constexpr qsizetype kMaximumPowerOffset = 20;
constexpr qsizetype kGainOffset = 22;
constexpr qsizetype kLossOffset = 24;
constexpr qsizetype kCaloriesOffset = 26;
constexpr qsizetype kRidingTimeOffset = 28;

} // namespace

OrvoPSFLap_1_5::OrvoPSFLap_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{}

qsizetype OrvoPSFLap_1_5::size() const
{
    return kSize;
}

quint32 OrvoPSFLap_1_5::startTime() const
{
    return u32(kStartOffset);
}

quint32 OrvoPSFLap_1_5::endTime() const
{
    return u32(kEndOffset);
}

quint32 OrvoPSFLap_1_5::distance() const
{
    return u32(kDistanceOffset);
}

OrvoPSFMeasure OrvoPSFLap_1_5::averageSpeed() const
{
    return OrvoPSFMeasure::fromSpeedByte(u8(kAverageSpeedOffset));
}

OrvoPSFMeasure OrvoPSFLap_1_5::maximumSpeed() const
{
    return OrvoPSFMeasure::fromSpeedByte(u8(kMaximumSpeedOffset));
}

OrvoPSFMeasure OrvoPSFLap_1_5::averageHeartRate() const
{
    return OrvoPSFMeasure::fromByte(u8(kAverageHeartRateOffset));
}

OrvoPSFMeasure OrvoPSFLap_1_5::maximumHeartRate() const
{
    return OrvoPSFMeasure::fromByte(u8(kMaximumHeartRateOffset));
}

OrvoPSFMeasure OrvoPSFLap_1_5::averageCadence(bool scaled) const
{
    const quint8 raw = u8(kAverageCadenceOffset);
    return scaled ? OrvoPSFMeasure::fromScaledByte(raw) : OrvoPSFMeasure::fromByte(raw);
}

OrvoPSFMeasure OrvoPSFLap_1_5::maximumCadence(bool scaled) const
{
    const quint8 raw = u8(kMaximumCadenceOffset);
    return scaled ? OrvoPSFMeasure::fromScaledByte(raw) : OrvoPSFMeasure::fromByte(raw);
}

OrvoPSFMeasure OrvoPSFLap_1_5::averagePower() const
{
    return OrvoPSFMeasure::fromWord(u16(kAveragePowerOffset));
}

OrvoPSFMeasure OrvoPSFLap_1_5::maximumPower() const
{
    return OrvoPSFMeasure::fromWord(u16(kMaximumPowerOffset));
}

quint16 OrvoPSFLap_1_5::altitudeGain() const
{
    return u16(kGainOffset);
}

quint16 OrvoPSFLap_1_5::altitudeLoss() const
{
    return u16(kLossOffset);
}

quint16 OrvoPSFLap_1_5::calories() const
{
    return u16(kCaloriesOffset);
}

quint32 OrvoPSFLap_1_5::ridingTime() const
{
    return u32(kRidingTimeOffset);
}
