#include "psf14/OrvoPSFField.h"
#include "psf14/OrvoPSFValues.h"

#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using FixtureBytes::hex;

bool isInk(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

TEST(OrvoPSF14ValuesTest, PresenceIsAnyByteOtherThan0xFF)
{
    EXPECT_FALSE(isPresent(hex("FFFFFFFF")));
    EXPECT_TRUE(isPresent(hex("FFFFFF7F")));
    EXPECT_TRUE(isPresent(hex("00")));
    EXPECT_FALSE(isPresent(QByteArrayView()));
    EXPECT_TRUE(isChainEnd(0xFFFFFFFF, false));
    EXPECT_FALSE(isChainEnd(0xCDCDCDCD, false));
    EXPECT_TRUE(isChainEnd(0xCDCDCDCD, true));
    EXPECT_FALSE(isChainEnd(0, true));
}

struct TextCase
{
    const char *name;
    std::function<QString()> text;
    const char *expected;
};

const TextCase kTextCases[] = {
    {"altitude of a code plus whole metres", [] { return altitudeText(25, 4000, true); }, "2.00"},
    {"altitude in metres, delta under a metre", [] { return altitudeText(-5, 100, false); }, "100.00"},
    {"altitude delta down", [] { return altitudeText(-25, 4000, true); }, "-2.00"},
    {"altitude of a quarter-metre code", [] { return altitudeText(0, 4001, true); }, "0.25"},
    {"speed 80", [] { return speedText(80); }, "36.00"},
    {"speed 1", [] { return speedText(1); }, "0.45"},
    {"tenths 255", [] { return tenthsText(255); }, "25.0"},
    {"tenths -19", [] { return tenthsText(-19); }, "-1.0"},
    {"doubled", [] { return doubledText(21); }, "42"},
    {"doubled beyond 32 bits", [] { return doubledText(std::numeric_limits<int>::max()); }, "4294967294"},
    {"coordinate", [] { return coordinateText(12345678); }, "12.345678"},
    {"negative coordinate", [] { return coordinateText(-122419416); }, "-122.419416"},
    {"coordinate below a degree", [] { return coordinateText(-5); }, "-0.000005"},
    {"absent coordinate", [] { return coordinateText(-1); }, "0.000000"},
    {"step 1", [] { return stepTypeName(1); }, "Warmup"},
    {"step 4", [] { return stepTypeName(4); }, "Cool-down"},
    {"step 7", [] { return stepTypeName(7); }, "Walk"},
    {"step 9", [] { return stepTypeName(9); }, "Other"},
    {"step 0", [] { return stepTypeName(0); }, "Other"},
    {"step of the low 8 bits", [] { return stepTypeName(0x102); }, "Work"},
};

TEST(OrvoPSF14ValuesTest, ValueTextsFollowTheStoredUnits)
{
    for (const TextCase &c : kTextCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text(), QString::fromLatin1(c.expected));
    }
}

struct NumberCase
{
    const char *name;
    std::function<qint32()> encode;
    qint32 expected;
};

const NumberCase kNumberCases[] = {
    {"altitude code of 0 m", [] { return altitudeCode(0.0); }, 4000},
    {"altitude code truncates", [] { return altitudeCode(12.7); }, 4050},
    {"altitude code below -1000 m", [] { return altitudeCode(-1000.3); }, -1},
    {"tenths", [] { return toTenths(2.59); }, 25},
    {"negative tenths truncate toward zero", [] { return toTenths(-2.59); }, -25},
    {"micro-degrees", [] { return toMicroDegrees(139.767125); }, 139767125},
    {"negative micro-degrees", [] { return toMicroDegrees(-122.419416); }, -122419416},
    {"beyond 32 bits clamps", [] { return toMicroDegrees(1e10); }, std::numeric_limits<qint32>::max()},
    {"NaN gives 0", [] { return toTenths(std::numeric_limits<double>::quiet_NaN()); }, 0},
    {"step from name ignoring case", [] { return stepTypeFromName("warmup"); }, 1},
    {"step from name cool-down", [] { return stepTypeFromName("COOL-DOWN"); }, 4},
    {"step from Other", [] { return stepTypeFromName("Other"); }, 0},
    {"step from an unknown name", [] { return stepTypeFromName("Cooldown"); }, 0},
};

TEST(OrvoPSF14ValuesTest, EncodersDropTheFractionTowardZero)
{
    for (const NumberCase &c : kNumberCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.encode(), c.expected);
    }
}

TEST(OrvoPSF14ValuesTest, CopyAdvanceLaysFieldsOutOneAfterTheOtherInsideTheBuffer)
{
    QByteArray buffer(8, '\0');
    qsizetype at = copyAdvance(buffer, 0, hex("0102"));
    at = copyAdvance(buffer, at, hex("030405"));
    EXPECT_EQ(at, 5);
    EXPECT_EQ(buffer, hex("0102030405000000"));

    OrvoMessageCapture capture;
    EXPECT_EQ(copyAdvance(buffer, 6, hex("AABBCC")), -1);
    EXPECT_EQ(copyAdvance(buffer, -1, hex("AA")), -1);
    EXPECT_EQ(copyAdvance(buffer, 9, QByteArrayView()), -1);
    EXPECT_EQ(buffer, hex("0102030405000000"));
    EXPECT_EQ(copyAdvance(buffer, 8, QByteArrayView()), 8);
}

TEST(OrvoPSF14ValuesTest, RawNameImagesAreBitmapsOfTheGivenSize)
{
    // 10 × 2 pixels: two bytes a row, leftmost pixel in bit 7.
    const QImage image = decodeBitFontImage(hex("4040 0180"), 64, 10, 2);
    ASSERT_EQ(image.size(), QSize(10, 2));
    EXPECT_TRUE(isInk(image, 1, 0));
    EXPECT_TRUE(isInk(image, 9, 0));
    EXPECT_TRUE(isInk(image, 7, 1));
    EXPECT_FALSE(isInk(image, 0, 0));

    OrvoMessageCapture capture;
    EXPECT_TRUE(decodeBitFontImage(hex("4040 01"), 64, 10, 2).isNull());
    EXPECT_TRUE(decodeBitFontImage(QByteArrayView(), 64, 10, 2).isNull());
}

TEST(OrvoPSF14ValuesTest, CompressedNameImagesExpandToSixteenRows)
{
    // Escape 7E; one row of FF, then a copy of 15 bytes from 1 back: 16 rows of 8 pixels.
    const QByteArray glyph = hex("85 08 7E FF 7E 0F 01");
    const QImage image = decodeBitFontImage(glyph, 64, 64, 16);
    ASSERT_EQ(image.size(), QSize(8, 16));
    for (int y = 0; y < 16; ++y)
        EXPECT_TRUE(isInk(image, 0, y) && isInk(image, 7, y)) << y;

    // A stream that ends early leaves the remaining rows blank.
    const QImage partial = decodeBitFontImage(hex("82 08 7E FF"), 64, 64, 16);
    ASSERT_EQ(partial.size(), QSize(8, 16));
    EXPECT_TRUE(isInk(partial, 3, 0));
    EXPECT_FALSE(isInk(partial, 3, 1));
}

TEST(OrvoPSF14ValuesTest, MalformedCompressedNameImagesGiveANullImage)
{
    struct Case
    {
        const char *name;
        QByteArray bytes;
        qsizetype bufferUnits;
    };
    const Case cases[] = {
        {"negative width 0x80", hex("85 80 7E FF 7E 0F 01"), 64},
        {"negative width 0xFF", hex("85 FF 7E FF 7E 0F 01"), 64},
        {"width 0", hex("85 00 7E FF 7E 0F 01"), 64},
        {"stream longer than the stored bytes", hex("8A 08 7E FF 7E 0F 01"), 64},
        {"copy from before the output", hex("85 08 7E FF 7E 0F 05"), 64},
        {"escape without its numbers", hex("83 08 7E FF 7E"), 64},
        {"output beyond the work buffer", hex("86 08 7E FF 7E 81 00 01"), 64},
        {"image larger than the work buffer", hex("85 40 7E FF 7E 0F 01"), 8},
        {"only the flag byte", hex("85"), 64},
    };
    OrvoMessageCapture capture;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(decodeBitFontImage(c.bytes, c.bufferUnits, 64, 16).isNull());
    }
}

TEST(OrvoPSF14ValuesTest, NamesRenderIntoTheirFieldAndLoseCharactersUntilTheyFit)
{
    int width = 64;
    int height = 16;
    QByteArray buffer;
    EXPECT_TRUE(OrvoPSFField::convertToBitfont("Lake", width, height, buffer, 128));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 16);
    ASSERT_EQ(buffer.size(), 128);
    EXPECT_TRUE(isPresent(buffer) && buffer.contains('\0'));

    // A text far too wide keeps its first characters; it is drawn, not wrapped into nothing.
    QByteArray longBuffer;
    EXPECT_TRUE(OrvoPSFField::convertToBitfont(QString(40, 'W'), width, height, longBuffer, 128));
    EXPECT_EQ(longBuffer.size(), 128);
    EXPECT_NE(longBuffer, QByteArray(128, '\0'));

    // The buffer takes at most its capacity.
    QByteArray small;
    EXPECT_TRUE(OrvoPSFField::convertToBitfont("Lake", width, height, small, 40));
    EXPECT_EQ(small, buffer.left(40));
}

} // namespace
