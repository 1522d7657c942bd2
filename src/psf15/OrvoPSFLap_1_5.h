#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "psf/OrvoPSFObject.h"

// One lap of a recorded ride (the summary lap has the same layout), 56 bytes, little-endian:
//   0   u32  start time, 4 u32 end time (UTC seconds)
//   8   u32  distance (m)
//   12  u8   average speed, 13 u8 maximum speed (1/8 m/s; 0xFF absent)
//   14  u8   average heart rate, 15 u8 maximum heart rate (0xFF absent)
//   16  u8   average cadence, 17 u8 maximum cadence (0xFF absent)
//   18  u16  average power, 20 u16 maximum power (0xFFFF absent)
//   22  u16  altitude gain, 24 u16 altitude loss
//   26  u16  calories
//   28  u32  riding time
//   32  24   not read here
class OrvoPSFLap_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kSize = 56;

    explicit OrvoPSFLap_1_5(std::span<uchar> bytes);

    qsizetype size() const override;
    quint32 startTime() const;
    quint32 endTime() const;
    quint32 distance() const;
    OrvoPSFMeasure averageSpeed() const;
    OrvoPSFMeasure maximumSpeed() const;
    OrvoPSFMeasure averageHeartRate() const;
    OrvoPSFMeasure maximumHeartRate() const;
    // Cadence as stored, or scaled by 60 / 64.
    OrvoPSFMeasure averageCadence(bool scaled) const;
    OrvoPSFMeasure maximumCadence(bool scaled) const;
    OrvoPSFMeasure averagePower() const;
    OrvoPSFMeasure maximumPower() const;
    quint16 altitudeGain() const;
    quint16 altitudeLoss() const;
    quint16 calories() const;
    quint32 ridingTime() const;
};
