#include "psf15/OrvoPSFWorkout_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

#include <QSet>

namespace {

constexpr qsizetype kTimeOffset = 0;
constexpr qsizetype kNumberOffset = 4;
constexpr qsizetype kIntervalOffset = 8;
constexpr qsizetype kWorkoutLogOffset = 12;
constexpr qsizetype kKindOffset = 16;
constexpr int kDailyBit = 4;
constexpr int kBitFontBit = 5;
constexpr qsizetype kRepeatOffset = 17;
constexpr int kWorkoutTypeShift = 5;
constexpr qsizetype kSubtypeOffset = 18;
constexpr qsizetype kWord20Offset = 20;
constexpr qsizetype kNextOffset = 28;
constexpr qsizetype kNamesOffset = 32;
constexpr qsizetype kDescriptionsOffset = 36;

} // namespace

OrvoPSFWorkout_1_5::OrvoPSFWorkout_1_5(std::span<uchar> bytes)
    : OrvoPSFNamedObject(bytes)
{
    fill(0, kFixedSize, 0);
    for (qsizetype offset :
         {kIntervalOffset, kWorkoutLogOffset, kWord20Offset, kNextOffset, kNamesOffset, kDescriptionsOffset})
        setLink(offset, -1);
}

OrvoPSFWorkout_1_5::OrvoPSFWorkout_1_5(std::span<uchar> bytes, std::span<uchar> intervalBase)
    : OrvoPSFNamedObject(bytes)
{
    if (!isComplete())
        return;
    loadIntervals(intervalBase);
    loadNames();
    const qint64 descriptions = descriptionsOffset();
    if (descriptions >= 0)
        m_descriptions = loadStrings(descriptions);
}

OrvoPSFWorkout_1_5::~OrvoPSFWorkout_1_5() = default;

qsizetype OrvoPSFWorkout_1_5::size() const
{
    return kFixedSize + stringsSize(names()) + stringsSize(m_descriptions);
}

bool OrvoPSFWorkout_1_5::isComplete() const
{
    return contains(0, kFixedSize);
}

bool OrvoPSFWorkout_1_5::isBitFont() const
{
    return bits(kKindOffset, kBitFontBit, 1) != 0;
}

void OrvoPSFWorkout_1_5::setBitFont(bool flag)
{
    setBits(kKindOffset, kBitFontBit, 1, flag ? 1 : 0);
}

qint64 OrvoPSFWorkout_1_5::creationTime() const
{
    return link(kTimeOffset);
}

bool OrvoPSFWorkout_1_5::setCreationTime(qint64 time)
{
    return setLink(kTimeOffset, time);
}

quint32 OrvoPSFWorkout_1_5::number() const
{
    return u32(kNumberOffset);
}

void OrvoPSFWorkout_1_5::setNumber(quint32 number)
{
    setU32(kNumberOffset, number);
}

qint64 OrvoPSFWorkout_1_5::firstInterval() const
{
    return link(kIntervalOffset);
}

bool OrvoPSFWorkout_1_5::setFirstInterval(qint64 offset)
{
    return setLink(kIntervalOffset, offset);
}

qint64 OrvoPSFWorkout_1_5::firstWorkoutLog() const
{
    return link(kWorkoutLogOffset);
}

bool OrvoPSFWorkout_1_5::setFirstWorkoutLog(qint64 offset)
{
    return setLink(kWorkoutLogOffset, offset);
}

quint8 OrvoPSFWorkout_1_5::activityType() const
{
    return bits(kKindOffset, 0, 4);
}

void OrvoPSFWorkout_1_5::setActivityType(quint8 type)
{
    setBits(kKindOffset, 0, 4, type);
}

bool OrvoPSFWorkout_1_5::isDaily() const
{
    return bits(kKindOffset, kDailyBit, 1) != 0;
}

void OrvoPSFWorkout_1_5::setDaily(bool daily)
{
    setBits(kKindOffset, kDailyBit, 1, daily ? 1 : 0);
}

quint8 OrvoPSFWorkout_1_5::repeat() const
{
    return bits(kRepeatOffset, 0, 5);
}

void OrvoPSFWorkout_1_5::setRepeat(quint8 repeat)
{
    setBits(kRepeatOffset, 0, 5, repeat);
}

quint8 OrvoPSFWorkout_1_5::workoutType() const
{
    return bits(kRepeatOffset, kWorkoutTypeShift, 3);
}

void OrvoPSFWorkout_1_5::setWorkoutType(quint8 type)
{
    setBits(kRepeatOffset, kWorkoutTypeShift, 3, type);
}

quint8 OrvoPSFWorkout_1_5::subtype() const
{
    return bits(kSubtypeOffset, 0, 4);
}

void OrvoPSFWorkout_1_5::setSubtype(quint8 subtype)
{
    setBits(kSubtypeOffset, 0, 4, subtype);
}

qint64 OrvoPSFWorkout_1_5::nextWorkout() const
{
    return link(kNextOffset);
}

bool OrvoPSFWorkout_1_5::setNextWorkout(qint64 offset)
{
    return setLink(kNextOffset, offset);
}

qint64 OrvoPSFWorkout_1_5::descriptionsOffset() const
{
    return link(kDescriptionsOffset);
}

OrvoPSFMultiLangString_1_5 *OrvoPSFWorkout_1_5::addDescription(const QString &text, const QString &code)
{
    const bool first = m_descriptions.empty();
    const qsizetype position = first ? size() : descriptionsOffset() + stringsSize(m_descriptions);
    OrvoPSFMultiLangString_1_5 *added = appendString(m_descriptions, position, text, code, true, false);
    if (added && first)
        setLink(kDescriptionsOffset, position);
    return added;
}

const OrvoPSFNamedObject::Strings &OrvoPSFWorkout_1_5::descriptions() const
{
    return m_descriptions;
}

const OrvoPSFWorkout_1_5::Intervals &OrvoPSFWorkout_1_5::intervals() const
{
    return m_intervals;
}

void OrvoPSFWorkout_1_5::appendInterval(std::unique_ptr<OrvoPSFInterval_1_5> interval)
{
    m_intervals.push_back(std::move(interval));
}

void OrvoPSFWorkout_1_5::loadIntervals(std::span<uchar> intervalBase)
{
    QSet<qint64> visited;
    for (qint64 offset = firstInterval(); offset >= 0;) {
        if (visited.contains(offset)) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkout_1_5::loadIntervals")
                << "interval chain returns to offset" << offset << "; the walk ends there";
            break;
        }
        if (offset > qint64(intervalBase.size()) || OrvoPSFInterval_1_5::kSize > qint64(intervalBase.size()) - offset) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkout_1_5::loadIntervals")
                << "interval at offset" << offset << "lies outside the" << intervalBase.size()
                << "bytes of the interval area";
            break;
        }
        visited.insert(offset);
        auto interval = std::make_unique<OrvoPSFInterval_1_5>(intervalBase.subspan(size_t(offset)), false);
        offset = interval->nextInterval();
        m_intervals.push_back(std::move(interval));
    }
}
