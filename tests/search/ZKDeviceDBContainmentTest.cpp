#include "DeviceDbTree.h"
#include "OrvoDecoyRoot.h"
#include "OrvoTestSupport.h"

#include "search/ZKDeviceDB.h"
#include "sql/ZKModel.h"
#include "training/ZKWorkout.h"
#include "util/ZKTraceLog.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A row of the decoy's route.dat that an operation on the empty second root would reach.
constexpr qint64 kDecoyRoute = 77;

// Every operation of the service that takes a root index or falls back to another root, run
// with the given roots. True when none of them answered with something of the decoy.
bool touchEveryOperation(const QString &deviceRoot, const QString &exportDir, const QString &version)
{
    ZKTraceLog::setDeviceVersion(version);
    ZKDeviceDB::openDeviceDatabases(deviceRoot, QString(), exportDir);
    QMap<qint64, QString> routes;
    ZKDeviceDB::listRoutes(5, routes, QString());
    ZKDeviceDB::listRoutesOfType(5, routes, ZKDeviceDB::secondRoot(), 1, QString());
    QVector<QVariant> values;
    ZKDeviceDB::selectRouteById(kDecoyRoute, 1, {QStringLiteral("Title")}, values);
    ZKDeviceDB::updateRoute(kDecoyRoute, 1, {QStringLiteral("Title")}, {QStringLiteral("changed")});
    bool uploaded = false;
    const QString exported = ZKDeviceDB::exportRoute(kDecoyRoute, 1, uploaded);
    const bool deleted = ZKDeviceDB::deleteRoute(kDecoyRoute, 1);
    ZKDeviceDB::setTrackUploaded(1, 1, true);
    QMap<qint64, QString> favorites;
    ZKDeviceDB::listFavorites(favorites);
    ZKFavoriteRecord record;
    ZKDeviceDB::readFavorite(5, record);
    ZKDeviceDB::deleteFavorite(5);
    QVector<ZKTrackEntry> tracks;
    ZKDeviceDB::listTracks(5, tracks, false);
    std::vector<std::unique_ptr<ZKWorkout>> workouts;
    ZKDeviceDB::listWorkouts(workouts, false);
    ZKDeviceDB::deleteWorkout(1);
    closeDeviceDatabases();
    return !routes.contains(ZKDeviceDB::itemId(kDecoyRoute, 1)) && values.isEmpty() && exported.isEmpty() && !deleted &&
           !favorites.values().contains(QStringLiteral("Cafe")) && record.name != QStringLiteral("Cafe") &&
           workouts.empty();
}

struct ContainmentCase
{
    const char *name;
    const char *version;
    // The device tree: none, a newer device's, or an older device's without favorite.dat.
    enum { NoDevice, Newer, OlderWithoutFavorites } device;
};

class ZKDeviceDBContainmentTest : public ::testing::TestWithParam<ContainmentCase>
{
protected:
    void SetUp() override
    {
        DeviceDbTree decoy(m_root.folder());
        ASSERT_TRUE(decoy.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")));
        ASSERT_TRUE(decoy.writeDatabase(QStringLiteral("/data/route/route.dat"),
                                        {QStringLiteral("INSERT INTO Route (idRoute, Title) VALUES (77, 'Decoy')"),
                                         QStringLiteral("INSERT INTO Workout (id, wid, name) VALUES (1, 0, 'D')")}));
        ASSERT_TRUE(decoy.writeFavoriteDatabase(QStringLiteral("/data/poi/favorite.dat")));
        ASSERT_TRUE(decoy.writePoiDatabase(QStringLiteral("/data/poi/poi.dat")));
        ASSERT_TRUE(OrvoTest::writeFile(m_root.hostPath(QStringLiteral("/data/route/route-77.gpx")), "<gpx/>"));
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("export"))));
    }

    void TearDown() override
    {
        closeDeviceDatabases();
        ZKTraceLog::setDeviceVersion(QString());
    }

    QString deviceRoot() const
    {
        const DeviceDbTree tree(m_dir.filePath(QStringLiteral("device")));
        switch (GetParam().device) {
        case ContainmentCase::Newer:
            return tree.writeRouteScript() ? tree.root() : QString();
        case ContainmentCase::OlderWithoutFavorites:
            return tree.writeOlderRouteDatabase(QStringLiteral("/data/route/route.dat")) ? tree.root() : QString();
        case ContainmentCase::NoDevice:
            break;
        }
        return QString();
    }

    OrvoTest::OutputDir m_dir;
    OrvoDecoyRoot m_root{m_dir.filePath(QStringLiteral("root"))};
};

TEST_P(ZKDeviceDBContainmentTest, EmptyRootsReachNoFileOfTheComputer)
{
    const QMap<QString, QByteArray> before = m_root.ownFiles();
    const QString device = deviceRoot();
    const QString exportDir = m_dir.filePath(QStringLiteral("export"));
    const QString version = QString::fromLatin1(GetParam().version);
    const int status = m_root.run([&] { return touchEveryOperation(device, exportDir, version); });
    if (status == OrvoDecoyRoot::kUnavailable)
        GTEST_SKIP() << "no mount namespace for the decoy root";
    EXPECT_EQ(status, 0) << "an operation answered with the decoy's data";
    const QMap<QString, QByteArray> after = m_root.ownFiles();
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before) << "a file of the decoy changed";
}

const ContainmentCase kContainmentCases[] = {
    {"NoDevice", "ZK2.0.1", ContainmentCase::NoDevice},
    {"NewerDevice", "ZK2.0.1", ContainmentCase::Newer},
    {"OlderDeviceWithoutFavorites", "ZK1.2.0", ContainmentCase::OlderWithoutFavorites},
};

INSTANTIATE_TEST_SUITE_P(All, ZKDeviceDBContainmentTest, ::testing::ValuesIn(kContainmentCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
