#include "DeviceDbTestSupport.h"

#include "util/ZKGpx2.h"

#include <QFileInfo>

#include <vector>

namespace {

ZKGpx2 routeDocument(const QString &title, const QString &totalLength, const QString &time = QString())
{
    ZKGpx2 gpx;
    gpx.metadata.emplace();
    gpx.metadata->name = title;
    gpx.metadata->trvdist = totalLength;
    gpx.metadata->time = time;
    return gpx;
}

using ZKDeviceDBRoutesTest = DeviceDbTestBase;

TEST_F(ZKDeviceDBRoutesTest, StoresTheMetadataInColumnOrderWithUtcTimeAndTruncatedBounds)
{
    ZKGpx2 gpx =
        routeDocument(QStringLiteral("River loop"), QStringLiteral("42000"), QStringLiteral("2013-01-01T00:26:40Z"));
    ZKGpxMetadata &m = *gpx.metadata;
    m.desc = QStringLiteral("Along the river");
    m.authorName = QStringLiteral("Aiko");
    m.sctry = QStringLiteral("JPN");
    m.ectry = QStringLiteral("KOR");
    m.splace = QStringLiteral("Tokyo");
    m.eplace = QStringLiteral("Busan");
    m.minlon = QStringLiteral("121.5");
    m.minlat = QStringLiteral("-0.0000015");
    m.maxlon = QStringLiteral("139.8000019");
    m.maxlat = QStringLiteral("35.7");
    m.trvtime = QStringLiteral("90");
    m.acttype = QStringLiteral("1");
    m.rtetype = QStringLiteral("7");
    const int id = ZKDeviceDB::addRoute(2, gpx);
    closeDeviceDatabases();
    ASSERT_GT(id, DeviceDbTree::kScriptRoutes);
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select Title,Abstract,Author,CreateTime,StartCountry,"
                                                     "EndCountry,StartPlace,EndPlace,LDLon,LDLat,RTLon,RTLat,"
                                                     "TravelTime,TotalLength,ActiveType,RouteType from Route "
                                                     "where idRoute=%1")
                                          .arg(id)),
              QStringLiteral("River loop|Along the river|Aiko|1357000000|JPN|KOR|Tokyo|Busan|121500000|-1|"
                             "139800001|35700000|90|42000|1|2"));
}

TEST_F(ZKDeviceDBRoutesTest, StoresZeroForNoTimeAndMinusOneForAnUnparsableOne)
{
    struct Case
    {
        const char *time;
        const char *stored;
    };
    const std::vector<Case> cases = {
        {"2013-01-01T00:26:40Z", "1357000000"},
        {"1970-01-01T00:00:00Z", "0"},
        {"", "0"},
        {"2013-01-01 00:26:40", "-1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.time);
        const int id = ZKDeviceDB::addRoute(1, routeDocument(QStringLiteral("Timed %1").arg(QLatin1String(c.time)),
                                                             QStringLiteral("1"), QLatin1String(c.time)));
        closeDeviceDatabases();
        ASSERT_GT(id, 0);
        EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select CreateTime from Route where idRoute=%1").arg(id)),
                  QLatin1String(c.stored));
    }
}

TEST_F(ZKDeviceDBRoutesTest, StoresEachRouteOnceAndOnlyRouteTypesOneAndTwo)
{
    for (const QString &title : {QStringLiteral("Coast"), QStringLiteral("Bob's \"loop\""), QString()}) {
        SCOPED_TRACE(title.toStdString());
        const ZKGpx2 gpx = routeDocument(title, title.isEmpty() ? QString() : QStringLiteral("1234"));
        EXPECT_GT(ZKDeviceDB::addRoute(1, gpx), 0);
        EXPECT_EQ(ZKDeviceDB::addRoute(2, gpx), -1);
    }
    for (const int routeType : {0, 3, 5}) {
        SCOPED_TRACE(routeType);
        EXPECT_EQ(ZKDeviceDB::addRoute(routeType, routeDocument(QStringLiteral("Hills"), QStringLiteral("9"))), -1);
    }
    closeDeviceDatabases();
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select count(*) from Route")),
              QString::number(DeviceDbTree::kScriptRoutes + 3));
}

TEST_F(ZKDeviceDBRoutesTest, ListsTheRoutesOfBothRootsByType)
{
    OrvoTest::OutputDir secondDir;
    DeviceDbTree second(secondDir.path());
    ASSERT_TRUE(second.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
    openTree(second.root(), exportDir());
    const int added = ZKDeviceDB::addRoute(2, routeDocument(QStringLiteral("Added"), QStringLiteral("5")));
    ASSERT_GT(added, 0);

    const qint64 secondRoot = qint64(1) << 32;
    QMap<qint64, QString> every;
    ZKDeviceDB::listRoutes(5, every, QString());
    const QMap<qint64, QString> expected = {
        {1, QStringLiteral("Route 1")},
        {2, QStringLiteral("Route 2")},
        {added, QStringLiteral("Added")},
        {secondRoot | 1, QStringLiteral("Route 1")},
        {secondRoot | 2, QStringLiteral("Route 2")},
        {secondRoot | 3, QStringLiteral("Route 3")},
    };
    EXPECT_EQ(every, expected);

    QMap<qint64, QString> typeTwo;
    ZKDeviceDB::listRoutes(2, typeTwo, QString());
    EXPECT_EQ(typeTwo, (QMap<qint64, QString>{{added, QStringLiteral("Added")}}));
}

TEST_F(ZKDeviceDBRoutesTest, DeletesTheRowAndThenItsFile)
{
    const QString file = m_tree.path(QStringLiteral("/data/route/route-2.gpx"));
    ASSERT_TRUE(OrvoTest::writeFile(file, "<gpx/>"));
    EXPECT_FALSE(ZKDeviceDB::deleteRoute(2, 2));
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(ZKDeviceDB::deleteRoute(2, 0));
    closeDeviceDatabases();
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(
        sqliteAnswer(routeDb(),
                     QStringLiteral("select group_concat(idRoute) from (select idRoute from Route order by idRoute)")),
        QStringLiteral("1"));
}

TEST_F(ZKDeviceDBRoutesTest, FirstExportMovesTheRouteIntoItsFileAndLaterOnesCopyIt)
{
    ASSERT_TRUE(addRows({QStringLiteral("INSERT INTO Route (idRoute, Title, Uploaded, Route) "
                                        "VALUES (10, 'Kept in row', 1, '<gpx>row</gpx>')")}));
    const QString staged = exportDir() + QStringLiteral("/export-10.gpx");
    const QString routeFile = m_tree.path(QStringLiteral("/data/route/route-10.gpx"));

    bool uploaded = false;
    EXPECT_EQ(ZKDeviceDB::exportRoute(10, 0, uploaded), staged);
    closeDeviceDatabases();
    EXPECT_TRUE(uploaded);
    EXPECT_EQ(OrvoTest::readFile(staged), QByteArray("<gpx>row</gpx>"));
    EXPECT_EQ(OrvoTest::readFile(routeFile), QByteArray("<gpx>row</gpx>"));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select quote(Route) from Route where idRoute=10")),
              QStringLiteral("''"));

    ASSERT_TRUE(OrvoTest::writeFile(routeFile, "<gpx>file</gpx>"));
    EXPECT_EQ(ZKDeviceDB::exportRoute(10, 0, uploaded), staged);
    EXPECT_EQ(OrvoTest::readFile(staged), QByteArray("<gpx>file</gpx>"));
}

TEST_F(ZKDeviceDBRoutesTest, ExportWithoutExportFolderStagesInTheRouteFolder)
{
    openTree(QString(), QString());
    bool uploaded = true;
    const QString staged = ZKDeviceDB::exportRoute(1, 0, uploaded);
    EXPECT_EQ(staged, m_tree.path(QStringLiteral("/data/route/export-1.gpx")));
    EXPECT_FALSE(uploaded);
    EXPECT_TRUE(QFileInfo::exists(staged));
}

TEST_F(ZKDeviceDBRoutesTest, ExportOfAnUnknownRouteOrRootStagesNothing)
{
    bool uploaded = true;
    EXPECT_EQ(ZKDeviceDB::exportRoute(99, 0, uploaded), QString());
    EXPECT_EQ(ZKDeviceDB::exportRoute(1, 2, uploaded), QString());
    EXPECT_TRUE(uploaded);
    EXPECT_FALSE(QFileInfo::exists(exportDir() + QStringLiteral("/export-99.gpx")));
    EXPECT_FALSE(QFileInfo::exists(m_tree.path(QStringLiteral("/data/route/route-99.gpx"))));
}

} // namespace
