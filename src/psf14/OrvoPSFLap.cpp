#include "psf14/OrvoPSFLap.h"

OrvoPSFLap::OrvoPSFLap(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_startTime = reader.readU32Le();
    m_endTime = reader.readU32Le();
    m_distance = reader.readU32Le();
    m_averageSpeed = reader.readU8();
    m_maximumSpeed = reader.readU8();
    m_averageHeartRate = reader.readU8();
    m_maximumHeartRate = reader.readU8();
    m_averageCadence = reader.readU8();
    m_maximumCadence = reader.readU8();
    m_averagePower = reader.readU16Le();
    m_maximumPower = reader.readU16Le();
    m_altitudeGain = reader.readU16Le();
    m_altitudeLoss = reader.readU16Le();
    m_calories = reader.readU16Le();
    m_ridingTime = reader.readU32Le();
}
