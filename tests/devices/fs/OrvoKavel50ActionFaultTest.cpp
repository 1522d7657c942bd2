#include "FileSizeLimit.h"
#include "FixtureZip.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "env/OrvoUtility.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using namespace Kavel50Test;

namespace {

const QString kMaker = QStringLiteral("Tarvex  Kavel60");
const QString kCountries = QStringLiteral("/data/mapengine/map/Countries");
// Larger than the full disk below lets through.
const QByteArray kLarge(4096, 'x');
constexpr qint64 kFullDiskBytes = 1024;

// Where an action's input lies and which drives it works on.
struct Paths
{
    QString root;
    QString card;
    QString maps;
    QString largeImage;
    QString largeApp;
};

// A numbered action as the device manager starts it on the client; true when it started.
struct ActionCase
{
    const char *name;
    std::function<bool(OrvoClient &, const Paths &)> start;
    // The device came back formatted: the restore reinstalls.
    bool restorePhase;
    // The action writes onto the map card, not onto the device's own drive.
    bool onCard;
    // A pulled drive goes in the middle of the first copy onto it; an action that copies
    // nothing onto it finds it gone from the start.
    bool copies;
    // Bytes the full disk lets through: less than the first file the action writes.
    qint64 fullDiskBytes;
    // Whether the action can succeed at all.
    bool succeeds;
};

const ActionCase kActions[] = {
    {"map data",
     [](OrvoClient &client, const Paths &paths) {
         return client.updateMapData(paths.maps + QStringLiteral("^Kavel60"));
     },
     false, true, true, kFullDiskBytes, true},
    {"map import", [](OrvoClient &client, const Paths &) { return client.importMap(1); }, false, true, false,
     kFullDiskBytes, false},
    {"map deletion", [](OrvoClient &client, const Paths &) { return client.deleteMap(1); }, false, true, false,
     kFullDiskBytes, false},
    {"factory restore, format request",
     [](OrvoClient &client, const Paths &paths) { return client.restoreFactory(paths.largeImage); }, false, false,
     false, 0, true},
    {"factory restore, reinstall of a large firmware",
     [](OrvoClient &client, const Paths &paths) { return client.restoreFactory(paths.largeImage); }, true, false, true,
     kFullDiskBytes, true},
    {"factory restore, reinstall of a large application",
     [](OrvoClient &client, const Paths &paths) { return client.restoreFactory(paths.largeApp); }, true, false, true,
     kFullDiskBytes, true},
};

enum class Fault { FullDisk, Pulled };

struct FaultCase
{
    const char *name;
    Fault fault;
};

const FaultCase kFaults[] = {
    {"full disk", Fault::FullDisk},
    {"drive pulled", Fault::Pulled},
};

class OrvoKavel50ActionFaultTest : public ::testing::TestWithParam<std::tuple<ActionCase, FaultCase>>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(m_drive.writeRideFollowing(40));
        ASSERT_TRUE(OrvoTest::writeFile(m_paths.card + kCountries + QStringLiteral("/TWN.1.map"), "old map"));
        ASSERT_TRUE(OrvoTest::writeFile(m_paths.card + kCountries + QStringLiteral("/JPN.1.map"), "other country"));
        ASSERT_TRUE(OrvoTest::writeFile(m_paths.card + QStringLiteral("/data/mapsinfo/currentMap.xml"), "<old/>"));
        ASSERT_TRUE(OrvoTest::writeFile(m_paths.card + QStringLiteral("/data/mapsinfo/temp.xml"), "<new/>"));
        ASSERT_TRUE(OrvoTest::writeFile(m_paths.maps + QStringLiteral("/TWN/TWN.2.map"), kLarge));
        writeRestorePackages(m_paths.largeImage, kLarge, "app");
        writeRestorePackages(m_paths.largeApp, "image bytes", kLarge);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        OrvoUtility::setSleeper([](int) {});
        m_platform->plugDrive(m_paths.root, kMaker);
        m_platform->plugDrive(m_paths.card, kMaker, QStringLiteral("KAVEL60MAP"));
        m_client = makeClient(m_paths.root, m_paths.card);
        ASSERT_TRUE(m_client->initial());
    }

    void TearDown() override
    {
        OrvoUtility::setCopyStep({});
        OrvoUtility::setSleeper({});
        OrvoPlatform::setImplementationFactory({});
        OrvoKavel50::setRestorePhase(false);
        OrvoEnv::instance()->setForceDeviceUpdate(false);
    }

    static void writeRestorePackages(const QString &folder, const QByteArray &image, const QByteArray &app)
    {
        const auto write = [&folder](const char *name, const QList<FixtureZip::Entry> &entries) {
            ASSERT_TRUE(OrvoTest::writeFile(folder + QLatin1Char('/') + QLatin1String(name),
                                            FixtureZip::storedArchive(entries)));
        };
        write("Total.zip", {{"Vorna.bin", image}, {"CKS.TXT", "sum"}});
        write("LaunchSec.zip", {{"launch/sec.bin", "sec"}});
        write("DeviceAp.zip", {{"morvia/applications/cycling/app.bin", app}});
    }

    // Starts the action, waits for its end and lets the client announce it, as the manager's
    // event loop does.
    bool runAction(const ActionCase &action)
    {
        OrvoKavel50::setRestorePhase(action.restorePhase);
        if (!action.start(*m_client, m_paths))
            return false;
        m_client->wait();
        QCoreApplication::processEvents();
        return true;
    }

    bool runUnder(Fault fault, const ActionCase &action)
    {
        if (fault == Fault::FullDisk) {
            const FileSizeLimit limit(action.fullDiskBytes);
            EXPECT_TRUE(limit.ok());
            return runAction(action);
        }
        const QString drive = action.onCard ? m_paths.card : m_paths.root;
        const QString away = drive + QStringLiteral(".unplugged");
        bool pulled = false;
        const auto pull = [&] { pulled = pulled || (m_platform->unplugDrive(drive) && QDir().rename(drive, away)); };
        if (action.copies) {
            OrvoUtility::setCopyStep(
                [&](const QString &source, const QString &destination, const OrvoUtility::CopyProgress &) {
                    if (!destination.startsWith(drive + QLatin1Char('/')))
                        return QFile::copy(source, destination) ? 0 : EIO;
                    pull();
                    return ENODEV;
                });
        } else {
            pull();
        }
        const bool started = runAction(action);
        OrvoUtility::setCopyStep({});
        EXPECT_TRUE(pulled);
        EXPECT_TRUE(QDir().rename(away, drive));
        m_platform->plugDrive(drive, kMaker, action.onCard ? QStringLiteral("KAVEL60MAP") : QString());
        return started;
    }

    QStringList stagingFolders() const
    {
        return QDir(m_paths.root).entryList({QStringLiteral("Tarv3x*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    }

    static QStringList userStaging()
    {
        return QDir(OrvoEnv::instance()->tmpDir()).entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    const Paths m_paths{m_dir.filePath(QStringLiteral("drive")), m_dir.filePath(QStringLiteral("card")),
                        m_dir.filePath(QStringLiteral("maps")), m_dir.filePath(QStringLiteral("large-image")),
                        m_dir.filePath(QStringLiteral("large-app"))};
    Kavel50Drive m_drive{m_paths.root};
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

TEST_P(OrvoKavel50ActionFaultTest, FailedActionRaisesTheErrorFlagAndKeepsTheDevice)
{
    const ActionCase &action = std::get<0>(GetParam());
    const FaultCase &fault = std::get<1>(GetParam());
    const Lists lists = listAll(*m_client);
    const QString share = m_paths.root + QLatin1String(Kavel50Drive::kSharePath);
    const QMap<QString, QByteArray> rides = OrvoTest::filesUnder(share);
    const QMap<QString, QByteArray> card = OrvoTest::filesUnder(m_paths.card);
    const QStringList user = userStaging();

    ASSERT_TRUE(runUnder(fault.fault, action));
    EXPECT_TRUE(m_client->error()) << "the failed action raises the error flag";
    EXPECT_EQ(m_client->getState(), OrvoClient::STATE_IN_SERVICE);
    EXPECT_TRUE(sameLists(listAll(*m_client), lists)) << "an item of the drive changed or went";
    EXPECT_TRUE(OrvoTest::filesUnder(share) == rides) << "a file of the rides' folder changed";
    EXPECT_TRUE(OrvoTest::filesUnder(m_paths.card) == card) << "a file of the map card changed";
    EXPECT_FALSE(QFileInfo::exists(m_paths.root + QStringLiteral("/Update.ini"))) << "an update order was left";
    // A drive pulled in the middle of a copy keeps what reached it until the next update
    // clears it; a full disk leaves nothing staged.
    if (fault.fault == Fault::FullDisk) {
        EXPECT_EQ(stagingFolders(), QStringList());
    }
    EXPECT_EQ(userStaging(), user) << "a staging folder was left in the user folder";

    // Without the fault the action runs whole, and clears what the failure left.
    ASSERT_TRUE(runAction(action));
    EXPECT_EQ(m_client->error(), !action.succeeds);
    EXPECT_EQ(userStaging(), user);
    if (action.restorePhase) {
        EXPECT_EQ(stagingFolders().size(), 1) << "one firmware staged, no older staging left";
        EXPECT_TRUE(QFileInfo::exists(m_paths.root + QStringLiteral("/Update.ini")));
    }
    if (action.onCard && action.succeeds) {
        EXPECT_EQ(QDir(m_paths.card + kCountries).entryList(QDir::Files, QDir::Name),
                  (QStringList{QStringLiteral("JPN.1.map"), QStringLiteral("TWN.2.map")}));
    }
    EXPECT_TRUE(sameLists(listAll(*m_client), lists)) << "the action took an item of the drive";
}

INSTANTIATE_TEST_SUITE_P(All, OrvoKavel50ActionFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kActions), ::testing::ValuesIn(kFaults)),
                         [](const auto &i) {
                             std::string name =
                                 std::string(std::get<0>(i.param).name) + "_" + std::get<1>(i.param).name;
                             for (char &c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });
