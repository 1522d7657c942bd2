#include "device/OrvoMountInfo.h"

#include "device/OrvoDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QFile>
#include <QList>

namespace {

// A mount table of thousands of entries stays far below this; anything larger is not one.
constexpr qint64 kMaxMountInfoSize = 8 * 1024 * 1024;
constexpr qint64 kReadChunk = 64 * 1024;
// Fields before the optional ones: id, parent id, major:minor, root, mount point, options.
constexpr qsizetype kDeviceField = 2;
constexpr qsizetype kMountPointField = 4;
constexpr qsizetype kFirstOptionalField = 6;
// After the "-" separator: file-system type, source, super options.
constexpr qsizetype kFieldsAfterSeparator = 2;
constexpr int kOctalEscapeLength = 3;

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes space, tab, line feed and backslash in paths as a backslash and three
// octal digits ("\040" for a space).
QString unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const bool escaped = field.at(i) == '\\' && i + kOctalEscapeLength < field.size() &&
                             isOctalDigit(field.at(i + 1)) && isOctalDigit(field.at(i + 2)) &&
                             isOctalDigit(field.at(i + 3));
        if (!escaped) {
            out.append(field.at(i));
            continue;
        }
        const int value = (field.at(i + 1) - '0') * 64 + (field.at(i + 2) - '0') * 8 + (field.at(i + 3) - '0');
        out.append(char(value & 0xFF));
        i += kOctalEscapeLength;
    }
    return QString::fromUtf8(out);
}

bool parseLine(const QByteArray &line, OrvoMountInfo::Entry &entry)
{
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype separator = fields.indexOf(QByteArrayLiteral("-"), kFirstOptionalField);
    if (separator < 0 || fields.size() <= separator + kFieldsAfterSeparator)
        return false;
    entry.device = QString::fromLatin1(fields.at(kDeviceField));
    entry.mountPoint = unescape(fields.at(kMountPointField));
    entry.fileSystemType = unescape(fields.at(separator + 1));
    entry.source = unescape(fields.at(separator + 2));
    return !entry.mountPoint.isEmpty();
}

} // namespace

QVector<OrvoMountInfo::Entry> OrvoMountInfo::parse(const QByteArray &text)
{
    QVector<Entry> entries;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        Entry entry;
        if (parseLine(line, entry))
            entries.append(entry);
        else
            ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoMountInfo::parse") << "skipped mount line" << line;
    }
    return entries;
}

QVector<OrvoMountInfo::Entry> OrvoMountInfo::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoMountInfo::read") << "cannot read" << path << file.errorString();
        return {};
    }
    // Files under /proc report no size, so read to the end, but never more than a mount table holds.
    QByteArray text;
    for (QByteArray chunk = file.read(kReadChunk); !chunk.isEmpty(); chunk = file.read(kReadChunk)) {
        text += chunk;
        if (text.size() > kMaxMountInfoSize) {
            ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoMountInfo::read") << path << "is larger than" << kMaxMountInfoSize;
            return {};
        }
    }
    return parse(text);
}
