#pragma once

#include "profile/OrvoProfileReader.h"

#include <QByteArray>

// The user record of the binary profile formats: 22 bytes, little-endian, no padding, packed
// with the letters "BBHffffH":
//   0  u8   sex: 1 male, 0 female
//   1  u8   age in completed years
//   2  u16  reserved: written as 0, ignored when read
//   4  f32  height, metric unit
//   8  f32  height, imperial unit
//   12 f32  weight, metric unit
//   16 f32  weight, imperial unit
//   20 u16  maximum heart rate ("User MHR")
struct OrvoProfileUserRecord
{
    quint8 sex = 0;
    quint8 age = 0;
    float heightMetric = 0;
    float heightImperial = 0;
    float weightMetric = 0;
    float weightImperial = 0;
    quint16 mhr = 0;

    // Reads the record at offset; false, with the record unchanged, when the sector is short.
    bool read(const QByteArray &sector, qsizetype offset);
    // Packs the record at offset; false, with nothing written, when it does not fit.
    bool write(QByteArray &sector, qsizetype offset) const;

    // Inserts the record's keys; the record keeps no birthday, so the caller gives its text.
    void insertInto(OrvoProfileMap &map, const QString &birthday) const;
    // Replaces the fields whose keys the map holds; age is the age of the map's birthday.
    void takeFrom(const OrvoProfileMap &map, qint64 ageOfBirthday);
};
