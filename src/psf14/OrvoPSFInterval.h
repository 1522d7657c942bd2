#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

#include <QPointer>

// One 20-byte interval of a workout in the interval area, little-endian:
//   0   u8   bits 0-2 step type (1 "Warmup" .. 7 "Walk"), bit 3 a flag, bits 4-7 target type
//   1   u8   duration type
//   2   u16  duration value
//   4   u32  link to the workout's next interval (from the start of the interval area)
//   8   u32  repeat target: the interval a repeat goes back to
//   12  u8   repeat count
//   13  u8   target low
//   14  u8   target high
//   15  u8   a value          16  u8   a value
//   17  u8   a boolean (non-zero = true)
//   18  2    not read
class OrvoPSFInterval : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 20;

    explicit OrvoPSFInterval(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFInterval(QByteArrayView bytes, QObject *parent = nullptr);

    qsizetype loadedSize() const { return kSize; }

    quint8 stepType() const { return m_stepType; }
    void setStepType(quint8 type) { m_stepType = type & 0x07; }
    bool flag3() const { return m_flag3; }
    void setFlag3(bool flag) { m_flag3 = flag; }
    quint8 targetType() const { return m_targetType; }
    void setTargetType(quint8 type) { m_targetType = type & 0x0F; }
    quint8 durationType() const { return m_durationType; }
    void setDurationType(quint8 type) { m_durationType = type; }
    quint16 durationValue() const { return m_durationValue; }
    void setDurationValue(quint16 value) { m_durationValue = value; }
    quint32 nextInterval() const { return m_nextInterval; }
    void setNextInterval(quint32 link) { m_nextInterval = link; }
    quint32 repeatTarget() const { return m_repeatTarget; }
    void setRepeatTarget(quint32 link) { m_repeatTarget = link; }
    quint8 repeatCount() const { return m_repeatCount; }
    void setRepeatCount(quint8 count) { m_repeatCount = count; }
    quint8 targetLow() const { return m_targetLow; }
    void setTargetLow(quint8 value) { m_targetLow = value; }
    quint8 targetHigh() const { return m_targetHigh; }
    void setTargetHigh(quint8 value) { m_targetHigh = value; }
    quint8 value15() const { return m_value15; }
    void setValue15(quint8 value) { m_value15 = value; }
    quint8 value16() const { return m_value16; }
    void setValue16(quint8 value) { m_value16 = value; }
    bool flag17() const { return m_flag17; }
    void setFlag17(bool flag) { m_flag17 = flag; }

    // The interval that the repeat target points at, held as the object itself so that the
    // link can follow it when the write pass lays the intervals out anew; null when there is
    // none or the link pointed at no interval.
    OrvoPSFInterval *repeatTargetInterval() const { return m_repeatTargetInterval; }
    void setRepeatTargetInterval(OrvoPSFInterval *interval) { m_repeatTargetInterval = interval; }

private:
    quint8 m_stepType = 0;
    bool m_flag3 = false;
    quint8 m_targetType = 0;
    quint8 m_durationType = 0;
    quint16 m_durationValue = 0;
    quint32 m_nextInterval = kOrvoPsfNone;
    quint32 m_repeatTarget = kOrvoPsfNone;
    quint8 m_repeatCount = 0;
    quint8 m_targetLow = 0;
    quint8 m_targetHigh = 0;
    quint8 m_value15 = 0;
    quint8 m_value16 = 0;
    bool m_flag17 = false;
    QPointer<OrvoPSFInterval> m_repeatTargetInterval;
};
