#pragma once

#include "util/ZKBinaryLogFormat.h"

#include <array>

class OrvoByteReader;

// One training (sensor) log record, big-endian, 22 bytes or 32 with the extension:
//   0 int32  time      as in the GPS record
//   4 uint8  hrm       heart rate, 0xFF empty
//   5 uint8  cad       cadence, 0xFF empty
//   6 uint16 spd       speed, 0xFFFF empty (metres per minute from log version 0.2.1.2 on)
//   8 int16  tmp       temperature, 0x7FFF empty
//  10 uint16 pwr       power, 0xFFFF empty
//  12 int32  brm       hundredths, 0x7FFFFFFF empty
//  16 int32  pdm       0 empty
//  20 uint16 gpsSpeed  used when spd is empty, 0xFFFF empty
//  22 int32  extension word      (32-byte records only)
//  26 6 x uint8 extension bytes  (32-byte records only)
struct ZKTrainLogRecord
{
    qint32 time = 0;
    quint8 hrm = kZKEmptyU8;
    quint8 cad = kZKEmptyU8;
    quint16 spd = kZKEmptyU16;
    qint16 tmp = kZKEmptyI16;
    quint16 pwr = kZKEmptyU16;
    qint32 brm = kZKEmptyI32;
    qint32 pdm = 0;
    quint16 gpsSpeed = kZKEmptyU16;
    qint32 extensionWord = 0;
    std::array<quint8, 6> extensionBytes{};

    // hrm and cad both 0xFE: no sample, but a segment break or a record to ignore.
    bool isMarker() const;
    // A marker whose pdm upper half is 0x0001: the segment ends after the previous sample.
    bool isSegmentBreak() const;
};

// Reads one record; the extension part only when extended is set (see ZKTraceLogHeader).
bool parseTrainLogRecord(OrvoByteReader &reader, bool extended, ZKTrainLogRecord &record);
