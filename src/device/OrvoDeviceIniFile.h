#pragma once

#include <QByteArray>
#include <QString>

// A device's own information file ("device.ini", "System/device.txt"): INI text that the
// device's firmware wrote. It is read as it stands, with group and key names compared without
// regard to case, and the one key this program adds is inserted into the text in place, so that
// nothing else in the file changes.
class OrvoDeviceIniFile
{
public:
    // Files on a device are a few hundred bytes; anything larger is not a device file.
    static constexpr qsizetype kMaxFileSize = 64 * 1024;

    explicit OrvoDeviceIniFile(const QString &path);

    // False when the file cannot be read or is too large.
    bool load();
    bool contains(const QString &group, const QString &key) const;
    // The value with surrounding blanks and quotes removed; empty when the key is missing.
    QString value(const QString &group, const QString &key) const;
    // The same for a key named the way settings name them: "group/key", or "key" alone for one
    // above the first group or in the group "General".
    bool containsSetting(const QString &settingKey) const;
    QString settingValue(const QString &settingKey) const;
    // Adds "key=value" to the group unless the group already holds the key, and then saves the
    // file. False only when a needed write failed.
    bool addMissingKey(const QString &group, const QString &key, const QString &value);

private:
    // Where a key stands in the text; index -1 when it is missing.
    struct Lookup
    {
        qsizetype valueStart = -1;
        qsizetype valueEnd = -1;
        // Where a new key of the group goes: after the group's last key line, or after its
        // header; -1 when the group is missing.
        qsizetype insertAt = -1;
    };

    Lookup find(const QString &group, const QString &key) const;
    Lookup findSetting(const QString &settingKey) const;
    QString valueAt(const Lookup &found) const;
    QByteArray lineBreak() const;
    bool save(const QByteArray &text);

    QString m_path;
    QByteArray m_text;
};
