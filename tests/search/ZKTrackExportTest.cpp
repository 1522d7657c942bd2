#include "BinaryLogFixture.h"
#include "DeviceDbTree.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include "search/ZKDeviceDB.h"
#include "search/ZKTrackExport.h"
#include "sql/ZKModel.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

namespace {

// 1357000000 is 2013-01-01 00:26:40 UTC, 09:26:40 in the tests' own zone.
constexpr qint64 kKey = 1357000000;

bool wellFormed(const QString &path)
{
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    return xmllint.waitForFinished(30000) && xmllint.exitStatus() == QProcess::NormalExit && xmllint.exitCode() == 0;
}

// A GPS log of count positions one micro-degree apart.
QByteArray denseGpsLog(int count)
{
    QByteArray log = BinaryLogFixture::header({});
    log.reserve(log.size() + qsizetype(count) * 20);
    for (int i = 0; i < count; ++i)
        log += BinaryLogFixture::gpsRecord({.lon = 121500000 + i, .lat = 25033000, .time = i});
    return log;
}

class ZKTrackExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(qEnvironmentVariable("TZ"), QStringLiteral("Asia/Tokyo"));
        ASSERT_TRUE(QDir().mkpath(exportDir()));
        ZKTraceLog::setDeviceVersion(QStringLiteral("ZK1.2.0"));
        ZKTraceLog::setDataDir(dataDir());
        ASSERT_TRUE(m_tree.writeRide(DeviceDbTree::sampleRide(), dataDir()));
        open(exportDir());
    }

    void TearDown() override
    {
        closeDeviceDatabases();
        ZKTraceLog::setDeviceVersion(QString());
        ZKTraceLog::setDataDir(QString());
    }

    void open(const QString &exportFolder)
    {
        ZKDeviceDB::openDeviceDatabases(m_tree.root(), QString(), exportFolder);
        closeDeviceDatabases();
    }

    QString dataDir() const { return m_dir.filePath(QStringLiteral("pc")); }
    QString exportDir() const { return m_dir.filePath(QStringLiteral("export")); }

    OrvoTest::OutputDir m_dir;
    DeviceDbTree m_tree{m_dir.filePath(QStringLiteral("device"))};
};

TEST_F(ZKTrackExportTest, WritesTheRideNamedByItsUtcCreateTime)
{
    bool uploaded = true;
    const QString path = exportTrackGpx(kKey, uploaded, 0);
    EXPECT_EQ(path, exportDir() + QStringLiteral("/20130101002640.gpx"));
    EXPECT_FALSE(uploaded);
    EXPECT_TRUE(wellFormed(path));
    EXPECT_EQ(OrvoTest::readFile(path).count("<trkpt "), DeviceDbTree::kSampleRidePoints);

    ZKDeviceDB::setTrackUploaded(kKey, 0, true);
    EXPECT_EQ(exportTrackGpx(kKey, uploaded, 0), path);
    EXPECT_TRUE(uploaded);
}

TEST_F(ZKTrackExportTest, WithoutExportFolderWritesIntoTheDataFolder)
{
    open(QString());
    bool uploaded = true;
    EXPECT_EQ(exportTrackGpx(kKey, uploaded, 0), dataDir() + QStringLiteral("/20130101002640.gpx"));
}

struct FailureCase
{
    const char *name;
    qint64 trackId;
    // The ride file removed first, by its suffix; none when empty.
    const char *removed;
    int flags;
    // The messages expected, a line each, "<data>" standing for the data folder.
    const char *messages;
};

TEST_F(ZKTrackExportTest, FailuresAnswerNoPathAndLogWhatWasMissing)
{
    const std::vector<FailureCase> cases = {
        {"unknown ride", kKey + 1, "", 0, ""},
        {"training log required and missing", kKey, "-TRN.dat", 2, ""},
        {"training log missing", kKey, "-TRN.dat", 0, "fail open <data>/1357000000-TRN.dat\nfailed read log binary"},
        {"GPS log missing", kKey, "-GPS.dat", 0, "<data>/1357000000-GPS.dat not exist"},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        DeviceDbTree tree(dir.filePath(QStringLiteral("device")));
        const QString data = dir.filePath(QStringLiteral("pc"));
        ZKTraceLog::setDataDir(data);
        ASSERT_TRUE(tree.writeRide(DeviceDbTree::sampleRide(), data));
        ZKDeviceDB::openDeviceDatabases(tree.root(), QString(), QString());
        ZKDeviceDB::setTrackUploaded(kKey, 0, true);
        if (*c.removed) {
            ASSERT_TRUE(QFile::remove(data + QStringLiteral("/1357000000") + QLatin1String(c.removed)));
        }

        ZKLogCapture log;
        bool uploaded = false;
        EXPECT_EQ(exportTrackGpx(c.trackId, uploaded, c.flags), QString());
        // The out-value follows the row whenever there is one.
        EXPECT_EQ(uploaded, c.trackId == kKey);
        EXPECT_EQ(log.all(), QString::fromLatin1(c.messages).replace(QStringLiteral("<data>"), data));
        EXPECT_TRUE(QDir(data).entryList({QStringLiteral("*.gpx")}).isEmpty());
        closeDeviceDatabases();
    }
}

struct ThinningCase
{
    const char *name;
    int records;
    int flags;
    bool thinned;
};

TEST_F(ZKTrackExportTest, FlagFourThinsOnlyRidesOfMoreThan30000Records)
{
    const std::vector<ThinningCase> cases = {
        {"30000 records, thinning asked", 30000, 4, false},
        {"30001 records, thinning asked", 30001, 4, true},
        {"30001 records, thinning not asked", 30001, 0, false},
    };
    for (const ThinningCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(OrvoTest::writeFile(ZKTraceLog::gpsLogPath(kKey), denseGpsLog(c.records)));
        bool uploaded = false;
        const QString path = exportTrackGpx(kKey, uploaded, c.flags);
        ASSERT_FALSE(path.isEmpty());
        const qsizetype points = OrvoTest::readFile(path).count("<trkpt ");
        if (c.thinned)
            EXPECT_LT(points, 100);
        else
            EXPECT_EQ(points, c.records);
    }
}

TEST_F(ZKTrackExportTest, ShareFileOfARideIsItsExportCompressedOnAnOlderDevice)
{
    bool uploaded = true;
    const QString path = ZKDeviceDB::exportShareFile(2, kKey, uploaded, 1);
    EXPECT_EQ(path, exportDir() + QStringLiteral("/20130101002640.gpx"));
    EXPECT_FALSE(uploaded);
    const QByteArray gpx = qUncompress(OrvoTest::readFile(path));
    EXPECT_TRUE(gpx.startsWith("<?xml")) << gpx.left(16).toStdString();
    EXPECT_EQ(gpx.count("<trkpt "), DeviceDbTree::kSampleRidePoints);
}

} // namespace
