#include "util/ZKBinaryLogReader.h"

#include "env/OrvoByteReader.h"
#include "util/ZKBinaryLogger.h"
#include "util/ZKGpsLogRecord.h"
#include "util/ZKTraceLog.h"
#include "util/ZKTrainLogRecord.h"

#include "BinaryLogFixture.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include <gtest/gtest.h>

using BinaryLogFixture::GpsPoint;
using BinaryLogFixture::TrainSample;

namespace {

BinaryLogFixture::Header headerOfVersion(quint8 a, quint8 b, quint8 c, quint8 d)
{
    BinaryLogFixture::Header header;
    header.version = {a, b, c, d};
    return header;
}

class ZKBinaryLogReaderTest : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_out.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, bytes));
        return path;
    }

    OrvoTest::OutputDir m_out;
};

} // namespace

TEST_F(ZKBinaryLogReaderTest, HeaderAcceptanceTable)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool accepted;
        QStringList messages;
    } cases[] = {
        {"written", BinaryLogFixture::header(headerOfVersion(0, 2, 1, 8)), true, {}},
        {"oldest", BinaryLogFixture::header(headerOfVersion(0, 2, 0, 0)), true, {}},
        {"newerMinor", BinaryLogFixture::header(headerOfVersion(0, 2, 9, 255)), true, {}},
        {"otherSecondByte",
         BinaryLogFixture::header(headerOfVersion(0, 3, 0, 0)),
         false,
         {QStringLiteral("Expect PSF VER:0.2, got 0.3")}},
        {"otherFirstByte",
         BinaryLogFixture::header(headerOfVersion(1, 2, 1, 8)),
         false,
         {QStringLiteral("Expect PSF VER:0.2, got 1.2")}},
        {"truncated", BinaryLogFixture::header(headerOfVersion(0, 2, 1, 8)).left(51), false, {}},
        {"empty", QByteArray(), false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ZKLogCapture log;
        ZKBinaryLogReader reader;
        EXPECT_EQ(reader.open(write(QString::fromLatin1(c.name), c.bytes)), c.accepted);
        EXPECT_EQ(log.messages(), c.messages);
    }
}

TEST_F(ZKBinaryLogReaderTest, HeaderFieldsAreReadUpToTheirNul)
{
    BinaryLogFixture::Header header = headerOfVersion(0, 2, 1, 7);
    header.type = "gps track";
    header.word = 0xDEADBEEF;
    header.text = "AB";
    header.deviceVersion = "ZK2.1.0.3";
    header.count = 0x01020304;
    ZKBinaryLogReader reader;
    ASSERT_TRUE(reader.open(write(QStringLiteral("h.dat"), BinaryLogFixture::header(header))));

    EXPECT_EQ(reader.header().typeText, QByteArray("gps track"));
    EXPECT_EQ(reader.header().versionText(), QStringLiteral("0.2.1.7"));
    EXPECT_EQ(reader.header().word1, 0u);
    EXPECT_EQ(reader.header().word2, 0u);
    EXPECT_EQ(reader.header().text, QByteArray("AB"));
    EXPECT_EQ(reader.header().deviceVersion, QByteArray("ZK2.1.0.3"));
    EXPECT_EQ(reader.header().count, 0x01020304u);
}

TEST_F(ZKBinaryLogReaderTest, HeaderReadsFromAnyOffsetOfAStream)
{
    const QByteArray bytes = QByteArray(5, 'x') + BinaryLogFixture::header(headerOfVersion(0, 2, 1, 4));
    OrvoByteReader stream(bytes, 5);
    ZKTraceLogHeader header;
    ASSERT_TRUE(ZKBinaryLogger::readHeader(stream, header));
    EXPECT_EQ(header.versionText(), QStringLiteral("0.2.1.4"));
    EXPECT_EQ(stream.offset(), 57);
}

TEST_F(ZKBinaryLogReaderTest, VersionsCompareNumerically)
{
    const struct
    {
        std::array<quint8, 4> version;
        const char *other;
        bool atLeast;
    } cases[] = {
        {{0, 2, 1, 10}, "0.2.1.4", true}, // as text "0.2.1.10" < "0.2.1.4"
        {{0, 2, 1, 4}, "0.2.1.4", true},  {{0, 2, 1, 3}, "0.2.1.4", false}, {{0, 2, 1, 7}, "0.2.1.7", true},
        {{0, 2, 2, 0}, "0.2.1.7", true},  {{0, 2, 1, 2}, "0.2.1.2", true},  {{0, 2, 0, 9}, "0.2.1.2", false},
    };
    for (const auto &c : cases) {
        ZKTraceLogHeader header;
        header.version = c.version;
        SCOPED_TRACE(header.versionText().toStdString() + " vs " + c.other);
        EXPECT_EQ(header.isVersionAtLeast(QString::fromLatin1(c.other)), c.atLeast);
    }
}

TEST_F(ZKBinaryLogReaderTest, GpsRecordsAndTheirMarkers)
{
    const QList<GpsPoint> points = {
        {-122419416, 37774929, -123, -7, 0xFFFE, 0x0005, 1357000000},
        {0x0001ABCD, 0, 0, 0, 0, 0xFFFF, 0},                       // segment break
        {0x0002ABCD, 0, 0, 0, 0, 0xFFFF, 0},                       // marker to ignore
        {139691706, 35689487, 0x7FFF, 0x7FFF, 0xFFFF, 0x8003, 60}, // planned point
        {1, 2, 3, 4, 5, 0x0040, -1},
    };
    QByteArray bytes = BinaryLogFixture::header({});
    for (const GpsPoint &point : points)
        bytes += BinaryLogFixture::gpsRecord(point);
    bytes += BinaryLogFixture::gpsRecord({7, 7}).left(19); // truncated last record

    ZKBinaryLogReader reader;
    ASSERT_TRUE(reader.open(write(QStringLiteral("gps.dat"), bytes)));
    const struct
    {
        bool marker;
        bool segmentBreak;
        bool planned;
    } kinds[] = {
        {false, false, false}, {true, true, false}, {true, false, false}, {false, false, true}, {false, false, false}};
    for (qsizetype i = 0; i < points.size(); ++i) {
        SCOPED_TRACE(i);
        ZKGpsLogRecord record;
        ASSERT_TRUE(reader.readGpsRecord(record));
        EXPECT_EQ(record.lon, points[i].lon);
        EXPECT_EQ(record.lat, points[i].lat);
        EXPECT_EQ(record.ele, points[i].ele);
        EXPECT_EQ(record.magvar, points[i].magvar);
        EXPECT_EQ(record.speed, points[i].speed);
        EXPECT_EQ(record.type, points[i].type);
        EXPECT_EQ(record.time, points[i].time);
        EXPECT_EQ(record.isMarker(), kinds[i].marker);
        EXPECT_EQ(record.isSegmentBreak(), kinds[i].segmentBreak);
        EXPECT_EQ(record.isPlanned(), kinds[i].planned);
    }
    ZKGpsLogRecord last;
    EXPECT_FALSE(reader.readGpsRecord(last));
    EXPECT_FALSE(reader.readGpsRecord(last));
}

TEST_F(ZKBinaryLogReaderTest, TrainRecordSizeFollowsTheVersion)
{
    const struct
    {
        const char *name;
        std::array<quint8, 4> version;
        bool extended;
    } cases[] = {
        {"written", {0, 2, 1, 8}, false},
        {"oldest", {0, 2, 1, 1}, false},
        {"byte3Above8", {0, 2, 1, 9}, true},
        {"byte2Above1", {0, 2, 2, 0}, true},
    };
    TrainSample first;
    first.time = 5;
    first.hrm = 142;
    first.cad = 88;
    first.spd = 500;
    first.tmp = -12;
    first.pwr = 250;
    first.brm = -1234;
    first.pdm = 77;
    first.gpsSpeed = 480;
    first.extensionWord = -2;
    first.extensionBytes = {1, 2, 3, 4, 5, 6};
    TrainSample second;
    second.time = 6;

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BinaryLogFixture::Header header;
        header.version = c.version;
        const QByteArray bytes = BinaryLogFixture::header(header) + BinaryLogFixture::trainRecord(first, c.extended) +
                                 BinaryLogFixture::trainRecord(second, c.extended);
        ZKBinaryLogReader reader;
        ASSERT_TRUE(reader.open(write(QString::fromLatin1(c.name), bytes)));
        EXPECT_EQ(reader.header().hasExtendedTrainRecords(), c.extended);

        ZKTrainLogRecord record;
        ASSERT_TRUE(reader.readTrainRecord(record));
        EXPECT_EQ(record.time, 5);
        EXPECT_EQ(record.hrm, 142);
        EXPECT_EQ(record.cad, 88);
        EXPECT_EQ(record.spd, 500);
        EXPECT_EQ(record.tmp, -12);
        EXPECT_EQ(record.pwr, 250);
        EXPECT_EQ(record.brm, -1234);
        EXPECT_EQ(record.pdm, 77);
        EXPECT_EQ(record.gpsSpeed, 480);
        EXPECT_EQ(record.extensionWord, c.extended ? -2 : 0);
        const std::array<quint8, 6> noExtension{};
        EXPECT_EQ(record.extensionBytes, c.extended ? first.extensionBytes : noExtension);
        ASSERT_TRUE(reader.readTrainRecord(record));
        EXPECT_EQ(record.time, 6);
        EXPECT_EQ(record.hrm, 0xFF);
        EXPECT_FALSE(reader.readTrainRecord(record));
    }
}

TEST_F(ZKBinaryLogReaderTest, TrainMarkersBreakOnlyWithUpperHalfOne)
{
    const struct
    {
        const char *name;
        quint8 hrm;
        quint8 cad;
        qint32 pdm;
        bool marker;
        bool segmentBreak;
    } cases[] = {
        {"break", 0xFE, 0xFE, 65537, true, true},     {"ignored", 0xFE, 0xFE, 131072, true, false},
        {"onlyHrm", 0xFE, 0x50, 65537, false, false}, {"onlyCad", 0x50, 0xFE, 65537, false, false},
        {"sample", 0x50, 0x50, 65537, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TrainSample sample;
        sample.hrm = c.hrm;
        sample.cad = c.cad;
        sample.pdm = c.pdm;
        const QByteArray bytes = BinaryLogFixture::header({}) + BinaryLogFixture::trainRecord(sample, false);
        ZKBinaryLogReader reader;
        ASSERT_TRUE(reader.open(write(QString::fromLatin1(c.name), bytes)));
        ZKTrainLogRecord record;
        ASSERT_TRUE(reader.readTrainRecord(record));
        EXPECT_EQ(record.isMarker(), c.marker);
        EXPECT_EQ(record.isSegmentBreak(), c.segmentBreak);
    }
}

TEST_F(ZKBinaryLogReaderTest, ReadsWhatTheLoggerWrote)
{
    const QString path = m_out.filePath(QStringLiteral("round-GPS.dat"));
    ZKGpsLogRecord written;
    written.lon = -1;
    written.lat = 2;
    written.ele = -32768;
    written.type = 0x8040;
    written.time = -5;
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.append(written));
    ASSERT_TRUE(logger.close());

    ZKBinaryLogReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.header().count, 1u);
    EXPECT_EQ(reader.header().deviceVersion, ZKTraceLog::deviceVersion().toLatin1());
    ZKGpsLogRecord read;
    ASSERT_TRUE(reader.readGpsRecord(read));
    EXPECT_EQ(read.lon, -1);
    EXPECT_EQ(read.lat, 2);
    EXPECT_EQ(read.ele, -32768);
    EXPECT_EQ(read.magvar, 0x7FFF);
    EXPECT_EQ(read.speed, 0xFFFF);
    EXPECT_EQ(read.type, 0x8040);
    EXPECT_EQ(read.time, -5);
}

TEST_F(ZKBinaryLogReaderTest, MissingFileAndUnopenedReaderGiveNothing)
{
    ZKBinaryLogReader reader;
    ZKGpsLogRecord gps;
    ZKTrainLogRecord train;
    EXPECT_FALSE(reader.readGpsRecord(gps));
    EXPECT_FALSE(reader.open(m_out.filePath(QStringLiteral("missing.dat"))));
    EXPECT_FALSE(reader.readTrainRecord(train));

    ASSERT_FALSE(reader.open(write(QStringLiteral("v3.dat"), BinaryLogFixture::header(headerOfVersion(0, 3, 0, 0)) +
                                                                 BinaryLogFixture::gpsRecord({1, 1}))));
    EXPECT_FALSE(reader.readGpsRecord(gps));
}
