#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class OrvoByteReader;
class QIODevice;
class QSaveFile;
struct ZKGpsLogRecord;
struct ZKTraceLogHeader;

// Writes a binary GPS log: the header on open(), one record per append(), the record count
// on close(). The log is built in a temporary file next to the target and replaces it only
// when close() succeeds; a logger destroyed without a successful close() leaves the previous
// file (or none) in place.
class ZKBinaryLogger
{
public:
    ZKBinaryLogger();
    ~ZKBinaryLogger();

    // Starts the log at path with the header of this program's version, count 0 and the
    // device version text of the trace-log context. Any file name works.
    bool open(const QString &path);
    // Appends one record. A short write is rolled back: the position returns to the start of
    // the record, the count stays and a later record overwrites the partial one.
    bool append(const ZKGpsLogRecord &record);
    // Writes the count into the header and replaces the target file; true only then.
    bool close();
    quint32 count() const;

    // The 52 header bytes written at offset 0 of file.
    static bool writeHeader(QIODevice &file, quint32 word, const QByteArray &versionText, const QByteArray &typeText,
                            quint32 count);
    // Reads the header at the reader's position; refuses a truncated header and any version
    // other than 0.2.x.x.
    static bool readHeader(OrvoByteReader &reader, ZKTraceLogHeader &header);

private:
    std::unique_ptr<QSaveFile> m_file;
    quint32 m_count = 0;
};
