#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFSensorLog_1_5.h"

// One sample of a sensor log: the channels of the log's mask at the offsets the log computed,
// each decoded as the cursor decodes it. The view covers the sample's stride bytes only; a
// channel the log does not hold, or a sample outside the log, reads as the default measure.
// The log must outlive the view.
class OrvoPSFSensorLogPoint_1_5 : public OrvoPSFObject
{
public:
    OrvoPSFSensorLogPoint_1_5(const OrvoPSFSensorLog_1_5 &log, int index);

    // The log's stride.
    qsizetype size() const override;
    const OrvoPSFSensorLog_1_5 &log() const;
    bool hasChannel(OrvoPSFSensorLog_1_5::Channel channel) const;

    OrvoPSFMeasure speed() const;             // km/h
    OrvoPSFMeasure byteChannelA() const;      // cadence as stored
    OrvoPSFMeasure scaledByteChannel() const; // cadence × 60 / 64
    OrvoPSFMeasure byteChannelB() const;      // heart rate
    OrvoPSFMeasure wordChannel() const;
    OrvoPSFMeasure temperature() const; // °C
    OrvoPSFMeasure doubledWordChannel() const;

private:
    OrvoPSFMeasure readByte(OrvoPSFSensorLog_1_5::Channel channel, OrvoPSFMeasure (*decode)(quint8)) const;
    OrvoPSFMeasure readWord(OrvoPSFSensorLog_1_5::Channel channel, OrvoPSFMeasure (*decode)(quint16)) const;

    const OrvoPSFSensorLog_1_5 &m_log;
};
