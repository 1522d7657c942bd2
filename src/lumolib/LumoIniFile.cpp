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
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        setValue(current, line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return true;
}

QString LumoIniFile::value(const QString &sectionName, const QString &key, const QString &fallback) const
{
    for (const Section &s : m_sections) {
        if (s.name != sectionName)
            continue;
        for (const auto &[k, v] : s.entries) {
            if (k == key)
                return v;
        }
    }
    return fallback;
}

LumoIniFile::Entries LumoIniFile::entries(const QString &sectionName) const
{
    for (const Section &s : m_sections) {
        if (s.name == sectionName)
            return s.entries;
    }
    return {};
}

void LumoIniFile::setValue(const QString &sectionName, const QString &key, const QString &value)
{
    Entries &entries = section(sectionName).entries;
    for (auto &entry : entries) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    entries.append({key, value});
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
        for (const auto &[key, value] : s.entries) {
            if (!writable(key) || !writable(value) || key.contains(QLatin1Char('='))) {
                qCWarning(lcLumo) << "profile key" << key << "can not be written to" << path;
                return false;
            }
            text += key.toUtf8() + '=' + value.toUtf8() + '\n';
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush() || !file.commit()) {
        qCWarning(lcLumo) << "can not write" << path << ":" << file.errorString();
        return false;
    }
    return true;
}
