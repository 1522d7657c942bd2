#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoClientListing.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRouteFrame.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel35;
using PsfImage14Builder::Content;

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr quint8 kErase = 14;
// Journal step 1 holds the current header record; its region table starts at 76.
constexpr qsizetype kCurrentRecord = 256;
constexpr qsizetype kRegionTable = 76;

QByteArray kavel35Image(const Content &content = PsfImage14Builder::sampleContent())
{
    return PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, content, kUser);
}

// A planned route of the second dialect whose one segment holds points steps north of 35°N.
QByteArray longRouteGpx(const QByteArray &name, int points)
{
    QByteArray segment;
    segment.reserve(points * 48);
    for (int i = 0; i < points; ++i)
        segment += "<trkpt lat=\"" + QByteArray::number(35.0 + i * 0.00001, 'f', 6) + "\" lon=\"139.000000\"/>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
           "<metadata><name>" +
           name +
           "</name><extensions><sharetype>1</sharetype></extensions></metadata>\n"
           "<rte><rtept lat=\"35.0\" lon=\"139.0\"/></rte>\n<trk><trkseg>" +
           segment + "</trkseg></trk>\n</gpx>\n";
}

// Every area filled to what the Kavel35 holds: 20 POIs (the POI area of 2960 bytes in records of
// 148), 213 rides (33228 bytes in records of 156) whose points fill the track area to its last
// byte (a track takes 40 bytes and 6 a point), and 31 workouts (4712 bytes in records of 152)
// whose intervals fill their area of 8192 bytes (20 each).
Content fullContent()
{
    const PsfImage14Builder::Layout words = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    const int pois = words[5] / 148;
    const int rides = words[13] / 156;
    const qsizetype points = (words[28] - rides * 40) / 6;
    const int workouts = words[9] / 152;
    const int intervals = words[19] / 20;
    Content content;
    for (int i = 0; i < pois; ++i)
        content.pois.append({139767125 + i, 35681236, 0x0010, 0x00, "Point " + QByteArray::number(i)});
    for (int i = 0; i < rides; ++i) {
        PsfImage14Builder::Track track;
        track.startTime = quint32(1700000000 + i * 3600);
        track.startLongitude = 139767125;
        track.startLatitude = 35681236;
        track.points.fill({1, 1, 0, 1}, points / rides + (i == 0 ? points % rides : 0));
        PsfImage14Builder::Route ride;
        ride.startTime = track.startTime;
        ride.name = "Ride " + QByteArray::number(i);
        ride.kind = 0x01;
        ride.tracks = {track};
        content.routes.append(ride);
    }
    for (int i = 0; i < workouts; ++i) {
        PsfImage14Builder::Workout workout;
        workout.name = "Workout " + QByteArray::number(i);
        workout.id = quint32(i + 1);
        workout.intervals.fill({0x21, 2, 60}, intervals / workouts + (i == 0 ? intervals % workouts : 0));
        content.workouts.append(workout);
    }
    return content;
}

using OrvoTest::Listing;

// What a client that reads the device afresh lists.
template<typename Client = OrvoKavel35>
Listing listingOf(const std::shared_ptr<OrvoEmulatedFlashDevice> &device, const OrvoDeviceInfo &info = row())
{
    auto client = makeClientOf<Client>(device, info);
    return OrvoTest::listingOf(*client);
}

QString zipOf(const OrvoTest::OutputDir &dir, const QString &name, const QList<FixtureZip::Entry> &entries)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
    return path;
}

class OrvoKavel30WriteBackTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_dir;
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

// Two routes of 45,000 points each fill 540,000 bytes of a track area of about 515,000: the
// second cannot go, and nothing may pretend it went.
TEST_F(OrvoKavel30WriteBackTest, ARouteThatDoesNotFitFailsTheImportAndNothingIsDroppedAtTheWriteBack)
{
    const QByteArray second = longRouteGpx("Second long", 45000);
    const QString zip =
        zipOf(m_dir, QStringLiteral("large.zip"), {{"a.krm", longRouteGpx("First long", 45000)}, {"b.krm", second}});
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    OrvoMessageCapture capture;
    EXPECT_FALSE(client->setShareData(zip));
    EXPECT_TRUE(client->error());
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("does not fit")));
    EXPECT_TRUE(client->container()->fitsDevice()) << "the program's copy holds only what the device can";
    ASSERT_TRUE(client->_finalize()) << "what did fit is written";
    const Listing after = listingOf(device);
    EXPECT_EQ(after.routes, QStringList({"Lake loop", QString(), "First long"}));
    EXPECT_EQ(after.rides.size(), 2);

    // Content that the write-back could not hold is refused before the erase, never cut.
    const QByteArray written = device->memory(kFlash);
    const QString path = m_dir.filePath(QStringLiteral("second.gpx"));
    ASSERT_TRUE(OrvoTest::writeFile(path, second));
    ASSERT_TRUE(client->flashImage().size() > 0 && client->container()->importGpx(path));
    client->setContentChanged();
    device->clearCommandLog();
    EXPECT_FALSE(client->_finalize());
    EXPECT_TRUE(commands(*device, kWrite, kErase).isEmpty());
    EXPECT_EQ(client->container()->routeFrame()->routes().size(), 6) << "nothing was cut from the program's copy";
    EXPECT_EQ(device->memory(kFlash), written);
}

TEST_F(OrvoKavel30WriteBackTest, ASharePackageWithNothingImportableFails)
{
    struct Case
    {
        const char *name;
        QList<FixtureZip::Entry> entries;
        const char *logged;
    };
    const std::vector<Case> cases = {
        {"only a text file", {{"notes.txt", "no route"}}, "was imported"},
        {"a route file that is no GPX", {{"a.krm", "not xml"}, {"notes.txt", "no route"}}, "was imported"},
        {"an empty package", {}, "cannot unpack"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(kavel35Image());
        auto client = makeClient(device);
        OrvoMessageCapture capture;
        EXPECT_FALSE(client->setShareData(zipOf(m_dir, QStringLiteral("nothing.zip"), c.entries)));
        EXPECT_TRUE(client->error());
        EXPECT_FALSE(client->isContentChanged());
        EXPECT_TRUE(capture.contains(QtCriticalMsg, QString::fromLatin1(c.logged)));
        EXPECT_EQ(client->container()->routeFrame()->routes().size(), 4);
    }
}

TEST_F(OrvoKavel30WriteBackTest, AFactoryRestoreDropsTheCachedImage)
{
    OrvoTest::OutputDir folder;
    ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("QUILMA.bin")), QByteArray(4096, 'i')));
    ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("QUILMAExData.bin")), kavel35Image(Content{})));
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    QVector<OrvoClientData> rides;
    client->getTracks(rides);
    ASSERT_EQ(rides.size(), 2);
    ASSERT_TRUE(client->_restoreFactory(folder.path()));

    rides.clear();
    client->getTracks(rides);
    EXPECT_TRUE(rides.isEmpty()) << "the rides are read from the restored device";
    ASSERT_TRUE(client->saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}));
    ASSERT_TRUE(client->_finalize());
    const Listing after = listingOf(device);
    EXPECT_TRUE(after.routes.isEmpty());
    EXPECT_TRUE(after.rides.isEmpty());
    EXPECT_TRUE(after.workouts.isEmpty());
}

TEST_F(OrvoKavel30WriteBackTest, AnEditMadeBeforeAnEraseIsNotWrittenOverIt)
{
    const QByteArray resource = QByteArray("TESKA-RESOURCE").repeated(100);
    const QString package = zipOf(m_dir, QStringLiteral("update.zip"), {{"teska.bin", resource}});
    const QByteArray flash =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Pulmor30, PsfImage14Builder::sampleContent(), kUser);
    const OrvoDeviceInfo info{QStringLiteral("1004"), QStringLiteral("Pulmor30"), QStringLiteral("TESKA"), {}};
    auto device = makeDevice(flash, "V002", "TESKA");
    auto client = makeClientOf<OrvoPulmor30>(device, info);
    QVector<OrvoClientData> rides;
    client->getTracks(rides);
    ASSERT_EQ(rides.size(), 2);
    ASSERT_TRUE(client->saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}));
    ASSERT_TRUE(client->_updateTotal(package, QString()));
    ASSERT_EQ(commands(*device, kWrite, kErase).size(), 1) << "this release is formatted by the update";

    rides.clear();
    client->getTracks(rides);
    EXPECT_TRUE(rides.isEmpty());
    device->clearCommandLog();
    EXPECT_TRUE(client->_finalize());
    EXPECT_TRUE(commands(*device, kWrite, 15).isEmpty()) << "the old image does not go back";
    EXPECT_EQ(device->memory(kFlash), QByteArray(PsfImage14Builder::kFlashSize, '\xFF'));
}

// An empty region whose start in the record points into the route area: blanking it from there
// would take the routes the write-back has just placed.
TEST_F(OrvoKavel30WriteBackTest, EmptyRegionsAreBlankedWhereTheLayoutPutsThem)
{
    QByteArray flash = kavel35Image();
    const auto layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    const qsizetype region6 = kCurrentRecord + kRegionTable + (6 - 2) * 12;
    FixtureBytes::putU32Le(flash, region6, quint32(layout[23]));
    FixtureBytes::putU32Le(flash, region6 + 4, 0x8000);
    FixtureBytes::putU32Le(flash, region6 + 8, 0x8000);
    auto device = makeDevice(flash);
    auto client = makeClient(device);
    const Listing before = listingOf(device);
    ASSERT_EQ(before.routes.size(), 2);
    ASSERT_EQ(before.rides.size(), 2);
    ASSERT_TRUE(client->deletePOIs({0}));
    ASSERT_TRUE(client->_finalize());
    const Listing after = listingOf(device);
    EXPECT_EQ(after.routes, before.routes);
    EXPECT_EQ(after.rides, before.rides);
    EXPECT_EQ(after.workouts, before.workouts);
}

TEST_F(OrvoKavel30WriteBackTest, ALanguagePackageThatDoesNotUnpackWholeChangesNothing)
{
    const QByteArray english = QByteArray::fromHex("A1B2C3D4") + "eng" + QByteArray(64, 'e');
    const QByteArray german = QByteArray::fromHex("A1B2C3D4") + "ger" + QByteArray(64, 'g');
    QByteArray damaged = FixtureZip::storedArchive(
        {{"quilma.bin", QByteArray(16, 'b')}, {"t_eng_.lng", english}, {"t_ger_.lng", german}});
    const qsizetype at = damaged.indexOf(german);
    ASSERT_GT(at, 0);
    damaged[at + 10] = 'x';
    const QString package = m_dir.filePath(QStringLiteral("damaged.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(package, damaged));
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    OrvoMessageCapture capture;
    EXPECT_FALSE(client->_updateTotal(package, QString()));
    EXPECT_TRUE(client->error());
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("did not unpack whole")));
    EXPECT_TRUE(commands(*device, kWrite, 12).isEmpty());
    EXPECT_EQ(device->memory(kLanguage), QByteArray(kLanguageSize, '\xFF'));
}

// What a device read whole holds always fits when it goes back: a profile change and a ride
// deletion on a device whose every area is full are written.
TEST_F(OrvoKavel30WriteBackTest, AFullDeviceTakesItsOwnContentBack)
{
    const Content full = fullContent();
    struct Case
    {
        const char *name;
        std::function<bool(OrvoKavel35 &)> change;
        qsizetype rides;
        QString weight;
    };
    const std::vector<Case> cases = {
        {"a profile change",
         [](OrvoKavel35 &c) {
             return c.saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}) && c._finalize();
         },
         full.routes.size(), QStringLiteral("61")},
        {"a ride deletion", [](OrvoKavel35 &c) { return c.deleteTracks({0}); }, full.routes.size() - 1,
         QStringLiteral("70.5")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(kavel35Image(full));
        auto client = makeClient(device);
        QVector<OrvoClientData> rides;
        client->getTracks(rides);
        ASSERT_EQ(rides.size(), full.routes.size()) << "the device is read whole";
        OrvoMessageCapture capture;
        EXPECT_TRUE(c.change(*client));
        EXPECT_FALSE(capture.contains(QtCriticalMsg, QStringLiteral("does not fit")));

        const Listing after = listingOf(device);
        EXPECT_EQ(after.rides.size(), c.rides);
        EXPECT_EQ(after.rides.constLast(), QStringLiteral("Ride 212"));
        EXPECT_EQ(after.workouts.size(), full.workouts.size());
        auto fresh = makeClient(device);
        ASSERT_TRUE(fresh->flashImage().size() > 0 && fresh->container() && fresh->container()->poiFrame());
        EXPECT_EQ(fresh->container()->poiFrame()->pois().size(), full.pois.size());
        ASSERT_TRUE(fresh->loadProfile());
        EXPECT_EQ(fresh->profile()->value(OrvoProfileKeys::kWeightMetric), c.weight);
    }
}
