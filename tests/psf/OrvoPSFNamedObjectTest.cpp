#include "psf/OrvoPSFNamedObject.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A named record laid out like a route: 36 fixed bytes, the bit-font flag in bit 1 of byte 4,
// the offset of its names in the word at 32.
class NamedRecord : public OrvoPSFNamedObject
{
public:
    static constexpr qsizetype kFixedSize = 36;

    explicit NamedRecord(std::span<uchar> bytes)
        : OrvoPSFNamedObject(bytes)
    {
        loadNames();
    }
    bool isBitFont() const override { return bits(4, 1, 1) != 0; }
    void setBitFont(bool flag) override { setBits(4, 1, 1, flag ? 1 : 0); }
    qsizetype size() const override { return kFixedSize + stringsSize(names()); }
};

// A new record: zeroed with the names offset "none", then erased flash.
QByteArray newRecordMemory(qsizetype total)
{
    QByteArray bytes(NamedRecord::kFixedSize, '\0');
    bytes.replace(32, 4, QByteArray(4, '\xFF'));
    bytes.append(total - bytes.size(), '\xFF');
    return bytes;
}

QByteArray textString(quint8 flags, const char *code, const QByteArray &text)
{
    QByteArray s(12, '\0');
    s[0] = char(flags);
    s[2] = char(text.size() & 0xFF);
    s[3] = char(text.size() >> 8);
    s.replace(4, 4, QByteArray(code).leftJustified(4, '\0'));
    return s + text;
}

TEST(OrvoPSFNamedObjectTest, NamesFollowTheFixedPartAndChain)
{
    QByteArray bytes = newRecordMemory(128);
    NamedRecord record(OrvoPSFObject::spanOf(bytes));
    EXPECT_TRUE(record.names().empty());
    EXPECT_EQ(record.namesOffset(), -1);

    ASSERT_NE(record.addName(QStringLiteral("Ride"), QStringLiteral("eng")), nullptr);
    EXPECT_EQ(record.namesOffset(), 36);
    EXPECT_EQ(bytes.mid(32, 4), QByteArray::fromHex("24000000"));
    EXPECT_EQ(bytes.mid(36, 16), textString(0x00, "eng", "Ride"));
    EXPECT_EQ(record.size(), 52);

    ASSERT_NE(record.addName(QStringLiteral("Tour"), QStringLiteral("fra")), nullptr);
    EXPECT_EQ(bytes.mid(36, 33), textString(0x02, "eng", "Ride") + textString(0x00, "fra", "Tour") + '\xFF');
    EXPECT_EQ(record.size(), 68);

    // Another view on the same bytes reads the same chain.
    NamedRecord again(OrvoPSFObject::spanOf(bytes));
    ASSERT_EQ(again.names().size(), 2u);
    EXPECT_EQ(again.name(QStringLiteral("fra")), QStringLiteral("Tour"));
}

struct LookupCase
{
    const char *code;
    const char *name;
};

const LookupCase kLookups[] = {
    {"", "Ride"}, {"eng", "Ride"}, {"ENG", "Ride"}, {"Fra", "Tour"}, {"deu", ""}, {"engl", "Ride"}, {"en", ""},
};

TEST(OrvoPSFNamedObjectTest, NameLookupIgnoresCase)
{
    QByteArray bytes = newRecordMemory(36) + textString(0x02, "eng", "Ride") + textString(0x00, "fra", "Tour");
    bytes.replace(32, 4, QByteArray::fromHex("24000000"));
    const NamedRecord record(OrvoPSFObject::spanOf(bytes));
    for (const LookupCase &c : kLookups) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(record.name(QString::fromLatin1(c.code)), QString::fromLatin1(c.name));
    }
    // Text names have no image.
    EXPECT_TRUE(record.nameImage(QStringLiteral("eng")).isNull());
}

TEST(OrvoPSFNamedObjectTest, NameTextEndsAtTheFirstNul)
{
    QByteArray bytes =
        newRecordMemory(36) + textString(0x02, "eng", QByteArray("Ab\0cd", 5)) + textString(0x00, "fra", "Tour");
    bytes.replace(32, 4, QByteArray::fromHex("24000000"));
    const NamedRecord record(OrvoPSFObject::spanOf(bytes));
    EXPECT_EQ(record.name(QStringLiteral("eng")), QStringLiteral("Ab"));
    EXPECT_EQ(record.name(QStringLiteral("fra")), QStringLiteral("Tour"));
}

TEST(OrvoPSFNamedObjectTest, BitFontNamesAreImagesFoundByTheirExactCode)
{
    QByteArray bytes = newRecordMemory(36 + 2 * 268);
    NamedRecord record(OrvoPSFObject::spanOf(bytes));
    record.setBitFont(true);
    ASSERT_NE(record.addName(QStringLiteral("Ride"), QStringLiteral("eng")), nullptr);
    ASSERT_NE(record.addName(QStringLiteral("Tour"), QStringLiteral("fra")), nullptr);
    EXPECT_EQ(record.size(), 36 + 2 * 268);
    EXPECT_EQ(bytes.mid(36, 12), QByteArray::fromHex("02 00 0001 656e6700 8000 1000"));

    EXPECT_TRUE(record.name(QStringLiteral("eng")).isEmpty());
    EXPECT_EQ(record.nameImage(QStringLiteral("eng")).size(), QSize(128, 16));
    EXPECT_EQ(record.nameImage(QString()).size(), QSize(128, 16));
    EXPECT_TRUE(record.nameImage(QStringLiteral("ENG")).isNull());
    EXPECT_NE(record.nameImage(QStringLiteral("eng")), record.nameImage(QStringLiteral("fra")));
}

TEST(OrvoPSFNamedObjectTest, NameThatDoesNotFitLeavesTheRecordUnchanged)
{
    QByteArray bytes = newRecordMemory(60);
    NamedRecord record(OrvoPSFObject::spanOf(bytes));
    ASSERT_NE(record.addName(QStringLiteral("Short"), QStringLiteral("eng")), nullptr); // 17 bytes, 7 left
    const QByteArray before = bytes;
    OrvoMessageCapture capture;

    EXPECT_EQ(record.addName(QStringLiteral("Much too long"), QStringLiteral("fra")), nullptr);
    EXPECT_EQ(bytes, before);
    EXPECT_EQ(record.names().size(), 1u);
    EXPECT_FALSE(record.names().front()->hasNext());

    record.setBitFont(true);
    EXPECT_EQ(record.addName(QStringLiteral("R"), QStringLiteral("fra")), nullptr);
    record.setBitFont(false);
    EXPECT_EQ(bytes, before);
}

struct ChainCase
{
    const char *name;
    QByteArray strings;
    size_t loaded;
};

const ChainCase kChains[] = {
    {"last string ends the chain", textString(0x00, "eng", "A") + textString(0x02, "fra", "B"), 1},
    {"has-next on the last string of the memory", textString(0x02, "eng", "A") + textString(0x02, "fra", "B"), 2},
    {"next header cut short", textString(0x02, "eng", "A") + QByteArray::fromHex("02 00 0100"), 1},
    {"next payload runs past the memory", textString(0x02, "eng", "A") + QByteArray::fromHex("00 00 ff7f 656e6700"), 1},
    {"first payload runs past the memory", QByteArray::fromHex("02 00 ffff 656e6700 0000 0000 41"), 0},
};

TEST(OrvoPSFNamedObjectTest, ChainsStopAtTheirLastStringOrTheRecordsEnd)
{
    for (const ChainCase &c : kChains) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = newRecordMemory(36) + c.strings;
        bytes.replace(32, 4, QByteArray::fromHex("24000000"));
        const NamedRecord record(OrvoPSFObject::spanOf(bytes));
        EXPECT_EQ(record.names().size(), c.loaded);
    }
}

TEST(OrvoPSFNamedObjectTest, NamesOffsetOutsideTheRecordLoadsNoNames)
{
    QByteArray bytes = newRecordMemory(64);
    bytes.replace(32, 4, QByteArray::fromHex("00000010"));
    OrvoMessageCapture capture;
    const NamedRecord record(OrvoPSFObject::spanOf(bytes));
    EXPECT_TRUE(record.names().empty());
    EXPECT_TRUE(record.name(QString()).isEmpty());
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("lies outside")));
}

} // namespace
