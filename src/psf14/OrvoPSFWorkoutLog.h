#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFIntervalLog;

// A workout log, a 24-byte header followed by its interval logs, little-endian:
//   0   u32  a value
//   4   u32  a value
//   8   u32  link to the workout's next log (from the start of the workout-log data area)
//   12  u32  the ride it belongs to: the byte offset of its route in the route area
//   16  u16  number of interval logs (absent counts as 0)
//   18  6    not read
//   24  ...  8-byte interval logs
class OrvoPSFWorkoutLog : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kHeaderSize = 24;

    // bytes: from the log to the end of the memory it may use (at least kHeaderSize bytes);
    // only the interval logs that lie inside it load.
    explicit OrvoPSFWorkoutLog(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFWorkoutLog() override;

    // The bytes the loaded log covers.
    qsizetype loadedSize() const;

    quint32 value0() const { return m_value0; }
    void setValue0(quint32 value) { m_value0 = value; }
    quint32 value4() const { return m_value4; }
    void setValue4(quint32 value) { m_value4 = value; }
    quint32 nextWorkoutLog() const { return m_nextWorkoutLog; }
    void setNextWorkoutLog(quint32 link) { m_nextWorkoutLog = link; }
    quint32 rideOffset() const { return m_rideOffset; }
    void setRideOffset(quint32 offset) { m_rideOffset = offset; }
    quint16 intervalLogCount() const { return m_intervalLogCount; }
    const QVector<QPointer<OrvoPSFIntervalLog>> &intervalLogs() const { return m_intervalLogs; }

private:
    void loadIntervalLogs(QByteArrayView bytes);

    quint32 m_value0 = 0;
    quint32 m_value4 = 0;
    quint32 m_nextWorkoutLog = kOrvoPsfNone;
    quint32 m_rideOffset = kOrvoPsfNone;
    quint16 m_intervalLogCount = 0;
    QVector<QPointer<OrvoPSFIntervalLog>> m_intervalLogs;
};
