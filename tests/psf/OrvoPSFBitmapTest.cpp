#include "psf/OrvoPSFBitmap.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

bool isInk(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

TEST(OrvoPSFBitmapTest, PacksDarkPixelsMostSignificantBitFirstInWordPaddedRows)
{
    QImage image(40, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(0, 0, 0));
    image.setPixel(7, 0, qRgb(0, 0, 0));
    image.setPixel(8, 1, qRgb(0, 0, 0));
    image.setPixel(39, 1, qRgb(0, 0, 0));
    image.setPixel(20, 1, qRgb(200, 200, 200)); // light: not ink

    // 40 pixels need 5 bytes, padded to two 32-bit words.
    EXPECT_EQ(OrvoPSFBitmap::packRows(image), QByteArray::fromHex("8100000000000000"
                                                                  "0080000001000000"));
    EXPECT_EQ(OrvoPSFBitmap::paddedRowBytes(128), 16);
    EXPECT_EQ(OrvoPSFBitmap::paddedRowBytes(1), 4);
    EXPECT_EQ(OrvoPSFBitmap::paddedRowBytes(0), 0);
}

TEST(OrvoPSFBitmapTest, ReadsRowsOfWholeBytes)
{
    // 10 pixels wide: two bytes a row.
    const QImage image = OrvoPSFBitmap::fromRows(QByteArray::fromHex("8040 0180"), 10, 2);
    ASSERT_EQ(image.size(), QSize(10, 2));
    EXPECT_TRUE(isInk(image, 0, 0));
    EXPECT_TRUE(isInk(image, 9, 0));
    EXPECT_FALSE(isInk(image, 1, 0));
    EXPECT_TRUE(isInk(image, 7, 1));
    EXPECT_TRUE(isInk(image, 8, 1));
    EXPECT_FALSE(isInk(image, 9, 1));
}

struct RowsCase
{
    const char *name;
    qsizetype bytes;
    int width;
    int height;
    bool image;
    bool warned;
};

const RowsCase kRowsCases[] = {
    {"exact", 4, 10, 2, true, false},
    {"more bytes than rows", 9, 10, 2, true, false},
    {"one byte short", 3, 10, 2, false, true},
    {"no width", 4, 0, 2, false, false},
    {"no height", 4, 10, 0, false, false},
    {"negative width", 4, -8, 2, false, false},
    {"height beyond the bytes", 4, 8, 65535, false, true},
};

TEST(OrvoPSFBitmapTest, RowsNeedTheirBytes)
{
    for (const RowsCase &c : kRowsCases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture capture;
        const QImage image = OrvoPSFBitmap::fromRows(QByteArray(c.bytes, '\xFF'), c.width, c.height);
        EXPECT_EQ(!image.isNull(), c.image);
        EXPECT_EQ(capture.contains(QtWarningMsg, QStringLiteral("needs")), c.warned);
    }
}

struct GlyphCase
{
    const char *name;
    QByteArray payload;
    bool image;
    bool warned;
};

// A 9-pixel glyph: 16 rows of two bytes; the stream writes the first row "FF 80" and one
// more byte, the rest stays blank.
const GlyphCase kGlyphCases[] = {
    {"glyph", QByteArray::fromHex("84 09 00 FF 80 01"), true, false},
    {"width 0", QByteArray::fromHex("84 00 00 FF 80 01"), false, false},
    {"negative width", QByteArray::fromHex("84 F7 00 FF 80 01"), false, false},
    {"stream longer than the payload", QByteArray::fromHex("85 09 00 FF 80 01"), false, true},
    {"malformed stream", QByteArray::fromHex("84 09 00 FF 00 05"), false, true},
    {"no width byte", QByteArray::fromHex("80"), false, false},
};

TEST(OrvoPSFBitmapTest, CompressedGlyphsDecodeOrAnswerAnEmptyImage)
{
    for (const GlyphCase &c : kGlyphCases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture capture;
        EXPECT_TRUE(OrvoPSFBitmap::isCompressedGlyph(c.payload));
        const QImage image = OrvoPSFBitmap::fromCompressedGlyph(c.payload);
        EXPECT_EQ(!image.isNull(), c.image);
        EXPECT_EQ(capture.contains(QtWarningMsg, QStringLiteral("glyph")), c.warned);
    }
    const QImage glyph = OrvoPSFBitmap::fromCompressedGlyph(kGlyphCases[0].payload);
    ASSERT_EQ(glyph.size(), QSize(9, 16));
    for (int x = 0; x < 9; ++x)
        EXPECT_TRUE(isInk(glyph, x, 0)) << x;
    EXPECT_FALSE(isInk(glyph, 0, 1));
    EXPECT_TRUE(isInk(glyph, 7, 1));
    EXPECT_FALSE(isInk(glyph, 0, 15));
    EXPECT_FALSE(OrvoPSFBitmap::isCompressedGlyph(QByteArray::fromHex("7F 09")));
}

} // namespace
