#pragma once

#include <QByteArray>
#include <QtGlobal>

class OrvoByteReader;

// The header of one recorded activity as the device library answers it, 88 bytes,
// little-endian:
//    4 u8   flags: bit 1 no name stored, bit 4 uploaded
//    5 u8   activity type in the low 4 bits
//   62 u16  name length in bytes
//   72 16   name, 8-bit text, not terminated
// The stored length is the device's word: the name never reads past the header's end.
struct GalActivityContent
{
    static constexpr qsizetype kSize = 88;
    static constexpr qsizetype kNameOffset = 72;
    static constexpr qsizetype kNameCapacity = kSize - kNameOffset;

    quint8 flags = 0;
    quint8 activityType = 0;
    quint16 storedNameLength = 0;
    // Empty when the flags say no name is stored.
    QByteArray name;

    bool hasName() const;
    bool uploaded() const;
};

bool parseGalActivityContent(OrvoByteReader &reader, GalActivityContent &content);
