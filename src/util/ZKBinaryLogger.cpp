#include "util/ZKBinaryLogger.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoSaveFile.h"
#include "env/ZKLogger.h"
#include "util/ZKGpsLogRecord.h"
#include "util/ZKTraceLog.h"
#include "util/ZKTraceLogHeader.h"

#include <QSaveFile>
#include <QStringList>

namespace {

constexpr qsizetype kZKLogTextSize = 4;
constexpr qsizetype kMaxVersionTextLength = kZKLogVersionTextSize - 1;

// The device version for the header: of "ZK1.3.0.8 Orvo2.8" only the first word; a text of one
// or of more than two words stays whole. ASCII only, at most 15 characters.
QByteArray headerVersionText(const QString &deviceVersion)
{
    const QStringList words = deviceVersion.split(QLatin1Char(' '));
    const QString text = words.size() == 2 ? words.first() : deviceVersion;
    QByteArray ascii;
    for (const QChar c : text.left(kMaxVersionTextLength))
        ascii.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
    return ascii;
}

// A fixed-size text field: the text, NUL-padded, cut so that at least size bytes are written.
void writeTextField(OrvoByteWriter &writer, const QByteArray &text, qsizetype size)
{
    const QByteArray cut = text.left(size);
    writer.writeBytes(cut);
    writer.fill('\0', size - cut.size());
}

QByteArray textUpToNul(const QByteArray &field)
{
    const qsizetype nul = field.indexOf('\0');
    return nul < 0 ? field : field.left(nul);
}

} // namespace

ZKBinaryLogger::ZKBinaryLogger() = default;

ZKBinaryLogger::~ZKBinaryLogger() = default;

bool ZKBinaryLogger::open(const QString &path)
{
    m_file.reset();
    m_count = 0;
    // Unbuffered, so that a short write shows at the record that caused it.
    auto file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        ZK_LOG_ERROR("can't create GPS log %s: %s", path, file->errorString());
        return false;
    }
    if (!writeHeader(*file, 0, headerVersionText(ZKTraceLog::deviceVersion()), kZKLogTypeText, 0)) {
        ZK_LOG_ERROR("can't write GPS log header %s: %s", path, file->errorString());
        return false;
    }
    m_file = std::move(file);
    return true;
}

bool ZKBinaryLogger::append(const ZKGpsLogRecord &record)
{
    if (!m_file)
        return false;
    const qint64 position = m_file->pos();
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    serializeGpsLogRecord(writer, record);
    if (m_file->write(bytes) != bytes.size()) {
        ZK_LOG_ERROR("rollback GPS log at pos=%d", position);
        m_file->seek(position);
        return false;
    }
    ++m_count;
    return true;
}

bool ZKBinaryLogger::close()
{
    if (!m_file)
        return false;
    const std::unique_ptr<QSaveFile> file = std::move(m_file);
    QByteArray count;
    OrvoByteWriter(count).writeU32Le(m_count);
    // A partial record left by a rolled-back append that nothing overwrote is cut off.
    const qint64 end = kZKLogHeaderSize + qint64(m_count) * kZKGpsLogRecordSize;
    if (!file->resize(end) || !file->seek(kZKLogCountOffset) || file->write(count) != count.size()) {
        ZK_LOG_ERROR("can't finish GPS log %s: %s", file->fileName(), file->errorString());
        return false;
    }
    if (!commitSaveFile(*file)) {
        ZK_LOG_ERROR("can't save GPS log %s: %s", file->fileName(), file->errorString());
        return false;
    }
    return true;
}

quint32 ZKBinaryLogger::count() const
{
    return m_count;
}

bool ZKBinaryLogger::writeHeader(QIODevice &file, quint32 word, const QByteArray &versionText,
                                 const QByteArray &typeText, quint32 count)
{
    QByteArray header;
    OrvoByteWriter writer(header);
    writeTextField(writer, typeText, kZKLogTypeTextSize);
    for (const quint8 part : kZKLogVersion)
        writer.writeU8(part);
    writer.writeU32Le(word);
    writer.writeU32Le(word);
    writer.fill('\0', kZKLogTextSize);
    writeTextField(writer, versionText.left(kMaxVersionTextLength), kZKLogVersionTextSize);
    writer.writeU32Le(count);
    return file.seek(0) && file.write(header) == kZKLogHeaderSize;
}

bool ZKBinaryLogger::readHeader(OrvoByteReader &reader, ZKTraceLogHeader &header)
{
    ZKTraceLogHeader read;
    read.typeText = textUpToNul(reader.readBytes(kZKLogTypeTextSize));
    for (quint8 &part : read.version)
        part = reader.readU8();
    reader.skip(8);
    read.text = textUpToNul(reader.readBytes(kZKLogTextSize));
    read.deviceVersion = textUpToNul(reader.readBytes(kZKLogVersionTextSize));
    read.count = reader.readU32Le();
    if (!reader.ok())
        return false;
    if (read.version[0] != kZKLogVersion[0] || read.version[1] != kZKLogVersion[1]) {
        ZK_LOG_ERROR("Expect PSF VER:%s, got %s", QStringLiteral("%1.%2").arg(kZKLogVersion[0]).arg(kZKLogVersion[1]),
                     QStringLiteral("%1.%2").arg(read.version[0]).arg(read.version[1]));
        return false;
    }
    header = read;
    return true;
}
