#include "psf14/OrvoPSFTrack.h"

#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFSensorLog.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFTrackPoint.h"

#include <algorithm>

namespace {

constexpr quint32 kFirstUncountedPointCount = 0xFFFE;
constexpr int kFlagCount = 5;
constexpr quint8 kFlagMask = 0x1F;
constexpr qsizetype kNextTrackOffset = 28;
constexpr qsizetype kPointSize = 6;

} // namespace

OrvoPSFTrack::OrvoPSFTrack(QObject *parent)
    : OrvoPSFField(parent)
{}

OrvoPSFTrack::OrvoPSFTrack(QByteArrayView bytes, bool isTrack, OrvoPSFSensorLogFrame *sensorLogFrame, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_startTime = reader.readU32Le();
    m_startLongitude = reader.readI32Le();
    m_startLatitude = reader.readI32Le();
    m_endLongitude = reader.readI32Le();
    m_endLatitude = reader.readI32Le();
    m_startAltitude = reader.readU16Le();
    m_endAltitude = reader.readU16Le();
    m_flags = reader.readU8() & kFlagMask;
    m_secondsPerTick = reader.readU8();
    reader.skip(2);
    m_nextTrack = reader.readU32Le();
    m_pointCount = reader.readU32Le();
    m_firstSensorLog = reader.readU32Le();
    if (!reader.ok())
        return;
    loadPoints(bytes, isTrack);
    if (isTrack)
        loadSensorLogs(sensorLogFrame);
}

OrvoPSFTrack::~OrvoPSFTrack()
{
    qDeleteAll(m_trackPoints);
    qDeleteAll(m_routePoints);
}

quint32 OrvoPSFTrack::effectivePointCount() const
{
    return m_pointCount >= kFirstUncountedPointCount ? 0 : m_pointCount;
}

void OrvoPSFTrack::loadPoints(QByteArrayView bytes, bool isTrack)
{
    const qsizetype stored = effectivePointCount();
    const qsizetype fitting = (bytes.size() - kHeaderSize) / kPointSize;
    if (stored > fitting) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrack::loadPoints")
            << stored << "points, only" << fitting << "fit the track's" << bytes.size() << "bytes";
        m_pointCount = quint32(fitting);
    }
    const qsizetype loaded = std::min(stored, fitting);
    if (isTrack)
        m_pendingTrackPoints.reserve(loaded);
    else
        m_routePoints.reserve(loaded);
    for (qsizetype i = 0; i < loaded; ++i) {
        const QByteArrayView point = bytes.sliced(kHeaderSize + i * kPointSize, kPointSize);
        if (isTrack)
            m_pendingTrackPoints.append(OrvoPSFTrackPoint::valuesOf(point));
        else
            m_routePoints.append(new OrvoPSFRoutePoint(point));
    }
}

void OrvoPSFTrack::buildTrackPoints() const
{
    if (m_pendingTrackPoints.isEmpty())
        return;
    m_trackPoints.reserve(m_trackPoints.size() + m_pendingTrackPoints.size());
    for (const OrvoPSFTrackPoint::Values &values : std::as_const(m_pendingTrackPoints))
        m_trackPoints.append(new OrvoPSFTrackPoint(values));
    m_pendingTrackPoints = {};
}

QVector<OrvoPSFTrackPoint *> &OrvoPSFTrack::trackPoints()
{
    buildTrackPoints();
    return m_trackPoints;
}

const QVector<OrvoPSFTrackPoint *> &OrvoPSFTrack::trackPoints() const
{
    buildTrackPoints();
    return m_trackPoints;
}

QVector<OrvoPSFTrackPoint::Values> OrvoPSFTrack::trackPointValues() const
{
    if (!m_pendingTrackPoints.isEmpty())
        return m_pendingTrackPoints;
    QVector<OrvoPSFTrackPoint::Values> values;
    values.reserve(m_trackPoints.size());
    for (const OrvoPSFTrackPoint *point : m_trackPoints) {
        if (point)
            values.append(point->values());
    }
    return values;
}

qsizetype OrvoPSFTrack::trackPointCount() const
{
    return m_pendingTrackPoints.size() + m_trackPoints.size();
}

void OrvoPSFTrack::loadSensorLogs(OrvoPSFSensorLogFrame *sensorLogFrame)
{
    if (!sensorLogFrame)
        return;
    m_sensorLogs = sensorLogFrame->dataArea().loadChain(
        m_firstSensorLog, true, OrvoPSFSensorLog::kHeaderSize,
        [this](QByteArrayView bytes) { return new OrvoPSFSensorLog(bytes, this); }, &OrvoPSFSensorLog::nextSensorLog);
}

qsizetype OrvoPSFTrack::loadedSize() const
{
    return kHeaderSize + (trackPointCount() + m_routePoints.size()) * kPointSize;
}

bool OrvoPSFTrack::trackFlag(int i) const
{
    return i >= 0 && i < kFlagCount && (m_flags >> i) & 1;
}

void OrvoPSFTrack::setTrackFlag(int i, bool flag)
{
    if (i < 0 || i >= kFlagCount)
        return;
    m_flags = flag ? quint8(m_flags | 1u << i) : quint8(m_flags & ~(1u << i));
}

qsizetype OrvoPSFTrack::writeTrack(QByteArray &image, qsizetype offset, bool hasNext, bool isTrack,
                                   qsizetype trackAreaBase, quint32 &lastTrackEnd)
{
    const QByteArray points = pointBytes(isTrack);
    const qsizetype length = kHeaderSize + points.size();
    if (offset < 0 || offset > image.size() || length > image.size() - offset || trackAreaBase < 0 ||
        trackAreaBase > offset || offset + length - trackAreaBase >= qsizetype(kOrvoPsfNone)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrack::writeTrack")
            << "track of" << length << "bytes at" << offset << "from the track area at" << trackAreaBase
            << "does not fit an image of" << image.size() << "bytes";
        return -1;
    }
    const qsizetype end = offset + length;
    lastTrackEnd = quint32(end - trackAreaBase);
    m_nextTrack = hasNext ? lastTrackEnd : kOrvoPsfNone;
    OrvoByteWriter head = OrvoByteWriter::patch(image, offset);
    head.writeBytes(headerBytes());
    // Bytes 26-27 keep what the image holds.
    OrvoByteWriter links = OrvoByteWriter::patch(image, offset + kNextTrackOffset);
    links.writeU32Le(m_nextTrack);
    links.writeU32Le(m_pointCount);
    links.writeU32Le(m_firstSensorLog);
    links.writeBytes(points);
    return end;
}

// Bytes 0-25 of the header.
QByteArray OrvoPSFTrack::headerBytes() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(m_startTime);
    writer.writeU32Le(quint32(m_startLongitude));
    writer.writeU32Le(quint32(m_startLatitude));
    writer.writeU32Le(quint32(m_endLongitude));
    writer.writeU32Le(quint32(m_endLatitude));
    writer.writeU16Le(m_startAltitude);
    writer.writeU16Le(m_endAltitude);
    writer.writeU8(m_flags);
    writer.writeU8(m_secondsPerTick);
    return bytes;
}

QByteArray OrvoPSFTrack::pointBytes(bool isTrack) const
{
    QByteArray bytes;
    if (isTrack) {
        // From the values: writing a track builds no point objects.
        const QVector<OrvoPSFTrackPoint::Values> values = trackPointValues();
        bytes.reserve(values.size() * kPointSize);
        for (const OrvoPSFTrackPoint::Values &point : values)
            OrvoPSFTrackPoint::appendBytesOf(point, bytes);
    } else {
        for (const OrvoPSFRoutePoint *point : m_routePoints) {
            if (point)
                bytes.append(point->recordBytes());
        }
    }
    return bytes;
}
