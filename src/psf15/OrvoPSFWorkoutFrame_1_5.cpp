#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf15/OrvoPSFFlashLayout.h"

#include <QSet>

#include <algorithm>

namespace {

constexpr qsizetype kRecordsWord = 0;
constexpr qsizetype kIntervalBaseWord = 4;
constexpr qsizetype kCountOffset = 8;
constexpr quint16 kAbsentCount = 0xFFFF;
using Area = OrvoPSFFlashLayout::Area;

} // namespace

OrvoPSFWorkoutFrame_1_5::OrvoPSFWorkoutFrame_1_5(std::span<uchar> section, std::span<uchar> area)
    : OrvoPSFObject(section)
    , m_area(area)
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

void OrvoPSFWorkoutFrame_1_5::clear(OrvoPSFFlashLayout &layout)
{
    m_workouts.clear();
    layout.eraseArea(Area::Workout);
    layout.eraseArea(Area::Interval);
    if (layout.placesSection(Area::Workout, data(), records().data()))
        setCount(0);
}

void OrvoPSFWorkoutFrame_1_5::loadWorkouts()
{
    const std::span<uchar> area = records();
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

bool OrvoPSFWorkoutFrame_1_5::isPlaced(OrvoPSFFlashLayout &layout) const
{
    if (!layout.placesSection(Area::Workout, data(), records().data()) ||
        intervalBase().data() != layout.areaBytes(Area::Interval).data())
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
