#include "util/ZKGeoPoint.h"

#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct TextCase
{
    const char *name;
    const char *text;
    qint32 e6;
    bool ok;
};

// Exact micro-degrees; a float in between would turn "121.123456" into 121123458.
const TextCase kTextCases[] = {
    {"sixDecimals", "121.123456", 121123456, true},
    {"negativeSixDecimals", "-121.123456", -121123456, true},
    {"oneMicroDegree", "0.000001", 1, true},
    {"negativeTruncatesTowardZero", "-0.0000015", -1, true},
    {"sevenDecimalsTruncated", "10.0000019", 10000001, true},
    {"fewDecimals", "-33.8688", -33868800, true},
    {"wholeDegrees", "180", 180000000, true},
    {"plusSign", "+45.5", 45500000, true},
    {"noIntegerPart", ".5", 500000, true},
    {"noFractionDigits", "5.", 5000000, true},
    {"blanksAround", " 12.25 ", 12250000, true},
    {"exponent", "1.5e-3", 1500, true},
    {"largest", "2147.483647", 2147483647, true},
    {"smallest", "-2147.483648", std::numeric_limits<qint32>::min(), true},
    {"empty", "", 0, false},
    {"letters", "abc", 0, false},
    {"twoPoints", "1.2.3", 0, false},
    {"commaDecimal", "12,5", 0, false},
    {"signOnly", "-", 0, false},
    {"pointOnly", ".", 0, false},
    {"exponentWithoutDigits", "1e", 0, false},
    {"notANumber", "nan", 0, false},
    {"beyond32Bits", "2147.483648", 0, false},
    {"hugeExponent", "1e999", 0, false},
};

void PrintTo(const TextCase &c, std::ostream *os)
{
    *os << c.name;
}

class ZKGeoPointTextTest : public ::testing::TestWithParam<TextCase>
{};

double haversineMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double toRadians = M_PI / 180.0;
    const double dLat = (lat2 - lat1) * toRadians;
    const double dLon = (lon2 - lon1) * toRadians;
    const double a = std::pow(std::sin(dLat / 2), 2) +
                     std::cos(lat1 * toRadians) * std::cos(lat2 * toRadians) * std::pow(std::sin(dLon / 2), 2);
    return 2 * 6371000.0 * std::asin(std::sqrt(a));
}

} // namespace

TEST_P(ZKGeoPointTextTest, ConvertsDegreeTextExactly)
{
    bool ok = !GetParam().ok;
    EXPECT_EQ(ZKGeoPoint::e6FromDegreesText(QString::fromUtf8(GetParam().text), &ok), GetParam().e6);
    EXPECT_EQ(ok, GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(All, ZKGeoPointTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(ZKGeoPointTest, ConstructorsTakeLatitudeFirstAndTruncateTowardZero)
{
    const ZKGeoPoint fromE6(35689487, 139691706);
    EXPECT_EQ(fromE6.latE6(), 35689487);
    EXPECT_EQ(fromE6.lonE6(), 139691706);
    EXPECT_DOUBLE_EQ(fromE6.latitude(), 35.689487);
    EXPECT_DOUBLE_EQ(fromE6.longitude(), 139.691706);

    const ZKGeoPoint fromDegrees(-0.0000015, 10.0000019);
    EXPECT_EQ(fromDegrees.latE6(), -1);
    EXPECT_EQ(fromDegrees.lonE6(), 10000001);
    EXPECT_FALSE(fromDegrees.isNull());
}

TEST(ZKGeoPointTest, NullOnlyWhenBothFieldsAreZero)
{
    EXPECT_TRUE(ZKGeoPoint().isNull());
    EXPECT_TRUE(ZKGeoPoint(0.0000009, -0.0000009).isNull());
    ZKGeoPoint point;
    point.setLatE6(1);
    EXPECT_FALSE(point.isNull());
    point.setLatE6(0);
    point.setLonE6(-1);
    EXPECT_FALSE(point.isNull());
}

TEST(ZKGeoPointTest, DegreesBeyond32BitsOrNotANumberNeverOverflow)
{
    const ZKGeoPoint huge(1e10, -1e10);
    EXPECT_EQ(huge.latE6(), std::numeric_limits<qint32>::max());
    EXPECT_EQ(huge.lonE6(), std::numeric_limits<qint32>::min());
    const ZKGeoPoint nan(std::nan(""), 1.0);
    EXPECT_EQ(nan.latE6(), 0);
    EXPECT_EQ(nan.lonE6(), 1000000);
}

TEST(ZKGeoPointTest, DistanceTable)
{
    struct Case
    {
        const char *name;
        ZKGeoPoint from;
        ZKGeoPoint to;
        double metres;
        double tolerance;
    };
    const double tokyoOsaka = haversineMetres(35.689487, 139.691706, 34.693738, 135.502165);
    const Case cases[] = {
        {"selfAtOrigin", ZKGeoPoint(), ZKGeoPoint(), 0.0, 0.0},
        {"selfTokyo", ZKGeoPoint(35689487, 139691706), ZKGeoPoint(35689487, 139691706), 0.0, 0.0},
        {"selfNearPole", ZKGeoPoint(89999999, 179999999), ZKGeoPoint(89999999, 179999999), 0.0, 0.0},
        {"selfSouth", ZKGeoPoint(-33868800, 151209300), ZKGeoPoint(-33868800, 151209300), 0.0, 0.0},
        {"oneDegreeOfLatitude", ZKGeoPoint(10000000, 20000000), ZKGeoPoint(11000000, 20000000), 111194.93, 1.0},
        {"tokyoToOsaka", ZKGeoPoint(35689487, 139691706), ZKGeoPoint(34693738, 135502165), tokyoOsaka, 1.0},
        {"osakaToTokyo", ZKGeoPoint(34693738, 135502165), ZKGeoPoint(35689487, 139691706), tokyoOsaka, 1.0},
        {"antipodes", ZKGeoPoint(0, 0), ZKGeoPoint(0, 180000000), M_PI * 6371000.0, 2.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const float distance = c.from.distanceTo(c.to);
        EXPECT_FALSE(std::isnan(distance));
        EXPECT_NEAR(distance, c.metres, c.tolerance);
    }
}

TEST(ZKGeoPointTest, RoundedTextGoesToTheNearestMicroDegree)
{
    struct Case
    {
        const char *name;
        const char *text;
        qint32 e6;
        bool ok;
    };
    const Case cases[] = {
        {"sixDecimalsExact", "35.681236", 35681236, true},     {"halfUp", "0.0000015", 2, true},
        {"halfAwayFromZero", "-0.0000015", -2, true},          {"belowHalf", "10.00000149", 10000001, true},
        {"aboveHalfNegative", "-10.0000016", -10000002, true}, {"largest", "2147.4836474", 2147483647, true},
        {"roundsBeyond32Bits", "2147.4836475", 0, false},      {"notANumber", "east", 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = !c.ok;
        EXPECT_EQ(ZKGeoPoint::e6RoundedFromDegreesText(QString::fromLatin1(c.text), &ok), c.e6);
        EXPECT_EQ(ok, c.ok);
    }
}

TEST(ZKGeoPointTest, DegreesTextIsTheExactInverseForEvery32BitValue)
{
    const std::pair<qint32, const char *> cases[] = {
        {0, "0.000000"},
        {1, "0.000001"},
        {-500000, "-0.500000"},
        {35681236, "35.681236"},
        {-122419416, "-122.419416"},
        {std::numeric_limits<qint32>::max(), "2147.483647"},
        {std::numeric_limits<qint32>::min(), "-2147.483648"},
    };
    for (const auto &[e6, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ZKGeoPoint::degreesTextFromE6(e6), QLatin1String(text));
        EXPECT_EQ(ZKGeoPoint::e6FromDegreesText(ZKGeoPoint::degreesTextFromE6(e6)), e6);
    }
}
