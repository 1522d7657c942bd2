#pragma once

#include "psf/OrvoPSFNamedObject.h"
#include "psf15/OrvoPSFInterval_1_5.h"

#include <memory>
#include <vector>

// A structured workout, little-endian:
//   0   u32  creation time (UTC seconds); -1 none
//   4   u32  workout number
//   8   u32  first interval (offset from the interval area; -1 none)
//   12  u32  first workout log recorded with it (offset from the workout-log records' start)
//   16  u8   bits 0-3: activity type; bit 4: daily; bit 5: names are bit-font images; bit 6: 0
//   17  u8   bits 0-4: repeat; bits 5-7: workout type
//   18  u8   bits 0-3: subtype
//   19  u8   0
//   20  u32  -1 in a new record, 24 u32 0 in a new record
//   28  u32  next workout (offset from the workout records' start; -1 on the last)
//   32  u32  first name string, 36 u32 first description string (offsets from the record)
//   40  ...  name strings, then description strings
class OrvoPSFWorkout_1_5 : public OrvoPSFNamedObject
{
public:
    static constexpr qsizetype kFixedSize = 40;
    using Intervals = std::vector<std::unique_ptr<OrvoPSFInterval_1_5>>;

    // A new record: zeroed, links "none".
    explicit OrvoPSFWorkout_1_5(std::span<uchar> bytes);
    // A stored record with its intervals (from intervalBase), names and descriptions.
    OrvoPSFWorkout_1_5(std::span<uchar> bytes, std::span<uchar> intervalBase);
    ~OrvoPSFWorkout_1_5() override;

    qsizetype size() const override;
    bool isComplete() const;
    bool isBitFont() const override;
    void setBitFont(bool flag) override;

    qint64 creationTime() const;
    bool setCreationTime(qint64 time);
    quint32 number() const;
    void setNumber(quint32 number);
    qint64 firstInterval() const;
    bool setFirstInterval(qint64 offset);
    qint64 firstWorkoutLog() const;
    bool setFirstWorkoutLog(qint64 offset);
    quint8 activityType() const;
    void setActivityType(quint8 type);
    bool isDaily() const;
    void setDaily(bool daily);
    quint8 repeat() const;
    void setRepeat(quint8 repeat);
    quint8 workoutType() const;
    void setWorkoutType(quint8 type);
    quint8 subtype() const;
    void setSubtype(quint8 subtype);
    qint64 nextWorkout() const;
    bool setNextWorkout(qint64 offset);
    qint64 descriptionsOffset() const;

    // Appends a description (rendered with free height when the record is a bit-font one).
    // Null, record unchanged, when it does not fit.
    OrvoPSFMultiLangString_1_5 *addDescription(const QString &text, const QString &code);
    const Strings &descriptions() const;
    const Intervals &intervals() const;
    void appendInterval(std::unique_ptr<OrvoPSFInterval_1_5> interval);

private:
    void loadIntervals(std::span<uchar> intervalBase);

    Strings m_descriptions;
    Intervals m_intervals;
};
