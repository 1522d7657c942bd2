#pragma once

#include "psf14/OrvoPSFField.h"

// One 32-byte record of the lap table, little-endian:
//   0   u32  start time (seconds since 1970, UTC)
//   4   u32  end time
//   8   u32  distance
//   12  u8   average speed         13  u8   maximum speed
//   14  u8   average heart rate    15  u8   maximum heart rate
//   16  u8   average cadence       17  u8   maximum cadence
//   18  u16  average power         20  u16  maximum power
//   22  u16  altitude gain         24  u16  altitude loss
//   26  u16  calories
//   28  u32  riding time
class OrvoPSFLap : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 32;

    // bytes holds at least kSize bytes.
    explicit OrvoPSFLap(QByteArrayView bytes, QObject *parent = nullptr);

    quint32 lapStartTime() const { return m_startTime; }
    void setLapStartTime(quint32 time) { m_startTime = time; }
    quint32 endTime() const { return m_endTime; }
    void setEndTime(quint32 time) { m_endTime = time; }
    quint32 distance() const { return m_distance; }
    void setDistance(quint32 distance) { m_distance = distance; }
    quint8 averageSpeed() const { return m_averageSpeed; }
    void setAverageSpeed(quint8 value) { m_averageSpeed = value; }
    quint8 maximumSpeed() const { return m_maximumSpeed; }
    void setMaximumSpeed(quint8 value) { m_maximumSpeed = value; }
    quint8 averageHeartRate() const { return m_averageHeartRate; }
    void setAverageHeartRate(quint8 value) { m_averageHeartRate = value; }
    quint8 maximumHeartRate() const { return m_maximumHeartRate; }
    void setMaximumHeartRate(quint8 value) { m_maximumHeartRate = value; }
    quint8 averageCadence() const { return m_averageCadence; }
    void setAverageCadence(quint8 value) { m_averageCadence = value; }
    quint8 maximumCadence() const { return m_maximumCadence; }
    void setMaximumCadence(quint8 value) { m_maximumCadence = value; }
    quint16 averagePower() const { return m_averagePower; }
    void setAveragePower(quint16 value) { m_averagePower = value; }
    quint16 maximumPower() const { return m_maximumPower; }
    void setMaximumPower(quint16 value) { m_maximumPower = value; }
    quint16 altitudeGain() const { return m_altitudeGain; }
    void setAltitudeGain(quint16 value) { m_altitudeGain = value; }
    quint16 altitudeLoss() const { return m_altitudeLoss; }
    void setAltitudeLoss(quint16 value) { m_altitudeLoss = value; }
    quint16 calories() const { return m_calories; }
    void setCalories(quint16 value) { m_calories = value; }
    quint32 ridingTime() const { return m_ridingTime; }
    void setRidingTime(quint32 value) { m_ridingTime = value; }

private:
    quint32 m_startTime = 0;
    quint32 m_endTime = 0;
    quint32 m_distance = 0;
    quint8 m_averageSpeed = 0;
    quint8 m_maximumSpeed = 0;
    quint8 m_averageHeartRate = 0;
    quint8 m_maximumHeartRate = 0;
    quint8 m_averageCadence = 0;
    quint8 m_maximumCadence = 0;
    quint16 m_averagePower = 0;
    quint16 m_maximumPower = 0;
    quint16 m_altitudeGain = 0;
    quint16 m_altitudeLoss = 0;
    quint16 m_calories = 0;
    quint32 m_ridingTime = 0;
};
