#pragma once

#include <QtGlobal>

// An optional measured value of a PSF record: a number and whether the device stored one.
// A field whose bytes are all 0xFF is absent and decodes to the default measure, which holds
// 65535.0 and is not valid.
class OrvoPSFMeasure
{
public:
    static constexpr double kAbsent = 65535.0;

    OrvoPSFMeasure() = default;
    static OrvoPSFMeasure fromDouble(double value);

    // Decoders of the stored fields.
    static OrvoPSFMeasure fromSignedTenths(qint16 raw);    // raw / 10, always valid
    static OrvoPSFMeasure fromDoubledWord(quint16 raw);    // raw × 2
    static OrvoPSFMeasure fromScaledByte(quint8 raw);      // raw × 60 / 64
    static OrvoPSFMeasure fromSpeedByte(quint8 raw);       // 1/8 m/s to km/h: raw × 3.6 / 8
    static OrvoPSFMeasure fromAltitudeCode(qint16 raw);    // quarter metres above -1000 m, always valid
    static OrvoPSFMeasure fromByte(quint8 raw);            // raw
    static OrvoPSFMeasure fromWord(quint16 raw);           // raw
    static OrvoPSFMeasure fromHundredthsWord(quint16 raw); // raw / 100
    static OrvoPSFMeasure fromTenthsByte(quint8 raw);      // raw / 10
    static OrvoPSFMeasure fromTenthsWord(quint16 raw);     // raw / 10

    double value() const;
    // The value truncated toward zero.
    int toInt() const;
    bool isValid() const;

    // The altitude code of the value: (value + 1000) × 4, truncated toward zero.
    int toAltitudeCode() const;
    // (x − value) × 10, truncated toward zero: a delta in tenths, as track points store it.
    int deciDifference(double x) const;
    // Adds a signed delta in tenths.
    void addTenths(qint16 raw);

    static bool isNotAbsentDouble(double value);
    static bool isByteNotAbsent(quint8 value);
    static bool isU16NotAbsent(quint16 value);

private:
    double m_value = kAbsent;
    bool m_valid = false;
};
