#include "FileSizeLimit.h"
#include "JournalUnplug.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel50Test;

namespace {

// The deletion of every item of one kind that the client lists.
struct DeleteCase
{
    const char *name;
    QVector<OrvoClientData> Lists::*items;
    std::function<bool(OrvoKavel50 &, const QVector<int> &)> remove;
};

const DeleteCase kDeletions[] = {
    {"rides", &Lists::rides, [](OrvoKavel50 &client, const QVector<int> &ids) { return client.deleteTracks(ids); }},
    {"routes", &Lists::routes, [](OrvoKavel50 &client, const QVector<int> &ids) { return client.deleteRoutes(ids); }},
    {"POIs", &Lists::pois, [](OrvoKavel50 &client, const QVector<int> &ids) { return client.deletePOIs(ids); }},
    {"workouts", &Lists::workouts,
     [](OrvoKavel50 &client, const QVector<int> &ids) { return client.deleteWorkouts(ids); }},
};

enum class Fault { FullDisk, PulledWhileWriting, GoneBefore };

struct FaultCase
{
    const char *name;
    Fault fault;
};

const FaultCase kFaults[] = {
    {"full disk", Fault::FullDisk},
    {"drive pulled at the first write", Fault::PulledWhileWriting},
    {"drive gone before the deletion", Fault::GoneBefore},
};

QVector<int> idsOf(const QVector<OrvoClientData> &items)
{
    QVector<int> ids;
    for (const OrvoClientData &item : items)
        ids.append(item.id);
    return ids;
}

class OrvoKavel50DeleteFaultTest : public ::testing::TestWithParam<std::tuple<DeleteCase, FaultCase>>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(m_drive.writeRideFollowing(40));
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        m_platform->plugDrive(m_root, QStringLiteral("Tarvex  Kavel50"));
        m_client = makeClient(m_root);
        ASSERT_TRUE(m_client->initial());
    }

    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    // The platform sees the drive go, and its folder is no longer where it was.
    bool unplug() { return m_platform->unplugDrive(m_root) && QDir().rename(m_root, m_away); }

    void plugBack()
    {
        ASSERT_TRUE(QDir().rename(m_away, m_root));
        m_platform->plugDrive(m_root, QStringLiteral("Tarvex  Kavel50"));
    }

    // The deletion under the fault; the drive is back in its place afterwards.
    bool deleteUnder(Fault fault, const DeleteCase &deletion, const QVector<int> &ids)
    {
        bool answered = true;
        switch (fault) {
        case Fault::FullDisk: {
            const FileSizeLimit limit(64);
            EXPECT_TRUE(limit.ok());
            answered = deletion.remove(*m_client, ids);
            break;
        }
        case Fault::PulledWhileWriting: {
            bool pulled = false;
            {
                const JournalUnplug journal(m_root, [&] { pulled = unplug(); });
                EXPECT_TRUE(journal.ok());
                answered = deletion.remove(*m_client, ids);
            }
            EXPECT_TRUE(pulled) << "the deletion wrote nothing onto the drive";
            if (pulled)
                plugBack();
            break;
        }
        case Fault::GoneBefore:
            EXPECT_TRUE(unplug());
            answered = deletion.remove(*m_client, ids);
            plugBack();
            break;
        }
        return answered;
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    const QString m_root = m_dir.filePath(QStringLiteral("drive"));
    const QString m_away = m_dir.filePath(QStringLiteral("drive.unplugged"));
    Kavel50Drive m_drive{m_root};
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

TEST_P(OrvoKavel50DeleteFaultTest, FailedDeletionAnswersFalseAndKeepsEveryItem)
{
    const DeleteCase &deletion = std::get<0>(GetParam());
    const FaultCase &fault = std::get<1>(GetParam());
    const Lists before = listAll(*m_client);
    const QVector<int> ids = idsOf(before.*deletion.items);
    ASSERT_FALSE(ids.isEmpty());
    const QMap<QString, QByteArray> files = OrvoTest::filesUnder(m_root);

    EXPECT_FALSE(deleteUnder(fault.fault, deletion, ids));
    EXPECT_TRUE(sameLists(listAll(*m_client), before)) << "an item of the drive changed or went";
    EXPECT_EQ(OrvoTest::filesUnder(m_root).keys(), files.keys());
    EXPECT_TRUE(OrvoTest::filesUnder(m_root) == files) << "a file of the drive changed";

    // Without the fault the same items go, and only they.
    EXPECT_TRUE(deletion.remove(*m_client, ids));
    Lists after = listAll(*m_client);
    EXPECT_TRUE((after.*deletion.items).isEmpty());
    after.*deletion.items = before.*deletion.items;
    EXPECT_TRUE(sameLists(after, before)) << "an item of another kind went";
}

INSTANTIATE_TEST_SUITE_P(All, OrvoKavel50DeleteFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kDeletions), ::testing::ValuesIn(kFaults)),
                         [](const auto &i) {
                             std::string name =
                                 std::string(std::get<0>(i.param).name) + "_" + std::get<1>(i.param).name;
                             for (char &c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

namespace {

// What the sqlite3 program answers, read apart from the code under test.
QString sqliteAnswer(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(30000))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

int indexOfNamed(const QVector<OrvoClientData> &items, const QString &name)
{
    for (const OrvoClientData &item : items) {
        if (item.name == name)
            return item.id;
    }
    return -1;
}

} // namespace

// "Recovery" holds the highest row id (5): SQLite gives its id to the next workout stored, so
// intervals it left behind would be taken for that workout's.
TEST(OrvoKavel50WorkoutDeletionTest, WorkoutGoesWithItsIntervalsOrNotAtAll)
{
    const OrvoTest::UserFolderScope userFolder;
    OrvoTest::OutputDir dir;
    const Kavel50Drive drive(dir.filePath(QStringLiteral("drive")));
    ASSERT_TRUE(drive.writeIdentity({}));
    ASSERT_TRUE(drive.writeSampleData());
    const QString share = dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(share, Kavel50Drive::sharePackage()));
    const QString routeDb = drive.database().path(QStringLiteral("/data/route/route.dat"));
    ASSERT_TRUE(
        drive.database().writeDatabase(QStringLiteral("/data/route/route.dat"),
                                       {QStringLiteral("CREATE TRIGGER keep_intervals BEFORE DELETE ON WorkoutInterval "
                                                       "BEGIN SELECT RAISE(ABORT, 'intervals held'); END")}));
    const std::unique_ptr<OrvoKavel50CR> client = makeClient(drive.root());
    ASSERT_TRUE(client->initial());
    const Lists before = listAll(*client);
    const int recovery = indexOfNamed(before.workouts, QStringLiteral("Recovery"));
    ASSERT_GE(recovery, 0);

    EXPECT_FALSE(client->deleteWorkouts({recovery})) << "the intervals stayed";
    EXPECT_TRUE(sameLists(listAll(*client), before));
    EXPECT_EQ(sqliteAnswer(routeDb, QStringLiteral("select name from WorkoutInterval where wid=5")),
              QStringLiteral("Easy"));

    ASSERT_TRUE(drive.database().writeDatabase(QStringLiteral("/data/route/route.dat"),
                                               {QStringLiteral("DROP TRIGGER keep_intervals")}));
    listAll(*client);
    EXPECT_TRUE(client->deleteWorkouts({recovery}));
    EXPECT_TRUE(client->setShareData(share));
    EXPECT_GE(indexOfNamed(listAll(*client).workouts, QStringLiteral("Shared intervals")), 0);
    EXPECT_EQ(sqliteAnswer(routeDb, QStringLiteral("select w.name || '/' || i.name from Workout w "
                                                   "join WorkoutInterval i on i.wid = w.id order by w.id")),
              QStringLiteral("\\ENG Tempo\\FRA Tempo/Warm\nShared intervals/Go"));
}
