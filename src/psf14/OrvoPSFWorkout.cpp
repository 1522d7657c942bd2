#include "psf14/OrvoPSFWorkout.h"

#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFLinkedArea.h"
#include "psf14/OrvoPSFWorkoutLog.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"

OrvoPSFWorkout::OrvoPSFWorkout(QObject *parent)
    : OrvoPSFField(parent)
{}

OrvoPSFWorkout::OrvoPSFWorkout(QByteArrayView bytes, QObject *parent)
    : OrvoPSFWorkout(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_time = reader.readU32Le();
    m_name = reader.readBytes(kNameSize);
    m_id = reader.readU32Le();
    m_firstInterval = reader.readU32Le();
    m_firstWorkoutLog = reader.readU32Le();
    const quint8 kind = reader.readU8();
    m_activityType = kind & 0x0F;
    m_daily = kind & 0x10;
    m_nameIsBitfont = kind & 0x20;
    m_flag6 = kind & 0x40;
    const quint8 repeat = reader.readU8();
    m_repeatCount = repeat & 0x1F;
    m_workoutType = repeat >> 5;
    reader.skip(2);
    m_value148 = reader.readU32Le();
}

OrvoPSFWorkout::~OrvoPSFWorkout() = default;

void OrvoPSFWorkout::loadIntervals(OrvoPSFLinkedArea &intervalArea)
{
    m_intervals = intervalArea.loadChain(
        m_firstInterval, true, OrvoPSFInterval::kSize,
        [this](QByteArrayView bytes) { return new OrvoPSFInterval(bytes, this); }, &OrvoPSFInterval::nextInterval);
}

void OrvoPSFWorkout::loadWorkoutLogs(OrvoPSFWorkoutLogFrame *workoutLogFrame)
{
    if (!workoutLogFrame)
        return;
    m_workoutLogs = workoutLogFrame->dataArea().loadChain(
        m_firstWorkoutLog, true, OrvoPSFWorkoutLog::kHeaderSize,
        [this](QByteArrayView bytes) { return new OrvoPSFWorkoutLog(bytes, this); },
        &OrvoPSFWorkoutLog::nextWorkoutLog);
}
