#include "psf14/OrvoPSFSensorLog.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf14/OrvoPSFSensorLogPoint.h"

#include <algorithm>

namespace {

constexpr quint8 kChannelMask = 0x3F;
constexpr quint8 kFlag7 = 0x80;
constexpr qint16 kAbsentCount = -1;

qsizetype claimedPointSize(quint8 channels)
{
    return std::max<qsizetype>(OrvoPSFSensorLogPoint::pointSize(channels), 1);
}

} // namespace

OrvoPSFSensorLog::OrvoPSFSensorLog(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_startTime = reader.readU32Le();
    m_nextSensorLog = reader.readU32Le();
    m_interval = reader.readU8();
    const quint8 flags = reader.readU8();
    m_channels = flags & kChannelMask;
    m_flag7 = flags & kFlag7;
    m_pointCount = reader.readI16Le();
    loadPoints(bytes);
}

OrvoPSFSensorLog::~OrvoPSFSensorLog()
{
    qDeleteAll(m_points);
}

void OrvoPSFSensorLog::loadPoints(QByteArrayView bytes)
{
    if (m_pointCount == kAbsentCount || m_pointCount <= 0 || bytes.size() < kHeaderSize)
        return;
    const qsizetype pointSize = OrvoPSFSensorLogPoint::pointSize(m_channels);
    const qsizetype fitting = (bytes.size() - kHeaderSize) / claimedPointSize(m_channels);
    if (m_pointCount > fitting) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFSensorLog::loadPoints")
            << m_pointCount << "points of" << pointSize << "bytes, only" << fitting << "fit the log's" << bytes.size()
            << "bytes";
        m_pointCount = qint16(fitting);
    }
    m_samples.reserve(m_pointCount);
    for (qsizetype i = 0; i < m_pointCount; ++i) {
        const QByteArrayView pointBytes = bytes.sliced(kHeaderSize + i * pointSize, pointSize);
        m_samples.append(OrvoPSFSensorLogPoint::sampleOf(pointBytes, m_channels));
    }
}

const QVector<OrvoPSFSensorLogPoint *> &OrvoPSFSensorLog::points() const
{
    if (m_points.isEmpty() && !m_samples.isEmpty()) {
        m_points.reserve(m_samples.size());
        for (const OrvoPSFSensorLogPoint::Sample &sample : m_samples)
            m_points.append(new OrvoPSFSensorLogPoint(sample));
    }
    return m_points;
}

qsizetype OrvoPSFSensorLog::loadedSize() const
{
    return kHeaderSize + m_samples.size() * claimedPointSize(m_channels);
}
