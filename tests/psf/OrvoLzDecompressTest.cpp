#include "psf/OrvoLzDecompress.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

struct LzCase
{
    const char *name;
    QByteArray source;
    qsizetype capacity;
    bool ok;
    QByteArray output;
};

const LzCase kLzCases[] = {
    {"escaped escape byte", hex("7E 41 7E 00 42"), 64, true, hex("41 7E 42")},
    {"copy at distance 1 repeats one byte", hex("7E 41 7E 03 01"), 64, true, hex("41 41 41 41")},
    {"overlapping copy repeats a pattern", hex("00 41 42 00 04 02"), 64, true, hex("41 42 41 42 41 42")},
    {"two-byte length", hex("7E 41 7E 81 01 01"), 256, true, QByteArray(130, '\x41')},
    {"two-byte distance", hex("7E") + QByteArray(128, 'a') + hex("7E 02 81 00"), 256, true, QByteArray(130, 'a')},
    {"copy of length 0", hex("7E 41 7E 80 00 01 42"), 64, true, hex("41 42")},
    {"output exactly at capacity", hex("7E 41 7E 03 01"), 4, true, hex("41 41 41 41")},
    {"empty source", QByteArray(), 64, true, QByteArray()},
    {"escape byte only", hex("7E"), 64, true, QByteArray()},
    {"distance 0", hex("7E 41 7E 02 00"), 64, false, QByteArray()},
    {"distance beyond the output", hex("7E 41 7E 02 02"), 64, false, QByteArray()},
    {"copy before any output", hex("7E 7E 02 01"), 64, false, QByteArray()},
    {"escape at the end", hex("7E 41 7E"), 64, false, QByteArray()},
    {"truncated length", hex("7E 41 7E 81"), 64, false, QByteArray()},
    {"truncated distance", hex("7E 41 7E 02"), 64, false, QByteArray()},
    {"truncated two-byte distance", hex("7E 41 7E 02 81"), 64, false, QByteArray()},
    {"number of five bytes", hex("7E 41 7E 81 81 81 81 01 01"), 64, false, QByteArray()},
    {"copy beyond capacity", hex("7E 41 7E 7F 01"), 16, false, QByteArray()},
    {"huge copy beyond capacity", hex("7E 41 7E FF FF FF 7F 01"), 1 << 20, false, QByteArray()},
    {"literals beyond capacity", hex("7E 41 42 43"), 2, false, QByteArray()},
};

TEST(OrvoLzDecompressTest, DecodesWellFormedStreamsAndRejectsMalformedOnes)
{
    for (const LzCase &c : kLzCases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture capture;
        QByteArray output("stale");
        EXPECT_EQ(lzDecompress(c.source, output, c.capacity), c.ok);
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(capture.contains(QtWarningMsg, QStringLiteral("glyph stream rejected")), !c.ok);
    }
}

TEST(OrvoLzDecompressTest, EveryTruncationOfAStreamStaysInsideItsBuffers)
{
    // Each prefix of a valid stream, copied into a buffer of exactly its size, so that the
    // address sanitizer sees any read past the end.
    const QByteArray stream = hex("7E 41 42 7E 00 7E 83 01 02 43 7E 81 02 05 44");
    QByteArray full;
    ASSERT_TRUE(lzDecompress(stream, full, 1024));
    for (qsizetype n = 0; n <= stream.size(); ++n) {
        SCOPED_TRACE(n);
        const QByteArray prefix = stream.left(n);
        QByteArray output;
        if (lzDecompress(prefix, output, full.size())) {
            EXPECT_TRUE(full.startsWith(output));
        }
    }
}

} // namespace
