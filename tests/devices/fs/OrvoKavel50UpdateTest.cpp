#include "FileSizeLimit.h"
#include "FixtureZip.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "env/OrvoUtility.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

constexpr qint64 kUpdateSeconds = 1700000000;
const QString kFirstStaging = QStringLiteral("/Tarv3x!#@1700000000");
const QString kTrainingSettings = QStringLiteral("/morvia/applications/training/user_settings.xml");
const QString kProTrainingSettings = QStringLiteral("/morvia/applications/protrainingapp/user_settings.xml");

class OrvoKavel50UpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        ASSERT_TRUE(m_drive.writeIdentity({}));
        m_client = makeClient(m_dir.path());
    }

    void TearDown() override
    {
        OrvoDeviceWaits::install(nullptr);
        OrvoKavel50::setRestorePhase(false);
        OrvoEnv::instance()->setForceDeviceUpdate(false);
    }

    QString file(const QString &relative) const { return m_dir.path() + relative; }

    QString package(const QString &name, const QList<FixtureZip::Entry> &entries)
    {
        const QString path = m_packages.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
        return path;
    }

    QString firmwarePackage()
    {
        return package(QStringLiteral("Total.zip"), {{"Vorna.bin", "image bytes"}, {"CKS.TXT", "sum"}});
    }

    QString appPackage()
    {
        return package(QStringLiteral("DeviceAp.zip"),
                       {{"morvia/applications/cycling/app.bin", "app"}, {"morvia/version.ini", "version=ZK1.3.0.9\n"}});
    }

    QStringList stagingFolders() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral("Tarv3x*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime::fromSecsSinceEpoch(kUpdateSeconds, QTimeZone::utc())};
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_packages;
    Kavel50Drive m_drive{m_dir.path()};
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

TEST_F(OrvoKavel50UpdateTest, FirmwareUpdateStagesTheImageAndLeavesTheOrder)
{
    const QString zip = firmwarePackage();
    ASSERT_TRUE(m_client->_updateTotal(zip, QString()));
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/Update.ini"))),
              OrvoTest::readFile(OrvoTest::dataPath(QStringLiteral("devices/fs/Update.ini"))));
    EXPECT_EQ(OrvoTest::readFile(file(kFirstStaging + QStringLiteral("/Vorna.bin"))), QByteArray("image bytes"));
    EXPECT_EQ(OrvoTest::readFile(file(kFirstStaging + QStringLiteral("/CKS.TXT"))), QByteArray("sum"));
    EXPECT_FALSE(m_client->isUpdating());

    m_waits.advance(5000);
    ASSERT_TRUE(m_client->_updateTotal(zip, QString()));
    EXPECT_EQ(stagingFolders(), QStringList{QStringLiteral("Tarv3x!#@1700000005")});
    EXPECT_FALSE(m_client->isUpdating());
}

TEST_F(OrvoKavel50UpdateTest, StagingCleanUpRemovesALinkedFolderAsALink)
{
    OrvoTest::OutputDir outside;
    const QString kept = outside.filePath(QStringLiteral("kept.txt"));
    ASSERT_TRUE(OrvoTest::writeFile(kept, "not the device's"));
    const QString link = file(QStringLiteral("/Tarv3x!#@1600000000"));
    ASSERT_TRUE(QFile::link(outside.path(), link));

    ASSERT_TRUE(m_client->_updateTotal(firmwarePackage(), QString()));
    EXPECT_EQ(OrvoTest::readFile(kept), QByteArray("not the device's"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(stagingFolders(), QStringList{QStringLiteral("Tarv3x!#@1700000000")});
}

TEST_F(OrvoKavel50UpdateTest, FailedFirmwareUpdateLeavesNoOrder)
{
    const QString order = file(QStringLiteral("/Update.ini"));
    const QString badZip = m_packages.filePath(QStringLiteral("bad.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(badZip, "PK\x03\x04 cut"));

    EXPECT_FALSE(m_client->_updateTotal(badZip, QString()));
    EXPECT_FALSE(QFileInfo::exists(order));
    EXPECT_EQ(stagingFolders(), QStringList()) << "the staging folder of a package that did not unpack";
    EXPECT_FALSE(m_client->isUpdating());

    // An order file that cannot be opened: the staging folder goes too.
    ASSERT_TRUE(QDir().mkpath(order));
    EXPECT_FALSE(m_client->_updateTotal(firmwarePackage(), QString()));
    EXPECT_EQ(stagingFolders(), QStringList());
    EXPECT_FALSE(m_client->isUpdating());
}

// Each package is checked on the computer before anything reaches the drive: one without what
// its update needs answers false and leaves the drive as it was.
TEST_F(OrvoKavel50UpdateTest, PackageWithoutWhatItsUpdateNeedsLeavesTheDriveAsItWas)
{
    struct Case
    {
        const char *name;
        QList<FixtureZip::Entry> entries;
        bool firmware; // else the application package
    };
    QList<FixtureZip::Entry> emptyEntries;
    for (int i = 0; i < 50; ++i)
        emptyEntries.append({QByteArray("empty-") + QByteArray::number(i), QByteArray()});
    const Case cases[] = {
        {"firmware of empty entries and no image", emptyEntries, true},
        {"firmware without its image", {{"CKS.TXT", "sum"}, {"images/Vorna.bin", "image"}}, true},
        {"firmware without its checksum file", {{"Vorna.bin", "image"}}, true},
        {"application without its tree", {{"release.ini", "[MODEL]\n"}, {"app.bin", "app"}}, false},
        {"application tree of folders alone", {{"morvia/", ""}, {"morvia/applications/", ""}}, false},
    };
    // An application this old has its training settings reset by an update.
    Kavel50Drive::Identity identity;
    identity.ap = QStringLiteral("ZK1.2.0.0");
    ASSERT_TRUE(m_drive.writeIdentity(identity));
    ASSERT_TRUE(m_drive.writeSettings(kTrainingSettings, {{QStringLiteral("User Name"), QStringLiteral("aiko")}}));
    const QMap<QString, QByteArray> before = OrvoTest::filesUnder(m_dir.path());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString zip = package(QStringLiteral("package.zip"), c.entries);
        EXPECT_FALSE(c.firmware ? m_client->_updateTotal(zip, QString()) : m_client->_updateAP(zip));
        EXPECT_TRUE(OrvoTest::filesUnder(m_dir.path()) == before) << "the drive changed";
        EXPECT_EQ(stagingFolders(), QStringList());
    }
}

TEST_F(OrvoKavel50UpdateTest, DriveUnpluggedWhileStagingAnswersFalseAndKeepsItsRides)
{
    ASSERT_TRUE(m_drive.writeSampleData());
    const QString routeDb = file(QStringLiteral("/morvia/applications/cycling/data/route/route.dat"));
    const QByteArray rides = OrvoTest::readFile(routeDb);
    ASSERT_FALSE(rides.isEmpty());
    const auto platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoPlatform::setImplementationFactory([platform] { return platform; });
    platform->plugDrive(m_dir.path(), QStringLiteral("Tarvex  Kavel50"));
    const QString away = m_dir.path() + QStringLiteral(".unplugged");
    bool unplugged = false;
    // The drive goes in the middle of the first copy onto it, as a pulled cable takes it; from
    // then on every copy onto it fails.
    OrvoUtility::setCopyStep([&](const QString &source, const QString &destination, const OrvoUtility::CopyProgress &) {
        if (!destination.startsWith(m_dir.path() + QLatin1Char('/')))
            return QFile::copy(source, destination) ? 0 : EIO;
        if (!unplugged)
            unplugged = platform->unplugDrive(m_dir.path()) && QDir().rename(m_dir.path(), away);
        return ENODEV;
    });
    OrvoUtility::setSleeper([](int) {});
    const bool updated = m_client->_updateTotal(firmwarePackage(), QString());
    OrvoUtility::setCopyStep({});
    OrvoUtility::setSleeper({});
    OrvoPlatform::setImplementationFactory({});
    ASSERT_TRUE(unplugged);
    ASSERT_TRUE(QDir().rename(away, m_dir.path()));

    EXPECT_FALSE(updated);
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/Update.ini"))));
    EXPECT_EQ(OrvoTest::readFile(routeDb), rides);

    // Plugged in again, the update runs whole and the rides are still there.
    m_waits.advance(5000);
    ASSERT_TRUE(m_client->_updateTotal(firmwarePackage(), QString()));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("/Update.ini"))));
    EXPECT_EQ(stagingFolders(), QStringList{QStringLiteral("Tarv3x!#@1700000005")});
    EXPECT_EQ(OrvoTest::readFile(routeDb), rides);
    EXPECT_FALSE(m_client->isUpdating());
}

TEST_F(OrvoKavel50UpdateTest, ShortOrderWriteRemovesTheOrder)
{
    const QString order = file(QStringLiteral("/Update.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(order, "an order of an earlier update"));
    const QString zip = firmwarePackage();
    bool updated = true;
    {
        const FileSizeLimit limit(64);
        ASSERT_TRUE(limit.ok());
        updated = m_client->_updateTotal(zip, QString());
    }
    EXPECT_FALSE(updated);
    EXPECT_FALSE(QFileInfo::exists(order));
    EXPECT_EQ(stagingFolders(), QStringList()) << "a staged image that no order names";
    EXPECT_FALSE(m_client->isUpdating());
}

TEST_F(OrvoKavel50UpdateTest, LaunchSecPackageUnpacksIntoTheRoot)
{
    const QString zip = package(QStringLiteral("LaunchSec.zip"), {{"launch/sec.bin", "sec"}});
    EXPECT_TRUE(m_client->updateLaunchsec(zip));
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/launch/sec.bin"))), QByteArray("sec"));
    EXPECT_FALSE(m_client->isUpdating());
}

TEST_F(OrvoKavel50UpdateTest, LaunchSecPackageIsNotUnpackedWhereAPulledDriveWas)
{
    const QString zip = package(QStringLiteral("LaunchSec.zip"), {{"launch/sec.bin", "sec"}});
    const QString away = m_dir.path() + QStringLiteral(".unplugged");
    ASSERT_TRUE(QDir().rename(m_dir.path(), away));
    const bool updated = m_client->updateLaunchsec(zip);
    const bool remade = QFileInfo::exists(m_dir.path());
    QDir(m_dir.path()).removeRecursively();
    ASSERT_TRUE(QDir().rename(away, m_dir.path()));

    EXPECT_FALSE(updated);
    EXPECT_FALSE(remade) << "the drive's folder was made anew on the computer";
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/launch/sec.bin"))));
}

TEST_F(OrvoKavel50UpdateTest, ApVersionComparesThePartsBothHave)
{
    struct Case
    {
        const char *ap;
        bool older;
    };
    const Case cases[] = {
        {"ZK1.2.9.9", true}, {"ZK1.3.0.7", true}, {"ZK1.3.0.8", false}, {"ZK1.3.0.8.1", false}, {"ZK1.10.0.0", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ap);
        Kavel50Drive::Identity identity;
        identity.ap = QString::fromLatin1(c.ap);
        ASSERT_TRUE(m_drive.writeIdentity(identity));
        EXPECT_EQ(m_client->isApVersionOlderThan(QStringLiteral("ZK1.3.0.8")), c.older);
    }
}

TEST_F(OrvoKavel50UpdateTest, ApplicationUpdateResetsTrainingSettingsOfOlderDevices)
{
    struct Case
    {
        const char *ap;
        bool reset;
    };
    for (const Case &c : {Case{"ZK1.3.0.7", true}, Case{"ZK1.3.0.8", false}}) {
        SCOPED_TRACE(c.ap);
        Kavel50Drive::Identity identity;
        identity.ap = QString::fromLatin1(c.ap);
        ASSERT_TRUE(m_drive.writeIdentity(identity));
        ASSERT_TRUE(OrvoTest::writeFile(file(kTrainingSettings), "<settings/>"));
        ASSERT_TRUE(OrvoTest::writeFile(file(kProTrainingSettings), "<settings/>"));
        EXPECT_TRUE(m_client->_updateAP(appPackage()));
        EXPECT_EQ(QFileInfo::exists(file(kTrainingSettings)), !c.reset);
        EXPECT_EQ(QFileInfo::exists(file(kProTrainingSettings)), !c.reset);
        EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/morvia/applications/cycling/app.bin"))), QByteArray("app"));
        EXPECT_FALSE(m_client->isUpdating());
    }
}

TEST_F(OrvoKavel50UpdateTest, ApplicationPackageThatDoesNotUnzipLeavesTheDevice)
{
    const QString zip = m_packages.filePath(QStringLiteral("bad.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(zip, "not a zip"));
    ASSERT_TRUE(OrvoTest::writeFile(file(kTrainingSettings), "<settings/>"));
    EXPECT_FALSE(m_client->_updateAP(zip));
    EXPECT_TRUE(QFileInfo::exists(file(kTrainingSettings)));
    EXPECT_FALSE(m_client->isUpdating());
}

TEST_F(OrvoKavel50UpdateTest, FirstRestorePassAsksTheDeviceToFormat)
{
    ASSERT_TRUE(m_client->_restoreFactory(m_packages.path()));
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/format.ini"))), QByteArray("1"));
    EXPECT_TRUE(OrvoKavel50::restorePhase());
    EXPECT_EQ(m_client->getState(), OrvoKavel50::kFormattingState);
}

TEST_F(OrvoKavel50UpdateTest, RestoreWithoutFormatRequestChangesNothing)
{
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("/format.ini"))));
    EXPECT_FALSE(m_client->_restoreFactory(m_packages.path()));
    EXPECT_FALSE(OrvoKavel50::restorePhase());
    EXPECT_EQ(m_client->getState(), OrvoClient::STATE_IN_SERVICE);
    EXPECT_TRUE(m_client->error());
}

TEST_F(OrvoKavel50UpdateTest, SecondRestorePassStopsAtTheFirstMissingPackage)
{
    package(QStringLiteral("LaunchSec.zip"), {{"launch/sec.bin", "sec"}});
    appPackage();
    OrvoKavel50::setRestorePhase(true);
    OrvoEnv::instance()->setForceDeviceUpdate(true);

    EXPECT_FALSE(m_client->_restoreFactory(m_packages.path()));
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/launch/sec.bin"))));
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/morvia/applications/cycling/app.bin"))));
    EXPECT_FALSE(OrvoKavel50::restorePhase());
    EXPECT_FALSE(OrvoEnv::instance()->isForceDeviceUpdate());
    EXPECT_EQ(m_client->getState(), OrvoClient::STATE_OUT_OF_SERVICE);
    EXPECT_TRUE(m_client->error());
}

TEST_F(OrvoKavel50UpdateTest, SecondRestorePassReinstallsEveryPackage)
{
    firmwarePackage();
    package(QStringLiteral("LaunchSec.zip"), {{"launch/sec.bin", "sec"}});
    appPackage();
    OrvoKavel50::setRestorePhase(true);

    EXPECT_TRUE(m_client->_restoreFactory(m_packages.path()));
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/Update.ini"))),
              OrvoTest::readFile(OrvoTest::dataPath(QStringLiteral("devices/fs/Update.ini"))));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("/launch/sec.bin"))));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("/morvia/applications/cycling/app.bin"))));
    EXPECT_FALSE(OrvoKavel50::restorePhase());
    EXPECT_FALSE(m_client->error());
}
