#pragma once

#include "psf/OrvoPSFObject.h"

class OrvoPSFRoute_1_5;
class OrvoPSFRouteFrame_1_5;
class OrvoPSFWorkoutFrame_1_5;

// One of the log sections (sensor logs, workout logs, user-info logs): its header at the start
// of its area, whose first u32 is the offset of the area's records from the header. Routes and
// segments point at their logs by offsets from that records' start.
class OrvoPSFSectionRef_1_5 : public OrvoPSFObject
{
public:
    // section runs from the section header to the end of the image.
    explicit OrvoPSFSectionRef_1_5(std::span<uchar> section);

    qsizetype size() const override;
    std::span<uchar> records() const;

    // On the sensor-log section: gives each loaded segment of the route the sensor log its
    // sensor-log word names.
    void loadSensorLogsOfRoute(OrvoPSFRoute_1_5 &route) const;
    // On the user-info section: gives the route the user-info log its word at 20 names, or
    // none when the word is absent or points outside the area.
    void loadUserInfoLogOfRoute(OrvoPSFRoute_1_5 &route) const;
    // On the workout-log section: attaches to each ride the workout logs recorded with it,
    // walking every workout's chain of logs.
    void linkWorkoutLogs(OrvoPSFRouteFrame_1_5 &routes, const OrvoPSFWorkoutFrame_1_5 &workouts) const;

    bool eraseSensorLogs(OrvoPSFFlashLayout &layout);
    bool eraseWorkoutLogs(OrvoPSFFlashLayout &layout);
    bool eraseUserInfoLogs(OrvoPSFFlashLayout &layout);

private:
    std::span<uchar> recordAt(qint64 offset, qsizetype minimum, const char *what) const;
};
