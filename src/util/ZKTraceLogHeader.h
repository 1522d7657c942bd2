#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The 52-byte header of a GPS or training log, little-endian:
//   0 16 bytes type text, ASCII, NUL-padded ("gps track")
//  16  4 bytes version, one byte per part (0.2.1.8)
//  20  4 bytes word, 24 4 bytes word (both skipped by readers and kept as 0)
//  28  4 bytes text
//  32 16 bytes device version text, ASCII, NUL-terminated
//  48 uint32   record count, 0 until the writer closed the log
struct ZKTraceLogHeader
{
    QByteArray typeText;
    std::array<quint8, 4> version{};
    quint32 word1 = 0;
    quint32 word2 = 0;
    QByteArray text;
    QByteArray deviceVersion;
    quint32 count = 0;

    // "0.2.1.8": the four version bytes in decimal, joined by points.
    QString versionText() const;
    // Part by part and numerically, so that 0.2.1.10 counts as newer than 0.2.1.4.
    bool isVersionAtLeast(const QString &version) const;
    // Training records carry the 10-byte extension from version x.x.2.x or x.x.x.9 on.
    bool hasExtendedTrainRecords() const;
};
