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

#include <cerrno>
#include <functional>
#include <iterator>
#include <ostream>
#include <vector>

using namespace Kavel50Test;

namespace {

const QString kMaker = QStringLiteral("Tarvex  Kavel60");

// The client keeps the drive's path after the drive is pulled: an action started then must
// answer false and make nothing where the drive was, least of all the mount point itself.
enum class Pulled {
    BeforeTheCall,
    // Before the call, and the mount point stays as an empty folder (a static mount, an fstab
    // entry, a desktop that leaves the folder): nothing may be written into it.
    LeavingAnEmptyFolder,
    // Right after the first file of the action arrived on it, as a pulled cable takes it.
    AfterTheFirstFile,
};
enum class Drive { Own, MapCard };

struct Inputs
{
    QString packages; // the folder of the factory packages
    QString share;
    QString firmware;
    QString launchSec;
    QString app;
    QString engine;
    QString maps;
    Lists lists;
};

struct PulledCase
{
    const char *name;
    Drive drive;
    Pulled when;
    std::function<bool(OrvoKavel50CR &, const Inputs &)> run;
};

void PrintTo(const PulledCase &c, std::ostream *os)
{
    *os << c.name;
}

QVector<int> idsOf(const QVector<OrvoClientData> &items)
{
    QVector<int> ids;
    for (const OrvoClientData &item : items)
        ids.append(item.id);
    return ids;
}

bool restoreReinstall(OrvoKavel50CR &client, const Inputs &in)
{
    OrvoKavel50::setRestorePhase(true);
    return client._restoreFactory(in.packages);
}

bool updateFirmware(OrvoKavel50CR &client, const Inputs &in)
{
    return client._updateTotal(in.firmware, QString());
}

bool updateApp(OrvoKavel50CR &client, const Inputs &in)
{
    return client._updateAP(in.app);
}

bool updateMapData(OrvoKavel50CR &client, const Inputs &in)
{
    return client._updateMapData(in.maps + QStringLiteral("^Kavel60"));
}

const PulledCase kCases[] = {
    {"opening the device's databases", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &) { return client.initial(); }},
    {"share import", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client.setShareData(in.share); }},
    {"profile save", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &) {
         return client.saveProfile({{QStringLiteral("User Name"), QStringLiteral("kenji")}});
     }},
    {"firmware staging", Drive::Own, Pulled::BeforeTheCall, updateFirmware},
    {"firmware staging cut short", Drive::Own, Pulled::AfterTheFirstFile, updateFirmware},
    {"LaunchSec package", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client.updateLaunchsec(in.launchSec); }},
    {"application", Drive::Own, Pulled::BeforeTheCall, updateApp},
    {"application cut short", Drive::Own, Pulled::AfterTheFirstFile, updateApp},
    {"favourite deletion", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client.deletePOIs(idsOf(in.lists.pois)); }},
    {"route deletion", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client.deleteRoutes(idsOf(in.lists.routes)); }},
    {"ride deletion", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client.deleteTracks(idsOf(in.lists.rides)); }},
    {"workout deletion", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &) {
         return client.deleteWorkouts({0, 1});
     }},
    {"factory restore request", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) { return client._restoreFactory(in.packages); }},
    {"factory restore reinstall", Drive::Own, Pulled::BeforeTheCall, restoreReinstall},
    {"factory restore reinstall cut short", Drive::Own, Pulled::AfterTheFirstFile, restoreReinstall},
    {"engine on the own drive", Drive::Own, Pulled::BeforeTheCall,
     [](OrvoKavel50CR &client, const Inputs &in) {
         return client._updateComponent(
             {QStringLiteral("Kavel60"), QStringLiteral("1.10"), QStringLiteral("GPST_ENGINE"), in.engine});
     }},
    {"map data", Drive::MapCard, Pulled::BeforeTheCall, updateMapData},
    {"map data cut short", Drive::MapCard, Pulled::AfterTheFirstFile, updateMapData},
};

// Every row pulled before the call, once more with its mount point left as an empty folder.
std::vector<PulledCase> allCases()
{
    std::vector<PulledCase> cases(std::begin(kCases), std::end(kCases));
    for (const PulledCase &c : kCases) {
        if (c.when != Pulled::BeforeTheCall)
            continue;
        PulledCase leaving = c;
        leaving.when = Pulled::LeavingAnEmptyFolder;
        cases.push_back(leaving);
    }
    return cases;
}

class OrvoKavel50PulledDriveTest : public ::testing::TestWithParam<PulledCase>
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        OrvoUtility::setSleeper([](int) {});
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(m_drive.writeSettings(QStringLiteral("/morvia/applications/training/user_settings.xml"),
                                          {{QStringLiteral("User Name"), QStringLiteral("aiko")}}));
        ASSERT_TRUE(QDir().mkpath(m_card.filePath(QStringLiteral("data"))));
        m_platform->plugDrive(m_dir.path(), kMaker);
        m_platform->plugDrive(m_card.path(), kMaker, QStringLiteral("KAVEL60MAP"));
        writeInputs();
        m_client = makeClient(m_dir.path(), m_card.path());
        ASSERT_TRUE(m_client->initial());
        m_inputs.lists = listAll(*m_client);
        ASSERT_FALSE(m_inputs.lists.pois.isEmpty());
        ASSERT_FALSE(m_inputs.lists.routes.isEmpty());
    }

    void TearDown() override
    {
        OrvoUtility::setCopyStep({});
        OrvoUtility::setSleeper({});
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
        OrvoKavel50::setRestorePhase(false);
        OrvoEnv::instance()->setForceDeviceUpdate(false);
    }

    QString package(const QString &name, const QList<FixtureZip::Entry> &entries)
    {
        const QString path = m_packages.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
        return path;
    }

    // Each package copies a file onto the drive before it makes a folder there.
    void writeInputs()
    {
        m_inputs.packages = m_packages.path();
        m_inputs.share = m_other.filePath(QStringLiteral("share.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(m_inputs.share, Kavel50Drive::sharePackage()));
        m_inputs.firmware = package(QStringLiteral("Total.zip"),
                                    {{"CKS.TXT", "sum"}, {"Vorna.bin", "image"}, {"images/logo.bin", "logo"}});
        m_inputs.launchSec = package(QStringLiteral("LaunchSec.zip"), {{"launch/sec.bin", "sec"}});
        m_inputs.app = package(QStringLiteral("DeviceAp.zip"),
                               {{"morvia/about.txt", "about"}, {"morvia/applications/cycling/app.bin", "app"}});
        m_inputs.engine = m_other.filePath(QStringLiteral("engine.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(m_inputs.engine, FixtureZip::storedArchive({{"engine.bin", "engine"}})));
        m_inputs.maps = m_other.filePath(QStringLiteral("maps"));
        ASSERT_TRUE(OrvoTest::writeFile(m_inputs.maps + QStringLiteral("/JPN/JPN.2.map"), "japan"));
        ASSERT_TRUE(OrvoTest::writeFile(m_inputs.maps + QStringLiteral("/TWN/TWN.2.map"), "taiwan"));
    }

    // The first copy onto the folder arrives, then the folder goes; every later copy onto it fails.
    void pullAfterTheFirstFile(const QString &folder, const QString &away)
    {
        OrvoUtility::setCopyStep(
            [this, folder, away](const QString &source, const QString &destination, const OrvoUtility::CopyProgress &) {
                const bool onTheDrive = destination.startsWith(folder + QLatin1Char('/'));
                if (onTheDrive && m_pulled)
                    return ENODEV;
                QFile::remove(destination);
                if (!QFile::copy(source, destination))
                    return EIO;
                if (onTheDrive)
                    m_pulled = QDir().rename(folder, away);
                return 0;
            });
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc())};
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_card;
    OrvoTest::OutputDir m_packages;
    OrvoTest::OutputDir m_other;
    Kavel50Drive m_drive{m_dir.path()};
    Inputs m_inputs;
    std::unique_ptr<OrvoKavel50CR> m_client;
    bool m_pulled = false;
};

} // namespace

TEST_P(OrvoKavel50PulledDriveTest, ActionOnAPulledDriveAnswersFalseAndMakesNothingWhereItWas)
{
    const PulledCase &c = GetParam();
    const QString folder = c.drive == Drive::Own ? m_dir.path() : m_card.path();
    const QString away = folder + QStringLiteral(".pulled");
    const bool leavesFolder = c.when == Pulled::LeavingAnEmptyFolder;
    if (c.when == Pulled::AfterTheFirstFile)
        pullAfterTheFirstFile(folder, away);
    else
        m_pulled = QDir().rename(folder, away) && (!leavesFolder || QDir().mkdir(folder));

    const bool answered = c.run(*m_client, m_inputs);
    OrvoUtility::setCopyStep({});
    const QStringList written =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const bool remade = !leavesFolder && QFileInfo::exists(folder);
    if (QFileInfo::exists(folder))
        QDir(folder).removeRecursively();
    ASSERT_TRUE(m_pulled) << "the drive was never pulled";
    ASSERT_TRUE(QDir().rename(away, folder));

    EXPECT_FALSE(answered);
    EXPECT_FALSE(remade) << "the drive's folder was made anew on the computer";
    EXPECT_TRUE(written.isEmpty()) << "written where the drive was: " << written.join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(All, OrvoKavel50PulledDriveTest, ::testing::ValuesIn(allCases()), [](const auto &i) {
    std::string name = i.param.name;
    if (i.param.when == Pulled::LeavingAnEmptyFolder)
        name += " leaving an empty folder";
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
