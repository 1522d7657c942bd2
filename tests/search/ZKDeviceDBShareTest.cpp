#include "DeviceDbTestSupport.h"
#include "FileSizeLimit.h"
#include "ZKLogCapture.h"

#include <QFileInfo>

#include <vector>

namespace {

QByteArray sharedGpx(const char *shareType)
{
    return QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx xmlns="http://www.tarvex.com/xmlschemas/KRM/2/2" creator="tarvex" version="2.2.0.3">
  <metadata>
    <name>Shared loop</name>
    <time>2013-01-01T00:26:40Z</time>
    <extensions>
      <sharetype>)") +
           shareType + R"(</sharetype>
      <trvdist>1200</trvdist>
    </extensions>
  </metadata>
  <trk>
    <trkseg>
      <trkpt lat="35.000001" lon="139.000002"><ele>12.5</ele><time>2013-01-01T00:26:40Z</time></trkpt>
      <trkpt lat="35.000011" lon="139.000012"><time>2013-01-01T00:26:50Z</time></trkpt>
    </trkseg>
  </trk>
</gpx>
)";
}

class ZKDeviceDBShareTest : public DeviceDbTestBase
{
protected:
    // A downloaded share file holding the bytes.
    QString download(const QByteArray &bytes, const QString &name = QStringLiteral("share.gpx"))
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, bytes));
        return path;
    }

    QString sharedRoutes()
    {
        closeDeviceDatabases();
        return sqliteAnswer(routeDb(), QStringLiteral("select group_concat(idRoute || ':' || RouteType || ':' || "
                                                      "Title) from (select * from Route where idRoute>%1 "
                                                      "order by idRoute)")
                                           .arg(DeviceDbTree::kScriptRoutes));
    }

    QString routeFile(int id) const { return m_tree.path(QStringLiteral("/data/route/route-%1.gpx").arg(id)); }
};

TEST_F(ZKDeviceDBShareTest, OlderDeviceKeepsASharedRideAsARouteWithTheSameBytes)
{
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    const QByteArray bytes = sharedGpx("2");
    const QString path = download(bytes);
    ZKDeviceDB::importShareFile(path, false);
    EXPECT_EQ(sharedRoutes(), QStringLiteral("3:2:Shared loop"));
    EXPECT_EQ(OrvoTest::readFile(routeFile(3)), bytes);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(ZKDeviceDBShareTest, NewerDeviceKeepsASharedRouteAsAPlannedTripLog)
{
    const QString path = download(sharedGpx("1"));
    ZKDeviceDB::importShareFile(path, true);
    EXPECT_EQ(sharedRoutes(), QStringLiteral("3:1:Shared loop"));
    const QByteArray log = OrvoTest::readFile(routeFile(3));
    EXPECT_TRUE(log.startsWith(QByteArray("gps track\0", 10))) << log.left(16).toStdString();
    EXPECT_EQ(log.size(), 52 + 2 * 20);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(ZKDeviceDBShareTest, SharedTwiceStoresOneRouteAndConsumesBothFiles)
{
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    const QString first = download(sharedGpx("2"), QStringLiteral("first.gpx"));
    const QString second = download(sharedGpx("2"), QStringLiteral("second.gpx"));
    ZKDeviceDB::importShareFile(first, false);
    ZKDeviceDB::importShareFile(second, false);
    EXPECT_EQ(sharedRoutes(), QStringLiteral("3:2:Shared loop"));
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
}

TEST_F(ZKDeviceDBShareTest, OtherShareTypesStoreNothingButConsumeTheFile)
{
    for (const char *shareType : {"", "3", "two", "0"}) {
        SCOPED_TRACE(shareType);
        const QString path = download(sharedGpx(shareType));
        ZKDeviceDB::importShareFile(path, false);
        EXPECT_EQ(sharedRoutes(), QString());
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

TEST_F(ZKDeviceDBShareTest, CompressedShareFileIsUnpackedOnAnOlderDeviceOnly)
{
    const QByteArray bytes = sharedGpx("2");
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    const QString packed = download(qCompress(bytes, 9));
    ZKDeviceDB::importShareFile(packed, true);
    EXPECT_EQ(sharedRoutes(), QStringLiteral("3:2:Shared loop"));
    EXPECT_EQ(OrvoTest::readFile(routeFile(3)), bytes);
    EXPECT_FALSE(QFileInfo::exists(packed));

    // A newer device takes the file as it is, packed or not.
    ZKTraceLog::setDeviceVersion(kNewerVersion);
    const QString plain = download(sharedGpx("1").replace("Shared loop", "Other loop"));
    ZKDeviceDB::importShareFile(plain, true);
    EXPECT_EQ(sharedRoutes(), QStringLiteral("3:2:Shared loop,4:1:Other loop"));
}

TEST_F(ZKDeviceDBShareTest, CompressedFileThatDoesNotUnpackIsLeftInPlace)
{
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    for (const QByteArray &bytes : {QByteArray("not packed at all"), qCompress(QByteArray(), 9)}) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString path = download(bytes);
        ZKLogCapture log;
        ZKDeviceDB::importShareFile(path, true);
        EXPECT_EQ(OrvoTest::readFile(path), bytes);
        EXPECT_TRUE(log.messages().contains(QStringLiteral("share file %1 does not unpack").arg(path)))
            << log.all().toStdString();
    }
    EXPECT_EQ(sharedRoutes(), QString());
}

TEST_F(ZKDeviceDBShareTest, CompressedFileWhoseUnpackedFormCannotBeWrittenStaysWhole)
{
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    const QByteArray bytes = sharedGpx("2");
    const QByteArray packed = qCompress(bytes, 9);
    const QString path = download(packed);
    const qint64 room = packed.size() + 16;
    ASSERT_LT(room, bytes.size());
    {
        // The disk has room for the packed file, not for the unpacked one.
        FileSizeLimit limit(room);
        ASSERT_TRUE(limit.ok());
        ZKDeviceDB::importShareFile(path, true);
    }
    EXPECT_EQ(OrvoTest::readFile(path), packed);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("share.gpx")});
    EXPECT_EQ(sharedRoutes(), QString());
}

struct CompressCase
{
    const char *name;
    const QString &version;
    int flags;
    bool compressed;
};

TEST_F(ZKDeviceDBShareTest, ExportedRouteIsCompressedOnlyOnAnOlderDeviceWithFlagOne)
{
    const QByteArray text = sharedGpx("1");
    ASSERT_TRUE(addRows({QStringLiteral("INSERT INTO Route (idRoute, Title, Uploaded, Route) "
                                        "VALUES (10, 'Kept in row', 1, '%1')")
                             .arg(QString::fromUtf8(text))}));
    const std::vector<CompressCase> cases = {
        {"older, flags 1", kOlderVersion, 1, true},
        {"older, flags 3", kOlderVersion, 3, true},
        {"older, flags 2", kOlderVersion, 2, false},
        {"newer, flags 1", kNewerVersion, 1, false},
    };
    for (const CompressCase &c : cases) {
        SCOPED_TRACE(c.name);
        ZKTraceLog::setDeviceVersion(c.version);
        bool uploaded = false;
        const QString path = ZKDeviceDB::exportShareFile(1, 10, uploaded, c.flags);
        EXPECT_EQ(path, exportDir() + QStringLiteral("/export-10.gpx"));
        EXPECT_TRUE(uploaded);
        const QByteArray staged = OrvoTest::readFile(path);
        EXPECT_EQ(c.compressed ? qUncompress(staged) : staged, text);
    }
}

TEST_F(ZKDeviceDBShareTest, UnknownKindStagesNothing)
{
    bool uploaded = false;
    for (const int kind : {0, 4})
        EXPECT_EQ(ZKDeviceDB::exportShareFile(kind, 1, uploaded, 1), QString()) << kind;
}

TEST_F(ZKDeviceDBShareTest, WorkoutFileIsImportedAsAWorkout)
{
    const QString path = download("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<trncrs xmlns=\"urn:wrk\" creator=\"tarvex\" version=\"1.3.0.9\">\n"
                                  "<metadata><time>2013-02-03T04:05:06Z</time></metadata>\n"
                                  "<wrk id=\"9\" orgid=\"9\" daily=\"false\" repeat=\"0\" type=\"1\" subtype=\"0\" "
                                  "listOrder=\"0\"><acttype>1</acttype><name>Shared intervals</name>"
                                  "<itv id=\"1\" needLap=\"false\"><name>Go</name></itv></wrk>\n</trncrs>\n",
                                  QStringLiteral("share.wrk"));
    ZKDeviceDB::importShareFile(path, false);
    closeDeviceDatabases();
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select wid, name from Workout")),
              QStringLiteral("9|Shared intervals"));
    EXPECT_EQ(sharedRoutes(), QString());
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(ZKDeviceDBShareTest, WorkoutWithoutExportFolderIsStagedInTheRouteFolder)
{
    DeviceDbTree::WorkoutRow row;
    row.wid = 9;
    row.intervals = {QStringLiteral("1, 0, 'Go', NULL, NULL, NULL, NULL, 1, 60, NULL, NULL, NULL, NULL, NULL, NULL")};
    ASSERT_TRUE(m_tree.writeWorkouts({row}));
    openTree(QString(), QString());
    const QString staged = m_tree.path(QStringLiteral("/data/route/export-9.wrk"));
    ASSERT_TRUE(OrvoTest::writeFile(staged, "an older export"));

    bool uploaded = false;
    EXPECT_EQ(ZKDeviceDB::exportShareFile(3, 9, uploaded, 0), staged);
    EXPECT_TRUE(OrvoTest::readFile(staged).contains("<name>Intervals</name>"));
    EXPECT_EQ(ZKDeviceDB::exportShareFile(3, 10, uploaded, 0), QString());
}

} // namespace
