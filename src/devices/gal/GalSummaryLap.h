#pragma once

#include <QtGlobal>

class OrvoByteReader;

// The summary lap of one recorded activity as the device library answers it, 56 bytes,
// little-endian:
//   0 u32  start, seconds since 1970-01-01 UTC
//   4 u32  end, same unit
//   8 i32  distance in metres
struct GalSummaryLap
{
    static constexpr qsizetype kSize = 56;

    quint32 start = 0;
    quint32 end = 0;
    qint32 distance = 0;
};

bool parseGalSummaryLap(OrvoByteReader &reader, GalSummaryLap &lap);
