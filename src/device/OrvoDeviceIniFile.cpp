#include "device/OrvoDeviceIniFile.h"

#include "device/OrvoDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"

#include <QFile>
#include <QSaveFile>

namespace {

// Where settings keep the keys that belong to no group.
const QString kGeneralGroup = QStringLiteral("General");

struct Line
{
    qsizetype start = 0;
    // End of the line's text, before any "\r\n" or "\n".
    qsizetype textEnd = 0;
    // Start of the next line (the text's size for the last one).
    qsizetype next = 0;
};

Line lineAt(const QByteArray &text, qsizetype start)
{
    const qsizetype newline = text.indexOf('\n', start);
    Line line;
    line.start = start;
    line.next = newline < 0 ? text.size() : newline + 1;
    line.textEnd = newline < 0 ? text.size() : newline;
    if (line.textEnd > start && text.at(line.textEnd - 1) == '\r')
        --line.textEnd;
    return line;
}

bool sameName(const QByteArray &name, const QString &wanted)
{
    return QString::fromUtf8(name.trimmed()).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isComment(const QByteArray &trimmed)
{
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

} // namespace

OrvoDeviceIniFile::OrvoDeviceIniFile(const QString &path)
    : m_path(path)
{}

bool OrvoDeviceIniFile::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoDeviceIniFile::load") << "cannot read" << m_path << file.errorString();
        return false;
    }
    if (file.size() > kMaxFileSize) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoDeviceIniFile::load")
            << "refused" << m_path << ": size" << file.size() << "above" << kMaxFileSize;
        return false;
    }
    m_text = file.read(kMaxFileSize + 1);
    if (m_text.size() > kMaxFileSize) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoDeviceIniFile::load") << "refused" << m_path << ": grew while read";
        m_text.clear();
        return false;
    }
    return true;
}

bool OrvoDeviceIniFile::contains(const QString &group, const QString &key) const
{
    return find(group, key).valueStart >= 0;
}

QString OrvoDeviceIniFile::value(const QString &group, const QString &key) const
{
    return valueAt(find(group, key));
}

bool OrvoDeviceIniFile::containsSetting(const QString &settingKey) const
{
    return findSetting(settingKey).valueStart >= 0;
}

QString OrvoDeviceIniFile::settingValue(const QString &settingKey) const
{
    return valueAt(findSetting(settingKey));
}

OrvoDeviceIniFile::Lookup OrvoDeviceIniFile::findSetting(const QString &settingKey) const
{
    const qsizetype slash = settingKey.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        return find(settingKey.left(slash), settingKey.mid(slash + 1));
    const Lookup topLevel = find(QString(), settingKey);
    return topLevel.valueStart >= 0 ? topLevel : find(kGeneralGroup, settingKey);
}

QString OrvoDeviceIniFile::valueAt(const Lookup &found) const
{
    if (found.valueStart < 0)
        return QString();
    QByteArray raw = m_text.mid(found.valueStart, found.valueEnd - found.valueStart).trimmed();
    if (raw.size() >= 2 && raw.startsWith('"') && raw.endsWith('"'))
        raw = raw.mid(1, raw.size() - 2);
    return QString::fromUtf8(raw);
}

bool OrvoDeviceIniFile::addMissingKey(const QString &group, const QString &key, const QString &value)
{
    const Lookup found = find(group, key);
    if (found.valueStart >= 0)
        return true;
    const QByteArray lb = lineBreak();
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    const bool endsOpen = !m_text.isEmpty() && !m_text.endsWith('\n');
    QByteArray text = m_text;
    if (found.insertAt < 0)
        text.append((endsOpen ? lb : QByteArray()) + '[' + group.toUtf8() + ']' + lb + entry + lb);
    else if (found.insertAt == text.size() && endsOpen)
        text.append(lb + entry);
    else
        text.insert(found.insertAt, entry + lb);
    if (!save(text))
        return false;
    m_text = text;
    return true;
}

OrvoDeviceIniFile::Lookup OrvoDeviceIniFile::find(const QString &group, const QString &key) const
{
    Lookup found;
    // An empty group names the keys above the first group header.
    bool inGroup = group.isEmpty();
    for (qsizetype start = 0; start < m_text.size();) {
        const Line line = lineAt(m_text, start);
        start = line.next;
        const QByteArray trimmed = m_text.mid(line.start, line.textEnd - line.start).trimmed();
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            // A second section of the same name continues the first one.
            inGroup = close > 0 && sameName(trimmed.mid(1, close - 1), group);
            if (inGroup && found.insertAt < 0)
                found.insertAt = line.next;
            continue;
        }
        if (!inGroup || trimmed.isEmpty() || isComment(trimmed))
            continue;
        found.insertAt = line.next;
        const qsizetype equals = m_text.indexOf('=', line.start);
        if (equals < 0 || equals >= line.textEnd)
            continue;
        if (sameName(m_text.mid(line.start, equals - line.start), key)) {
            found.valueStart = equals + 1;
            found.valueEnd = line.textEnd;
            return found;
        }
    }
    return found;
}

QByteArray OrvoDeviceIniFile::lineBreak() const
{
    // Files written on the device's side use CR LF; keep whatever the file uses.
    return m_text.contains("\r\n") || m_text.isEmpty() ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

bool OrvoDeviceIniFile::save(const QByteArray &text)
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !commitSaveFile(file)) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoDeviceIniFile::save") << "cannot write" << m_path << file.errorString();
        return false;
    }
    return true;
}
