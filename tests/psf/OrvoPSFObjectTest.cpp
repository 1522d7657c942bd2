#include "psf/OrvoPSFObject.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

class FixedRecord : public OrvoPSFObject
{
public:
    FixedRecord(std::span<uchar> bytes, qsizetype recordSize)
        : OrvoPSFObject(bytes)
        , m_size(recordSize)
    {}
    qsizetype size() const override { return m_size; }

private:
    qsizetype m_size;
};

struct LinkCase
{
    const char *name;
    QByteArray word;
    qsizetype recordSize;
    qint64 index;
};

const LinkCase kLinkCases[] = {
    {"absent", QByteArray::fromHex("ffffffff"), 24, -1},
    {"third record", QByteArray::fromHex("30000000"), 24, 2},
    {"first record", QByteArray::fromHex("00000000"), 24, 0},
    {"FF in three bytes only is present", QByteArray::fromHex("ffffff7f"), 0x100000, 0x7FF},
};

TEST(OrvoPSFObjectTest, LinkAt8ReadsRecordIndices)
{
    for (const LinkCase &c : kLinkCases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes(8, '\0');
        bytes.append(c.word);
        FixedRecord record(OrvoPSFObject::spanOf(bytes), c.recordSize);
        EXPECT_EQ(record.linkIndexAt8(), c.index);
    }
}

TEST(OrvoPSFObjectTest, SetLinkAt8StoresIndexTimesSizeOrNone)
{
    QByteArray bytes(24, '\0');
    FixedRecord record(OrvoPSFObject::spanOf(bytes), 24);
    EXPECT_TRUE(record.setLinkIndexAt8(3));
    EXPECT_EQ(bytes.mid(8, 4), QByteArray::fromHex("48000000"));
    EXPECT_TRUE(record.setLinkIndexAt8(-1));
    EXPECT_EQ(bytes.mid(8, 4), QByteArray::fromHex("ffffffff"));

    // An index whose offset does not fit a link word is refused, not wrapped.
    EXPECT_FALSE(record.setLinkIndexAt8(qint64(1) << 40));
    EXPECT_FALSE(record.setLinkIndexAt8(-2));
    EXPECT_EQ(bytes.mid(8, 4), QByteArray::fromHex("ffffffff"));
}

TEST(OrvoPSFObjectTest, FieldsAreLittleEndianAndBitFieldsKeepTheirNeighbours)
{
    QByteArray bytes = QByteArray::fromHex("a5 34 12 78 56 34 12 ff ff ff ff");
    FixedRecord record(OrvoPSFObject::spanOf(bytes), bytes.size());
    EXPECT_EQ(record.u16(1), 0x1234);
    EXPECT_EQ(record.u32(3), 0x12345678u);
    EXPECT_EQ(record.link(7), -1);
    EXPECT_EQ(record.link(3), 0x12345678);
    EXPECT_EQ(record.bits(0, 4, 4), 0xA);
    EXPECT_EQ(record.bits(0, 1, 2), 0x2);

    EXPECT_TRUE(record.setBits(0, 2, 2, 3));
    EXPECT_EQ(quint8(bytes[0]), 0xAD);
    EXPECT_TRUE(record.setBits(0, 0, 1, 0));
    EXPECT_EQ(quint8(bytes[0]), 0xAC);
    // Only the field's bits are taken from the value.
    EXPECT_TRUE(record.setBits(0, 4, 2, 0xFF));
    EXPECT_EQ(quint8(bytes[0]), 0xBC);
}

TEST(OrvoPSFObjectTest, PresenceMeansAnyByteIsNotFF)
{
    QByteArray bytes = QByteArray::fromHex("ff7f ffff 00ff");
    FixedRecord record(OrvoPSFObject::spanOf(bytes), bytes.size());
    EXPECT_TRUE(record.isPresent(0, 2));
    EXPECT_FALSE(record.isPresent(2, 2));
    EXPECT_TRUE(record.isPresent(4, 2));
    EXPECT_FALSE(record.isPresent(4, 4)); // outside the record
    EXPECT_FALSE(OrvoPSFObject::isPresent(QByteArray()));
    EXPECT_TRUE(OrvoPSFObject::isPresent(QByteArray::fromHex("fffffffe")));
}

TEST(OrvoPSFObjectTest, FieldsOutsideTheRecordReadAbsentAndAreNeverWritten)
{
    // The record may use the first 10 bytes; the guard bytes after them belong to someone else.
    QByteArray bytes(16, '\x11');
    FixedRecord record(OrvoPSFObject::spanOf(bytes).first(10), 10);
    OrvoMessageCapture capture;

    EXPECT_EQ(record.u32(8), 0xFFFFFFFFu);
    EXPECT_EQ(record.link(8), -1);
    EXPECT_EQ(record.u16(9), 0xFFFF);
    EXPECT_EQ(record.u8(10), 0xFF);
    EXPECT_EQ(record.u8(-1), 0xFF);
    EXPECT_TRUE(record.bytesAt(6, 5).isEmpty());
    EXPECT_FALSE(record.setU32(8, 0));
    EXPECT_FALSE(record.setU16(9, 0));
    EXPECT_FALSE(record.setU8(10, 0));
    EXPECT_FALSE(record.setBits(12, 0, 1, 0));
    EXPECT_FALSE(record.fill(4, 7, 0));
    EXPECT_FALSE(record.writeBytes(8, QByteArray(3, '\0')));
    EXPECT_FALSE(record.setLink(0, qint64(0xFFFFFFFF)));
    EXPECT_FALSE(record.setLink(0, qint64(1) << 33));

    EXPECT_EQ(bytes, QByteArray(16, '\x11'));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("lies outside the 10 bytes of the record")));
    EXPECT_TRUE(record.spanFrom(11).empty());
    EXPECT_EQ(record.spanFrom(4).size(), 6u);
}

} // namespace
