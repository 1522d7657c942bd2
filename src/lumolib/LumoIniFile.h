#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// An INI file as the device keeps it and as the profile is exchanged: lines ended by LF, CR LF
// or a CR alone; "[section]" lines, "key=value" lines (split at the first "="; blanks around
// key and value dropped), comment lines starting with ";" or "#". Keys keep their spelling,
// blanks and dots included, and their order; keys before any section belong to "General". A
// line whose value is not set anew is written back with the bytes it was read with.
class LumoIniFile
{
public:
    using Entries = QList<QPair<QString, QString>>;

    static constexpr qint64 kMaxFileSize = 1 << 20;

    // False when the file is missing, larger than kMaxFileSize or not readable.
    bool read(const QString &path);
    QString value(const QString &section, const QString &key, const QString &fallback = QString()) const;
    Entries entries(const QString &section) const;
    void setValue(const QString &section, const QString &key, const QString &value);
    // False, and nothing written, when an entry cannot be written back as it is (a line break
    // anywhere, "=" in a key) or the file cannot be replaced.
    bool write(const QString &path) const;

private:
    // One key's line: its text as read, kept for writing back while the value is not set anew,
    // so that bytes that are not UTF-8 stay as the device wrote them.
    struct Line
    {
        QString key;
        QString value;
        QByteArray raw;
    };
    struct Section
    {
        QString name;
        QList<Line> lines;
    };

    void setLine(const QString &section, const QString &key, const QString &value, const QByteArray &raw);

    Section &section(const QString &name);

    QList<Section> m_sections;
};
