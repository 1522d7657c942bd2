#include "util/ZKGeoPoint.h"

#include "env/OrvoDecimalText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kE6 = 1000000.0;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kEarthRadiusMetres = 6371000.0;

constexpr int kE6Digits = 6;

// A scaled value as micro-degrees, when there is one and it fits 32 bits.
qint32 fittingE6(std::optional<qint64> value, bool *ok)
{
    const bool fits =
        value && *value >= std::numeric_limits<qint32>::min() && *value <= std::numeric_limits<qint32>::max();
    if (ok)
        *ok = fits;
    return fits ? qint32(*value) : 0;
}

double radians(qint32 e6)
{
    return e6 / kE6 * kRadiansPerDegree;
}

} // namespace

ZKGeoPoint::ZKGeoPoint(int latE6, int lonE6)
    : m_lonE6(lonE6)
    , m_latE6(latE6)
{}

ZKGeoPoint::ZKGeoPoint(double latitude, double longitude)
    : m_lonE6(e6FromDegrees(longitude))
    , m_latE6(e6FromDegrees(latitude))
{}

bool ZKGeoPoint::isNull() const
{
    return m_lonE6 == 0 && m_latE6 == 0;
}

void ZKGeoPoint::setLonE6(qint32 lonE6)
{
    m_lonE6 = lonE6;
}

void ZKGeoPoint::setLatE6(qint32 latE6)
{
    m_latE6 = latE6;
}

qint32 ZKGeoPoint::lonE6() const
{
    return m_lonE6;
}

qint32 ZKGeoPoint::latE6() const
{
    return m_latE6;
}

double ZKGeoPoint::latitude() const
{
    return m_latE6 / kE6;
}

double ZKGeoPoint::longitude() const
{
    return m_lonE6 / kE6;
}

float ZKGeoPoint::distanceTo(const ZKGeoPoint &other) const
{
    const double lat1 = radians(m_latE6);
    const double lat2 = radians(other.m_latE6);
    const double deltaLon = radians(other.m_lonE6) - radians(m_lonE6);
    const double cosine = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(deltaLon);
    // Rounding can push the sum just beyond [-1, 1] for equal or opposite points; acos would
    // then answer NaN instead of 0 or half the circumference.
    return float(std::acos(std::clamp(cosine, -1.0, 1.0)) * kEarthRadiusMetres);
}

// Values no 32-bit field can hold are clamped and a value that is no number gives 0, so a bad
// input never becomes undefined behaviour.
qint32 ZKGeoPoint::e6FromDegrees(double degrees)
{
    if (std::isnan(degrees))
        return 0;
    const double scaled = std::trunc(degrees * kE6);
    const double low = std::numeric_limits<qint32>::min();
    const double high = std::numeric_limits<qint32>::max();
    return qint32(std::clamp(scaled, low, high));
}

qint32 ZKGeoPoint::e6FromDegreesText(const QString &text, bool *ok)
{
    return fittingE6(parseScaledDecimal(text, 6), ok);
}

qint32 ZKGeoPoint::e6RoundedFromDegreesText(const QString &text, bool *ok)
{
    std::optional<qint64> tenths = parseScaledDecimal(text, 7);
    if (tenths)
        *tenths = (*tenths + (*tenths < 0 ? -5 : 5)) / 10;
    return fittingE6(tenths, ok);
}

QString ZKGeoPoint::degreesTextFromE6(qint32 e6)
{
    // Exports write two of these per point, so the digits go straight into one buffer:
    // sign, whole degrees, point, six decimals.
    qint64 magnitude = qAbs(qint64(e6));
    char text[16];
    char *end = text + sizeof text;
    char *at = end;
    for (int i = 0; i < kE6Digits; ++i, magnitude /= 10)
        *--at = char('0' + magnitude % 10);
    *--at = '.';
    do {
        *--at = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (e6 < 0)
        *--at = '-';
    return QString::fromLatin1(at, end - at);
}
