#include "Kavel50TestSupport.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel50Test;

namespace {

class OrvoKavel50ListsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        m_client = makeClient(m_dir.path());
        ASSERT_TRUE(m_client->initial());
    }

    void setColumnQueries(bool on)
    {
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel50"), QStringLiteral("newLoaddbapi"),
                                           on ? QStringLiteral("1") : QStringLiteral("0"));
    }

    QString ridePath(const char *suffix) const
    {
        return m_drive.traceLogDir() + QLatin1Char('/') + QString::number(DeviceDbTree::sampleRide().key) +
               QLatin1String(suffix);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    Kavel50Drive m_drive{m_dir.path()};
    std::unique_ptr<OrvoKavel50CR> m_client;
};

void expectSameRecords(const QVector<OrvoClientData> &a, const QVector<OrvoClientData> &b)
{
    const QVector<OrvoClientData> left = sortedById(a);
    const QVector<OrvoClientData> right = sortedById(b);
    ASSERT_EQ(left.size(), right.size());
    for (qsizetype i = 0; i < left.size(); ++i)
        EXPECT_TRUE(fields(left[i]) == fields(right[i])) << "record " << left[i].id;
}

// No file below the folder is open in this process.
bool noFileOpenBelow(const QString &folder)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget().startsWith(folder))
            return false;
    }
    return true;
}

} // namespace

TEST_F(OrvoKavel50ListsTest, BothReadPathsGiveEqualRecords)
{
    setColumnQueries(false);
    const Lists records = listAll(*m_client);
    setColumnQueries(true);
    const Lists columns = listAll(*m_client);
    EXPECT_TRUE(noFileOpenBelow(m_dir.path()));

    ASSERT_EQ(records.pois.size(), Kavel50Drive::kFavorites);
    ASSERT_EQ(records.routes.size(), Kavel50Drive::kRoutes);
    ASSERT_EQ(records.rides.size(), 1);
    expectSameRecords(records.pois, columns.pois);
    expectSameRecords(records.routes, columns.routes);
    expectSameRecords(records.rides, columns.rides);
    expectSameRecords(records.workouts, columns.workouts);

    const OrvoClientData cafe = sortedById(records.pois).first();
    EXPECT_EQ(cafe.id, 3);
    EXPECT_EQ(cafe.name, QStringLiteral("Cafe"));
    EXPECT_EQ(cafe.description, QStringLiteral("Good coffee"));
    EXPECT_EQ(cafe.latitude, 25170000);
    EXPECT_EQ(cafe.place, QStringLiteral("Tamsui"));
    const OrvoClientData river = sortedById(records.routes).first();
    EXPECT_EQ(river.name, QStringLiteral("River loop"));
    EXPECT_EQ(river.totalLength, 24000);
    EXPECT_EQ(river.endPlace, QStringLiteral("Tamsui"));
    EXPECT_TRUE(river.uploaded);
    EXPECT_EQ(river.kind, OrvoClientData::KindRoute);
    const OrvoClientData ride = records.rides.first();
    const DeviceDbTree::Ride sample = DeviceDbTree::sampleRide();
    EXPECT_EQ(ride.id, int(sample.key));
    EXPECT_EQ(ride.startTime.toSecsSinceEpoch(), *sample.startTime);
    EXPECT_EQ(ride.endTime.toSecsSinceEpoch(), *sample.endTime);
    EXPECT_EQ(ride.totalLength, sample.totalLength);
    EXPECT_EQ(ride.kind, OrvoClientData::KindRide);
}

TEST_F(OrvoKavel50ListsTest, WorkoutsAreNumberedFromZeroOnEveryListing)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QVector<OrvoClientData> workouts;
        m_client->getWorkouts(workouts);
        ASSERT_EQ(workouts.size(), Kavel50Drive::kWorkouts);
        for (int i = 0; i < workouts.size(); ++i)
            EXPECT_EQ(workouts[i].id, i);
    }
    QVector<OrvoClientData> workouts;
    m_client->getWorkouts(workouts);
    const auto tempo = std::find_if(workouts.cbegin(), workouts.cend(),
                                    [](const auto &w) { return w.name == QStringLiteral("Tempo"); });
    ASSERT_NE(tempo, workouts.cend());
    EXPECT_EQ(tempo->kind, OrvoClientData::KindWorkout);
    EXPECT_EQ(tempo->startTime, QDateTime(QDate(2013, 1, 1), QTime(0, 26, 40), QTimeZone::utc()));
}

TEST_F(OrvoKavel50ListsTest, DeleteWorkoutsDeletesOnlyListedIndexes)
{
    QVector<OrvoClientData> workouts;
    m_client->getWorkouts(workouts);
    ASSERT_EQ(workouts.size(), 2);
    EXPECT_FALSE(m_client->deleteWorkouts({2, -1}));
    QVector<OrvoClientData> after;
    m_client->getWorkouts(after);
    EXPECT_EQ(after.size(), 2);

    EXPECT_TRUE(m_client->deleteWorkouts({0}));
    // The slot is empty now: a second deletion of it fails.
    EXPECT_FALSE(m_client->deleteWorkouts({0}));
    QVector<OrvoClientData> left;
    m_client->getWorkouts(left);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first().name, after[1].name);

    // A repeated index is one deletion.
    EXPECT_TRUE(m_client->deleteWorkouts({0, 0}));
    QVector<OrvoClientData> none;
    m_client->getWorkouts(none);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_TRUE(noFileOpenBelow(m_dir.path()));
}

TEST_F(OrvoKavel50ListsTest, ListDeletionsAnswerWhetherEveryItemWent)
{
    const qint64 key = DeviceDbTree::sampleRide().key;
    EXPECT_FALSE(m_client->deleteTracks({int(key) + 1, int(key)}));
    EXPECT_FALSE(QFileInfo::exists(ridePath("-GPS.dat")));
    EXPECT_FALSE(QFileInfo::exists(ridePath("-TRN.dat")));
    EXPECT_TRUE(m_client->deleteRoutes({1}));
    EXPECT_TRUE(m_client->deletePOIs({3, 8}));
    const Lists lists = listAll(*m_client);
    EXPECT_TRUE(lists.rides.isEmpty());
    ASSERT_EQ(lists.routes.size(), 1);
    EXPECT_EQ(lists.routes.first().id, 2);
    EXPECT_TRUE(lists.pois.isEmpty());
    EXPECT_TRUE(noFileOpenBelow(m_dir.path()));
}

TEST(OrvoKavel50OlderDeviceTest, FavouritesAreListedWithoutRouteDatabase)
{
    const OrvoTest::UserFolderScope userFolder;
    OrvoTest::OutputDir dir;
    Kavel50Drive drive(dir.path());
    Kavel50Drive::Identity older;
    older.ap = QStringLiteral("ZK1.4.0.2");
    ASSERT_TRUE(drive.writeIdentity(older));
    ASSERT_TRUE(drive.writeFavorites());
    auto client = makeClient(dir.path());
    ASSERT_TRUE(client->initial());
    ASSERT_FALSE(client->hasRouteDatabase());
    const Lists lists = listAll(*client);
    EXPECT_EQ(lists.pois.size(), Kavel50Drive::kFavorites);
    EXPECT_TRUE(lists.routes.isEmpty());
    EXPECT_TRUE(lists.workouts.isEmpty());
    EXPECT_FALSE(client->deleteRoutes({}));
    EXPECT_FALSE(client->deleteTracks({}));
    EXPECT_FALSE(client->deleteWorkouts({}));
}

TEST(OrvoKavel50EjectTest, EjectAnswersForTheMainDriveAndEjectsTheSecond)
{
    const OrvoTest::UserFolderScope userFolder;
    OrvoTest::OutputDir dir;
    auto platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoPlatform::setImplementationFactory([platform] { return platform; });
    const QString main = dir.filePath(QStringLiteral("main"));
    const QString second = dir.filePath(QStringLiteral("second"));
    ASSERT_TRUE(QDir().mkpath(main) && QDir().mkpath(second));
    platform->plugDrive(second, QStringLiteral("Tarvex"));
    auto client = makeClient(main, second);
    EXPECT_FALSE(client->eject());
    EXPECT_FALSE(platform->getRemovableDrives(QStringLiteral("msdos")).contains(second));

    platform->plugDrive(main, QStringLiteral("Tarvex"));
    EXPECT_TRUE(client->eject());
    EXPECT_TRUE(platform->getRemovableDrives(QStringLiteral("msdos")).isEmpty());
    OrvoPlatform::setImplementationFactory({});
}

// A ride database the device holds but that cannot be read is an error the page shows, never a
// device without rides.
TEST_F(OrvoKavel50ListsTest, DamagedRideDatabaseIsAnErrorNotAnEmptyList)
{
    struct Case
    {
        const char *name;
        std::function<bool(OrvoKavel50CR &, const QString &)> run;
    };
    const auto listRides = [this](bool columns) {
        return [this, columns](OrvoKavel50CR &client, const QString &) {
            setColumnQueries(columns);
            QVector<OrvoClientData> rides;
            client.getTracks(rides);
            return !rides.isEmpty();
        };
    };
    const Case cases[] = {
        {"ride list, one query", listRides(true)},
        {"ride list, record by record", listRides(false)},
        {"ride export",
         [](OrvoKavel50CR &client, const QString &folder) { return !client._exportTrack(folder).isEmpty(); }},
        {"upload package",
         [](OrvoKavel50CR &client, const QString &folder) {
             QString zip = folder + QStringLiteral("/upload.zip");
             return client.prepareUploadData(zip, true);
         }},
    };
    const QString routeDb = m_drive.database().path(QStringLiteral("/data/route/route.dat"));
    ASSERT_TRUE(OrvoTest::writeFile(routeDb, QByteArray(4096, 'x')));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir out;
        m_client->setError(false);
        const OrvoMessageCapture capture;
        EXPECT_FALSE(c.run(*m_client, out.path()));
        EXPECT_TRUE(m_client->error());
        EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("the device's ride database cannot be read")));
    }
}
