#pragma once

#include "psf/OrvoPSFNamedObject.h"
#include "psf15/OrvoPSFLap_1_5.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "psf15/OrvoPSFUserInfoLog_1_5.h"
#include "psf15/OrvoPSFWorkoutLog_1_5.h"

#include <memory>
#include <utility>
#include <vector>

// A planned route or a recorded ride, little-endian:
//   0   u32  start time; -1 in a route the system adds
//   4   u8   bit 0: recorded ride; bit 1: names are bit-font images; bits 2-3: a device
//            attribute (bit 3 set once the system added the route); bits 4-7: 0
//   5   u8   bits 0-3: activity type; bits 4-7: activity subtype
//   6   u16  a device value, stored × 100
//   8   u32  first track segment (offset from the track records' start; -1 none)
//   12  u32  summary lap, 16 u32 first lap (offsets from the lap area; -1 none)
//   20  u32  user-info log (offset from the user-info records' start; -1 none)
//   24  u8   lap count (0xFF counts as 0)
//   25  u8   0xFF in a new record
//   26  u16  travel distance in units of 10 m
//   28  u32  next route (offset from the route records' start; -1 on the last)
//   32  u32  first name string (offset from the record's start; -1 none)
//   36  ...  name strings
// The view owns the laps, track segments, user-info log and workout logs it was given.
class OrvoPSFRoute_1_5 : public OrvoPSFNamedObject
{
public:
    static constexpr qsizetype kFixedSize = 36;
    using Laps = std::vector<std::unique_ptr<OrvoPSFLap_1_5>>;
    using Segments = std::vector<std::unique_ptr<OrvoPSFTrackSeg_1_5>>;
    using WorkoutLogs = std::vector<std::unique_ptr<OrvoPSFWorkoutLog_1_5>>;

    // A new record: its fixed part reset, links "none".
    explicit OrvoPSFRoute_1_5(std::span<uchar> bytes);
    // A stored record with its names and its laps, read from lapBase (empty: no laps).
    OrvoPSFRoute_1_5(std::span<uchar> bytes, std::span<uchar> lapBase);
    ~OrvoPSFRoute_1_5() override;

    qsizetype size() const override;
    // True when the fixed part lies inside the record's memory.
    bool isComplete() const;
    bool isBitFont() const override;
    void setBitFont(bool flag) override;

    quint32 startTime() const;
    void setStartTime(quint32 time);
    bool isRecorded() const;
    void setRecorded(bool recorded);
    quint8 deviceAttribute() const;
    void setDeviceAttribute(quint8 value);
    quint8 activityType() const;
    void setActivityType(quint8 type);
    quint8 activitySubtype() const;
    void setActivitySubtype(quint8 subtype);
    quint16 deviceValue() const;
    void setDeviceValue(quint16 value);
    qint64 firstSegment() const;
    bool setFirstSegment(qint64 offset);
    qint64 summaryLapOffset() const;
    qint64 firstLapOffset() const;
    qint64 userInfoLogOffset() const;
    int lapCount() const;
    quint16 travelDistance() const;
    void setTravelDistance(quint16 tensOfMetres);
    qint64 nextRoute() const;
    bool setNextRoute(qint64 offset);

    const Laps &laps() const;
    // Null when the ride has none.
    const OrvoPSFLap_1_5 *summaryLap() const;
    const Segments &segments() const;
    void setSegments(Segments segments);
    // The sensor logs of the route's segments, in segment order.
    std::vector<const OrvoPSFSensorLog_1_5 *> sensorLogs() const;
    const OrvoPSFUserInfoLog_1_5 *userInfoLog() const;
    void setUserInfoLog(std::unique_ptr<OrvoPSFUserInfoLog_1_5> log);
    // The workout logs recorded with the ride.
    const WorkoutLogs &workoutLogs() const;
    void attachWorkoutLog(std::unique_ptr<OrvoPSFWorkoutLog_1_5> log);
    WorkoutLogs takeWorkoutLogs();

private:
    void loadLaps(std::span<uchar> lapBase);
    std::unique_ptr<OrvoPSFLap_1_5> lapAt(std::span<uchar> lapBase, qint64 offset) const;

    Laps m_laps;
    std::unique_ptr<OrvoPSFLap_1_5> m_summaryLap;
    Segments m_segments;
    std::unique_ptr<OrvoPSFUserInfoLog_1_5> m_userInfoLog;
    WorkoutLogs m_workoutLogs;
};
