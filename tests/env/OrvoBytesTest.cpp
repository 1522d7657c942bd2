#include "OrvoScopedTimeZone.h"
#include "OrvoTestSupport.h"

#include "env/OrvoBytePacking.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoTimeText.h"
#include "env/OrvoVersion.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <vector>

TEST(OrvoBytePacking, UserRecordPacksTo22BytesAndBack)
{
    QByteArray record(22, '\xFF');
    EXPECT_EQ(packStruct(record, 0, "BBHffffH", {1, 40, 500, 175.0, 69.0, 70.5, 155.0, 190}), 22);
    EXPECT_EQ(record.left(4), QByteArray::fromHex("0128F401"));
    EXPECT_EQ(record.mid(4, 4), QByteArray::fromHex("00002F43")); // 175.0f little-endian
    EXPECT_EQ(record.right(2), QByteArray::fromHex("BE00"));

    quint8 sex = 0, age = 0;
    quint16 mlss = 0, mhr = 0;
    float height = 0, weight = 0, a = 0, b = 0;
    EXPECT_EQ(unpackStruct(record, 0, "BBHffffH", {&sex, &age, &mlss, &height, &weight, &a, &b, &mhr}), 22);
    EXPECT_EQ(sex, 1);
    EXPECT_EQ(age, 40);
    EXPECT_EQ(mlss, 500);
    EXPECT_EQ(height, 175.0f);
    EXPECT_EQ(weight, 69.0f);
    EXPECT_EQ(a, 70.5f);
    EXPECT_EQ(b, 155.0f);
    EXPECT_EQ(mhr, 190);
}

TEST(OrvoBytePacking, RefusesWhatDoesNotMatchOrFit)
{
    QByteArray out(4, '\0');
    EXPECT_EQ(packStruct(out, 0, "BxB", {7, 9}), 2) << "unknown letters pack nothing";
    EXPECT_EQ(out.left(2), QByteArray::fromHex("0709"));
    EXPECT_EQ(packStruct(out, 0, "", {}), 0);
    EXPECT_EQ(packStruct(out, 2, "L", {1}), -1) << "does not fit";
    EXPECT_EQ(packStruct(out, 0, "BB", {1}), -1) << "too few values";
    EXPECT_EQ(packStruct(out, 0, "B", {1.5}), -1) << "a float for an integer letter";
    EXPECT_EQ(packStruct(out, 5, "B", {1}), -1) << "offset past the end";
    EXPECT_EQ(packStruct(out, 0, "L", {qint64(0x11223344)}), 4);
    EXPECT_EQ(out, QByteArray::fromHex("44332211"));

    quint16 word = 0;
    quint8 byte = 0;
    EXPECT_EQ(unpackStruct(out, 3, "H", {&word}), -1) << "input too short";
    EXPECT_EQ(unpackStruct(out, 0, "H", {&byte}), -1) << "an 8-bit target for a 16-bit letter";
    EXPECT_EQ(word, 0);
}

TEST(OrvoBytePacking, SplitU32StoresLittleEndianThroughReversedPointers)
{
    quint8 p[4] = {};
    splitU32(0x11223344, p + 3, p + 2, p + 1, p);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(p), 4), QByteArray::fromHex("44332211"));
    quint8 high = 0;
    splitU32(0xAB000000, &high, nullptr, nullptr, nullptr);
    EXPECT_EQ(high, 0xAB);
}

TEST(OrvoTimeText, IsUtcWhateverTheLocalZone)
{
    ASSERT_EQ(qEnvironmentVariable("TZ"), QStringLiteral("Asia/Tokyo"));
    EXPECT_EQ(psfTimeText(0), QStringLiteral("1970-01-01T00:00:00Z"));
    EXPECT_EQ(psfTimeText(1356998400), QStringLiteral("2013-01-01T00:00:00Z"));
    struct Case
    {
        const char *text;
        std::time_t seconds;
    };
    // Berlin's clocks skip 02:00-03:00 on 2021-03-28 and repeat 02:00-03:00 on 2021-10-31: as
    // UTC these texts are ordinary times.
    const std::vector<Case> cases = {
        {"1970-01-01T00:00:00Z", 0},
        {"2013-01-01T00:00:00Z", 1356998400},
        {"2021-03-28T02:30:00Z", 1616898600},
        {"2021-03-28T01:59:59Z", 1616896799},
        {"2021-10-31T02:30:00Z", 1635647400},
        {"2021-10-31T01:30:00Z", 1635643800},
        {"2012-13-01T00:00:00Z", 0},
        {"2013-02-29T00:00:00Z", 0},
        {"2013-01-01T24:00:00Z", 0},
        {"2013-01-01T00:00:00", 0},
        {"2013-01-01 00:00:00Z", 0},
        {"2013-01-01T00:00:00Zx", 0},
        {"", 0},
    };
    for (const char *zone : {"Asia/Tokyo", "Europe/Berlin"}) {
        const OrvoScopedTimeZone local(zone);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(zone) + " " + c.text);
            EXPECT_EQ(parseUtcTime(QLatin1String(c.text)), c.seconds);
            if (c.seconds != 0) {
                EXPECT_EQ(psfTimeText(c.seconds), QLatin1String(c.text));
            }
        }
    }
    EXPECT_EQ(qEnvironmentVariable("TZ"), QStringLiteral("Asia/Tokyo"));
}

TEST(OrvoTimeText, EveryRangeGivesTheDateTimeFormattersText)
{
    // The common range is formatted without QDateTime; both sides of each boundary must read
    // as the formatter reads them.
    const std::time_t cases[] = {
        0,          59,         86399,      86400, 951782399, 951782400,    951868800,    1700000000,   2147483647,
        2147483648, 4294967295, 4102444800, -1,    -86401,    253402300799, 253402300800, 253402387200,
    };
    for (const std::time_t seconds : cases) {
        SCOPED_TRACE(qint64(seconds));
        const QString expected =
            QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc()).toString(u"yyyy-MM-ddThh:mm:ssZ");
        EXPECT_EQ(psfTimeText(seconds), expected);
    }
}

TEST(OrvoByteReader, FailureStaysSetOnceRaised)
{
    OrvoByteReader r(QByteArray::fromHex("0102030405"));
    EXPECT_EQ(r.readU16Le(), 0x0201);
    EXPECT_EQ(r.readU16Be(), 0x0304);
    EXPECT_FALSE(r.canRead(2));
    EXPECT_EQ(r.readU32Le(), 0u);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.readU8(), 0) << "no read after a failure";
    EXPECT_EQ(r.offset(), 4);

    OrvoByteReader s(QByteArray(4, 'a'));
    EXPECT_FALSE(s.canRead(-1));
    EXPECT_TRUE(s.readBytes(5).isEmpty());
    EXPECT_FALSE(s.ok());
    EXPECT_FALSE(OrvoByteReader(QByteArray(4, 'a'), 5).ok());
}

TEST(OrvoByteWriter, PatchingNeverGrowsTheBuffer)
{
    QByteArray sector(6, '\xFF');
    OrvoByteWriter w = OrvoByteWriter::patch(sector, 2);
    w.writeU16Le(0x1234);
    EXPECT_TRUE(w.ok());
    w.writeU32Be(1);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(sector, QByteArray::fromHex("FFFF3412FFFF"));

    QByteArray grown;
    OrvoByteWriter g(grown);
    g.writeU32Be(0x01020304);
    g.fill('\0', 2);
    EXPECT_EQ(grown, QByteArray::fromHex("010203040000"));
}

TEST(OrvoVersion, ComparesPartByPart)
{
    struct Case
    {
        const char *a;
        const char *b;
        int sign;
    };
    const std::vector<Case> cases = {
        {"1.0.10", "1.0.2", 1}, {"10.0", "2.0", 1}, {"2.8.0.20", "2.8.0.20", 0}, {"1.0", "1.0.0", 0},
        {"1.0", "1.0.1", -1},   {"1.a", "1.b", -1}, {"1.2b", "1.10", 1},         {"", "0", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int result = OrvoVersion::compare(QLatin1String(c.a), QLatin1String(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
        EXPECT_EQ(OrvoVersion::isLower(QLatin1String(c.a), QLatin1String(c.b)), c.sign < 0);
    }
}

TEST(OrvoTimeText, TellsParsedTextsFromEmptyAndUnparsableOnes)
{
    struct Case
    {
        const char *text;
        std::time_t seconds;
        bool parsed;
    };
    const std::vector<Case> cases = {
        {"2013-01-01T00:26:40Z", 1357000000, true}, {"1970-01-01T00:00:00Z", 0, true}, {"", 0, false},
        {"2013-01-01 00:26:40", 0, false},          {"1970-01-01T00:00:00", 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        bool parsed = !c.parsed;
        EXPECT_EQ(parseUtcTime(QLatin1String(c.text), &parsed), c.seconds);
        EXPECT_EQ(parsed, c.parsed);
    }
}
