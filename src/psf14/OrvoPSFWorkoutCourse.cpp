#include "psf14/OrvoPSFWorkoutCourse.h"

#include "env/OrvoTimeText.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFNameField.h"
#include "psf14/OrvoPSFValues.h"
#include "psf14/OrvoPSFWorkout.h"

namespace {

ZKTrncrsInterval courseInterval(const OrvoPSFInterval &interval, const QVector<const OrvoPSFInterval *> &siblings)
{
    ZKTrncrsInterval course;
    course.name = stepTypeName(interval.stepType());
    const qsizetype target = siblings.indexOf(interval.repeatTargetInterval());
    if (target >= 0) {
        course.gotoText = QString::number(target + 1);
        course.gotoRepeat = QString::number(interval.repeatCount());
    }
    ZKTrncrsTarget goal;
    goal.type = QString::number(interval.targetType());
    goal.low = QString::number(interval.targetLow());
    goal.high = QString::number(interval.targetHigh());
    course.target = goal;
    ZKTrncrsDuration duration;
    duration.type = QString::number(interval.durationType());
    duration.value = QString::number(interval.durationValue());
    course.duration = duration;
    return course;
}

} // namespace

ZKTrncrsWorkout OrvoPSFWorkoutCourse::convert(const OrvoPSFWorkout &workout)
{
    ZKTrncrsWorkout course;
    course.name = OrvoPSFNameField::exportText(workout.name(), workout.nameIsBitfont());
    course.id = QString::number(workout.workoutId());
    course.acttype = QString::number(workout.activityType());
    course.daily = QString::number(workout.daily() ? 1 : 0);
    course.repeat = QString::number(workout.repeatCount());
    course.type = QString::number(workout.workoutType());
    course.time = timeText(workout);
    QVector<const OrvoPSFInterval *> intervals;
    for (const OrvoPSFInterval *interval : workout.intervals()) {
        if (interval)
            intervals.append(interval);
    }
    for (qsizetype k = 0; k < intervals.size(); ++k) {
        ZKTrncrsInterval interval = courseInterval(*intervals.at(k), intervals);
        interval.id = QString::number(k + 1);
        course.intervals.append(interval);
    }
    return course;
}

QString OrvoPSFWorkoutCourse::timeText(const OrvoPSFWorkout &workout)
{
    return workout.workoutTime() == kOrvoPsfNone ? QString() : psfTimeText(workout.workoutTime());
}
