#pragma once

#include <QByteArray>
#include <QList>

// One ".wkt" file: the 36-byte template, a 16-bit entry count, then that many string records
// (0 flags, 1 zero, 2 payload length u16, 4 language code, 8 width u16, 10 height u16,
// 12 payload), all little-endian. parse checks every count and length against the bytes it
// has before it keeps anything.
class LumoWorkoutFile
{
public:
    static constexpr qsizetype kTemplateSize = 36;
    static constexpr qsizetype kCountSize = 2;
    static constexpr qsizetype kRecordHeaderSize = 12;
    static constexpr qsizetype kCodeOffset = 4;
    static constexpr qsizetype kCodeSize = 4;
    static constexpr qint64 kMaxFileSize = 1 << 20;

    bool parse(const QByteArray &bytes, const QString &source);

    QByteArray templateBytes() const { return m_template; }
    // The record whose code matches language (any case), else the first; with its follow-on
    // bit cleared, since it is handed out alone. Empty when the file has no name entry.
    QByteArray nameRecord(const QByteArray &language) const;

private:
    QByteArray m_template;
    QList<QByteArray> m_records;
};
