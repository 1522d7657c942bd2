#pragma once

#include <QString>
#include <QtGlobal>

// A position in micro-degrees (degrees x 1 000 000), longitude first. The constructors take
// latitude first, as people say positions; (0, 0) is the null point.
class ZKGeoPoint
{
public:
    ZKGeoPoint() = default;
    ZKGeoPoint(int latE6, int lonE6);
    // Degrees, each multiplied by 1 000 000 and truncated toward zero.
    ZKGeoPoint(double latitude, double longitude);

    bool isNull() const;

    void setLonE6(qint32 lonE6);
    void setLatE6(qint32 latE6);
    qint32 lonE6() const;
    qint32 latE6() const;
    double latitude() const;
    double longitude() const;

    // Great-circle distance in metres on a sphere of radius 6 371 000 m.
    float distanceTo(const ZKGeoPoint &other) const;

    // Degrees as micro-degrees, truncated toward zero; a value beyond 32 bits is clamped and
    // one that is no number gives 0.
    static qint32 e6FromDegrees(double degrees);
    // Micro-degrees of a decimal degree text such as "121.123456", exact to the last digit
    // (truncated toward zero beyond six decimals). An empty or malformed text, or one beyond
    // 32 bits, gives 0 and clears *ok.
    static qint32 e6FromDegreesText(const QString &text, bool *ok = nullptr);
    // The same, but a text with more than six decimals is rounded to the nearest micro-degree
    // (a half away from zero) instead of truncated: "0.0000015" gives 2, "-0.0000015" gives -2.
    static qint32 e6RoundedFromDegreesText(const QString &text, bool *ok = nullptr);
    // The exact inverse of both for any 32-bit value, with six decimals and no floating point
    // on the way: -500000 gives "-0.500000".
    static QString degreesTextFromE6(qint32 e6);

private:
    qint32 m_lonE6 = 0;
    qint32 m_latE6 = 0;
};
