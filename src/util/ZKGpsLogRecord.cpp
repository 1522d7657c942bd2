#include "util/ZKGpsLogRecord.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"

bool ZKGpsLogRecord::isMarker() const
{
    return type == kZKGpsTypeMarker;
}

bool ZKGpsLogRecord::isSegmentBreak() const
{
    return isMarker() && quint32(lon) >> 16 == kZKLogSegmentBreak;
}

bool ZKGpsLogRecord::isPlanned() const
{
    return !isMarker() && (type & kZKGpsTypePlanned) != 0;
}

bool parseGpsLogRecord(OrvoByteReader &reader, ZKGpsLogRecord &record)
{
    if (!reader.canRead(kZKGpsLogRecordSize))
        return false;
    ZKGpsLogRecord read;
    read.lon = qint32(reader.readU32Be());
    read.lat = qint32(reader.readU32Be());
    read.ele = qint16(reader.readU16Be());
    read.magvar = qint16(reader.readU16Be());
    read.speed = reader.readU16Be();
    read.type = reader.readU16Be();
    read.time = qint32(reader.readU32Be());
    if (!reader.ok())
        return false;
    record = read;
    return true;
}

void serializeGpsLogRecord(OrvoByteWriter &writer, const ZKGpsLogRecord &record)
{
    writer.writeU32Be(quint32(record.lon));
    writer.writeU32Be(quint32(record.lat));
    writer.writeU16Be(quint16(record.ele));
    writer.writeU16Be(quint16(record.magvar));
    writer.writeU16Be(record.speed);
    writer.writeU16Be(record.type);
    writer.writeU32Be(quint32(record.time));
}
