#pragma once

#include <QtGlobal>

class OrvoByteReader;

// The template of one workout as the device library answers it, 36 bytes, little-endian:
//    0 u32  time, seconds since 1970-01-01 UTC; 0xFFFFFFFF none
//    4 u32  workout id
//   12 u8   activity type in the low 4 bits; bit 5 set: the names are bit-font images
//   13 u8   workout type in bits 5 to 7
//   14 u8   sub type in the low 4 bits
struct GalWorkoutTemplate
{
    static constexpr qsizetype kSize = 36;
    static constexpr quint32 kNoTime = 0xFFFFFFFF;

    quint32 time = kNoTime;
    quint32 id = 0;
    quint8 typeByte = 0;
    quint8 workoutTypeByte = 0;
    quint8 subTypeByte = 0;

    bool hasTime() const;
    bool nameIsImage() const;
    int activityType() const;
    int workoutType() const;
    int subType() const;
};

bool parseGalWorkoutTemplate(OrvoByteReader &reader, GalWorkoutTemplate &workoutTemplate);
