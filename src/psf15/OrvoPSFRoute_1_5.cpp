#include "psf15/OrvoPSFRoute_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

constexpr qsizetype kStartTimeOffset = 0;
constexpr qsizetype kKindOffset = 4;
constexpr int kRecordedBit = 0;
constexpr int kBitFontBit = 1;
constexpr int kAttributeShift = 2;
constexpr qsizetype kActivityOffset = 5;
constexpr qsizetype kValueOffset = 6;
constexpr qsizetype kSegmentOffset = 8;
constexpr qsizetype kSummaryLapOffset = 12;
constexpr qsizetype kFirstLapOffset = 16;
constexpr qsizetype kUserInfoOffset = 20;
constexpr qsizetype kLapCountOffset = 24;
constexpr qsizetype kByte25Offset = 25;
constexpr qsizetype kDistanceOffset = 26;
constexpr qsizetype kNextOffset = 28;
constexpr qsizetype kNamesOffset = 32;

} // namespace

OrvoPSFRoute_1_5::OrvoPSFRoute_1_5(std::span<uchar> bytes)
    : OrvoPSFNamedObject(bytes)
{
    fill(0, kFixedSize, 0);
    for (qsizetype offset : {kStartTimeOffset, kSegmentOffset, kSummaryLapOffset, kFirstLapOffset, kUserInfoOffset,
                             kNextOffset, kNamesOffset})
        setLink(offset, -1);
    setU8(kByte25Offset, 0xFF);
}

OrvoPSFRoute_1_5::OrvoPSFRoute_1_5(std::span<uchar> bytes, std::span<uchar> lapBase)
    : OrvoPSFNamedObject(bytes)
{
    if (!isComplete())
        return;
    loadLaps(lapBase);
    loadNames();
}

OrvoPSFRoute_1_5::~OrvoPSFRoute_1_5() = default;

qsizetype OrvoPSFRoute_1_5::size() const
{
    return kFixedSize + stringsSize(names());
}

bool OrvoPSFRoute_1_5::isComplete() const
{
    return contains(0, kFixedSize);
}

bool OrvoPSFRoute_1_5::isBitFont() const
{
    return bits(kKindOffset, kBitFontBit, 1) != 0;
}

void OrvoPSFRoute_1_5::setBitFont(bool flag)
{
    setBits(kKindOffset, kBitFontBit, 1, flag ? 1 : 0);
}

quint32 OrvoPSFRoute_1_5::startTime() const
{
    return u32(kStartTimeOffset);
}

void OrvoPSFRoute_1_5::setStartTime(quint32 time)
{
    setU32(kStartTimeOffset, time);
}

bool OrvoPSFRoute_1_5::isRecorded() const
{
    return bits(kKindOffset, kRecordedBit, 1) != 0;
}

void OrvoPSFRoute_1_5::setRecorded(bool recorded)
{
    setBits(kKindOffset, kRecordedBit, 1, recorded ? 1 : 0);
}

quint8 OrvoPSFRoute_1_5::deviceAttribute() const
{
    return bits(kKindOffset, kAttributeShift, 2);
}

void OrvoPSFRoute_1_5::setDeviceAttribute(quint8 value)
{
    setBits(kKindOffset, kAttributeShift, 2, value);
}

quint8 OrvoPSFRoute_1_5::activityType() const
{
    return bits(kActivityOffset, 0, 4);
}

void OrvoPSFRoute_1_5::setActivityType(quint8 type)
{
    setBits(kActivityOffset, 0, 4, type);
}

quint8 OrvoPSFRoute_1_5::activitySubtype() const
{
    return bits(kActivityOffset, 4, 4);
}

void OrvoPSFRoute_1_5::setActivitySubtype(quint8 subtype)
{
    setBits(kActivityOffset, 4, 4, subtype);
}

quint16 OrvoPSFRoute_1_5::deviceValue() const
{
    return u16(kValueOffset);
}

void OrvoPSFRoute_1_5::setDeviceValue(quint16 value)
{
    setU16(kValueOffset, value);
}

qint64 OrvoPSFRoute_1_5::firstSegment() const
{
    return link(kSegmentOffset);
}

bool OrvoPSFRoute_1_5::setFirstSegment(qint64 offset)
{
    return setLink(kSegmentOffset, offset);
}

qint64 OrvoPSFRoute_1_5::summaryLapOffset() const
{
    return link(kSummaryLapOffset);
}

qint64 OrvoPSFRoute_1_5::firstLapOffset() const
{
    return link(kFirstLapOffset);
}

qint64 OrvoPSFRoute_1_5::userInfoLogOffset() const
{
    return link(kUserInfoOffset);
}

int OrvoPSFRoute_1_5::lapCount() const
{
    const quint8 count = u8(kLapCountOffset);
    return count == 0xFF ? 0 : count;
}

quint16 OrvoPSFRoute_1_5::travelDistance() const
{
    return u16(kDistanceOffset);
}

void OrvoPSFRoute_1_5::setTravelDistance(quint16 tensOfMetres)
{
    setU16(kDistanceOffset, tensOfMetres);
}

qint64 OrvoPSFRoute_1_5::nextRoute() const
{
    return link(kNextOffset);
}

bool OrvoPSFRoute_1_5::setNextRoute(qint64 offset)
{
    return setLink(kNextOffset, offset);
}

const OrvoPSFRoute_1_5::Laps &OrvoPSFRoute_1_5::laps() const
{
    return m_laps;
}

const OrvoPSFLap_1_5 *OrvoPSFRoute_1_5::summaryLap() const
{
    return m_summaryLap.get();
}

const OrvoPSFRoute_1_5::Segments &OrvoPSFRoute_1_5::segments() const
{
    return m_segments;
}

void OrvoPSFRoute_1_5::setSegments(Segments segments)
{
    m_segments = std::move(segments);
}

std::vector<const OrvoPSFSensorLog_1_5 *> OrvoPSFRoute_1_5::sensorLogs() const
{
    std::vector<const OrvoPSFSensorLog_1_5 *> logs;
    for (const auto &segment : m_segments) {
        if (const OrvoPSFSensorLog_1_5 *log = segment->sensorLog())
            logs.push_back(log);
    }
    return logs;
}

const OrvoPSFUserInfoLog_1_5 *OrvoPSFRoute_1_5::userInfoLog() const
{
    return m_userInfoLog.get();
}

void OrvoPSFRoute_1_5::setUserInfoLog(std::unique_ptr<OrvoPSFUserInfoLog_1_5> log)
{
    m_userInfoLog = std::move(log);
}

const OrvoPSFRoute_1_5::WorkoutLogs &OrvoPSFRoute_1_5::workoutLogs() const
{
    return m_workoutLogs;
}

void OrvoPSFRoute_1_5::attachWorkoutLog(std::unique_ptr<OrvoPSFWorkoutLog_1_5> log)
{
    m_workoutLogs.push_back(std::move(log));
}

OrvoPSFRoute_1_5::WorkoutLogs OrvoPSFRoute_1_5::takeWorkoutLogs()
{
    return std::exchange(m_workoutLogs, {});
}

void OrvoPSFRoute_1_5::loadLaps(std::span<uchar> lapBase)
{
    const qint64 first = firstLapOffset();
    for (int i = 0; first >= 0 && i < lapCount(); ++i) {
        auto lap = lapAt(lapBase, first + qint64(i) * OrvoPSFLap_1_5::kSize);
        if (!lap)
            break;
        m_laps.push_back(std::move(lap));
    }
    m_summaryLap = lapAt(lapBase, summaryLapOffset());
}

std::unique_ptr<OrvoPSFLap_1_5> OrvoPSFRoute_1_5::lapAt(std::span<uchar> lapBase, qint64 offset) const
{
    if (offset < 0)
        return nullptr;
    if (offset > qint64(lapBase.size()) || OrvoPSFLap_1_5::kSize > qint64(lapBase.size()) - offset) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRoute_1_5::loadLaps")
            << "lap at offset" << offset << "lies outside the" << lapBase.size() << "bytes of the lap area";
        return nullptr;
    }
    return std::make_unique<OrvoPSFLap_1_5>(lapBase.subspan(size_t(offset)));
}
