#pragma once

#include "util/ZKBinaryLogFormat.h"

class OrvoByteReader;
class OrvoByteWriter;

// One GPS log record, 20 bytes, big-endian:
//   0 int32  lon     micro-degrees
//   4 int32  lat     micro-degrees
//   8 int16  ele     tenths of a metre, 0x7FFF empty
//  10 int16  magvar  whole degrees, 0x7FFF empty
//  12 uint16 speed   metres per minute, 0xFFFF empty
//  14 uint16 type    bit set; 0x40 ends a planned-trip track, 0x8000 a planned point, 0xFFFF a marker
//  16 int32  time    seconds since 1970 UTC, or since the ride's start from log version 0.2.1.4 on
struct ZKGpsLogRecord
{
    qint32 lon = 0;
    qint32 lat = 0;
    qint16 ele = kZKEmptyI16;
    qint16 magvar = kZKEmptyI16;
    quint16 speed = kZKEmptyU16;
    quint16 type = 0;
    qint32 time = 0;

    // No position: a segment break or a record to ignore.
    bool isMarker() const;
    // A marker whose first word's upper half is 0x0001: the segment ends after the previous position.
    bool isSegmentBreak() const;
    bool isPlanned() const;
};

bool parseGpsLogRecord(OrvoByteReader &reader, ZKGpsLogRecord &record);
void serializeGpsLogRecord(OrvoByteWriter &writer, const ZKGpsLogRecord &record);
