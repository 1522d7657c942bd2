#include "psf15/OrvoPSFInterval_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

#include <limits>

namespace {

constexpr qsizetype kStepOffset = 0;
constexpr int kScaledBit = 3;
constexpr int kTargetTypeShift = 4;
constexpr qsizetype kDurationTypeOffset = 1;
constexpr qsizetype kDurationOffset = 2;
constexpr qsizetype kNextOffset = 4;
constexpr qsizetype kRepeatOffset = 12;
constexpr qsizetype kTargetLowOffset = 13;
constexpr qsizetype kTargetHighOffset = 14;
constexpr qsizetype kFlagsOffset = 17;
constexpr int kTargetFlagBit = 1;
constexpr int kLapBit = 2;
constexpr int kDurationFlagBit = 3;
constexpr quint8 kFixedFlagBits = 0x71; // bit 0 and bits 4-6
constexpr qsizetype kTargetBitsOffset = 18;
constexpr qsizetype kResolutionOffset = 19;
constexpr qint64 kDistanceScale = 100;
constexpr qint64 kTimeScale = 60;

bool fitsSignedWord(qint64 value)
{
    return value >= std::numeric_limits<qint16>::min() && value <= std::numeric_limits<qint16>::max();
}

qint64 scaleOf(OrvoPSFInterval_1_5::DurationKind kind)
{
    switch (kind) {
    case OrvoPSFInterval_1_5::DurationKind::Distance:
        return kDistanceScale;
    case OrvoPSFInterval_1_5::DurationKind::Time:
        return kTimeScale;
    case OrvoPSFInterval_1_5::DurationKind::Other:
        break;
    }
    return 0;
}

} // namespace

OrvoPSFInterval_1_5::OrvoPSFInterval_1_5(std::span<uchar> bytes, bool fresh)
    : OrvoPSFObject(bytes)
{
    if (fresh) {
        fill(0, kSize, 0);
        setLink(kNextOffset, -1);
    }
}

qsizetype OrvoPSFInterval_1_5::size() const
{
    return kSize;
}

QString OrvoPSFInterval_1_5::identifier() const
{
    return m_identifier;
}

void OrvoPSFInterval_1_5::setIdentifier(const QString &identifier)
{
    m_identifier = identifier;
}

OrvoPSFStepType OrvoPSFInterval_1_5::stepType() const
{
    return OrvoPSFStepType(bits(kStepOffset, 0, 3));
}

void OrvoPSFInterval_1_5::setStepType(int code)
{
    setBits(kStepOffset, 0, 3, quint8(code));
}

bool OrvoPSFInterval_1_5::isDurationScaled() const
{
    return bits(kStepOffset, kScaledBit, 1) != 0;
}

quint8 OrvoPSFInterval_1_5::targetType() const
{
    return bits(kStepOffset, kTargetTypeShift, 4);
}

void OrvoPSFInterval_1_5::setTargetType(quint8 type)
{
    setBits(kStepOffset, kTargetTypeShift, 4, type);
}

quint8 OrvoPSFInterval_1_5::durationType() const
{
    return u8(kDurationTypeOffset);
}

quint16 OrvoPSFInterval_1_5::durationValue() const
{
    return u16(kDurationOffset);
}

bool OrvoPSFInterval_1_5::setDuration(quint8 type, qint64 value, DurationKind kind)
{
    qint64 stored = value;
    bool scaled = false;
    if (!fitsSignedWord(value)) {
        const qint64 scale = scaleOf(kind);
        stored = scale > 0 ? value / scale : value;
        scaled = scale > 0;
    }
    if (!fitsSignedWord(stored)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFInterval_1_5::setDuration")
            << "duration" << value << "of type" << type << "does not fit the interval";
        return false;
    }
    setU8(kDurationTypeOffset, type);
    setU16(kDurationOffset, quint16(stored));
    setBits(kStepOffset, kScaledBit, 1, scaled ? 1 : 0);
    return true;
}

qint64 OrvoPSFInterval_1_5::duration(DurationKind kind) const
{
    const qint64 raw = qint16(durationValue());
    const qint64 scale = scaleOf(kind);
    return isDurationScaled() && scale > 0 ? raw * scale : raw;
}

qint64 OrvoPSFInterval_1_5::nextInterval() const
{
    return link(kNextOffset);
}

bool OrvoPSFInterval_1_5::setNextInterval(qint64 offset)
{
    return setLink(kNextOffset, offset);
}

quint8 OrvoPSFInterval_1_5::repeatCount() const
{
    return u8(kRepeatOffset);
}

void OrvoPSFInterval_1_5::setRepeatCount(quint8 count)
{
    setU8(kRepeatOffset, count);
}

quint8 OrvoPSFInterval_1_5::targetLow() const
{
    return u8(kTargetLowOffset);
}

quint8 OrvoPSFInterval_1_5::targetHigh() const
{
    return u8(kTargetHighOffset);
}

void OrvoPSFInterval_1_5::setTarget(quint8 low, quint8 high)
{
    setU8(kTargetLowOffset, low);
    setU8(kTargetHighOffset, high);
}

quint8 OrvoPSFInterval_1_5::targetLowHighBits() const
{
    return bits(kTargetBitsOffset, 0, 4);
}

quint8 OrvoPSFInterval_1_5::targetHighHighBits() const
{
    return bits(kTargetBitsOffset, 4, 4);
}

void OrvoPSFInterval_1_5::setTargetHighBits(quint8 low, quint8 high)
{
    setBits(kTargetBitsOffset, 0, 4, low);
    setBits(kTargetBitsOffset, 4, 4, high);
}

bool OrvoPSFInterval_1_5::targetFlag() const
{
    return bits(kFlagsOffset, kTargetFlagBit, 1) != 0;
}

bool OrvoPSFInterval_1_5::lapNeeded() const
{
    return bits(kFlagsOffset, kLapBit, 1) != 0;
}

bool OrvoPSFInterval_1_5::durationFlag() const
{
    return bits(kFlagsOffset, kDurationFlagBit, 1) != 0;
}

void OrvoPSFInterval_1_5::setStepFlags(bool target, bool lap, bool duration)
{
    setU8(kFlagsOffset, quint8(kFixedFlagBits | (target ? 1 << kTargetFlagBit : 0) | (lap ? 1 << kLapBit : 0) |
                               (duration ? 1 << kDurationFlagBit : 0)));
}

quint8 OrvoPSFInterval_1_5::logResolution() const
{
    return u8(kResolutionOffset);
}

void OrvoPSFInterval_1_5::setLogResolution(quint8 resolution)
{
    setU8(kResolutionOffset, resolution);
}
