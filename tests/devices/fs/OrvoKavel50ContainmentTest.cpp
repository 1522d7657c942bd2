#include "DeviceDbTree.h"
#include "Kavel50TestSupport.h"
#include "OrvoDecoyRoot.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "env/OrvoEnv.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

// Every action of a Kavel50 without a second drive that lists, reads or changes its
// databases and files. True when none of them answered with something of the decoy.
bool runEveryAction(OrvoKavel50 &client, const QString &exportDir)
{
    if (!client.initial())
        return false;
    QVector<OrvoClientData> pois;
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    client.getPOIs(pois);
    client.getRoutes(routes);
    client.getTracks(rides);
    client.getWorkouts(workouts);
    bool decoyListed = false;
    for (const QVector<OrvoClientData> *items : {&pois, &routes, &rides, &workouts}) {
        for (const OrvoClientData &item : *items)
            decoyListed = decoyListed || item.name.startsWith(QStringLiteral("Decoy"));
    }
    QString zip = exportDir + QStringLiteral("/upload.zip");
    client.prepareUploadData(zip, true);
    client._exportTrack(exportDir + QStringLiteral("/rides"));
    client.deleteRoutes({0, 1, 2, 3});
    client.deletePOIs({0, 1, 2, 3});
    client.deleteWorkouts({0, 1, 2});
    client.deleteTracks({0, 1});
    return !decoyListed;
}

class OrvoKavel50ContainmentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeviceDbTree decoy(m_root.folder());
        ASSERT_TRUE(decoy.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
        ASSERT_TRUE(
            decoy.writeDatabase(QStringLiteral("/data/route/route.dat"),
                                {QStringLiteral("UPDATE Route SET Title = 'Decoy ' || idRoute"),
                                 QStringLiteral("INSERT INTO Workout (id, wid, name) VALUES (9, 9, 'Decoy')")}));
        ASSERT_TRUE(decoy.writeFavoriteDatabase(QStringLiteral("/data/poi/favorite.dat")));
        ASSERT_TRUE(decoy.writeDatabase(QStringLiteral("/data/poi/favorite.dat"),
                                        {QStringLiteral("UPDATE MyFavorite SET Name = 'Decoy'")}));
        ASSERT_TRUE(decoy.writePoiDatabase(QStringLiteral("/data/poi/poi.dat")));
        ASSERT_TRUE(OrvoTest::writeFile(m_root.hostPath(QStringLiteral("/data/route/route-1.gpx")), "<gpx/>"));
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("export"))));
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    OrvoDecoyRoot m_root{m_dir.filePath(QStringLiteral("root"))};
    Kavel50Drive m_drive{m_dir.filePath(QStringLiteral("drive"))};
};

} // namespace

TEST_F(OrvoKavel50ContainmentTest, ActionsWithoutASecondDriveReachNoFileOfTheComputer)
{
    const QMap<QString, QByteArray> before = m_root.ownFiles();
    const QString drive = m_dir.filePath(QStringLiteral("drive"));
    const QString exportDir = m_dir.filePath(QStringLiteral("export"));
    const int status = m_root.run([&] {
        const std::unique_ptr<OrvoKavel50CR> client = makeClient(drive);
        return runEveryAction(*client, exportDir);
    });
    if (status == OrvoDecoyRoot::kUnavailable)
        GTEST_SKIP() << "no mount namespace for the decoy root";
    EXPECT_EQ(status, 0) << "an action listed the decoy's data";
    const QMap<QString, QByteArray> after = m_root.ownFiles();
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before) << "a file of the decoy changed";
}
