#pragma once

#include "training/ZKWorkoutDuration.h"
#include "training/ZKWorkoutTarget.h"

#include <QString>

// One interval of a workout as the device database stores it (a WorkoutInterval row).
class ZKWorkoutInterval
{
public:
    // No goto: the interval does not jump back.
    static constexpr int kNoGoto = -1;

    ZKWorkoutInterval(int id, const QString &name);

    int id() const { return m_id; }
    QString name() const { return m_name; }

    bool needLap() const { return m_needLap; }
    void setNeedLap(bool needLap) { m_needLap = needLap; }
    const ZKWorkoutTarget &target() const { return m_target; }
    void setTarget(const ZKWorkoutTarget &target) { m_target = target; }
    const ZKWorkoutDuration &duration() const { return m_duration; }
    ZKWorkoutDuration &duration() { return m_duration; }
    bool durationIsManual() const { return m_durationIsManual; }
    void setDurationIsManual(bool manual) { m_durationIsManual = manual; }
    // The interval to jump back to and how often; kNoGoto for none.
    int gotoId() const { return m_gotoId; }
    int gotoRepeat() const { return m_gotoRepeat; }
    void setGoto(int id, int repeat);
    // Written only above 0.
    int logResolution() const { return m_logResolution; }
    void setLogResolution(int resolution) { m_logResolution = resolution; }

private:
    int m_id;
    QString m_name;
    bool m_needLap = false;
    ZKWorkoutTarget m_target;
    ZKWorkoutDuration m_duration;
    int m_gotoId = kNoGoto;
    int m_gotoRepeat = 0;
    bool m_durationIsManual = false;
    int m_logResolution = 0;
};
