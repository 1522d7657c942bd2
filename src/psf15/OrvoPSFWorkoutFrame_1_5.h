#pragma once

#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFWorkout_1_5.h"

#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

// The workout section: its header at the start of the workout area, then the workouts end to
// end; their intervals lie in the interval area. Header, little-endian: u32 offset of the
// workout records from the header, u32 offset of the interval area from the header, u16
// workout count at 8 (absent counts as 0).
class OrvoPSFWorkoutFrame_1_5 : public OrvoPSFObject
{
public:
    using Workouts = std::vector<std::unique_ptr<OrvoPSFWorkout_1_5>>;

    // section runs from the section header to the end of the image; area is the workout area's
    // bytes (OrvoPSFFlashLayout::areaBytes), which bound the records and so every workout's names.
    // Without a known area the records run to the end of the image. used, when not negative,
    // is the part of the area in use (its end counter past its first record): the workouts read
    // end there, so that no chain of strings runs into bytes the area does not count.
    OrvoPSFWorkoutFrame_1_5(std::span<uchar> section, std::span<uchar> area, qint64 used = -1);
    ~OrvoPSFWorkoutFrame_1_5() override;

    qsizetype size() const override;
    int count() const;
    // The bytes from the first workout record to the end of the workout area; empty when the
    // header does not place them inside it.
    std::span<uchar> records() const;
    std::span<uchar> intervalBase() const;
    const Workouts &workouts() const;
    qint64 workoutOffset(const OrvoPSFWorkout_1_5 &workout) const;

    // Appends a workout with its names, then its descriptions. Null, image unchanged, when
    // the workout area has no room for it.
    OrvoPSFWorkout_1_5 *addWorkout(const QStringList &texts, const QStringList &codes, const QStringList &descTexts,
                                   const QStringList &descCodes, bool bitFont, OrvoPSFFlashLayout &layout);
    // Appends an empty interval to the workout, after every interval of the frame. Null, image
    // unchanged, when the interval area has no room for it.
    OrvoPSFInterval_1_5 *addInterval(OrvoPSFWorkout_1_5 &workout, OrvoPSFFlashLayout &layout);
    // Forgets every workout's workout logs (when their area is erased).
    void clearWorkoutLogLinks();
    // Removes the workouts at the indexes (in section order) and packs the others and their
    // intervals to the starts of their areas; their workout-log links stay. False, image
    // unchanged, when an index is not a workout's or the section is not where the table puts it.
    bool removeWorkouts(const QSet<int> &indexes, OrvoPSFFlashLayout &layout);
    // Erases the workouts and their intervals. False, image unchanged, when the section or the
    // interval area does not stand where the area table puts it.
    bool clear(OrvoPSFFlashLayout &layout) override;
    // True when clear would erase this section's records.
    bool canClear(OrvoPSFFlashLayout &layout) const;

private:
    void loadWorkouts();
    qint64 intervalsEnd() const;
    bool setCount(int count);
    // True when the section, its records, its interval area and every loaded workout and
    // interval lie where the table puts them, so that a change cannot reach beyond them.
    bool isPlaced(OrvoPSFFlashLayout &layout) const;

    // The workout area; empty when not known.
    std::span<uchar> m_area;
    qint64 m_used;
    Workouts m_workouts;
};
