#include "DeviceDbTree.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include "search/ZKDeviceDB.h"
#include "sql/ZKModel.h"
#include "sql/ZKWorkoutModel.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kOlderVersion = QStringLiteral("ZK1.2.0");
const QString kNewerVersion = QStringLiteral("ZK2.0.1");

// What the sqlite3 program answers, read apart from the code under test.
QString sqlite(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(30000))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList columnsOf(const QString &file, const QString &table)
{
    QStringList names;
    for (const QString &line : sqlite(file, QStringLiteral("pragma table_info(%1)").arg(table)).split('\n'))
        names.append(line.section(QLatin1Char('|'), 1, 1));
    return names;
}

class ZKDeviceDBTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        closeDeviceDatabases();
        ZKTraceLog::setDeviceVersion(QString());
    }

    void open(const QString &version)
    {
        ZKTraceLog::setDeviceVersion(version);
        ZKDeviceDB::openDeviceDatabases(m_tree.root(), QString(), QString());
        closeDeviceDatabases();
    }

    OrvoTest::OutputDir m_dir;
    DeviceDbTree m_tree{m_dir.path()};
};

enum class Stored { Present, BackupOnly, Absent };

struct OlderCase
{
    const char *name;
    Stored stored;
};

TEST_F(ZKDeviceDBTest, OlderDeviceRestoresItsBackupsAndUpgradesTheRouteDatabaseOnce)
{
    for (const OlderCase &c : {OlderCase{"present", Stored::Present}, OlderCase{"only backups", Stored::BackupOnly},
                               OlderCase{"absent", Stored::Absent}}) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        DeviceDbTree tree(dir.path());
        const QString suffix = c.stored == Stored::Present ? QStringLiteral("dat") : QStringLiteral("000");
        if (c.stored != Stored::Absent) {
            ASSERT_TRUE(tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.") + suffix));
            ASSERT_TRUE(tree.writePoiDatabase(QStringLiteral("/data/poi/poi.") + suffix));
            ASSERT_TRUE(tree.writeFavoriteDatabase(QStringLiteral("/data/poi/favorite.") + suffix));
        }
        const QByteArray backup = OrvoTest::readFile(tree.path(QStringLiteral("/data/route/route.000")));
        ZKLogCapture log;
        ZKTraceLog::setDeviceVersion(kOlderVersion);
        ZKDeviceDB::openDeviceDatabases(tree.root(), QString(), QString());
        closeDeviceDatabases();

        const QString route = tree.path(QStringLiteral("/data/route/route.dat"));
        if (c.stored == Stored::Absent) {
            EXPECT_EQ(log.messages(), (QStringList{QStringLiteral("can't found any POI dat file"),
                                                   QStringLiteral("can't found any ROUTE dat file"),
                                                   QStringLiteral("can't found any FAV dat file")}));
            EXPECT_FALSE(QFileInfo::exists(route));
            EXPECT_FALSE(QFileInfo::exists(tree.path(QStringLiteral("/data/poi/favorite.dat"))));
            continue;
        }
        EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
        EXPECT_TRUE(QFileInfo::exists(tree.path(QStringLiteral("/data/poi/poi.dat"))));
        EXPECT_TRUE(QFileInfo::exists(tree.path(QStringLiteral("/data/poi/favorite.dat"))));
        const QStringList workout = columnsOf(route, QStringLiteral("Workout"));
        for (const char *column : {"createtime", "orgid", "oneshot", "desc", "listOrder"})
            EXPECT_TRUE(workout.contains(QLatin1String(column))) << column;
        EXPECT_TRUE(columnsOf(route, QStringLiteral("TraceLog")).contains(QStringLiteral("pause")));
        EXPECT_TRUE(columnsOf(route, QStringLiteral("WorkoutInterval")).contains(QStringLiteral("logreso")));
        EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from WorkoutRoute")), QStringLiteral("0"));
        EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from TraceLog")),
                  QString::number(DeviceDbTree::kOlderRoutes));
        if (c.stored == Stored::BackupOnly) {
            EXPECT_EQ(OrvoTest::readFile(tree.path(QStringLiteral("/data/route/route.000"))), backup);
        }

        const QByteArray upgraded = OrvoTest::readFile(route);
        ZKDeviceDB::openDeviceDatabases(tree.root(), QString(), QString());
        closeDeviceDatabases();
        EXPECT_EQ(OrvoTest::readFile(route), upgraded);
    }
}

TEST_F(ZKDeviceDBTest, DataFoldersAreMadeOnlyInsideARootThatIsThere)
{
    struct Case
    {
        const char *name;
        const QString &version;
        bool rootThere;
    };
    const Case cases[] = {
        {"older device", kOlderVersion, true},
        {"newer device", kNewerVersion, true},
        {"older device whose drive was pulled", kOlderVersion, false},
        {"newer device whose drive was pulled", kNewerVersion, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        const QString root = dir.filePath(QStringLiteral("drive"));
        if (c.rootThere) {
            ASSERT_TRUE(QDir().mkpath(root));
        }
        ZKLogCapture log;
        ZKTraceLog::setDeviceVersion(c.version);
        ZKDeviceDB::openDeviceDatabases(root, QString(), QString());
        closeDeviceDatabases();

        const bool made = QFileInfo::exists(root);
        EXPECT_EQ(made, c.rootThere) << "the root of a pulled drive was made anew";
        EXPECT_EQ(QFileInfo(root + QStringLiteral("/data/poi")).isDir(), c.rootThere);
        EXPECT_EQ(QFileInfo(root + QStringLiteral("/data/route")).isDir(), c.rootThere);
    }
}

TEST_F(ZKDeviceDBTest, NewerDeviceBuildsItsRouteDatabaseFromItsScriptAndAddsTheDefaultFavouriteOnce)
{
    ASSERT_TRUE(m_tree.writeRouteScript());
    // A backup is not restored on a newer device: the script builds the database.
    ASSERT_TRUE(m_tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.000")));
    open(kNewerVersion);
    const QString route = m_tree.path(QStringLiteral("/data/route/route.dat"));
    const QString favorite = m_tree.path(QStringLiteral("/data/poi/favorite.dat"));
    EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from Route")),
              QString::number(DeviceDbTree::kScriptRoutes));
    EXPECT_TRUE(columnsOf(route, QStringLiteral("TraceLog")).contains(QStringLiteral("pause")));
    EXPECT_EQ(sqlite(favorite, QStringLiteral("select count(*),min(idMyFavorite),min(CategoryID) from MyFavorite")),
              QStringLiteral("1|1|19"));
    EXPECT_EQ(sqlite(favorite, QStringLiteral("select name from sqlite_master where type='index'")),
              QStringLiteral("FAVINDEX"));

    // Again with both files present: the script runs without its inserts, no row is added.
    ZKLogCapture log;
    open(kNewerVersion);
    EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from Route")),
              QString::number(DeviceDbTree::kScriptRoutes));
    EXPECT_EQ(sqlite(favorite, QStringLiteral("select count(*) from MyFavorite")), QStringLiteral("1"));
    // Only the script's table without "if not exists" fails, harmlessly.
    ASSERT_EQ(log.messages().size(), 1) << log.all().toStdString();
    EXPECT_TRUE(log.messages().first().startsWith(QStringLiteral("SQL Error: table Route already exists")));
}

TEST_F(ZKDeviceDBTest, NewerDeviceWithItsFavouritesKeepsThem)
{
    ASSERT_TRUE(m_tree.writeRouteScript());
    ASSERT_TRUE(m_tree.writeFavoriteDatabase(QStringLiteral("/data/poi/favorite.dat")));
    open(kNewerVersion);
    const QString favorite = m_tree.path(QStringLiteral("/data/poi/favorite.dat"));
    EXPECT_EQ(sqlite(favorite, QStringLiteral("select count(*),min(idMyFavorite) from MyFavorite")),
              QStringLiteral("1|5"));
    EXPECT_EQ(sqlite(favorite, QStringLiteral("select name from sqlite_master where type='index'")),
              QStringLiteral("FAVINDEX"));
}

TEST_F(ZKDeviceDBTest, ScriptRunsOnlyItsNonEmptyStatementsAndInsertsOnlyWhenAsked)
{
    const QString file = m_dir.filePath(QStringLiteral("s.dat"));
    const QString script = m_dir.filePath(QStringLiteral("s.sql"));
    ASSERT_TRUE(OrvoTest::writeFile(script, "create table t (v);\n ; ;\n  Insert into t values (1);insert into t "
                                            "values (2);\ncreate table u (v)"));
    ZKLogCapture log;
    for (bool withInserts : {false, true}) {
        QSqlQuery query(zkOpenDatabase(file, kZKDeviceConnection));
        ZKDeviceDB::readSqlScript(query, script, withInserts);
    }
    closeDeviceDatabases();
    EXPECT_EQ(sqlite(file, QStringLiteral("select group_concat(v) from t")), QStringLiteral("1,2"));
    EXPECT_EQ(sqlite(file, QStringLiteral("select count(*) from u")), QStringLiteral("0"));
    // The second run's two create statements fail on the existing tables.
    EXPECT_EQ(log.messages().size(), 2) << log.all().toStdString();
}

struct PickCase
{
    const char *text;
    const char *code;
    const char *picked;
};

TEST(ZKDeviceDBPickTest, PicksTheLanguageThenEnglishThenTheFirst)
{
    const std::vector<PickCase> cases = {
        {"\\ENG Road one\\FRA Route une", "FRA", "Route une"},
        {"\\ENG Road one\\FRA Route une", "DEU", "Road one"},
        {"\\FRA Route une\\ENG Road one", "ENG", "Road one"},
        {"\\XYZ Weg eins", "DEU", "Weg eins"},
        {"\\Weg", "DEU", "Weg"},
        {"\\LONG words here", "DEU", "LONG words here"},
        {"\\FRA  deux  blancs", "FRA", " deux  blancs"},
        {"Plain text", "FRA", "Plain text"},
        {"\\\\", "FRA", ""},
        {"", "FRA", ""},
    };
    for (const PickCase &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ZKDeviceDB::pickLanguageText(QString::fromUtf8(c.text), QLatin1String(c.code)),
                  QString::fromUtf8(c.picked));
    }
}

TEST_F(ZKDeviceDBTest, ByIdOperationsReachOnlyKnownTablesAndRoots)
{
    ASSERT_TRUE(m_tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
    ASSERT_TRUE(m_tree.writePoiDatabase(QStringLiteral("/data/poi/poi.dat")));
    open(kOlderVersion);
    const qint64 ride = 1357000001;
    const QStringList title = {QStringLiteral("Title")};

    QVector<QVariant> values;
    ZKDeviceDB::selectTraceLogById(ride, 0, title, values);
    EXPECT_EQ(values, QVector<QVariant>{QStringLiteral("Ride 1357000001")});
    for (int rootIndex : {1, 2, -1}) {
        QVector<QVariant> none;
        ZKDeviceDB::selectTraceLogById(ride, rootIndex, title, none);
        EXPECT_TRUE(none.isEmpty()) << rootIndex;
    }
    QVector<QVariant> unknown;
    ZKDeviceDB::selectById(QStringLiteral("Workout"), 1, 0, title, unknown);
    EXPECT_TRUE(unknown.isEmpty());

    // A title with a quote goes in as a bound value.
    ZKDeviceDB::updateById(QStringLiteral("TraceLog"), ride, 0, title, {QStringLiteral("Bob's ride")});
    QVector<QVariant> renamed;
    ZKDeviceDB::selectTraceLogById(ride, 0, title, renamed);
    EXPECT_EQ(renamed, QVector<QVariant>{QStringLiteral("Bob's ride")});

    const QStringList name = {QStringLiteral("Name")};
    QVector<QVariant> category;
    ZKDeviceDB::selectById(QStringLiteral("POICategory"), 4, 0, name, category);
    EXPECT_EQ(category, QVector<QVariant>{QStringLiteral("Fuel")});
    ZKTraceLog::setDeviceVersion(kNewerVersion);
    QVector<QVariant> newer;
    ZKDeviceDB::selectById(QStringLiteral("POICategory"), 4, 0, name, newer);
    EXPECT_TRUE(newer.isEmpty());
}

TEST_F(ZKDeviceDBTest, ReadOnlyDatabaseBecomesWritableWhenFound)
{
    const QString route = m_tree.path(QStringLiteral("/data/route/route.dat"));
    ASSERT_TRUE(m_tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
    ASSERT_TRUE(QFile::setPermissions(route, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    EXPECT_EQ(ZKDeviceDB::findDeviceFile(m_tree.root(), QString(), QStringLiteral("/data/route/route.dat")), route);
    EXPECT_TRUE(QFileInfo(route).isWritable());
    EXPECT_EQ(ZKDeviceDB::findDeviceFile(QStringLiteral("/nonexistent"), m_tree.root(),
                                         QStringLiteral("/data/route/route.dat")),
              route);
    EXPECT_TRUE(ZKDeviceDB::findDeviceFile(m_tree.root(), QString(), QStringLiteral("/data/poi/poi.dat")).isEmpty());
}

// The descriptors of this process that point at the file.
int openDescriptors(const QString &file)
{
    const QString canonical = QFileInfo(file).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files))
        count += QFileInfo(fds.filePath(fd)).symLinkTarget() == canonical ? 1 : 0;
    return count;
}

TEST_F(ZKDeviceDBTest, WorkerThreadsUseConnectionsOfTheirOwnAndCloseOnlyThose)
{
    ASSERT_TRUE(m_tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
    open(kOlderVersion);
    const QString route = m_tree.path(QStringLiteral("/data/route/route.dat"));

    OrvoMessageCapture messages;
    QAtomicInt found;
    std::function<void()> reader = [&found] {
        for (int i = 0; i < 50; ++i) {
            QVector<QVariant> values;
            ZKDeviceDB::selectTraceLogById(1357000001 + i % DeviceDbTree::kOlderRoutes, 0, {QStringLiteral("Title")},
                                           values);
            found.fetchAndAddRelaxed(values.size());
        }
        closeDeviceDatabases();
    };
    std::unique_ptr<QThread> first(QThread::create(reader));
    std::unique_ptr<QThread> second(QThread::create(reader));
    first->start();
    second->start();
    ASSERT_TRUE(first->wait(60000));
    ASSERT_TRUE(second->wait(60000));
    EXPECT_EQ(found.loadRelaxed(), 100);
    EXPECT_EQ(messages.count(QtWarningMsg, QStringLiteral("QSql")), 0);
    EXPECT_EQ(openDescriptors(route), 0);

    // This thread's connection is untouched by theirs.
    QVector<QVariant> values;
    ZKDeviceDB::selectTraceLogById(1357000001, 0, {QStringLiteral("Title")}, values);
    EXPECT_EQ(values.size(), 1);
    EXPECT_EQ(openDescriptors(route), 1);
    closeDeviceDatabases();
    EXPECT_EQ(openDescriptors(route), 0);
}

TEST_F(ZKDeviceDBTest, SecondDeviceReadsItsOwnWorkouts)
{
    OrvoTest::OutputDir otherDir;
    DeviceDbTree other(otherDir.path());
    ASSERT_TRUE(m_tree.writeWorkoutDatabase(QStringLiteral("/data/route/route.dat"), QStringLiteral("First")));
    ASSERT_TRUE(other.writeWorkoutDatabase(QStringLiteral("/data/route/route.dat"), QStringLiteral("Second")));
    const QStringList name = {QStringLiteral("name")};
    ZKTraceLog::setDeviceVersion(kOlderVersion);
    for (const DeviceDbTree *tree : {&m_tree, &other}) {
        ZKDeviceDB::openDeviceDatabases(tree->root(), QString(), QString());
        ZKWorkoutModel model;
        model.setColumns(&name);
        {
            QSqlQuery query = zkSelect(model);
            ASSERT_TRUE(query.next());
            EXPECT_EQ(query.value(0).toString(), tree == &m_tree ? QStringLiteral("First") : QStringLiteral("Second"));
        }
        closeDeviceDatabases();
    }
}

} // namespace
