#include "DeviceDbTree.h"
#include "OrvoTestSupport.h"

#include "search/ZKDeviceDB.h"
#include "sql/ZKModel.h"
#include "training/ZKWorkout.h"
#include "util/ZKTraceLog.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// What the sqlite3 program answers, read apart from the code under test.
QString sqlite(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(30000))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A training-course file of the given "wrk" elements.
QByteArray workoutFile(const QByteArray &workouts)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<trncrs xmlns=\"urn:wrk\" creator=\"tarvex\" version=\"1.3.0.9\">\n"
           "<metadata><time>2013-02-03T04:05:06Z</time></metadata>\n" +
           workouts + "</trncrs>\n";
}

QByteArray workoutElement(int wid, int orgid, const QByteArray &intervals)
{
    return QStringLiteral("<wrk id=\"%1\" orgid=\"%2\" daily=\"TRUE\" repeat=\"2\" type=\"1\" subtype=\"3\" "
                          "listOrder=\"4\"><acttype>6</acttype><name>Imported %1</name><desc>New</desc>"
                          "<time>2013-01-01T00:01:40Z</time>")
               .arg(wid)
               .arg(orgid)
               .toUtf8() +
           intervals + "</wrk>\n";
}

const QByteArray kInterval =
    "<itv id=\"1\" needLap=\"true\"><name>Climb</name><target type=\"2\" low=\"150\" high=\"170\" "
    "ishardcon=\"true\"/><duration type=\"3\" value=\"600\" ismanual=\"true\"><segidx start=\"4\" end=\"6\"/>"
    "<location lat=\"25.080079\" lon=\"-121.565432\"/></duration><goto repeat=\"3\">0</goto>"
    "<logreso>2</logreso></itv>";
const QByteArray kSecondInterval = "<itv id=\"2\" needLap=\"false\"><name>Rest</name></itv>";

// A stored workout with wid 7 (row 1) and one interval.
DeviceDbTree::WorkoutRow storedWorkout()
{
    DeviceDbTree::WorkoutRow row;
    row.id = 1;
    row.wid = 7;
    row.name = QStringLiteral("Stored 7");
    row.intervals = {QStringLiteral("1, 0, 'Old', NULL, NULL, NULL, NULL, 1, 60, NULL, NULL, NULL, NULL, NULL, NULL")};
    return row;
}

class ZKDeviceDBWorkoutTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        closeDeviceDatabases();
        ZKTraceLog::setDeviceVersion(QString());
    }

    void open(const QList<DeviceDbTree::WorkoutRow> &rows)
    {
        ASSERT_TRUE(m_tree.writeWorkouts(rows));
        ZKTraceLog::setDeviceVersion(QStringLiteral("ZK2.0.1"));
        ZKDeviceDB::openDeviceDatabases(m_tree.root(), QString(), QString());
    }

    bool import(const QByteArray &workouts)
    {
        const QString path = m_dir.filePath(QStringLiteral("in.wrk"));
        return OrvoTest::writeFile(path, workoutFile(workouts)) && ZKDeviceDB::importWorkout(path);
    }

    QString query(const QString &statement) const
    {
        return sqlite(m_tree.path(QStringLiteral("/data/route/route.dat")), statement);
    }

    OrvoTest::OutputDir m_dir;
    DeviceDbTree m_tree{m_dir.path() + QStringLiteral("/device")};
};

TEST_F(ZKDeviceDBWorkoutTest, ImportStoresEveryColumnAndReadsBack)
{
    open({});
    ASSERT_TRUE(import(workoutElement(9, 9, kInterval + kSecondInterval)));
    closeDeviceDatabases();

    EXPECT_EQ(query(QStringLiteral("select wid, orgid, daily, repeatcnt, wtype, subtype, name, desc, acttype, "
                                   "datetime, createtime, listOrder, oneshot is null from Workout")),
              QStringLiteral("9|9|1|2|1|3|Imported 9|New|6|1356998500|2013-02-03T04:05:06Z|4|1"));
    // Exact micro-degrees: single precision would have made the latitude 25080078.
    EXPECT_EQ(query(QStringLiteral("select iid, needlap, name, targettype, targetlow, targethigh, targetishard, "
                                   "durtype, durvalue, durismanual, dursegstart, dursegend, durlat, durlon, "
                                   "nextiid, repeatcnt, logreso from WorkoutInterval where iid=1")),
              QStringLiteral("1|1|Climb|2|150|170|1|3|600|1|4|6|25080079|-121565432|0|3|2"));
    EXPECT_EQ(query(QStringLiteral("select needlap, targettype is null, durtype is null, nextiid is null, "
                                   "logreso is null from WorkoutInterval where iid=2")),
              QStringLiteral("0|1|1|1|1"));

    const std::unique_ptr<ZKWorkout> read = ZKDeviceDB::readWorkoutByWid(9);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->name(), QStringLiteral("Imported 9"));
    EXPECT_TRUE(read->daily());
    EXPECT_EQ(read->type(), 1);
    EXPECT_EQ(read->listOrder(), 4);
    EXPECT_EQ(read->createTime(), QStringLiteral("2013-02-03T04:05:06Z"));
    EXPECT_EQ(read->dateTime(), QDateTime::fromSecsSinceEpoch(1356998500, Qt::UTC));
    EXPECT_FALSE(read->isOneShot());
    ASSERT_EQ(read->intervals().size(), 2);
    const ZKWorkoutInterval &climb = read->intervals().first();
    EXPECT_TRUE(climb.needLap());
    EXPECT_EQ(climb.target(), (ZKWorkoutTarget{2, 150, 170, 1}));
    EXPECT_EQ(climb.duration().type(), 3);
    EXPECT_EQ(climb.duration().value(), 600);
    EXPECT_TRUE(climb.duration().hasSegmentIndex());
    EXPECT_EQ(climb.duration().segmentEnd(), 6);
    // Stored as 1 by the import, read back as set.
    EXPECT_TRUE(climb.durationIsManual());
    EXPECT_EQ(climb.gotoId(), 0);
    EXPECT_EQ(climb.gotoRepeat(), 3);
    EXPECT_EQ(climb.logResolution(), 2);
    const ZKWorkoutInterval &rest = read->intervals().last();
    EXPECT_EQ(rest.gotoId(), ZKWorkoutInterval::kNoGoto);
    EXPECT_EQ(rest.logResolution(), 0);
    EXPECT_FALSE(rest.duration().hasSegmentIndex());
}

struct ImportCase
{
    const char *name;
    QByteArray workouts;
    bool result;
    // "wid:name" of every stored workout, and the interval count, after the import.
    QString stored;
    QString intervals;
};

TEST_F(ZKDeviceDBWorkoutTest, ImportReplacesSkipsAndFailsWholeWorkouts)
{
    const std::vector<ImportCase> cases = {
        {"orgid replaces the stored workout", workoutElement(9, 7, kInterval), true, "9:Imported 9", "1"},
        {"stored wid is skipped and the next one imported",
         workoutElement(7, 7, kInterval) + workoutElement(11, 11, kInterval), true, "7:Stored 7\n11:Imported 11", "2"},
        {"no interval keeps nothing", workoutElement(9, 7, QByteArray()), false, "7:Stored 7", "1"},
        {"failed interval insert leaves the old workout", workoutElement(9, 7, kInterval + kInterval), false,
         "7:Stored 7", "1"},
        {"workouts before a failure stay",
         workoutElement(11, 11, kInterval) + workoutElement(9, 7, kInterval + kInterval), false,
         "7:Stored 7\n11:Imported 11", "2"},
    };
    for (const ImportCase &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        DeviceDbTree tree(dir.path());
        ASSERT_TRUE(tree.writeWorkouts({storedWorkout()}));
        ZKTraceLog::setDeviceVersion(QStringLiteral("ZK2.0.1"));
        ZKDeviceDB::openDeviceDatabases(tree.root(), QString(), QString());
        const QString path = dir.filePath(QStringLiteral("in.wrk"));
        ASSERT_TRUE(OrvoTest::writeFile(path, workoutFile(c.workouts)));

        EXPECT_EQ(ZKDeviceDB::importWorkout(path), c.result);
        closeDeviceDatabases();
        const QString route = tree.path(QStringLiteral("/data/route/route.dat"));
        EXPECT_EQ(sqlite(route, QStringLiteral("select wid || ':' || name from Workout order by wid")), c.stored);
        EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from WorkoutInterval")), c.intervals);
        // No interval is left without its workout.
        EXPECT_EQ(sqlite(route, QStringLiteral("select count(*) from WorkoutInterval where wid not in "
                                               "(select id from Workout)")),
                  QStringLiteral("0"));
    }
}

TEST_F(ZKDeviceDBWorkoutTest, WorkoutWithoutOrgidReplacesNothing)
{
    DeviceDbTree::WorkoutRow widZero = storedWorkout();
    widZero.id = 2;
    widZero.wid = 0;
    widZero.name = QStringLiteral("Stored 0");
    open({storedWorkout(), widZero});
    QByteArray withoutOrgid = workoutElement(9, 0, kInterval);
    withoutOrgid.replace(" orgid=\"0\"", "");
    QByteArray emptyOrgid = workoutElement(10, 0, kInterval);
    emptyOrgid.replace(" orgid=\"0\"", " orgid=\"\"");
    ASSERT_TRUE(import(withoutOrgid + emptyOrgid));
    closeDeviceDatabases();
    EXPECT_EQ(query(QStringLiteral("select wid || ':' || name from Workout order by wid")),
              QStringLiteral("0:Stored 0\n7:Stored 7\n9:Imported 9\n10:Imported 10"));
}

TEST_F(ZKDeviceDBWorkoutTest, UnreadableFileImportsNothing)
{
    open({storedWorkout()});
    const QString path = m_dir.filePath(QStringLiteral("broken.wrk"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "<trncrs creator=\"tarvex\"><wrk id=\"9\">"));
    EXPECT_FALSE(ZKDeviceDB::importWorkout(path));
    EXPECT_FALSE(ZKDeviceDB::importWorkout(m_dir.filePath(QStringLiteral("missing.wrk"))));
    closeDeviceDatabases();
    EXPECT_EQ(query(QStringLiteral("select count(*) from Workout")), QStringLiteral("1"));
}

DeviceDbTree::WorkoutRow listed(int id, const char *name, int wtype, qint64 datetime, const char *oneshot)
{
    DeviceDbTree::WorkoutRow row;
    row.id = id;
    row.wid = 100 + id;
    row.name = QString::fromLatin1(name);
    row.wtype = wtype;
    row.datetime = datetime;
    row.oneshot = QString::fromLatin1(oneshot);
    return row;
}

QStringList names(const std::vector<std::unique_ptr<ZKWorkout>> &workouts)
{
    QStringList out;
    for (const auto &workout : workouts)
        out.append(workout->name());
    return out;
}

TEST_F(ZKDeviceDBWorkoutTest, ListingsSelectPlansAndOthersInTheirOrder)
{
    open({listed(1, "Bravo", 5, 0, "NULL"), listed(2, "Alpha", 5, 3000, "'true'"),
          listed(3, "Charlie", 5, 0, "'false'"), listed(4, "Old", 1, 1000, "'false'"),
          listed(5, "New", 0, 2000, "NULL"), listed(6, "Once", 1, 4000, "'true'")});

    std::vector<std::unique_ptr<ZKWorkout>> plans;
    ZKDeviceDB::listWorkouts(plans, true);
    EXPECT_EQ(names(plans), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo")}));

    std::vector<std::unique_ptr<ZKWorkout>> others;
    ZKDeviceDB::listWorkouts(others, false);
    ASSERT_EQ(names(others), (QStringList{QStringLiteral("New"), QStringLiteral("Old")}));
    EXPECT_EQ(others.front()->id(), 105);
    EXPECT_EQ(others.front()->rowId(), 5);
    EXPECT_EQ(others.front()->dateTime(), QDateTime::fromSecsSinceEpoch(2000, Qt::UTC));
    EXPECT_FALSE(others.front()->isLoaded());
    EXPECT_TRUE(others.front()->intervals().isEmpty());
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_TRUE(plans.front()->isOneShot());
    // A datetime of 0 is no time.
    EXPECT_FALSE(plans.back()->dateTime().isValid());
}

TEST_F(ZKDeviceDBWorkoutTest, ManualFlagIsSetForTrueInAnyCaseAndForOne)
{
    DeviceDbTree::WorkoutRow row = storedWorkout();
    row.intervals = {
        QStringLiteral("1, 0, 'a', NULL, NULL, NULL, NULL, 1, 60, 'TRUE', NULL, NULL, NULL, NULL, NULL"),
        QStringLiteral("2, 0, 'b', NULL, NULL, NULL, NULL, 1, 60, 1, NULL, NULL, NULL, NULL, NULL"),
        QStringLiteral("3, 0, 'c', NULL, NULL, NULL, NULL, 1, 60, 'false', NULL, NULL, NULL, NULL, NULL"),
        QStringLiteral("4, 0, 'd', NULL, NULL, NULL, NULL, 1, 60, 0, NULL, NULL, NULL, NULL, NULL"),
    };
    open({row});
    const std::unique_ptr<ZKWorkout> workout = ZKDeviceDB::readWorkoutByWid(7);
    ASSERT_TRUE(workout);
    ASSERT_EQ(workout->intervals().size(), 4);
    const bool expected[] = {true, true, false, false};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(workout->intervals().at(i).durationIsManual(), expected[i]) << i;
}

TEST_F(ZKDeviceDBWorkoutTest, ExportRemovesAOneShotWorkoutOnlyOnceItsFileIsWritten)
{
    DeviceDbTree::WorkoutRow once = storedWorkout();
    once.oneshot = QStringLiteral("'true'");
    DeviceDbTree::WorkoutRow kept = storedWorkout();
    kept.id = 2;
    kept.wid = 8;
    open({once, kept});

    EXPECT_FALSE(ZKDeviceDB::exportWorkout(7, m_dir.filePath(QStringLiteral("missing/folder/7.wrk"))));
    EXPECT_GE(ZKDeviceDB::findWorkoutId(7), 0);
    EXPECT_FALSE(ZKDeviceDB::exportWorkout(99, m_dir.filePath(QStringLiteral("99.wrk"))));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("99.wrk"))));

    const QString oncePath = m_dir.filePath(QStringLiteral("7.wrk"));
    const QString keptPath = m_dir.filePath(QStringLiteral("8.wrk"));
    EXPECT_TRUE(ZKDeviceDB::exportWorkout(7, oncePath));
    EXPECT_TRUE(ZKDeviceDB::exportWorkout(8, keptPath));
    EXPECT_TRUE(OrvoTest::readFile(oncePath).contains("<wrk id=\"7\""));
    EXPECT_TRUE(OrvoTest::readFile(keptPath).contains("<name>Old</name>"));
    EXPECT_EQ(ZKDeviceDB::findWorkoutId(7), -1);
    EXPECT_EQ(ZKDeviceDB::findWorkoutId(8), 2);
    closeDeviceDatabases();
    EXPECT_EQ(query(QStringLiteral("select wid from WorkoutInterval")), QStringLiteral("2"));
}

} // namespace
