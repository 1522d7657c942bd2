#include "psf/OrvoPSFMeasure.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr quint8 kAbsentByte = 0xFF;
constexpr quint16 kAbsentWord = 0xFFFF;
constexpr double kAltitudeOffset = 1000.0;
constexpr double kAltitudeUnitsPerMetre = 4.0;

OrvoPSFMeasure byteMeasure(quint8 raw, double value)
{
    return raw == kAbsentByte ? OrvoPSFMeasure() : OrvoPSFMeasure::fromDouble(value);
}

OrvoPSFMeasure wordMeasure(quint16 raw, double value)
{
    return raw == kAbsentWord ? OrvoPSFMeasure() : OrvoPSFMeasure::fromDouble(value);
}

// Truncation toward zero that stays defined for values beyond int: they clamp, NaN gives 0.
int truncated(double value)
{
    if (std::isnan(value))
        return 0;
    const double low = std::numeric_limits<int>::min();
    const double high = std::numeric_limits<int>::max();
    return int(std::trunc(std::clamp(value, low, high)));
}

} // namespace

OrvoPSFMeasure OrvoPSFMeasure::fromDouble(double value)
{
    OrvoPSFMeasure measure;
    measure.m_value = value;
    measure.m_valid = true;
    return measure;
}

OrvoPSFMeasure OrvoPSFMeasure::fromSignedTenths(qint16 raw)
{
    return fromDouble(raw / 10.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromDoubledWord(quint16 raw)
{
    return wordMeasure(raw, raw * 2.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromScaledByte(quint8 raw)
{
    return byteMeasure(raw, raw * 60.0 / 64.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromSpeedByte(quint8 raw)
{
    return byteMeasure(raw, raw * 3.6 / 8.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromAltitudeCode(qint16 raw)
{
    return fromDouble(raw / kAltitudeUnitsPerMetre - kAltitudeOffset);
}

OrvoPSFMeasure OrvoPSFMeasure::fromByte(quint8 raw)
{
    return byteMeasure(raw, raw);
}

OrvoPSFMeasure OrvoPSFMeasure::fromWord(quint16 raw)
{
    return wordMeasure(raw, raw);
}

OrvoPSFMeasure OrvoPSFMeasure::fromHundredthsWord(quint16 raw)
{
    return wordMeasure(raw, raw / 100.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromTenthsByte(quint8 raw)
{
    return byteMeasure(raw, raw / 10.0);
}

OrvoPSFMeasure OrvoPSFMeasure::fromTenthsWord(quint16 raw)
{
    return wordMeasure(raw, raw / 10.0);
}

double OrvoPSFMeasure::value() const
{
    return m_value;
}

int OrvoPSFMeasure::toInt() const
{
    return truncated(m_value);
}

bool OrvoPSFMeasure::isValid() const
{
    return m_valid;
}

int OrvoPSFMeasure::toAltitudeCode() const
{
    return truncated((m_value + kAltitudeOffset) * kAltitudeUnitsPerMetre);
}

int OrvoPSFMeasure::deciDifference(double x) const
{
    return truncated((x - m_value) * 10.0);
}

void OrvoPSFMeasure::addTenths(qint16 raw)
{
    m_value += raw / 10.0;
}

bool OrvoPSFMeasure::isNotAbsentDouble(double value)
{
    return value != kAbsent;
}

bool OrvoPSFMeasure::isByteNotAbsent(quint8 value)
{
    return value != kAbsentByte;
}

bool OrvoPSFMeasure::isU16NotAbsent(quint16 value)
{
    return value != kAbsentWord;
}
