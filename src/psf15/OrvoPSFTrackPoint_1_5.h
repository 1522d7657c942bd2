#pragma once

#include "psf/OrvoPSFObject.h"

// One delta-coded track point. Byte 0: bits 0-1 the type, bits 2-7 the ticks since the previous
// point (planned routes use bits 2-4 as three point flags). The type fixes the widths of the
// signed little-endian deltas that follow, in this order: altitude (tenths of a metre), then
// longitude and latitude (micro-degrees).
//   type 0: 6 bytes,  altitude 8 bits, coordinates 16 bits
//   type 1: 7 bytes,  altitude 16 bits, coordinates 16 bits
//   type 2: 10 bytes, altitude 8 bits, coordinates 32 bits
//   type 3: 11 bytes, altitude 16 bits, coordinates 32 bits
class OrvoPSFTrackPoint_1_5 : public OrvoPSFObject
{
public:
    static constexpr int kFlagCount = 3;

    explicit OrvoPSFTrackPoint_1_5(std::span<uchar> bytes);

    static qsizetype sizeOfType(int type);
    qsizetype size() const override;
    int type() const;
    // Sets the type; the deltas are to be stored after it, at the new type's widths.
    void setType(int type);
    int ticks() const;
    bool flag(int index) const;
    void setFlag(int index, bool on);

    qint32 altitudeDelta() const;
    qint32 coordinateDeltaA() const; // longitude
    qint32 coordinateDeltaB() const; // latitude
    // Each answers false, writing nothing, when the delta does not fit the type's width.
    bool setAltitudeDelta(qint32 delta);
    bool setCoordinateDeltaA(qint32 delta);
    bool setCoordinateDeltaB(qint32 delta);

private:
    qint32 readSigned(qsizetype offset, int width) const;
    bool writeSigned(qsizetype offset, int width, qint32 value);
};
