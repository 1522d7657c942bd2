#include "OrvoTestSupport.h"
#include "ZKLogCapture.h"

#include "sql/FavoriteDbm.h"
#include "sql/TraceLogDbm.h"
#include "sql/ZKDbModel.h"
#include "sql/ZKModel.h"
#include "sql/ZKWorkoutIntervalModel.h"
#include "sql/ZKWorkoutModel.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A model of table T over a file the test names.
class TableModel : public ZKDbModel
{
public:
    explicit TableModel(const QString &file = QString())
        : m_file(file)
    {}
    QString databaseFile() const override { return m_file; }
    QString connectionName() const override { return kZKDeviceConnection; }
    QString tableName() const override { return QStringLiteral("T"); }

private:
    QString m_file;
};

struct StatementCase
{
    const char *name;
    std::function<QString(const ZKDbModel &)> build;
    const char *where;
    const char *order;
    const char *statement;
};

TEST(ZKModelTest, StatementsAreBuiltFromTheModel)
{
    const std::vector<StatementCase> cases = {
        {"select with where and order", zkSelectStatement, "x=?", "order by y",
         "select a,b from T where x=? order by y"},
        {"select without where", zkSelectStatement, "", "order by y", "select a,b from T order by y"},
        {"select of every row", zkSelectStatement, "", "", "select a,b from T"},
        {"delete", zkDeleteStatement, "x=?", "", "delete from T where x=?"},
        {"insert", zkInsertStatement, "", "", "insert into T (a,b) values (?,?)"},
        {"update", zkUpdateStatement, "x=?", "", "update T set a=?,b=? where x=?"},
    };
    const QStringList columns = {QStringLiteral("a"), QStringLiteral("b")};
    for (const StatementCase &c : cases) {
        SCOPED_TRACE(c.name);
        TableModel model;
        model.setColumns(&columns);
        model.setWhere(QLatin1String(c.where));
        model.setOrderBy(QLatin1String(c.order));
        EXPECT_EQ(c.build(model), QLatin1String(c.statement));
    }
}

class ZKModelFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_file = m_dir.filePath(QStringLiteral("t.dat"));
        QSqlQuery(zkOpenDatabase(m_file, kZKDeviceConnection)).exec(QStringLiteral("create table T (a, b, x)"));
    }
    void TearDown() override { closeDeviceDatabases(); }

    OrvoTest::OutputDir m_dir;
    QString m_file;
};

TEST_F(ZKModelFileTest, InsertSelectUpdateAndDeleteBindTheirValuesInOrder)
{
    TableModel model(m_file);
    const QStringList columns = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("x")};
    const QVector<QVariant> row = {QStringLiteral("it's"), 2, 7};
    model.setColumns(&columns);
    model.setValues(&row);
    ASSERT_TRUE(zkInsert(model));
    EXPECT_EQ(model.lastInsertId().toInt(), 1);

    const QStringList changed = {QStringLiteral("b")};
    const QVector<QVariant> update = {5, 7};
    model.setColumns(&changed);
    model.setValues(&update);
    model.setWhere(QStringLiteral("x=?"));
    ASSERT_TRUE(zkUpdate(model));

    const QStringList read = {QStringLiteral("a"), QStringLiteral("b")};
    const QVector<QVariant> key = {7};
    model.setColumns(&read);
    model.setValues(&key);
    {
        QSqlQuery query = zkSelect(model);
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("it's"));
        EXPECT_EQ(query.value(1).toInt(), 5);
    }
    ASSERT_TRUE(zkDelete(model));
    QSqlQuery rest = zkSelect(model);
    EXPECT_FALSE(rest.next());
}

TEST_F(ZKModelFileTest, InsertOfMoreColumnsThanValuesRunsNothing)
{
    ZKLogCapture log;
    TableModel model(m_file);
    const QStringList columns = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("x")};
    const QVector<QVariant> values = {1, 2};
    model.setColumns(&columns);
    model.setValues(&values);
    EXPECT_FALSE(zkInsert(model));
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("miss match column and values for sql cmd: "
                                                         "insert into T (a,b,x) values (?,?,?)")});
    const QStringList all = {QStringLiteral("a")};
    model.setColumns(&all);
    model.setValues(nullptr);
    QSqlQuery query = zkSelect(model);
    EXPECT_FALSE(query.next());
}

TEST_F(ZKModelFileTest, FailedStatementLogsItsTextAndEveryBoundValue)
{
    ZKLogCapture log;
    TableModel model(m_file);
    const QStringList columns = {QStringLiteral("missing")};
    const QVector<QVariant> values = {QStringLiteral("v")};
    model.setColumns(&columns);
    model.setValues(&values);
    EXPECT_FALSE(zkInsert(model));
    ASSERT_EQ(log.messages().size(), 2);
    EXPECT_TRUE(log.messages().at(0).startsWith(QStringLiteral("SQL:insert into T (missing) values (?)\nError:")));
    // The statement's own error, which the connection does not hold.
    EXPECT_FALSE(log.messages().at(0).section(QStringLiteral("Error:"), 1).trimmed().isEmpty());
    EXPECT_EQ(log.messages().at(1), QStringLiteral("bind col=0, val=v"));
}

TEST(ZKModelTest, ModelWithoutFileOpensNothingAndLogsNothing)
{
    ZKLogCapture log;
    TableModel model;
    const QStringList columns = {QStringLiteral("a")};
    const QVector<QVariant> values = {1};
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("a=?"));
    {
        QSqlQuery query = zkSelect(model);
        EXPECT_FALSE(query.isActive());
        EXPECT_FALSE(query.next());
    }
    EXPECT_FALSE(zkInsert(model));
    EXPECT_FALSE(zkUpdate(model));
    EXPECT_FALSE(zkDelete(model));
    EXPECT_FALSE(zkOpenDatabase(QString(), kZKDeviceConnection).isOpen());
    EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
    closeDeviceDatabases();
}

TEST(ZKModelTest, ConnectionFollowsTheFileAndCloseRemovesTheThreadsConnections)
{
    OrvoTest::OutputDir dir;
    const QString a = dir.filePath(QStringLiteral("a.dat"));
    const QString b = dir.filePath(QStringLiteral("b.dat"));
    const QString name = zkThreadConnectionName(kZKDeviceConnection);
    EXPECT_TRUE(zkOpenDatabase(a, kZKDeviceConnection).isOpen());
    EXPECT_EQ(QSqlDatabase::database(name, false).databaseName(), a);
    EXPECT_TRUE(zkOpenDatabase(b, kZKDeviceConnection).isOpen());
    EXPECT_EQ(QSqlDatabase::database(name, false).databaseName(), b);
    EXPECT_TRUE(zkOpenDatabase(a, kZKDeviceConnection).isOpen());
    closeDeviceDatabases();
    for (const QString &connection : {kZKDeviceConnection, kZKPoiConnection, kZKMapTileConnection})
        EXPECT_FALSE(QSqlDatabase::contains(zkThreadConnectionName(connection)));
}

// A finder over one folder standing for a device root, recording what it was asked.
ZKDeviceFileFinder folderFinder(const QString &root, QStringList &asked)
{
    return [root, &asked](const QString &relativePath) {
        asked.append(relativePath);
        const QString path = root + relativePath;
        return QFileInfo::exists(path) ? path : QString();
    };
}

TEST(ZKModelTest, ModelsFindTheirFilesOnlyThroughTheInstalledFinder)
{
    OrvoTest::OutputDir dir;
    const QString root = dir.filePath(QStringLiteral("device"));
    const QString route = root + QStringLiteral("/data/route/route.dat");
    const QString favorite = root + QStringLiteral("/data/poi/favorite.dat");
    ASSERT_TRUE(OrvoTest::writeFile(route, QByteArray()));
    ASSERT_TRUE(OrvoTest::writeFile(favorite, QByteArray()));

    zkSetDeviceFileFinder({});
    EXPECT_TRUE(TraceLogDbm().databaseFile().isEmpty());
    EXPECT_TRUE(FavoriteDbm().databaseFile().isEmpty());
    EXPECT_TRUE(ZKWorkoutModel().databaseFile().isEmpty());

    QStringList asked;
    zkSetDeviceFileFinder(folderFinder(root, asked));
    EXPECT_EQ(TraceLogDbm().databaseFile(), route);
    EXPECT_EQ(FavoriteDbm().databaseFile(), favorite);
    EXPECT_EQ(ZKWorkoutModel().databaseFile(), route);
    EXPECT_EQ(ZKWorkoutIntervalModel().databaseFile(), route);
    EXPECT_EQ(asked, QStringList({QStringLiteral("/data/route/route.dat"), QStringLiteral("/data/poi/favorite.dat"),
                                  QStringLiteral("/data/route/route.dat")}));
    zkSetDeviceFileFinder({});
}

TEST(ZKModelTest, AnotherFinderDropsTheWorkoutFileThePreviousOneFound)
{
    OrvoTest::OutputDir dir;
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("second"));
    for (const QString &root : {first, second})
        ASSERT_TRUE(OrvoTest::writeFile(root + QStringLiteral("/data/route/route.dat"), QByteArray()));
    QStringList asked;
    zkSetDeviceFileFinder(folderFinder(first, asked));
    EXPECT_EQ(ZKWorkoutModel().databaseFile(), first + QStringLiteral("/data/route/route.dat"));
    zkSetDeviceFileFinder(folderFinder(second, asked));
    EXPECT_EQ(ZKWorkoutModel().databaseFile(), second + QStringLiteral("/data/route/route.dat"));
    zkSetDeviceFileFinder({});
    EXPECT_TRUE(ZKWorkoutModel().databaseFile().isEmpty());
}

} // namespace
