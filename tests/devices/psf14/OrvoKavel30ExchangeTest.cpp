#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoFlashHeaderRecord.h"
#include "env/OrvoEnv.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFWorkoutFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Kavel35;
using PsfImage14Builder::Content;

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
// Where journal step 1 (the current header record) keeps regions 2 to 8.
constexpr qsizetype kCurrentRecord = 256;
constexpr qsizetype kRegionTable = 76;

QByteArray image(const Content &content)
{
    return PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, content, kUser);
}

// The current header record's region r set to values no reset would write, so that a reset shows.
QByteArray withMarkedRegions(QByteArray flash, std::initializer_list<int> regions)
{
    for (int r : regions) {
        const qsizetype at = kCurrentRecord + kRegionTable + (r - 2) * 12;
        FixtureBytes::putU32Le(flash, at, 0x11);
        FixtureBytes::putU32Le(flash, at + 4, 0x22);
        FixtureBytes::putU32Le(flash, at + 8, 0x33);
    }
    return flash;
}

OrvoFlashHeaderRecord::Region regionOf(const OrvoKavel30 &client, int r)
{
    OrvoFlashHeaderRecord::Region region;
    EXPECT_TRUE(OrvoFlashHeaderRecord::region(client.headerRecord(), r, region));
    return region;
}

// The region as the device's layout leaves it empty: its size free, its end at its start.
bool isEmptied(const OrvoFlashHeaderRecord::Region &region, int startWord, int sizeWord)
{
    const auto layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    const auto start = quint32(layout[size_t(startWord)]);
    return region.free == quint32(layout[size_t(sizeWord)]) && region.start == start && region.end == start;
}

bool isMarked(const OrvoFlashHeaderRecord::Region &region)
{
    return region.free == 0x11 && region.start == 0x22 && region.end == 0x33;
}

Content plannedOnly()
{
    Content content = PsfImage14Builder::sampleContent();
    content.routes.remove(0, 2);
    content.laps.clear();
    content.workouts[0].logs.clear();
    return content;
}

Content threeRides()
{
    Content content = PsfImage14Builder::sampleContent();
    content.routes.insert(2, content.routes.at(1));
    return content;
}

QByteArray routeGpx(const QByteArray &name)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
           "<metadata><name>" +
           name +
           "</name><extensions><sharetype>1</sharetype></extensions></metadata>\n"
           "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
           "<trk><trkseg><trkpt lat=\"35.000000\" lon=\"139.000000\"/>"
           "<trkpt lat=\"35.010000\" lon=\"139.000000\"/></trkseg></trk>\n</gpx>\n";
}

// A workout file as a Kavel35 exports it.
QByteArray workoutFile(const OrvoTest::OutputDir &dir)
{
    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);
    EXPECT_TRUE(client->_readData());
    client->container()->setFlag2(1);
    const QStringList names = client->container()->workoutsToFile(dir.path(), client->exportDevice());
    EXPECT_FALSE(names.isEmpty());
    return names.isEmpty() ? QByteArray() : OrvoTest::readFile(dir.filePath(names.first()));
}

QStringList zipNames(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    EXPECT_TRUE(unzip.waitForFinished());
    EXPECT_EQ(unzip.exitCode(), 0);
    QStringList names = QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.sort();
    return names;
}

class OrvoKavel30ExchangeTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

TEST_F(OrvoKavel30ExchangeTest, ListsRoutesRidesAndWorkoutsByTheirIndexInTheSharedList)
{
    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);
    const OrvoClientData earlier{};
    QVector<OrvoClientData> routes{earlier};
    client->getRoutes(routes);
    ASSERT_EQ(routes.size(), 3) << "appended after what the list held";
    EXPECT_EQ(routes[1].id, 2);
    EXPECT_EQ(routes[1].name, QStringLiteral("Lake loop"));
    EXPECT_EQ(routes[1].kind, 1);
    EXPECT_TRUE(routes[1].uploaded);
    EXPECT_EQ(routes[1].startPlace, QStringLiteral("47.370000,8.540000"));
    EXPECT_GT(routes[1].totalLength, 0);
    EXPECT_EQ(routes[2].id, 3);
    EXPECT_TRUE(routes[2].name.isEmpty());
    EXPECT_FALSE(routes[2].nameImage.isNull()) << "a bit-font name is shown as its image";

    QVector<OrvoClientData> rides;
    client->getTracks(rides);
    ASSERT_EQ(rides.size(), 2);
    EXPECT_EQ(rides[0].id, 0);
    EXPECT_EQ(rides[0].kind, 2);
    EXPECT_EQ(rides[0].name, QStringLiteral("Morning ride"));
    EXPECT_EQ(rides[0].startTime, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    // The second track starts at 1700000600 and steps 4 + 4 ticks of one second.
    EXPECT_EQ(rides[0].endTime, QDateTime::fromSecsSinceEpoch(1700000608, Qt::UTC));
    EXPECT_EQ(rides[0].startPlace, QStringLiteral("35.681236,139.767125"));
    EXPECT_FALSE(rides[0].uploaded);
    EXPECT_EQ(rides[1].id, 1);
    EXPECT_TRUE(rides[1].uploaded);

    QVector<OrvoClientData> workouts;
    client->getWorkouts(workouts);
    ASSERT_EQ(workouts.size(), 2);
    EXPECT_EQ(workouts[0].name, QStringLiteral("Intervals"));
    EXPECT_EQ(workouts[0].kind, 3);
    EXPECT_EQ(workouts[0].startTime, QDateTime::fromSecsSinceEpoch(1700100000, Qt::UTC));
    EXPECT_TRUE(workouts[0].uploaded);
    EXPECT_EQ(workouts[1].id, 1);
    EXPECT_TRUE(workouts[1].startTime.isNull()) << "an erased time stamp is no time";
    EXPECT_FALSE(workouts[1].uploaded);
}

TEST_F(OrvoKavel30ExchangeTest, WithoutAContainerNothingIsListedOrDeleted)
{
    auto device = makeDevice(QByteArray(PsfImage14Builder::kFlashSize, '\xFF'));
    auto client = makeClient(device);
    QVector<OrvoClientData> items;
    client->getRoutes(items);
    client->getTracks(items);
    client->getWorkouts(items);
    EXPECT_TRUE(items.isEmpty());
    EXPECT_FALSE(client->deleteRoutes({0}));
    EXPECT_FALSE(client->deletePOIs({0}));
    EXPECT_FALSE(client->deleteWorkouts({0}));
    EXPECT_FALSE(client->deleteAll());
    EXPECT_FALSE(client->setShareData(QStringLiteral("/nonexistent.zip")));
    EXPECT_FALSE(client->isContentChanged());
    EXPECT_TRUE(client->_exportTrack(OrvoTest::OutputDir().path()).isEmpty());
}

TEST_F(OrvoKavel30ExchangeTest, TheRideRegionsAreEmptiedOnlyWhenNoRideStays)
{
    struct Case
    {
        const char *name;
        Content content;
        QVector<int> ids;
        bool emptied;
        qsizetype routesLeft;
    };
    const std::vector<Case> cases = {
        {"planned routes on a device without rides", plannedOnly(), {0}, true, 1},
        {"both rides, in any order", PsfImage14Builder::sampleContent(), {1, 0}, true, 2},
        {"two of three rides", threeRides(), {0, 1}, false, 3},
        {"one ride named twice of two", PsfImage14Builder::sampleContent(), {0, 0}, false, 3},
        {"one ride and an index past the list", PsfImage14Builder::sampleContent(), {0, 9, -1}, false, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(withMarkedRegions(image(c.content), {4, 8}));
        auto client = makeClient(device);
        EXPECT_TRUE(client->deleteRoutes(c.ids));
        EXPECT_TRUE(client->isContentChanged());
        EXPECT_EQ(client->container()->routeFrame()->routes().size(), c.routesLeft);
        if (c.emptied) {
            EXPECT_TRUE(isEmptied(regionOf(*client, 8), 31, 33));
            EXPECT_TRUE(isEmptied(regionOf(*client, 4), 14, 16));
        } else {
            EXPECT_TRUE(isMarked(regionOf(*client, 8)));
            EXPECT_TRUE(isMarked(regionOf(*client, 4)));
        }
        EXPECT_TRUE(device->commandLog().size() > 0 && commands(*device, kWrite, 15).isEmpty())
            << "nothing reaches the device before the write-back";
    }

    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);
    EXPECT_FALSE(client->deleteTracks({}));
    EXPECT_FALSE(client->isContentChanged());
    EXPECT_TRUE(client->deleteTracks({1}));
    EXPECT_FALSE(client->isContentChanged()) << "the deletion of rides is written at once";
    EXPECT_FALSE(commands(*device, kWrite, 15).isEmpty());
}

TEST_F(OrvoKavel30ExchangeTest, TheWorkoutRegionsAreEmptiedWithTheLastWorkout)
{
    auto device = makeDevice(withMarkedRegions(image(PsfImage14Builder::sampleContent()), {2, 6}));
    auto client = makeClient(device);
    EXPECT_TRUE(client->deleteWorkouts({1, 1}));
    EXPECT_TRUE(isMarked(regionOf(*client, 2)));
    EXPECT_TRUE(isMarked(regionOf(*client, 6)));
    EXPECT_TRUE(client->deleteWorkouts({0}));
    EXPECT_TRUE(client->container()->workoutFrame()->workouts().isEmpty());
    EXPECT_TRUE(isEmptied(regionOf(*client, 2), 7, 9));
    EXPECT_TRUE(isEmptied(regionOf(*client, 6), 21, 23));
}

TEST_F(OrvoKavel30ExchangeTest, DeleteAllWritesAnEmptyDeviceAndAnswersTheWriteBack)
{
    Content content = PsfImage14Builder::sampleContent();
    // A planned route first: deleting "the first n" entries for n rides would leave a ride.
    std::swap(content.routes[0], content.routes[3]);
    auto device = makeDevice(image(content));
    auto client = makeClient(device);
    ASSERT_TRUE(client->deleteAll());
    EXPECT_FALSE(client->isContentChanged());
    auto reread = makeClient(device);
    QVector<OrvoClientData> items;
    reread->getRoutes(items);
    reread->getTracks(items);
    reread->getWorkouts(items);
    EXPECT_TRUE(items.isEmpty());

    auto unplugged = makeDevice(image(content));
    auto failing = makeClient(unplugged);
    ASSERT_TRUE(failing->_readData());
    unplugged->unplug();
    EXPECT_FALSE(failing->deleteAll());
}

TEST_F(OrvoKavel30ExchangeTest, ASharePackageImportsItsRoutesAndWorkoutsOnly)
{
    OrvoTest::OutputDir dir;
    const QString zip = dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(
        zip, FixtureZip::storedArchive(
                 {{"a.KRM", routeGpx("Shared climb")}, {"b.Wrk", workoutFile(dir)}, {"c.txt", "not a route"}})));
    auto device = makeDevice(image(plannedOnly()));
    auto client = makeClient(device);
    ASSERT_TRUE(client->setShareData(zip));
    EXPECT_FALSE(client->error());
    EXPECT_TRUE(client->isContentChanged());
    ASSERT_TRUE(client->_finalize());

    auto reread = makeClient(device);
    QVector<OrvoClientData> routes;
    reread->getRoutes(routes);
    ASSERT_EQ(routes.size(), 3);
    EXPECT_EQ(routes.last().name, QStringLiteral("Shared climb"));
    QVector<OrvoClientData> workouts;
    reread->getWorkouts(workouts);
    EXPECT_EQ(workouts.size(), 3);
    EXPECT_EQ(workouts.last().name, QStringLiteral("Intervals"));

    const QString broken = dir.filePath(QStringLiteral("broken.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(broken, "PK not a zip"));
    EXPECT_FALSE(reread->setShareData(broken));
    EXPECT_TRUE(reread->error());
    EXPECT_FALSE(reread->isContentChanged());
    EXPECT_EQ(reread->container()->routeFrame()->routes().size(), 3);
}

TEST_F(OrvoKavel30ExchangeTest, ImportedFilesReachOnlyAContainerThatTakesThem)
{
    OrvoTest::OutputDir dir;
    const QString route = dir.filePath(QStringLiteral("route.gpx"));
    const QString workout = dir.filePath(QStringLiteral("workout.wrk"));
    const QString text = dir.filePath(QStringLiteral("note.gpx"));
    ASSERT_TRUE(OrvoTest::writeFile(route, routeGpx("Shared climb")));
    ASSERT_TRUE(OrvoTest::writeFile(workout, workoutFile(dir)));
    ASSERT_TRUE(OrvoTest::writeFile(text, "not a route"));

    auto device = makeDevice(image(plannedOnly()));
    auto unread = makeClient(device);
    EXPECT_FALSE(unread->importGpxFile(route));
    EXPECT_FALSE(unread->importWorkoutFile(workout));
    EXPECT_EQ(unread->container(), nullptr);

    auto client = makeClient(device);
    ASSERT_TRUE(client->_readData());
    struct Case
    {
        const char *name;
        bool gpx;
        QString path;
        bool imported;
        qsizetype routes;
        qsizetype workouts;
    };
    const std::vector<Case> cases = {
        {"no GPX file", true, text, false, 2, 2},  {"a workout file is no GPX file", true, workout, false, 2, 2},
        {"a route", true, route, true, 3, 2},      {"a GPX file is no workout file", false, route, false, 3, 2},
        {"a workout", false, workout, true, 3, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.gpx ? client->importGpxFile(c.path) : client->importWorkoutFile(c.path), c.imported);
        EXPECT_EQ(client->container()->routeFrame()->routes().size(), c.routes);
        EXPECT_EQ(client->container()->workoutFrame()->workouts().size(), c.workouts);
    }
}

// A listing here builds the container on this thread; the import then runs as an action on the
// worker, which must own the container to give the new records their parents there.
TEST_F(OrvoKavel30ExchangeTest, AShareImportOnTheWorkerAfterAListingHereParentsItsRecords)
{
    OrvoTest::OutputDir dir;
    auto device = makeDevice(image(plannedOnly()));
    auto client = makeClient(device);
    for (const QByteArray name : {"First climb", "Second climb"}) {
        SCOPED_TRACE(name.constData());
        const QString zip = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".zip"));
        ASSERT_TRUE(OrvoTest::writeFile(zip, FixtureZip::storedArchive({{"a.KRM", routeGpx(name)}})));
        QVector<OrvoClientData> routes;
        client->getRoutes(routes);
        ASSERT_FALSE(routes.isEmpty());

        ASSERT_TRUE(client->importDownloadZip(zip));
        ASSERT_TRUE(client->wait());
        QCoreApplication::processEvents();

        const OrvoPSF *container = client->container();
        ASSERT_NE(container, nullptr);
        EXPECT_EQ(container->thread(), client->thread()) << "the container comes back when the action ends";
        const OrvoPSFRouteFrame *frame = container->routeFrame();
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(frame->routes().size(), routes.size() + 1);
        const OrvoPSFRoute *added = frame->routes().last();
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->parent(), frame);
        ASSERT_FALSE(added->tracks().isEmpty());
        EXPECT_EQ(added->tracks().first()->parent(), added);
    }
    ASSERT_TRUE(client->_finalize());
    QVector<OrvoClientData> stored;
    makeClient(device)->getRoutes(stored);
    ASSERT_EQ(stored.size(), 4);
    EXPECT_EQ(stored.last().name, QStringLiteral("Second climb"));
}

TEST_F(OrvoKavel30ExchangeTest, TheUploadPackageHoldsTheExportsTheDumpAndTheLog)
{
    OrvoEnv *env = OrvoEnv::instance();
    QDir().mkpath(QFileInfo(env->logFilePath()).path());
    if (!QFileInfo::exists(env->logFilePath())) {
        ASSERT_TRUE(OrvoTest::writeFile(env->logFilePath(), "log line\n"));
    }
    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);

    QString path;
    ASSERT_TRUE(client->prepareUploadData(path, true));
    EXPECT_FALSE(client->error());
    EXPECT_EQ(path, QDir(env->tmpDir()).filePath(QStringLiteral("up.zip")));
    const QStringList names = zipNames(path);
    EXPECT_TRUE(names.contains(QStringLiteral("flash.dat")));
    EXPECT_TRUE(names.contains(env->logFileName()));
    EXPECT_EQ(names.filter(QStringLiteral(".gpx")).size(), 2 + 3) << "two rides and three POIs";
    EXPECT_EQ(names.filter(QStringLiteral(".wrk")).size(), 2);
    EXPECT_TRUE(names.filter(QStringLiteral(".krm")).isEmpty());

    OrvoTest::OutputDir dir;
    QString target = dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(client->prepareUploadData(target, true));
    EXPECT_EQ(target, dir.filePath(QStringLiteral("share.zip")));
    const QStringList krm = zipNames(target);
    EXPECT_EQ(krm.filter(QStringLiteral(".krm")).size(), 5);
    EXPECT_TRUE(krm.filter(QStringLiteral(".gpx")).isEmpty());

    QString unwritable = dir.filePath(QStringLiteral("missing/folder/share.zip"));
    EXPECT_FALSE(client->prepareUploadData(unwritable, true));
    EXPECT_TRUE(client->error());
}

TEST_F(OrvoKavel30ExchangeTest, RidesExportAsGpxFilesIntoTheGivenFolder)
{
    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);
    OrvoTest::OutputDir dir;
    const QString folder = dir.filePath(QStringLiteral("rides/new"));
    const QString before = QDir::currentPath();
    const QStringList written = client->_exportTrack(folder);
    EXPECT_EQ(QDir::currentPath(), before);
    ASSERT_EQ(written.size(), 2);
    for (const QString &path : written) {
        EXPECT_EQ(QFileInfo(path).path(), folder);
        EXPECT_TRUE(path.endsWith(QStringLiteral(".gpx")));
        EXPECT_TRUE(OrvoTest::readFile(path).contains("Kavel35"));
    }
}

TEST_F(OrvoKavel30ExchangeTest, TheShareDataListIsWrittenBeforeTheAnswer)
{
    auto device = makeDevice(image(PsfImage14Builder::sampleContent()));
    auto client = makeClient(device);
    OrvoTest::OutputDir dir;
    const OrvoClientShareDataList request{dir.filePath(QStringLiteral("list.xml")), QStringLiteral("two"),
                                          QStringLiteral("three")};
    QVector<OrvoClientShareDataList> done;
    QObject::connect(client.get(), &OrvoClient::getShareDataListDone,
                     [&done](const OrvoClientShareDataList &list) { done.append(list); });
    ASSERT_TRUE(client->getShareDataList(request));
    EXPECT_FALSE(client->isRunning());
    EXPECT_EQ(client->currentAction(), OrvoClient::Action_None);
    ASSERT_EQ(done.size(), 1);
    EXPECT_EQ(done.first(), request);
    const QByteArray xml = OrvoTest::readFile(request.path);
    EXPECT_TRUE(xml.contains("PersonalData"));
    EXPECT_TRUE(xml.contains("Lake loop"));
    EXPECT_TRUE(xml.contains("Intervals"));
}
