#include "FileSizeLimit.h"
#include "FixtureZip.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoDeviceVersionUtil.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoUtility.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

const QString kMaker = QStringLiteral("Tarvex  Kavel60");

class OrvoKavel50ComponentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        ASSERT_TRUE(m_drive.writeIdentity({}));
        m_platform->plugDrive(m_dir.path(), kMaker);
    }

    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoUtility::setCopyStep({});
    }

    // The map card beside the device's own drive; its "/data" exists unless withData is false.
    void plugCard(const QString &label, bool withData = true)
    {
        if (withData) {
            ASSERT_TRUE(QDir().mkpath(card(QStringLiteral("/data"))));
        }
        m_platform->plugDrive(m_card.path(), kMaker, label);
    }

    QString card(const QString &relative) const { return m_card.path() + relative; }
    QString own(const QString &relative) const { return m_dir.path() + relative; }

    void writeVersions(const QString &folder, const QString &engine, const QString &mapData = QString())
    {
        QSettings ini(folder + QStringLiteral("/data/version.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("version"), engine);
        if (!mapData.isEmpty())
            ini.setValue(QStringLiteral("dat"), mapData);
    }

    QString package(const QList<FixtureZip::Entry> &entries)
    {
        const QString path = m_packages.filePath(QStringLiteral("component.zip"));
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
        return path;
    }

    // An engine package with the supplier's files that a drive must not get.
    QString enginePackage()
    {
        return package({{"engine.bin", "engine"},
                        {"version.ini", "[General]\nversion=9.9\nsupplier=yes\n"},
                        {"gpstuner.dat", "tuner"},
                        {"mapengine.dll", "dll"},
                        {"release.md5", "md5"}});
    }

    std::unique_ptr<OrvoKavel50CR> client() { return makeClient(m_dir.path(), m_card.path()); }

    const OrvoTest::UserFolderScope m_userFolder;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_card;
    OrvoTest::OutputDir m_packages;
    Kavel50Drive m_drive{m_dir.path()};
};

OrvoComponentRequest engineRequest(const QString &version, const QString &file)
{
    return {QStringLiteral("Kavel50"), version, QStringLiteral("GPST_ENGINE"), file};
}

} // namespace

TEST_F(OrvoKavel50ComponentTest, EngineIsInstalledOnlyOverAnOlderOne)
{
    struct Case
    {
        const char *name;
        QString installed;
        QString requested;
        bool installs;
    };
    const Case cases[] = {
        {"newer", QStringLiteral("1.9"), QStringLiteral("1.10"), true},
        {"older", QStringLiteral("1.10"), QStringLiteral("1.9"), false},
        {"other shape", QStringLiteral("1.0.1"), QStringLiteral("1.0"), false},
        {"same", QStringLiteral("1.9"), QStringLiteral("1.9"), false},
    };
    plugCard(QStringLiteral("KAVEL60MAP"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(card(QStringLiteral("/data/engine.bin")));
        writeVersions(card(QString()), c.installed);
        EXPECT_TRUE(client()->_updateComponent(engineRequest(c.requested, enginePackage())));
        EXPECT_EQ(QFileInfo::exists(card(QStringLiteral("/data/engine.bin"))), c.installs);
        EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("version"), card(QString())),
                  c.installs ? c.requested : c.installed);
        EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("supplier"), card(QString())),
                  QStringLiteral("0.0.0.0"));
        // The Kavel50's own drive carries no engine.
        EXPECT_FALSE(QFileInfo::exists(own(QStringLiteral("/data/engine.bin"))));
    }
}

TEST_F(OrvoKavel50ComponentTest, EngineUpdateNeedsASecondDriveWithData)
{
    const QString zip = enginePackage();
    EXPECT_FALSE(makeClient(m_dir.path())->_updateComponent(engineRequest(QStringLiteral("1.10"), zip)));

    plugCard(QStringLiteral("KAVEL60MAP"), false);
    EXPECT_TRUE(client()->_updateComponent(engineRequest(QStringLiteral("1.10"), zip)));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data"))));

    OrvoComponentRequest other = engineRequest(QStringLiteral("1.10"), zip);
    other.component = QStringLiteral("gpst_engine");
    EXPECT_FALSE(client()->_updateComponent(other));
}

TEST_F(OrvoKavel50ComponentTest, PackageThatDoesNotUnzipCopiesNothing)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    writeVersions(card(QString()), QStringLiteral("1.9"));
    const QString zip = m_packages.filePath(QStringLiteral("bad.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(zip, "PK\x03\x04 cut"));
    EXPECT_FALSE(client()->_updateComponent(engineRequest(QStringLiteral("1.10"), zip)));
    EXPECT_EQ(QDir(card(QStringLiteral("/data"))).entryList(QDir::Files), QStringList{QStringLiteral("version.ini")});
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("*.bin")}, QDir::Files), QStringList());
}

TEST_F(OrvoKavel50ComponentTest, VersionThatCannotBeWrittenAnswersFalse)
{
    ASSERT_TRUE(QDir().mkpath(card(QStringLiteral("/data"))));
    EXPECT_TRUE(OrvoKavel50::SetGPSENGINEVersion(QStringLiteral("dat"), QStringLiteral("2.0"), card(QString())));
    EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("dat"), card(QString())),
              QStringLiteral("2.0"));

    ASSERT_TRUE(QDir().mkpath(m_packages.filePath(QStringLiteral("locked/data/version.ini"))));
    EXPECT_FALSE(OrvoKavel50::SetGPSENGINEVersion(QStringLiteral("dat"), QStringLiteral("2.0"),
                                                  m_packages.filePath(QStringLiteral("locked"))));
}

TEST_F(OrvoKavel50ComponentTest, EngineVersionNotWrittenOnTheOwnDriveFailsTheUpdate)
{
    struct Case
    {
        const char *name;
        QString component;
        QString extra;
    };
    const Case cases[] = {
        {"engine", QStringLiteral("GPST_ENGINE"), QStringLiteral("1.10")},
        {"map", QStringLiteral("MapData"), QStringLiteral("1.10^2.0")},
    };
    plugCard(QStringLiteral("KAVEL60MAP"));
    const QString ownFolder = own(QStringLiteral("/morvia/applications/cycling"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeVersions(card(QString()), QStringLiteral("1.10"), QStringLiteral("1.0"));
        // The own drive's version file is too long to be written again under the limit below,
        // while the engine files and the card's short version file are not.
        ASSERT_TRUE(OrvoTest::writeFile(ownFolder + QStringLiteral("/data/version.ini"),
                                        "[General]\nversion=1.9\nnote=" + QByteArray(100, 'n') + "\n"));
        const QString zip = enginePackage();
        const OrvoComponentRequest request{QStringLiteral("Kavel60"), c.extra, c.component, zip};
        const FileSizeLimit limit(64);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(client()->_updateComponent(request));
    }
}

TEST_F(OrvoKavel50ComponentTest, MapComponentInstallsEngineAndMapDataOfTheKavel60)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    writeVersions(card(QString()), QStringLiteral("1.10"), QStringLiteral("1.0"));
    const OrvoComponentRequest request{QStringLiteral("Kavel60"), QStringLiteral("1.10^2.0"), QStringLiteral("MapData"),
                                       enginePackage()};
    EXPECT_TRUE(client()->_updateComponent(request));

    // The own drive had no engine version: it gets the engine below its cycling application.
    const QString ownFolder = own(QStringLiteral("/morvia/applications/cycling"));
    EXPECT_TRUE(QFileInfo::exists(ownFolder + QStringLiteral("/data/engine.bin")));
    EXPECT_FALSE(QFileInfo::exists(ownFolder + QStringLiteral("/data/gpstuner.dat")));
    EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("version"), ownFolder), QStringLiteral("1.10"));

    // The card's engine is current: only its map data come, without the engine's files.
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/engine.bin"))));
    EXPECT_TRUE(QFileInfo::exists(card(QStringLiteral("/data/mapengine/gpstuner.dat"))));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/mapengine/mapengine.dll"))));
    EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("dat"), card(QString())),
              QStringLiteral("2.0"));

    OrvoComponentRequest noMapVersion = request;
    noMapVersion.extra = QStringLiteral("1.10");
    EXPECT_FALSE(client()->_updateComponent(noMapVersion));
}

TEST_F(OrvoKavel50ComponentTest, MapDataReplacesOlderCountryFilesOnTheMapCard)
{
    plugCard(QStringLiteral("Kavel60Map"));
    const QString countries = card(QStringLiteral("/data/mapengine/map/Countries"));
    ASSERT_TRUE(OrvoTest::writeFile(countries + QStringLiteral("/TWN.1.map"), "old map"));
    ASSERT_TRUE(OrvoTest::writeFile(countries + QStringLiteral("/JPN.1.map"), "other country"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml")), "<old/>"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/temp.xml")), "<new/>"));
    const QString source = m_packages.filePath(QStringLiteral("maps"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/TWN/TWN.2.map"), "new map"));

    EXPECT_TRUE(client()->_updateMapData(source + QStringLiteral("^Kavel60")));
    EXPECT_EQ(QDir(countries).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("JPN.1.map"), QStringLiteral("TWN.2.map")}));
    EXPECT_EQ(OrvoTest::readFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml"))), QByteArray("<new/>"));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/mapsinfo/temp.xml"))));
}

TEST_F(OrvoKavel50ComponentTest, MapDataThatArrivesChangedKeepsTheInstalledDescription)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml")), "<old/>"));
    ASSERT_TRUE(OrvoTest::writeFile(card(QStringLiteral("/data/mapsinfo/temp.xml")), "<new/>"));
    const QString source = m_packages.filePath(QStringLiteral("maps"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/TWN/TWN.2.map"), "new map"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/TWN/TWN.2.idx"), "index"));
    OrvoUtility::setCopyStep([](const QString &from, const QString &to, const OrvoUtility::CopyProgress &) {
        // The first file of the country arrives changed, the last one intact.
        const QByteArray bytes = from.endsWith(QLatin1String(".idx")) ? QByteArray("damaged") : QByteArray("new map");
        return OrvoTest::writeFile(to, bytes) ? 0 : EIO;
    });
    EXPECT_FALSE(client()->_updateMapData(source + QStringLiteral("^Kavel60")));
    EXPECT_EQ(OrvoTest::readFile(card(QStringLiteral("/data/mapsinfo/currentMap.xml"))), QByteArray("<old/>"));
}

TEST_F(OrvoKavel50ComponentTest, MapDataNeedsTheMapCard)
{
    plugCard(QStringLiteral("SDCARD"));
    const QString source = m_packages.filePath(QStringLiteral("maps"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/TWN/TWN.2.map"), "new map"));
    EXPECT_FALSE(client()->_updateMapData(source + QStringLiteral("^Kavel60")));
    EXPECT_FALSE(QFileInfo::exists(card(QStringLiteral("/data/mapengine"))));
}

// The version is written the way the bounded reader reads it back; a value that reader would
// read otherwise is refused, and the other keys of the file stay.
TEST_F(OrvoKavel50ComponentTest, VersionFileReadsBackWhatWasWritten)
{
    struct Case
    {
        const char *name;
        QString value;
        bool written;
    };
    const Case cases[] = {
        {"plain", QStringLiteral("1.10"), true},
        {"a quote inside", QStringLiteral("1.1\"0"), true},
        {"a backslash", QStringLiteral("1\\10"), true},
        {"a leading at sign", QStringLiteral("@1.10"), true},
        {"a semicolon", QStringLiteral("1.10;beta"), true},
        {"quoted whole", QStringLiteral("\"1.10\""), false},
        {"blanks around", QStringLiteral(" 1.10 "), false},
        {"a line break", QStringLiteral("1.10\nversion=2"), false},
    };
    plugCard(QStringLiteral("KAVEL60MAP"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeVersions(card(QString()), QStringLiteral("1.9"), QStringLiteral("2013.1"));
        EXPECT_EQ(OrvoKavel50::SetGPSENGINEVersion(QStringLiteral("version"), c.value, card(QString())), c.written);
        EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("version"), card(QString())),
                  c.written ? c.value : QStringLiteral("1.9"));
        EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("dat"), card(QString())),
                  QStringLiteral("2013.1"));
    }
}

// A package of nothing but the supplier's files a drive must not get installs nothing: no
// version is recorded for it.
TEST_F(OrvoKavel50ComponentTest, EnginePackageWithoutEngineFilesIsRefused)
{
    plugCard(QStringLiteral("KAVEL60MAP"));
    writeVersions(card(QString()), QStringLiteral("1.9"));
    const QMap<QString, QByteArray> before = OrvoTest::filesUnder(card(QString()));
    EXPECT_FALSE(client()->_updateComponent(
        engineRequest(QStringLiteral("1.10"), package({{"version.ini", "[General]\nversion=9.9\n"}}))));
    EXPECT_TRUE(OrvoTest::filesUnder(card(QString())) == before);
}
