#include "psf14/OrvoPSFWorkoutFrame.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf14/OrvoPSFWorkout.h"

#include <algorithm>

namespace {

constexpr quint8 kAbsentCount = 0xFF;

} // namespace

OrvoPSFWorkoutFrame::OrvoPSFWorkoutFrame(QByteArrayView bytes, qsizetype capacity,
                                         OrvoPSFWorkoutLogFrame *workoutLogFrame, QObject *parent)
    : OrvoPSFField(parent)
{
    if (bytes.size() < kHeaderSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame::OrvoPSFWorkoutFrame")
            << "no workout header: the section holds" << bytes.size() << "bytes," << kHeaderSize << "expected";
        return;
    }
    OrvoByteReader reader = readerOf(bytes);
    m_workoutDataOffset = reader.readU32Le();
    m_intervalAreaOffset = reader.readU32Le();
    m_workoutCount = reader.readU16Le();
    m_intervalArea = OrvoPSFLinkedArea(bytesFrom(bytes, m_intervalAreaOffset).toByteArray());
    loadWorkouts(bytes, capacity, workoutLogFrame);
}

OrvoPSFWorkoutFrame::~OrvoPSFWorkoutFrame() = default;

quint8 OrvoPSFWorkoutFrame::effectiveWorkoutCount() const
{
    const quint8 low = quint8(m_workoutCount & 0xFF);
    return low == kAbsentCount ? 0 : low;
}

void OrvoPSFWorkoutFrame::loadWorkouts(QByteArrayView bytes, qsizetype capacity,
                                       OrvoPSFWorkoutLogFrame *workoutLogFrame)
{
    const qsizetype stored = effectiveWorkoutCount();
    const qsizetype loaded = recordsToLoad(stored, bytes.size(), m_workoutDataOffset, OrvoPSFWorkout::kSize, capacity,
                                           "OrvoPSFWorkoutFrame::loadWorkouts", "workouts");
    if (loaded < stored)
        m_workoutCount = quint16(loaded);
    for (qsizetype i = 0; i < loaded; ++i) {
        const QByteArrayView record =
            bytes.sliced(m_workoutDataOffset + i * OrvoPSFWorkout::kSize, OrvoPSFWorkout::kSize);
        auto *workout = new OrvoPSFWorkout(record, this);
        workout->loadIntervals(m_intervalArea);
        workout->loadWorkoutLogs(workoutLogFrame);
        m_workouts.append(workout);
    }
}
