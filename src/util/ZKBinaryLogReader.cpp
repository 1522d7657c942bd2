#include "util/ZKBinaryLogReader.h"

#include "env/OrvoByteReader.h"
#include "util/ZKBinaryLogger.h"
#include "util/ZKGpsLogRecord.h"
#include "util/ZKTrainLogRecord.h"

bool ZKBinaryLogReader::open(const QString &path)
{
    m_file.close();
    m_header = {};
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    OrvoByteReader reader(m_file.read(kZKLogHeaderSize));
    if (!ZKBinaryLogger::readHeader(reader, m_header)) {
        m_file.close();
        return false;
    }
    return true;
}

const ZKTraceLogHeader &ZKBinaryLogReader::header() const
{
    return m_header;
}

bool ZKBinaryLogReader::readGpsRecord(ZKGpsLogRecord &record)
{
    if (!m_file.isOpen())
        return false;
    OrvoByteReader reader(m_file.read(kZKGpsLogRecordSize));
    return parseGpsLogRecord(reader, record);
}

bool ZKBinaryLogReader::readTrainRecord(ZKTrainLogRecord &record)
{
    if (!m_file.isOpen())
        return false;
    const bool extended = m_header.hasExtendedTrainRecords();
    OrvoByteReader reader(m_file.read(extended ? kZKTrainLogExtendedRecordSize : kZKTrainLogRecordSize));
    return parseTrainLogRecord(reader, extended, record);
}
