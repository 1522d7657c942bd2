#include "psf15/OrvoPSFTrackPoint_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

#include <limits>

namespace {

constexpr qsizetype kTypeOffset = 0;
constexpr int kTicksShift = 2;
constexpr int kFlagShift = 2;
constexpr qsizetype kAltitudeOffset = 1;

int altitudeWidth(int type)
{
    return (type & 1) ? 2 : 1;
}

int coordinateWidth(int type)
{
    return (type & 2) ? 4 : 2;
}

qsizetype longitudeOffset(int type)
{
    return kAltitudeOffset + altitudeWidth(type);
}

qsizetype latitudeOffset(int type)
{
    return longitudeOffset(type) + coordinateWidth(type);
}

bool fits(qint32 value, int width)
{
    switch (width) {
    case 1:
        return value >= std::numeric_limits<qint8>::min() && value <= std::numeric_limits<qint8>::max();
    case 2:
        return value >= std::numeric_limits<qint16>::min() && value <= std::numeric_limits<qint16>::max();
    default:
        return true;
    }
}

} // namespace

OrvoPSFTrackPoint_1_5::OrvoPSFTrackPoint_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{}

qsizetype OrvoPSFTrackPoint_1_5::sizeOfType(int type)
{
    return latitudeOffset(type) + coordinateWidth(type);
}

qsizetype OrvoPSFTrackPoint_1_5::size() const
{
    return sizeOfType(type());
}

int OrvoPSFTrackPoint_1_5::type() const
{
    return bits(kTypeOffset, 0, 2);
}

void OrvoPSFTrackPoint_1_5::setType(int type)
{
    setBits(kTypeOffset, 0, 2, quint8(type));
}

int OrvoPSFTrackPoint_1_5::ticks() const
{
    return u8(kTypeOffset) >> kTicksShift;
}

bool OrvoPSFTrackPoint_1_5::flag(int index) const
{
    return index >= 0 && index < kFlagCount && bits(kTypeOffset, kFlagShift + index, 1) != 0;
}

void OrvoPSFTrackPoint_1_5::setFlag(int index, bool on)
{
    if (index >= 0 && index < kFlagCount)
        setBits(kTypeOffset, kFlagShift + index, 1, on ? 1 : 0);
}

qint32 OrvoPSFTrackPoint_1_5::altitudeDelta() const
{
    return readSigned(kAltitudeOffset, altitudeWidth(type()));
}

qint32 OrvoPSFTrackPoint_1_5::coordinateDeltaA() const
{
    return readSigned(longitudeOffset(type()), coordinateWidth(type()));
}

qint32 OrvoPSFTrackPoint_1_5::coordinateDeltaB() const
{
    return readSigned(latitudeOffset(type()), coordinateWidth(type()));
}

bool OrvoPSFTrackPoint_1_5::setAltitudeDelta(qint32 delta)
{
    return writeSigned(kAltitudeOffset, altitudeWidth(type()), delta);
}

bool OrvoPSFTrackPoint_1_5::setCoordinateDeltaA(qint32 delta)
{
    return writeSigned(longitudeOffset(type()), coordinateWidth(type()), delta);
}

bool OrvoPSFTrackPoint_1_5::setCoordinateDeltaB(qint32 delta)
{
    return writeSigned(latitudeOffset(type()), coordinateWidth(type()), delta);
}

qint32 OrvoPSFTrackPoint_1_5::readSigned(qsizetype offset, int width) const
{
    switch (width) {
    case 1:
        return qint8(u8(offset));
    case 2:
        return qint16(u16(offset));
    default:
        return qint32(u32(offset));
    }
}

bool OrvoPSFTrackPoint_1_5::writeSigned(qsizetype offset, int width, qint32 value)
{
    if (!fits(value, width)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackPoint_1_5::writeSigned")
            << "delta" << value << "does not fit the" << width << "bytes of a type" << type() << "point";
        return false;
    }
    switch (width) {
    case 1:
        return setU8(offset, quint8(value));
    case 2:
        return setU16(offset, quint16(value));
    default:
        return setU32(offset, quint32(value));
    }
}
