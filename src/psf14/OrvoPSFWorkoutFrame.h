#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"
#include "psf14/OrvoPSFLinkedArea.h"

#include <QPointer>
#include <QVector>

class OrvoPSFWorkout;
class OrvoPSFWorkoutLogFrame;

// The workout section. Its header, little-endian:
//   0   u32  offset of the first workout from the section start
//   4   u32  offset of the interval area from the section start
//   8   u16  number of workouts; loading reads only its low byte, where 0 and 0xFF mean none
// The workouts are consecutive 152-byte records; each loads its intervals from the interval
// area and its logs from the workout-log frame. Only the workouts inside the image and the
// area load.
class OrvoPSFWorkoutFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kHeaderSize = 10;

    // bytes: from the section start to the end of the image; capacity: the workouts the workout
    // area holds, which no stored count can exceed.
    OrvoPSFWorkoutFrame(QByteArrayView bytes, qsizetype capacity, OrvoPSFWorkoutLogFrame *workoutLogFrame,
                        QObject *parent = nullptr);
    ~OrvoPSFWorkoutFrame() override;

    quint32 workoutDataOffset() const { return m_workoutDataOffset; }
    void setWorkoutDataOffset(quint32 offset) { m_workoutDataOffset = offset; }
    quint32 intervalAreaOffset() const { return m_intervalAreaOffset; }
    void setIntervalAreaOffset(quint32 offset) { m_intervalAreaOffset = offset; }
    quint16 workoutCount() const { return m_workoutCount; }
    void setWorkoutCount(quint16 count) { m_workoutCount = count; }
    // The count as loading uses it: the low byte, 0 for 0xFF.
    quint8 effectiveWorkoutCount() const;

    QVector<QPointer<OrvoPSFWorkout>> &workouts() { return m_workouts; }
    const QVector<QPointer<OrvoPSFWorkout>> &workouts() const { return m_workouts; }
    // The interval area, from its offset to the end of the image.
    const OrvoPSFLinkedArea &intervalArea() const { return m_intervalArea; }

private:
    void loadWorkouts(QByteArrayView bytes, qsizetype capacity, OrvoPSFWorkoutLogFrame *workoutLogFrame);

    quint32 m_workoutDataOffset = kOrvoPsfNone;
    quint32 m_intervalAreaOffset = kOrvoPsfNone;
    quint16 m_workoutCount = 0xFFFF;
    OrvoPSFLinkedArea m_intervalArea;
    QVector<QPointer<OrvoPSFWorkout>> m_workouts;
};
