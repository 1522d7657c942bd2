#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf15/OrvoPSFFlashLayout.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qsizetype kRecordsWord = 0;
constexpr qsizetype kIntervalBaseWord = 4;
constexpr qsizetype kCountOffset = 8;
constexpr quint16 kAbsentCount = 0xFFFF;
// Links inside the records that a packing rewrites.
constexpr qsizetype kFirstIntervalWord = 8;
constexpr qsizetype kNextWorkoutWord = 28;
constexpr qsizetype kNextIntervalWord = 4;
using Area = OrvoPSFFlashLayout::Area;

} // namespace

OrvoPSFWorkoutFrame_1_5::OrvoPSFWorkoutFrame_1_5(std::span<uchar> section, std::span<uchar> area, qint64 used)
    : OrvoPSFObject(section)
    , m_area(area)
    , m_used(used)
{
    loadWorkouts();
}

OrvoPSFWorkoutFrame_1_5::~OrvoPSFWorkoutFrame_1_5() = default;

qsizetype OrvoPSFWorkoutFrame_1_5::size() const
{
    return std::max<qint64>(link(kRecordsWord), 0);
}

int OrvoPSFWorkoutFrame_1_5::count() const
{
    const quint16 stored = u16(kCountOffset);
    return stored == kAbsentCount ? 0 : stored;
}

std::span<uchar> OrvoPSFWorkoutFrame_1_5::records() const
{
    const qint64 offset = link(kRecordsWord);
    return offset < 0 ? std::span<uchar>() : OrvoPSFFlashLayout::clipToArea(spanFrom(offset), m_area);
}

std::span<uchar> OrvoPSFWorkoutFrame_1_5::intervalBase() const
{
    const qint64 offset = link(kIntervalBaseWord);
    return offset < 0 ? std::span<uchar>() : spanFrom(offset);
}

const OrvoPSFWorkoutFrame_1_5::Workouts &OrvoPSFWorkoutFrame_1_5::workouts() const
{
    return m_workouts;
}

qint64 OrvoPSFWorkoutFrame_1_5::workoutOffset(const OrvoPSFWorkout_1_5 &workout) const
{
    return workout.data() - records().data();
}

OrvoPSFWorkout_1_5 *OrvoPSFWorkoutFrame_1_5::addWorkout(const QStringList &texts, const QStringList &codes,
                                                        const QStringList &descTexts, const QStringList &descCodes,
                                                        bool bitFont, OrvoPSFFlashLayout &layout)
{
    const std::span<uchar> area = records();
    if (!isPlaced(layout) || count() >= kAbsentCount - 1 ||
        !layout.hasRoom(Area::Workout, OrvoPSFWorkout_1_5::kFixedSize)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::addWorkout")
            << "no workout can be added to a section of" << count() << "workouts";
        return nullptr;
    }

    // The workout is put together apart first, so that nothing is written when it does not fit.
    qsizetype bound = OrvoPSFWorkout_1_5::kFixedSize;
    for (const QString &text : texts)
        bound += OrvoPSFNamedObject::stringBound(text, bitFont, false);
    for (const QString &text : descTexts)
        bound += OrvoPSFNamedObject::stringBound(text, bitFont, true);
    const qsizetype room =
        std::min({qsizetype(layout.areaFree(Area::Workout)), qsizetype(layout.areaCapacity(Area::Workout)), bound});
    QByteArray scratch(room, '\xFF');
    OrvoPSFWorkout_1_5 fresh(spanOf(scratch));
    fresh.setBitFont(bitFont);
    bool fits = true;
    for (qsizetype i = 0; fits && i < texts.size(); ++i)
        fits = fresh.addName(texts.at(i), codes.value(i)) != nullptr;
    for (qsizetype i = 0; fits && i < descTexts.size(); ++i)
        fits = fresh.addDescription(descTexts.at(i), descCodes.value(i)) != nullptr;
    const qsizetype workoutSize = fresh.size();
    qint64 position = 0;
    for (const auto &workout : m_workouts)
        position = std::max(position, workoutOffset(*workout) + workout->size());
    if (!fits || !layout.hasRoom(Area::Workout, workoutSize) || position > qint64(area.size()) ||
        !layout.holds(Area::Workout, area.data() + position, workoutSize)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::addWorkout")
            << "the workout does not fit the" << room << "free bytes of the workout area";
        return nullptr;
    }

    std::copy_n(scratch.constData(), workoutSize, area.begin() + position);
    if (!m_workouts.empty())
        m_workouts.back()->setNextWorkout(position);
    setCount(count() + 1);
    m_workouts.push_back(std::make_unique<OrvoPSFWorkout_1_5>(area.subspan(size_t(position)), intervalBase()));
    layout.recordAdded(Area::Workout, workoutSize);
    return m_workouts.back().get();
}

OrvoPSFInterval_1_5 *OrvoPSFWorkoutFrame_1_5::addInterval(OrvoPSFWorkout_1_5 &workout, OrvoPSFFlashLayout &layout)
{
    const std::span<uchar> base = intervalBase();
    const qint64 position = intervalsEnd();
    const qsizetype size = OrvoPSFInterval_1_5::kSize;
    const bool ours =
        std::any_of(m_workouts.begin(), m_workouts.end(), [&](const auto &held) { return held.get() == &workout; });
    if (!ours || !isPlaced(layout) || position > qint64(base.size()) || !layout.hasRoom(Area::Interval, size) ||
        !layout.holds(Area::Interval, base.data() + position, size)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::addInterval")
            << "no room for an interval at offset" << position << "of the interval area";
        return nullptr;
    }
    auto interval = std::make_unique<OrvoPSFInterval_1_5>(base.subspan(size_t(position)), true);
    if (workout.intervals().empty())
        workout.setFirstInterval(position);
    else
        workout.intervals().back()->setNextInterval(position);
    workout.appendInterval(std::move(interval));
    layout.recordAdded(Area::Interval, size);
    return workout.intervals().back().get();
}

void OrvoPSFWorkoutFrame_1_5::clearWorkoutLogLinks()
{
    for (const auto &workout : m_workouts)
        workout->setFirstWorkoutLog(-1);
}

bool OrvoPSFWorkoutFrame_1_5::removeWorkouts(const QSet<int> &indexes, OrvoPSFFlashLayout &layout)
{
    const bool known = std::all_of(indexes.begin(), indexes.end(),
                                   [&](int index) { return index >= 0 && index < int(m_workouts.size()); });
    if (!known || !isPlaced(layout)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::removeWorkouts") << "nothing removed";
        return false;
    }
    if (indexes.size() == qsizetype(m_workouts.size()))
        return clear(layout);

    // The kept workouts are put together apart, each pointing at its intervals' new place; a
    // goto link counts intervals inside its workout and stays as it is.
    QByteArray records;
    QByteArray intervals;
    qsizetype lastRecord = -1;
    for (int i = 0; i < int(m_workouts.size()); ++i) {
        if (indexes.contains(i))
            continue;
        const OrvoPSFWorkout_1_5 &workout = *m_workouts[size_t(i)];
        if (lastRecord >= 0)
            qToLittleEndian<quint32>(quint32(records.size()), records.data() + lastRecord + kNextWorkoutWord);
        lastRecord = records.size();
        records += workout.bytesAt(0, workout.size());
        const quint32 first = workout.intervals().empty() ? kOrvoPsfNone : quint32(intervals.size());
        qToLittleEndian<quint32>(first, records.data() + lastRecord + kFirstIntervalWord);
        qToLittleEndian<quint32>(kOrvoPsfNone, records.data() + lastRecord + kNextWorkoutWord);
        for (size_t k = 0; k < workout.intervals().size(); ++k) {
            const OrvoPSFInterval_1_5 &interval = *workout.intervals()[k];
            const qsizetype at = intervals.size();
            intervals += interval.bytesAt(0, interval.size());
            const bool last = k + 1 == workout.intervals().size();
            const quint32 next = last ? kOrvoPsfNone : quint32(intervals.size());
            qToLittleEndian<quint32>(next, intervals.data() + at + kNextIntervalWord);
        }
    }
    const std::span<uchar> area = layout.areaBytes(Area::Workout);
    const std::span<uchar> intervalArea = layout.areaBytes(Area::Interval);
    if (records.size() > qsizetype(area.size()) || intervals.size() > qsizetype(intervalArea.size()))
        return false;

    const int kept = int(m_workouts.size()) - int(indexes.size());
    m_workouts.clear();
    std::fill(area.begin(), area.end(), uchar(0xFF));
    std::copy(records.begin(), records.end(), area.begin());
    std::fill(intervalArea.begin(), intervalArea.end(), uchar(0xFF));
    std::copy(intervals.begin(), intervals.end(), intervalArea.begin());
    setCount(kept);
    layout.setAreaUsed(Area::Workout, records.size());
    layout.setAreaUsed(Area::Interval, intervals.size());
    m_used = records.size();
    loadWorkouts();
    return true;
}

bool OrvoPSFWorkoutFrame_1_5::clear(OrvoPSFFlashLayout &layout)
{
    if (!canClear(layout)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::clear") << "nothing erased";
        return false;
    }
    m_workouts.clear();
    layout.eraseArea(Area::Workout);
    layout.eraseArea(Area::Interval);
    setCount(0);
    return true;
}

void OrvoPSFWorkoutFrame_1_5::loadWorkouts()
{
    std::span<uchar> area = records();
    if (m_used >= 0 && m_used < qint64(area.size()))
        area = area.first(size_t(m_used));
    const std::span<uchar> intervals = intervalBase();
    QSet<qint64> visited;
    qint64 offset = 0;
    for (int i = 0; i < count() && offset >= 0; ++i) {
        if (visited.contains(offset) || offset >= qint64(area.size())) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutFrame_1_5::loadWorkouts")
                << "workout" << i << "at offset" << offset << "is visited twice or lies outside the" << area.size()
                << "bytes of the workout records; the walk ends there";
            break;
        }
        visited.insert(offset);
        auto workout = std::make_unique<OrvoPSFWorkout_1_5>(area.subspan(size_t(offset)), intervals);
        if (!workout->isComplete())
            break;
        offset = workout->nextWorkout();
        m_workouts.push_back(std::move(workout));
    }
}

// Just past the interval that lies furthest into the area: intervals are packed in workout
// order, and a new one must not land on an interval of another workout.
qint64 OrvoPSFWorkoutFrame_1_5::intervalsEnd() const
{
    const uchar *base = intervalBase().data();
    qint64 end = 0;
    for (const auto &workout : m_workouts) {
        for (const auto &interval : workout->intervals())
            end = std::max(end, qint64(interval->data() - base) + interval->size());
    }
    return end;
}

bool OrvoPSFWorkoutFrame_1_5::canClear(OrvoPSFFlashLayout &layout) const
{
    return layout.placesSection(Area::Workout, data(), records().data()) &&
           intervalBase().data() == layout.areaBytes(Area::Interval).data();
}

bool OrvoPSFWorkoutFrame_1_5::isPlaced(OrvoPSFFlashLayout &layout) const
{
    if (!canClear(layout))
        return false;
    for (const auto &workout : m_workouts) {
        if (!layout.holds(Area::Workout, workout->data(), workout->size()))
            return false;
        for (const auto &interval : workout->intervals()) {
            if (!layout.holds(Area::Interval, interval->data(), interval->size()))
                return false;
        }
    }
    return true;
}

bool OrvoPSFWorkoutFrame_1_5::setCount(int count)
{
    return setU16(kCountOffset, quint16(count));
}
