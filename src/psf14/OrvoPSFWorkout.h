#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFInterval;
class OrvoPSFLinkedArea;
class OrvoPSFWorkoutLog;
class OrvoPSFWorkoutLogFrame;

// A workout, 152 bytes, little-endian:
//   0    u32  time (seconds since 1970, UTC; 0xFFFFFFFF when not set)
//   4    128  name bytes (text or a bit-font image), NUL-padded
//   132  u32  workout id
//   136  u32  link to the first interval (from the start of the interval area)
//   140  u32  link to the first workout log (from the start of the workout-log data area)
//   144  u8   bits 0-3 activity type, bit 4 daily, bit 5 name is a bit-font image,
//             bit 6 workoutFlag6 (exported)
//   145  u8   bits 0-4 repeat count, bits 5-7 workout type
//   146  2    not read
//   148  u32  a value
class OrvoPSFWorkout : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 152;
    static constexpr qsizetype kNameSize = 128;

    explicit OrvoPSFWorkout(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFWorkout(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFWorkout() override;

    // The chain of intervals from firstInterval in the interval area.
    void loadIntervals(OrvoPSFLinkedArea &intervalArea);
    // The chain of workout logs from firstWorkoutLog in the workout-log data area.
    void loadWorkoutLogs(OrvoPSFWorkoutLogFrame *workoutLogFrame);

    quint32 workoutTime() const { return m_time; }
    void setWorkoutTime(quint32 time) { m_time = time; }
    const QByteArray &name() const { return m_name; }
    void setName(const QByteArray &name) { m_name = name; }
    quint32 workoutId() const { return m_id; }
    void setWorkoutId(quint32 id) { m_id = id; }
    quint32 firstInterval() const { return m_firstInterval; }
    void setFirstInterval(quint32 link) { m_firstInterval = link; }
    quint32 firstWorkoutLog() const { return m_firstWorkoutLog; }
    void setFirstWorkoutLog(quint32 link) { m_firstWorkoutLog = link; }
    quint8 activityType() const { return m_activityType; }
    void setActivityType(quint8 type) { m_activityType = type & 0x0F; }
    bool daily() const { return m_daily; }
    void setDaily(bool flag) { m_daily = flag; }
    bool nameIsBitfont() const { return m_nameIsBitfont; }
    void setNameIsBitfont(bool flag) { m_nameIsBitfont = flag; }
    bool workoutFlag6() const { return m_flag6; }
    void setWorkoutFlag6(bool flag) { m_flag6 = flag; }
    quint8 repeatCount() const { return m_repeatCount; }
    void setRepeatCount(quint8 count) { m_repeatCount = count & 0x1F; }
    quint8 workoutType() const { return m_workoutType; }
    void setWorkoutType(quint8 type) { m_workoutType = type & 0x07; }
    quint32 value148() const { return m_value148; }
    void setValue148(quint32 value) { m_value148 = value; }

    QVector<QPointer<OrvoPSFInterval>> &intervals() { return m_intervals; }
    const QVector<QPointer<OrvoPSFInterval>> &intervals() const { return m_intervals; }
    const QVector<QPointer<OrvoPSFWorkoutLog>> &workoutLogs() const { return m_workoutLogs; }

private:
    quint32 m_time = kOrvoPsfNone;
    QByteArray m_name;
    quint32 m_id = 0;
    quint32 m_firstInterval = kOrvoPsfNone;
    quint32 m_firstWorkoutLog = kOrvoPsfNone;
    quint8 m_activityType = 0;
    bool m_daily = false;
    bool m_nameIsBitfont = false;
    bool m_flag6 = false;
    quint8 m_repeatCount = 0;
    quint8 m_workoutType = 0;
    quint32 m_value148 = kOrvoPsfNone;
    QVector<QPointer<OrvoPSFInterval>> m_intervals;
    QVector<QPointer<OrvoPSFWorkoutLog>> m_workoutLogs;
};
