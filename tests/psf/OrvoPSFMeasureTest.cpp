#include "psf/OrvoPSFMeasure.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

struct DecodeCase
{
    const char *name;
    std::function<OrvoPSFMeasure()> decode;
    double value;
    bool valid;
};

const DecodeCase kDecodeCases[] = {
    {"speed 0x50 is 36 km/h", [] { return OrvoPSFMeasure::fromSpeedByte(0x50); }, 36.0, true},
    {"speed 0xFF absent", [] { return OrvoPSFMeasure::fromSpeedByte(0xFF); }, 65535.0, false},
    {"speed 0xFE present", [] { return OrvoPSFMeasure::fromSpeedByte(0xFE); }, 254 * 3.6 / 8, true},
    {"altitude 4000 is 0 m", [] { return OrvoPSFMeasure::fromAltitudeCode(4000); }, 0.0, true},
    {"altitude 0 is -1000 m", [] { return OrvoPSFMeasure::fromAltitudeCode(0); }, -1000.0, true},
    {"altitude FFFF is signed, never absent", [] { return OrvoPSFMeasure::fromAltitudeCode(qint16(-1)); }, -1000.25,
     true},
    {"altitude 7FFF", [] { return OrvoPSFMeasure::fromAltitudeCode(0x7FFF); }, 7191.75, true},
    {"signed tenths -15", [] { return OrvoPSFMeasure::fromSignedTenths(-15); }, -1.5, true},
    {"signed tenths FFFF never absent", [] { return OrvoPSFMeasure::fromSignedTenths(qint16(-1)); }, -0.1, true},
    {"doubled word 100", [] { return OrvoPSFMeasure::fromDoubledWord(100); }, 200.0, true},
    {"doubled word FFFF absent", [] { return OrvoPSFMeasure::fromDoubledWord(0xFFFF); }, 65535.0, false},
    {"doubled word FF7F present", [] { return OrvoPSFMeasure::fromDoubledWord(0x7FFF); }, 65534.0, true},
    {"scaled byte 64", [] { return OrvoPSFMeasure::fromScaledByte(64); }, 60.0, true},
    {"scaled byte 90", [] { return OrvoPSFMeasure::fromScaledByte(90); }, 84.375, true},
    {"scaled byte FF absent", [] { return OrvoPSFMeasure::fromScaledByte(0xFF); }, 65535.0, false},
    {"plain byte FE", [] { return OrvoPSFMeasure::fromByte(0xFE); }, 254.0, true},
    {"plain byte FF absent", [] { return OrvoPSFMeasure::fromByte(0xFF); }, 65535.0, false},
    {"plain word FFFE", [] { return OrvoPSFMeasure::fromWord(0xFFFE); }, 65534.0, true},
    {"plain word FFFF absent", [] { return OrvoPSFMeasure::fromWord(0xFFFF); }, 65535.0, false},
    {"hundredths word 12345", [] { return OrvoPSFMeasure::fromHundredthsWord(12345); }, 123.45, true},
    {"hundredths word FFFF absent", [] { return OrvoPSFMeasure::fromHundredthsWord(0xFFFF); }, 65535.0, false},
    {"tenths byte 25", [] { return OrvoPSFMeasure::fromTenthsByte(25); }, 2.5, true},
    {"tenths byte FF absent", [] { return OrvoPSFMeasure::fromTenthsByte(0xFF); }, 65535.0, false},
    {"tenths word 655", [] { return OrvoPSFMeasure::fromTenthsWord(655); }, 65.5, true},
    {"tenths word FFFF absent", [] { return OrvoPSFMeasure::fromTenthsWord(0xFFFF); }, 65535.0, false},
    {"default", [] { return OrvoPSFMeasure(); }, 65535.0, false},
    {"from double", [] { return OrvoPSFMeasure::fromDouble(-2.75); }, -2.75, true},
};

TEST(OrvoPSFMeasureTest, DecodersFollowTheStoredUnitsAndAbsence)
{
    for (const DecodeCase &c : kDecodeCases) {
        SCOPED_TRACE(c.name);
        const OrvoPSFMeasure measure = c.decode();
        EXPECT_DOUBLE_EQ(measure.value(), c.value);
        EXPECT_EQ(measure.isValid(), c.valid);
    }
}

struct ArithmeticCase
{
    const char *name;
    std::function<int()> compute;
    int expected;
};

const ArithmeticCase kArithmeticCases[] = {
    {"altitude code of 0 m", [] { return OrvoPSFMeasure::fromDouble(0.0).toAltitudeCode(); }, 4000},
    {"altitude code round trip", [] { return OrvoPSFMeasure::fromAltitudeCode(4321).toAltitudeCode(); }, 4321},
    {"altitude code truncates toward zero", [] { return OrvoPSFMeasure::fromDouble(-1000.3).toAltitudeCode(); }, -1},
    {"altitude code of 12.7 m", [] { return OrvoPSFMeasure::fromDouble(12.7).toAltitudeCode(); }, 4050},
    {"deci difference up", [] { return OrvoPSFMeasure::fromDouble(100.0).deciDifference(101.25); }, 12},
    {"deci difference down truncates toward zero",
     [] { return OrvoPSFMeasure::fromDouble(100.0).deciDifference(98.45); }, -15},
    {"deci difference beyond int clamps", [] { return OrvoPSFMeasure::fromDouble(0.0).deciDifference(1e12); },
     std::numeric_limits<int>::max()},
    {"toInt truncates toward zero", [] { return OrvoPSFMeasure::fromDouble(-2.7).toInt(); }, -2},
    {"toInt of the absent value", [] { return OrvoPSFMeasure().toInt(); }, 65535},
    {"toInt of NaN", [] { return OrvoPSFMeasure::fromDouble(std::numeric_limits<double>::quiet_NaN()).toInt(); }, 0},
    {"add tenths",
     [] {
         OrvoPSFMeasure m = OrvoPSFMeasure::fromDouble(1.0);
         m.addTenths(-25);
         return int(m.value() * 10);
     },
     -15},
};

TEST(OrvoPSFMeasureTest, EncodersAndArithmeticTruncateTowardZero)
{
    for (const ArithmeticCase &c : kArithmeticCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.compute(), c.expected);
    }
}

TEST(OrvoPSFMeasureTest, AbsenceTestsLookAtEveryByte)
{
    EXPECT_TRUE(OrvoPSFMeasure::isU16NotAbsent(0x7FFF)); // stored FF 7F: one byte is not 0xFF
    EXPECT_TRUE(OrvoPSFMeasure::isU16NotAbsent(0xFF00));
    EXPECT_FALSE(OrvoPSFMeasure::isU16NotAbsent(0xFFFF));
    EXPECT_TRUE(OrvoPSFMeasure::isByteNotAbsent(0xFE));
    EXPECT_FALSE(OrvoPSFMeasure::isByteNotAbsent(0xFF));
    EXPECT_FALSE(OrvoPSFMeasure::isNotAbsentDouble(65535.0));
    EXPECT_TRUE(OrvoPSFMeasure::isNotAbsentDouble(65534.9));
}

} // namespace
