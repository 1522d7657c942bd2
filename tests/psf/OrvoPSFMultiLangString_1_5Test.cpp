#include "psf/OrvoPSFMultiLangString_1_5.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

using String = OrvoPSFMultiLangString_1_5;

TEST(OrvoPSFMultiLangStringTest, ResetEmptiesTheHeader)
{
    QByteArray bytes(20, '\xFF');
    String string(OrvoPSFObject::spanOf(bytes), true);
    EXPECT_EQ(bytes, QByteArray(12, '\0') + QByteArray(8, '\xFF'));
    EXPECT_EQ(string.size(), 12);
    EXPECT_TRUE(string.payload().isEmpty());
    EXPECT_FALSE(string.hasNext());
}

TEST(OrvoPSFMultiLangStringTest, TextStringsKeepTheFlagBitsTheyDoNotOwn)
{
    // An erased record, not reset: bits 2-7 of byte 0 and the image size stay as they are.
    QByteArray bytes(32, '\xFF');
    String string(OrvoPSFObject::spanOf(bytes), false);
    ASSERT_TRUE(string.setString(QStringLiteral("Ride"), QStringLiteral("eng"), false, false));
    EXPECT_EQ(bytes.left(16), QByteArray::fromHex("fc 00 0400 656e6700 ffff ffff 52696465"));
    EXPECT_EQ(string.size(), 16);
    EXPECT_EQ(string.text(), QStringLiteral("Ride"));

    string.setHasNext(true);
    EXPECT_EQ(quint8(bytes[0]), 0xFE);
    EXPECT_TRUE(string.hasNext());
    string.setHasNext(false);
    EXPECT_EQ(quint8(bytes[0]), 0xFC);
}

struct CodeCase
{
    const char *code;
    QByteArray stored;
};

const CodeCase kCodes[] = {
    {"eng", QByteArray::fromHex("656e6700")},
    {"english", QByteArray("engl")},
    {"en", QByteArray::fromHex("656e0000")},
    {"", QByteArray(4, '\0')},
};

TEST(OrvoPSFMultiLangStringTest, CodesAreFourBytes)
{
    for (const CodeCase &c : kCodes) {
        SCOPED_TRACE(c.code);
        QByteArray bytes(16, '\xFF');
        String string(OrvoPSFObject::spanOf(bytes), true);
        string.setCode(QString::fromLatin1(c.code));
        EXPECT_EQ(string.code(), c.stored);
        EXPECT_EQ(bytes.mid(8, 4), QByteArray(4, '\0'));
    }
}

TEST(OrvoPSFMultiLangStringTest, TextIsThePayloadOfTheStoredLengthWithItsNulBytes)
{
    const QByteArray bytes = QByteArray::fromHex("00 00 0500 656e6700 0000 0000") + QByteArray("Ab\0cdEF", 7);
    QByteArray copy = bytes;
    const String string(OrvoPSFObject::spanOf(copy), false);
    EXPECT_EQ(string.text(), QString::fromLatin1("Ab\0cd", 5));
    EXPECT_EQ(string.size(), 17);
    EXPECT_TRUE(string.isComplete());
}

TEST(OrvoPSFMultiLangStringTest, PayloadThatRunsPastTheRecordIsCutShort)
{
    QByteArray bytes = QByteArray::fromHex("00 00 6400 656e6700 0000 0000") + QByteArray("Abc");
    const String string(OrvoPSFObject::spanOf(bytes), false);
    OrvoMessageCapture capture;
    EXPECT_FALSE(string.isComplete());
    EXPECT_EQ(string.size(), 112);
    EXPECT_EQ(string.text(), QStringLiteral("Abc"));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("runs past")));
}

TEST(OrvoPSFMultiLangStringTest, PayloadThatDoesNotFitIsNotWritten)
{
    QByteArray bytes(20, '\xFF');
    String string(OrvoPSFObject::spanOf(bytes), true);
    const QByteArray before = bytes;
    OrvoMessageCapture capture;
    EXPECT_FALSE(string.setPayload("123456789"));
    EXPECT_EQ(bytes, before);
    EXPECT_TRUE(string.setPayload("12345678"));
    EXPECT_EQ(string.text(), QStringLiteral("12345678"));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("does not fit")));
}

TEST(OrvoPSFMultiLangStringTest, HeaderOutsideTheMemoryReadsAsAbsent)
{
    QByteArray bytes(6, '\0');
    const String string(OrvoPSFObject::spanOf(bytes), false);
    OrvoMessageCapture capture;
    EXPECT_FALSE(string.isComplete());
    EXPECT_TRUE(string.code().isEmpty());
    EXPECT_TRUE(string.toImage().isNull());
}

struct ImageCase
{
    const char *name;
    QByteArray record;
    QSize size;
};

const ImageCase kImages[] = {
    {"stored rows", QByteArray::fromHex("00 00 0400 656e6700 0a00 0200 4040 0180"), QSize(10, 2)},
    // The first pixel is ink, so the payload starts like a compressed glyph; the stored size decides.
    {"stored rows starting with ink", QByteArray::fromHex("00 00 0400 656e6700 0a00 0200 c040 0180"), QSize(10, 2)},
    {"stored padded rows starting with ink", QByteArray::fromHex("00 00 0800 656e6700 0a00 0200 c0400000 01800000"),
     QSize(10, 2)},
    {"rows short of the height", QByteArray::fromHex("00 00 0400 656e6700 0a00 0300 c040 0180"), QSize()},
    {"no image", QByteArray::fromHex("00 00 0000 656e6700 0000 0000"), QSize()},
    {"compressed glyph", QByteArray::fromHex("00 00 0600 656e6700 0000 0000 84 09 00 FF 80 01"), QSize(9, 16)},
    {"compressed glyph without width", QByteArray::fromHex("00 00 0600 656e6700 0000 0000 84 80 00 FF 80 01"), QSize()},
};

TEST(OrvoPSFMultiLangStringTest, ImagesDecodeFromRowsOrGlyphs)
{
    for (const ImageCase &c : kImages) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = c.record;
        const String string(OrvoPSFObject::spanOf(bytes), false);
        const QImage image = string.toImage();
        EXPECT_EQ(image.size(), c.size.isValid() ? c.size : QSize(0, 0));
    }
}

} // namespace
