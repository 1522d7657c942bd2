#include "psf14/OrvoPSFWorkoutLog.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf14/OrvoPSFIntervalLog.h"

#include <algorithm>

namespace {

constexpr quint16 kAbsentCount = 0xFFFF;

} // namespace

OrvoPSFWorkoutLog::OrvoPSFWorkoutLog(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_value0 = reader.readU32Le();
    m_value4 = reader.readU32Le();
    m_nextWorkoutLog = reader.readU32Le();
    m_rideOffset = reader.readU32Le();
    const quint16 count = reader.readU16Le();
    m_intervalLogCount = count == kAbsentCount ? 0 : count;
    if (bytes.size() >= kHeaderSize)
        loadIntervalLogs(bytes);
}

OrvoPSFWorkoutLog::~OrvoPSFWorkoutLog() = default;

void OrvoPSFWorkoutLog::loadIntervalLogs(QByteArrayView bytes)
{
    const qsizetype fitting = (bytes.size() - kHeaderSize) / OrvoPSFIntervalLog::kSize;
    if (m_intervalLogCount > fitting) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFWorkoutLog::loadIntervalLogs")
            << m_intervalLogCount << "interval logs, only" << fitting << "fit the log's" << bytes.size() << "bytes";
        m_intervalLogCount = quint16(fitting);
    }
    for (qsizetype i = 0; i < m_intervalLogCount; ++i) {
        const QByteArrayView logBytes =
            bytes.sliced(kHeaderSize + i * OrvoPSFIntervalLog::kSize, OrvoPSFIntervalLog::kSize);
        m_intervalLogs.append(new OrvoPSFIntervalLog(logBytes, this));
    }
}

qsizetype OrvoPSFWorkoutLog::loadedSize() const
{
    return kHeaderSize + m_intervalLogs.size() * OrvoPSFIntervalLog::kSize;
}
