#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "psf15/OrvoPSFSensorLog_1_5.h"

// Walks the samples of a sensor log. Before the first next() and past the last sample every
// reader gives the default measure, as does a reader whose channel the log does not hold.
class OrvoPSFSensorLogCursor
{
public:
    explicit OrvoPSFSensorLogCursor(const OrvoPSFSensorLog_1_5 &log);

    // Moves to the next sample; false past the last one.
    bool next();
    int index() const;
    // The current sample's first byte; null outside the samples.
    const uchar *address() const;

    OrvoPSFMeasure speed() const;             // km/h
    OrvoPSFMeasure byteChannelA() const;      // cadence as stored
    OrvoPSFMeasure scaledByteChannel() const; // cadence × 60 / 64
    OrvoPSFMeasure byteChannelB() const;      // heart rate
    OrvoPSFMeasure wordChannel() const;
    OrvoPSFMeasure temperature() const; // °C
    OrvoPSFMeasure doubledWordChannel() const;

private:
    const uchar *channel(OrvoPSFSensorLog_1_5::Channel channel) const;
    OrvoPSFMeasure readByte(OrvoPSFSensorLog_1_5::Channel channel, OrvoPSFMeasure (*decode)(quint8)) const;
    OrvoPSFMeasure readWord(OrvoPSFSensorLog_1_5::Channel channel, OrvoPSFMeasure (*decode)(quint16)) const;

    const OrvoPSFSensorLog_1_5 &m_log;
    int m_index = -1;
};
