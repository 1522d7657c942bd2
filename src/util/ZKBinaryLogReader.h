#pragma once

#include "util/ZKTraceLogHeader.h"

#include <QFile>
#include <QString>

struct ZKGpsLogRecord;
struct ZKTrainLogRecord;

// Reads a GPS or training log record by record, so that a log of any length is read with a
// fixed amount of memory. A truncated last record ends the log like the end of the file.
class ZKBinaryLogReader
{
public:
    // Opens the log and reads its header; false when the file does not open or the header is
    // truncated or of another version than 0.2.x.x.
    bool open(const QString &path);
    const ZKTraceLogHeader &header() const;

    // The next record; false at the end of the log.
    bool readGpsRecord(ZKGpsLogRecord &record);
    // The next record, with the extension part when the header's version has it.
    bool readTrainRecord(ZKTrainLogRecord &record);

private:
    QFile m_file;
    ZKTraceLogHeader m_header;
};
