#include "util/ZKBinaryLogger.h"

#include "util/ZKGpsLogRecord.h"
#include "util/ZKTraceLog.h"

#include "BinaryLogFixture.h"
#include "FileSizeLimit.h"
#include "FixtureBytes.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

using BinaryLogFixture::GpsPoint;

namespace {

class ZKBinaryLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override { m_version = ZKTraceLog::deviceVersion(); }
    void TearDown() override { ZKTraceLog::setDeviceVersion(m_version); }

    OrvoTest::OutputDir m_out;

private:
    QString m_version;
};

QByteArray header(quint32 count, const QByteArray &deviceVersion)
{
    BinaryLogFixture::Header h;
    h.count = count;
    h.deviceVersion = deviceVersion;
    return BinaryLogFixture::header(h);
}

ZKGpsLogRecord recordNumber(int i)
{
    ZKGpsLogRecord record;
    record.lon = 139000000 + i;
    record.lat = -35000000 - i;
    record.ele = qint16(-10 * i);
    record.magvar = qint16(i);
    record.speed = quint16(100 + i);
    record.type = quint16(i % 3);
    record.time = 1357000000 + i;
    return record;
}

GpsPoint pointNumber(int i)
{
    return {139000000 + i, -35000000 - i, qint16(-10 * i), qint16(i), quint16(100 + i), quint16(i % 3), 1357000000 + i};
}

} // namespace

TEST_F(ZKBinaryLoggerTest, NewLogIsExactlyTheHeader)
{
    ZKTraceLog::setDeviceVersion(QStringLiteral("ZK1.3.0.8"));
    const QString path = m_out.filePath(QStringLiteral("new-GPS.dat"));
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.close());

    const QByteArray bytes = OrvoTest::readFile(path);
    EXPECT_EQ(bytes, header(0, "ZK1.3.0.8"));
    EXPECT_EQ(bytes.left(16), QByteArray("gps track\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(bytes.mid(16, 4), FixtureBytes::hex("00 02 01 08"));
}

TEST_F(ZKBinaryLoggerTest, HeaderCarriesTheFirstOfTwoWordsOfTheDeviceVersion)
{
    const struct
    {
        const char *name;
        QString version;
        QByteArray stored;
    } cases[] = {
        {"twoWords", QStringLiteral("ZK1.3.0.8 Orvo2.8.0.20"), "ZK1.3.0.8"},
        {"oneWord", QStringLiteral("ZK2.1.0.3"), "ZK2.1.0.3"},
        {"threeWordsCutTo15", QStringLiteral("ZK1.3.0.8 Orvo 2.8.0.20"), "ZK1.3.0.8 Orvo "},
        {"longWordCutTo15", QStringLiteral("ZK2.10.100.1000-beta"), "ZK2.10.100.1000"},
        {"doubleBlankIsThreeParts", QStringLiteral("ZK1  Orvo"), "ZK1  Orvo"},
        {"nonAsciiReplaced", QStringLiteral("Z\u00fcrich Orvo"), "Z?rich"},
        {"empty", QString(), ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ZKTraceLog::setDeviceVersion(c.version);
        const QString path = m_out.filePath(QString::fromLatin1(c.name));
        ZKBinaryLogger logger;
        ASSERT_TRUE(logger.open(path));
        ASSERT_TRUE(logger.close());
        EXPECT_EQ(OrvoTest::readFile(path), header(0, c.stored));
    }
}

TEST_F(ZKBinaryLoggerTest, TwentyFiveRecordsGiveTheirCountAndSize)
{
    ZKTraceLog::setDeviceVersion(QStringLiteral("ZK2.1.0.3"));
    const QString path = m_out.filePath(QStringLiteral("25-GPS.dat"));
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    QByteArray expected = header(25, "ZK2.1.0.3");
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(logger.append(recordNumber(i)));
        expected += BinaryLogFixture::gpsRecord(pointNumber(i));
    }
    EXPECT_EQ(logger.count(), 25u);
    ASSERT_TRUE(logger.close());

    const QByteArray bytes = OrvoTest::readFile(path);
    EXPECT_EQ(bytes.size(), 52 + 25 * 20);
    EXPECT_EQ(FixtureBytes::getU32Le(bytes, 48), 25u);
    EXPECT_EQ(bytes, expected);
}

TEST_F(ZKBinaryLoggerTest, LogReplacesTheTargetOnlyWhenClosed)
{
    const QString path = m_out.filePath(QStringLiteral("ride-GPS.dat"));
    const QByteArray previous = header(1, "old") + BinaryLogFixture::gpsRecord(pointNumber(9));
    ASSERT_TRUE(OrvoTest::writeFile(path, previous));
    {
        ZKBinaryLogger logger;
        ASSERT_TRUE(logger.open(path));
        ASSERT_TRUE(logger.append(recordNumber(1)));
        EXPECT_EQ(OrvoTest::readFile(path), previous);
    }
    EXPECT_EQ(OrvoTest::readFile(path), previous);
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files), QStringList{QStringLiteral("ride-GPS.dat")});

    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.append(recordNumber(1)));
    ASSERT_TRUE(logger.close());
    EXPECT_EQ(OrvoTest::readFile(path), header(1, "0.0.0.0") + BinaryLogFixture::gpsRecord(pointNumber(1)));
}

TEST_F(ZKBinaryLoggerTest, ShortWriteRollsBackSoTheNextRecordTakesItsPlace)
{
    const QString path = m_out.filePath(QStringLiteral("rollback-GPS.dat"));
    ZKLogCapture log;
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.append(recordNumber(0)));
    ASSERT_TRUE(logger.append(recordNumber(1)));
    {
        FileSizeLimit limit(52 + 2 * 20 + 7);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(logger.append(recordNumber(2)));
    }
    EXPECT_EQ(logger.count(), 2u);
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("rollback GPS log at pos=92")});
    ASSERT_TRUE(logger.append(recordNumber(3)));
    ASSERT_TRUE(logger.close());

    EXPECT_EQ(OrvoTest::readFile(path), header(3, "0.0.0.0") + BinaryLogFixture::gpsRecord(pointNumber(0)) +
                                            BinaryLogFixture::gpsRecord(pointNumber(1)) +
                                            BinaryLogFixture::gpsRecord(pointNumber(3)));
}

TEST_F(ZKBinaryLoggerTest, CloseCutsAPartialRecordNothingOverwrote)
{
    const QString path = m_out.filePath(QStringLiteral("partial-GPS.dat"));
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.append(recordNumber(0)));
    {
        FileSizeLimit limit(52 + 20 + 11);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(logger.append(recordNumber(1)));
    }
    ASSERT_TRUE(logger.close());
    EXPECT_EQ(OrvoTest::readFile(path), header(1, "0.0.0.0") + BinaryLogFixture::gpsRecord(pointNumber(0)));
}

TEST_F(ZKBinaryLoggerTest, AnyFileNameWorks)
{
    const QString folder = m_out.filePath(QStringLiteral("Fahrten \u00e4\u00f6\u00fc \u65e5\u672c"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/1357000000-GPS \u00df.dat");
    ZKBinaryLogger logger;
    ASSERT_TRUE(logger.open(path));
    ASSERT_TRUE(logger.append(recordNumber(4)));
    ASSERT_TRUE(logger.close());
    EXPECT_EQ(OrvoTest::readFile(path), header(1, "0.0.0.0") + BinaryLogFixture::gpsRecord(pointNumber(4)));
}

TEST_F(ZKBinaryLoggerTest, FailuresAnswerFalse)
{
    ZKBinaryLogger unopened;
    EXPECT_FALSE(unopened.append(recordNumber(0)));
    EXPECT_FALSE(unopened.close());

    ZKBinaryLogger logger;
    EXPECT_FALSE(logger.open(m_out.filePath(QStringLiteral("no/such/folder/x.dat"))));
    EXPECT_FALSE(logger.append(recordNumber(0)));
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("no"))));

    ASSERT_TRUE(logger.open(m_out.filePath(QStringLiteral("once.dat"))));
    ASSERT_TRUE(logger.close());
    EXPECT_FALSE(logger.close());
}

TEST_F(ZKBinaryLoggerTest, WriteHeaderPutsTheWordTwiceAndTheCount)
{
    QBuffer buffer;
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    buffer.write(QByteArray(80, 'x'));
    ASSERT_TRUE(ZKBinaryLogger::writeHeader(buffer, 0x11223344, "ZK2.1.0.3", "trn track", 9));

    BinaryLogFixture::Header expected;
    expected.type = "trn track";
    expected.word = 0x11223344;
    expected.deviceVersion = "ZK2.1.0.3";
    expected.count = 9;
    EXPECT_EQ(buffer.data(), BinaryLogFixture::header(expected) + QByteArray(28, 'x'));
}
