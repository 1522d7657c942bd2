#include "lumolib/LumoIniFile.h"

#include "lumolib/LumoLogging.h"

#include <QFile>
#include <QSaveFile>

namespace {

const QString kGeneral = QStringLiteral("General");

bool writable(const QString &text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
}

} // namespace

bool LumoIniFile::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > kMaxFileSize) {
        qCWarning(lcLumo) << path << "has" << file.size() << "bytes, more than" << kMaxFileSize;
        return false;
    }
    m_sections.clear();
    QString current = kGeneral;
    // A line ends at LF, CR LF or a CR alone, as the other readers of these files see it: a CR
    // kept inside a key or value could never be written out again.
    QByteArray text = file.readAll();
    text.replace("\r\n", "\n").replace('\r', '\n');
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        setLine(current, line.left(equals).trimmed(), line.mid(equals + 1).trimmed(), raw);
    }
    return true;
}

QString LumoIniFile::value(const QString &sectionName, const QString &key, const QString &fallback) const
{
    for (const Section &s : m_sections) {
        if (s.name != sectionName)
            continue;
        for (const Line &line : s.lines) {
            if (line.key == key)
                return line.value;
        }
    }
    return fallback;
}

LumoIniFile::Entries LumoIniFile::entries(const QString &sectionName) const
{
    Entries entries;
    for (const Section &s : m_sections) {
        if (s.name != sectionName)
            continue;
        for (const Line &line : s.lines)
            entries.append({line.key, line.value});
    }
    return entries;
}

void LumoIniFile::setValue(const QString &sectionName, const QString &key, const QString &value)
{
    setLine(sectionName, key, value, QByteArray());
}

void LumoIniFile::setLine(const QString &sectionName, const QString &key, const QString &value, const QByteArray &raw)
{
    QList<Line> &lines = section(sectionName).lines;
    for (Line &line : lines) {
        if (line.key == key) {
            line.value = value;
            line.raw = raw;
            return;
        }
    }
    lines.append({key, value, raw});
}

LumoIniFile::Section &LumoIniFile::section(const QString &name)
{
    for (Section &s : m_sections) {
        if (s.name == name)
            return s;
    }
    m_sections.append({name, {}});
    return m_sections.last();
}

bool LumoIniFile::write(const QString &path) const
{
    QByteArray text;
    for (const Section &s : m_sections) {
        if (!writable(s.name))
            return false;
        text += '[' + s.name.toUtf8() + "]\n";
        for (const Line &line : s.lines) {
            if (!line.raw.isNull()) {
                text += line.raw + '\n';
                continue;
            }
            if (!writable(line.key) || !writable(line.value) || line.key.contains(QLatin1Char('='))) {
                qCWarning(lcLumo) << "profile key" << line.key << "can not be written to" << path;
                return false;
            }
            text += line.key.toUtf8() + '=' + line.value.toUtf8() + '\n';
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush() || !file.commit()) {
        qCWarning(lcLumo) << "can not write" << path << ":" << file.errorString();
        return false;
    }
    return true;
}
