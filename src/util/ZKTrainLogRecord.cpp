#include "util/ZKTrainLogRecord.h"

#include "env/OrvoByteReader.h"

bool ZKTrainLogRecord::isMarker() const
{
    return hrm == kZKTrainMarkerByte && cad == kZKTrainMarkerByte;
}

bool ZKTrainLogRecord::isSegmentBreak() const
{
    return isMarker() && quint32(pdm) >> 16 == kZKLogSegmentBreak;
}

bool parseTrainLogRecord(OrvoByteReader &reader, bool extended, ZKTrainLogRecord &record)
{
    if (!reader.canRead(extended ? kZKTrainLogExtendedRecordSize : kZKTrainLogRecordSize))
        return false;
    ZKTrainLogRecord read;
    read.time = qint32(reader.readU32Be());
    read.hrm = reader.readU8();
    read.cad = reader.readU8();
    read.spd = reader.readU16Be();
    read.tmp = qint16(reader.readU16Be());
    read.pwr = reader.readU16Be();
    read.brm = qint32(reader.readU32Be());
    read.pdm = qint32(reader.readU32Be());
    read.gpsSpeed = reader.readU16Be();
    if (extended) {
        read.extensionWord = qint32(reader.readU32Be());
        for (quint8 &byte : read.extensionBytes)
            byte = reader.readU8();
    }
    if (!reader.ok())
        return false;
    record = read;
    return true;
}
