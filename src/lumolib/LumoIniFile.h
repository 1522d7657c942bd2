#pragma once

#include <QList>
#include <QPair>
#include <QString>

// An INI file as the device keeps it and as the profile is exchanged: "[section]" lines,
// "key=value" lines (split at the first "="; blanks around key and value dropped), comment
// lines starting with ";" or "#". Keys keep their spelling, blanks and dots included, and
// their order; keys before any section belong to "General".
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
    struct Section
    {
        QString name;
        Entries entries;
    };

    Section &section(const QString &name);

    QList<Section> m_sections;
};
