#pragma once

#include "psf/OrvoPSFObject.h"
#include "psf/OrvoPSFStepType.h"

#include <QString>

// One step of a workout, 24 bytes, little-endian:
//   0   u8   bits 0-2: step type; bit 3: the duration is scaled (÷ 100 for a distance, ÷ 60
//            for a time); bits 4-7: target type
//   1   u8   duration type
//   2   u16  duration value
//   4   u32  next interval of the workout (offset from the interval area; -1 on the last)
//   8   u32  "goto" interval: its index in the workout × 24; -1 none
//   12  u8   repeat count
//   13  u8   target low, 14 u8 target high
//   15  u8   0, 16 u8 0
//   17  u8   bit 0: 1; bit 1: target flag; bit 2: lap needed at the end; bit 3: duration
//            flag; bits 4-6: 7; bit 7: 0
//   18  u8   bits 0-3: target low, bits 4-7: target high (their higher bits)
//   19  u8   log resolution
//   20  u32  0
class OrvoPSFInterval_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kSize = 24;
    // How a duration type counts, which decides how a large duration is scaled.
    enum class DurationKind { Other, Distance, Time };

    // fresh: a new interval, zeroed with no next interval.
    OrvoPSFInterval_1_5(std::span<uchar> bytes, bool fresh);

    qsizetype size() const override;
    // The interval's identifier in the exchange format; not stored in flash.
    QString identifier() const;
    void setIdentifier(const QString &identifier);

    OrvoPSFStepType stepType() const;
    void setStepType(int code);
    bool isDurationScaled() const;
    quint8 targetType() const;
    void setTargetType(quint8 type);
    quint8 durationType() const;
    quint16 durationValue() const;
    // Stores the duration; one that a signed 16-bit word cannot hold is stored ÷ 100 (distance)
    // or ÷ 60 (time) with the scaled bit. False, value unchanged, when it cannot be stored.
    bool setDuration(quint8 type, qint64 value, DurationKind kind);
    // The duration as set, undoing the scaling.
    qint64 duration(DurationKind kind) const;
    qint64 nextInterval() const;
    bool setNextInterval(qint64 offset);
    quint8 repeatCount() const;
    void setRepeatCount(quint8 count);
    quint8 targetLow() const;
    quint8 targetHigh() const;
    void setTarget(quint8 low, quint8 high);
    quint8 targetLowHighBits() const;
    quint8 targetHighHighBits() const;
    void setTargetHighBits(quint8 low, quint8 high);
    bool targetFlag() const;
    bool lapNeeded() const;
    bool durationFlag() const;
    // Writes byte 17 whole: its fixed bits and the three flags.
    void setStepFlags(bool target, bool lap, bool duration);
    quint8 logResolution() const;
    void setLogResolution(quint8 resolution);

private:
    QString m_identifier;
};
