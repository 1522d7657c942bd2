#pragma once

#include "psf14/OrvoPSFField.h"

// One 8-byte interval log of a workout log, little-endian: u32 start time and u32 end time of
// one interval of the ride (seconds since 1970, UTC).
class OrvoPSFIntervalLog : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 8;

    // bytes holds at least kSize bytes.
    explicit OrvoPSFIntervalLog(QByteArrayView bytes, QObject *parent = nullptr);

    quint32 startTime() const { return m_startTime; }
    void setStartTime(quint32 time) { m_startTime = time; }
    quint32 endTime() const { return m_endTime; }
    void setEndTime(quint32 time) { m_endTime = time; }

private:
    quint32 m_startTime = 0;
    quint32 m_endTime = 0;
};
