#include "util/ZKXmlOutputBuffer.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct PieceCase
{
    const char *name;
    std::vector<qsizetype> pieces;
};

// Pieces of distinct bytes, so that a lost, doubled or reordered byte shows.
QByteArray piece(qsizetype size, int index)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + index * 13) % 251);
    return bytes;
}

} // namespace

TEST(ZKXmlOutputBuffer, HandsOnEveryByteInOrder)
{
    constexpr qsizetype kBlock = 64 * 1024;
    const std::vector<PieceCase> cases = {
        {"nothing", {}},
        {"small pieces", {1, 5, 17, 3}},
        {"exactly one block", {kBlock}},
        {"filling a block then one more byte", {kBlock - 3, 3, 1}},
        {"crossing the block end", {kBlock - 2, 5, kBlock - 1, 2}},
        {"larger than a block after a small one", {10, 3 * kBlock + 5, 7}},
    };
    for (const PieceCase &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray written;
        QBuffer target(&written);
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        ZKXmlOutputBuffer buffer(target);
        QByteArray expected;
        for (qsizetype i = 0; i < qsizetype(c.pieces.size()); ++i) {
            const QByteArray bytes = piece(c.pieces.at(size_t(i)), int(i));
            EXPECT_EQ(buffer.write(bytes), bytes.size());
            expected += bytes;
        }
        EXPECT_TRUE(buffer.flush());
        EXPECT_EQ(written, expected);
    }
}

TEST(ZKXmlOutputBuffer, ReportsATargetThatRefusesTheBytes)
{
    QByteArray held("kept");
    QBuffer target(&held);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    ZKXmlOutputBuffer buffer(target);
    EXPECT_EQ(buffer.write("abc", 3), 3) << "collected, not yet handed on";
    EXPECT_FALSE(buffer.flush());
    EXPECT_FALSE(buffer.flush()) << "a failure stays reported";
    EXPECT_EQ(buffer.write(QByteArray(128 * 1024, 'x')), -1);
    EXPECT_EQ(held, QByteArray("kept"));
}
