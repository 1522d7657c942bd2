#include "psf15/OrvoPSFTrackSeg_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFTrackCursor.h"

namespace {

constexpr qsizetype kStartTimeOffset = 0;
constexpr qsizetype kStartLonOffset = 4;
constexpr qsizetype kStartLatOffset = 8;
constexpr qsizetype kEndLonOffset = 12;
constexpr qsizetype kEndLatOffset = 16;
constexpr qsizetype kStartAltitudeOffset = 20;
constexpr qsizetype kEndAltitudeOffset = 22;
constexpr qsizetype kFlagsOffset = 24;
constexpr int kFirstFlagBit = 1;
constexpr int kKindShift = 5;
constexpr qsizetype kTickOffset = 25;
constexpr qsizetype kRouteOffset = 26;
constexpr qsizetype kNextOffset = 28;
constexpr qsizetype kCountOffset = 32;
constexpr qsizetype kSensorLogOffset = 36;
// Counts from here on mean "no points".
constexpr quint32 kNoPoints = 0xFFFE;
constexpr int kNewPointType = 0;

} // namespace

OrvoPSFTrackSeg_1_5::OrvoPSFTrackSeg_1_5(std::span<uchar> bytes, bool fresh)
    : OrvoPSFObject(bytes)
{
    if (fresh) {
        fill(0, kHeaderSize, 0);
        for (qsizetype offset :
             {kStartLonOffset, kStartLatOffset, kEndLonOffset, kEndLatOffset, kNextOffset, kSensorLogOffset})
            setLink(offset, -1);
        return;
    }
    loadPoints();
}

OrvoPSFTrackSeg_1_5::~OrvoPSFTrackSeg_1_5() = default;

qsizetype OrvoPSFTrackSeg_1_5::size() const
{
    return kHeaderSize + m_pointBytes;
}

bool OrvoPSFTrackSeg_1_5::isComplete() const
{
    return contains(0, kHeaderSize);
}

quint32 OrvoPSFTrackSeg_1_5::startTime() const
{
    return u32(kStartTimeOffset);
}

void OrvoPSFTrackSeg_1_5::setStartTime(quint32 time)
{
    setU32(kStartTimeOffset, time);
}

qint32 OrvoPSFTrackSeg_1_5::startLongitude() const
{
    return qint32(u32(kStartLonOffset));
}

qint32 OrvoPSFTrackSeg_1_5::startLatitude() const
{
    return qint32(u32(kStartLatOffset));
}

qint32 OrvoPSFTrackSeg_1_5::endLongitude() const
{
    return qint32(u32(kEndLonOffset));
}

qint32 OrvoPSFTrackSeg_1_5::endLatitude() const
{
    return qint32(u32(kEndLatOffset));
}

void OrvoPSFTrackSeg_1_5::setStartPosition(qint32 longitude, qint32 latitude)
{
    setU32(kStartLonOffset, quint32(longitude));
    setU32(kStartLatOffset, quint32(latitude));
}

void OrvoPSFTrackSeg_1_5::setEndPosition(qint32 longitude, qint32 latitude)
{
    setU32(kEndLonOffset, quint32(longitude));
    setU32(kEndLatOffset, quint32(latitude));
}

qint16 OrvoPSFTrackSeg_1_5::startAltitudeCode() const
{
    return i16(kStartAltitudeOffset);
}

qint16 OrvoPSFTrackSeg_1_5::endAltitudeCode() const
{
    return i16(kEndAltitudeOffset);
}

void OrvoPSFTrackSeg_1_5::setStartAltitudeCode(qint16 code)
{
    setU16(kStartAltitudeOffset, quint16(code));
}

void OrvoPSFTrackSeg_1_5::setEndAltitudeCode(qint16 code)
{
    setU16(kEndAltitudeOffset, quint16(code));
}

OrvoPSFMeasure OrvoPSFTrackSeg_1_5::startAltitude() const
{
    return OrvoPSFMeasure::fromAltitudeCode(startAltitudeCode());
}

OrvoPSFMeasure OrvoPSFTrackSeg_1_5::endAltitude() const
{
    return OrvoPSFMeasure::fromAltitudeCode(endAltitudeCode());
}

bool OrvoPSFTrackSeg_1_5::segmentFlag(int index) const
{
    return index >= 0 && index < kFlagCount && bits(kFlagsOffset, kFirstFlagBit + index, 1) != 0;
}

void OrvoPSFTrackSeg_1_5::setSegmentFlag(int index, bool on)
{
    if (index >= 0 && index < kFlagCount)
        setBits(kFlagsOffset, kFirstFlagBit + index, 1, on ? 1 : 0);
}

quint8 OrvoPSFTrackSeg_1_5::segmentKind() const
{
    return bits(kFlagsOffset, kKindShift, 2);
}

void OrvoPSFTrackSeg_1_5::setSegmentKind(quint8 kind)
{
    setBits(kFlagsOffset, kKindShift, 2, kind);
}

quint8 OrvoPSFTrackSeg_1_5::secondsPerTick() const
{
    return u8(kTickOffset);
}

void OrvoPSFTrackSeg_1_5::setSecondsPerTick(quint8 seconds)
{
    setU8(kTickOffset, seconds);
}

quint8 OrvoPSFTrackSeg_1_5::routeType() const
{
    return bits(kRouteOffset, 0, 3);
}

void OrvoPSFTrackSeg_1_5::setRouteType(quint8 type)
{
    setBits(kRouteOffset, 0, 3, type);
}

quint8 OrvoPSFTrackSeg_1_5::routeSource() const
{
    return bits(kRouteOffset, 4, 4);
}

void OrvoPSFTrackSeg_1_5::setRouteSource(quint8 source)
{
    setBits(kRouteOffset, 4, 4, source);
}

qint64 OrvoPSFTrackSeg_1_5::nextSegment() const
{
    return link(kNextOffset);
}

bool OrvoPSFTrackSeg_1_5::setNextSegment(qint64 offset)
{
    return setLink(kNextOffset, offset);
}

quint32 OrvoPSFTrackSeg_1_5::storedPointCount() const
{
    return u32(kCountOffset);
}

qint64 OrvoPSFTrackSeg_1_5::sensorLogOffset() const
{
    return link(kSensorLogOffset);
}

bool OrvoPSFTrackSeg_1_5::setSensorLogOffset(qint64 offset)
{
    return setLink(kSensorLogOffset, offset);
}

const OrvoPSFTrackSeg_1_5::Points &OrvoPSFTrackSeg_1_5::points() const
{
    return m_points;
}

OrvoPSFTrackPoint_1_5 *OrvoPSFTrackSeg_1_5::addPoint(OrvoPSFFlashLayout &layout)
{
    const qsizetype position = size();
    const qsizetype pointSize = OrvoPSFTrackPoint_1_5::sizeOfType(kNewPointType);
    const quint32 stored = storedPointCount();
    const quint32 count = stored >= kNoPoints ? 0 : stored;
    if (!contains(position, pointSize) ||
        !layout.holds(OrvoPSFFlashLayout::Area::Track, data(), position + pointSize) ||
        !layout.hasRoom(OrvoPSFFlashLayout::Area::Track, pointSize) || count + 1 >= kNoPoints) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackSeg_1_5::addPoint")
            << "no room for point" << count << "at offset" << position << "of the segment";
        return nullptr;
    }
    setU8(position, kNewPointType);
    setU32(kCountOffset, count + 1);
    m_points.push_back(std::make_unique<OrvoPSFTrackPoint_1_5>(spanFrom(position)));
    m_pointBytes += pointSize;
    layout.recordAdded(OrvoPSFFlashLayout::Area::Track, pointSize);
    return m_points.back().get();
}

OrvoPSFTrackCursor OrvoPSFTrackSeg_1_5::cursor() const
{
    return OrvoPSFTrackCursor(*this);
}

const OrvoPSFSensorLog_1_5 *OrvoPSFTrackSeg_1_5::sensorLog() const
{
    return m_sensorLog.get();
}

void OrvoPSFTrackSeg_1_5::setSensorLog(std::unique_ptr<OrvoPSFSensorLog_1_5> log)
{
    m_sensorLog = std::move(log);
}

void OrvoPSFTrackSeg_1_5::loadPoints()
{
    if (!isComplete()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackSeg_1_5::loadPoints")
            << "segment header runs past the" << available() << "bytes of its memory";
        return;
    }
    const quint32 count = storedPointCount();
    if (count >= kNoPoints)
        return;
    qsizetype offset = kHeaderSize;
    for (quint32 i = 0; i < count; ++i) {
        auto point = std::make_unique<OrvoPSFTrackPoint_1_5>(spanFrom(offset));
        if (!contains(offset, 1) || !contains(offset, point->size())) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackSeg_1_5::loadPoints")
                << "point" << i << "of" << count << "at offset" << offset << "runs past the segment's memory";
            break;
        }
        offset += point->size();
        m_pointBytes += point->size();
        m_points.push_back(std::move(point));
    }
}
