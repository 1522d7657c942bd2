#include "FixtureBytes.h"
#include "GalFolderBuilder.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceScriptInterface.h"
#include "device/OrvoFSDeviceService.h"
#include "devices/gal/OrvoGalDevice.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Name = PsfImage15Builder::Name;

// The entries of a zip file as unzip lists them.
QStringList zipEntries(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!unzip.waitForFinished())
        return {};
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

OrvoDeviceInfo galRow(const QString &model)
{
    return {QStringLiteral("1207"), model, QStringLiteral("TARVEX"), {}};
}

// The device while its updater runs: a SCSI device without a drive.
class IapService : public OrvoDeviceService
{
public:
    explicit IapService(const QString &model)
        : m_info(galRow(model))
    {}
    bool readDeviceId(QString &) override { return false; }
    OrvoDeviceInfo *deviceInfo() override { return &m_info; }
    int serviceType() const override { return ScsiPassThroughService; }

private:
    OrvoDeviceInfo m_info;
};

// The scripting host's side: records each call and answers as told. The profile INI it writes
// is what the device library reads back.
class RecordingScripts : public OrvoDeviceScriptInterface
{
public:
    RecordingScripts() { OrvoClient::setDeviceScripts(this); }
    ~RecordingScripts() override { OrvoClient::setDeviceScripts(nullptr); }

    bool exportKrm(const QString &folder, const QString &model, const QString &version, const QString &profile,
                   const QString &root, QStringList &files) override
    {
        calls << QStringList{QStringLiteral("ExportKrm"), folder, model, version, profile, root}.join(QLatin1Char('|'));
        for (const QString &name : std::as_const(exported)) {
            const QString path = folder + QLatin1Char('/') + name;
            OrvoTest::writeFile(path, "<gpx/>");
            files << path;
        }
        return answer;
    }
    bool createProfileXml(const QString &ini, const QString &xml) override
    {
        calls << QStringLiteral("CreateProfileXml|%1|%2").arg(ini, xml);
        return answer;
    }
    bool createProfileIni(const QStringList &keys, const QStringList &values, const QString &ini) override
    {
        calls << QStringLiteral("CreateProfileIni|%1|%2|%3")
                     .arg(keys.join(QLatin1Char(',')), values.join(QLatin1Char(',')), ini);
        QByteArray text = "[General]\n";
        for (qsizetype i = 0; i < keys.size(); ++i)
            text += keys.at(i).toUtf8() + '=' + values.at(i).toUtf8() + '\n';
        return OrvoTest::writeFile(ini, text) && answer;
    }
    bool galSetShareData(const QString &root, const QString &file) override
    {
        calls << QStringLiteral("galSetShareData|%1|%2").arg(root, file);
        return answer;
    }

    QStringList calls;
    QStringList exported;
    bool answer = true;
};

class OrvoGalDeviceTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The profile files and the upload zip go to the environment's temporary folder.
        OrvoEnv::instance()->init(QStringLiteral("daemon"), QString());
    }

    void SetUp() override
    {
        qputenv("LUMOLIB_CALL_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("calls.log"))));
        ASSERT_TRUE(QDir().mkpath(m_root));
    }
    void TearDown() override { qunsetenv("LUMOLIB_CALL_LOG"); }

    std::unique_ptr<OrvoGalDevice> makeDevice(const QString &root, const QString &model = QStringLiteral("Kavel21"))
    {
        auto device = std::make_unique<OrvoGalDevice>();
        device->setDeviceService(
            std::make_unique<OrvoFSDeviceService>(root, galRow(model), root + QStringLiteral("/device.ini")));
        return device;
    }

    QString callLog() const
    {
        return QString::fromUtf8(OrvoTest::readFile(m_dir.filePath(QStringLiteral("calls.log"))));
    }
    void clearCallLog() const { QFile::remove(m_dir.filePath(QStringLiteral("calls.log"))); }

    static QString tmpPath(const QString &name) { return OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + name; }

    OrvoTest::OutputDir m_dir;
    QString m_root = m_dir.filePath(QStringLiteral("KAVEL21"));
    GalFolderBuilder m_device{m_root};
};

struct DeviceIniCase
{
    const char *name;
    QByteArray text;
    int updateMethod;
    QString launchSec;
    bool hasBootLoader;
    QString os;
};

// One fresh device per row: the file is read once per object.
TEST_F(OrvoGalDeviceTest, DeviceIniGivesTheIdentityAndTheCompositeOsVersion)
{
    const QByteArray identity = "[UUID]\r\nUUID=1207A1B2C3D4E5F6\r\n[OS]\r\nVersion=1.05\r\n";
    const QByteArray bootLoader = "[BootLoader]\r\nVersion=B210\r\n";
    const std::vector<DeviceIniCase> cases = {
        {"no update method", identity + bootLoader + "[LaunchSec]\r\nVersion=1.0.0.2\r\n", 1, "1.0.0.2", true,
         "1.05.210"},
        {"update method 2", identity + bootLoader + "[IMG]\r\nUpdateMethod=2\r\n", 2, "0.0.0.0", true, "1.05.210"},
        {"empty launch sector", identity + "[LaunchSec]\r\nVersion=\r\n", 1, "0.0.0.0", false, "1.05"},
        {"language version", identity + bootLoader + "[IMG]\r\nLangVersion=01020304\r\n", 1, "0.0.0.0", true,
         "1.05.210.1234"},
        {"language version of 7", identity + bootLoader + "[IMG]\r\nLangVersion=0102030\r\n", 1, "0.0.0.0", true,
         "1.05.210"},
        {"language version of 9", identity + bootLoader + "[IMG]\r\nLangVersion=010203040\r\n", 1, "0.0.0.0", true,
         "1.05.210"},
    };
    for (const DeviceIniCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_device.setDeviceIni(c.text));
        auto device = makeDevice(m_root);
        QString text;
        EXPECT_EQ(device->updateMethod(), c.updateMethod);
        ASSERT_TRUE(device->getLaunchsec(text));
        EXPECT_EQ(text, c.launchSec);
        EXPECT_EQ(device->getOS(text), c.hasBootLoader);
        EXPECT_EQ(text, c.os);
        EXPECT_EQ(device->getBootloader(text), c.hasBootLoader);
        ASSERT_TRUE(device->getUUID(text));
        EXPECT_EQ(text, QStringLiteral("1207A1B2C3D4E5F6"));
        ASSERT_TRUE(device->getAP(text));
        EXPECT_EQ(text, QString());
    }
}

TEST_F(OrvoGalDeviceTest, DeviceIniIsReadOnceAndItsIapNameTrimmed)
{
    GalFolderBuilder::DeviceIni ini;
    ini.iapName = QStringLiteral("  TrevanisIAP  ");
    ASSERT_TRUE(m_device.setDeviceIni(ini));
    auto device = makeDevice(m_root);
    EXPECT_EQ(device->langVersion(), QStringLiteral("01020304"));
    ASSERT_TRUE(device->loadDeviceInfo());
    ASSERT_TRUE(m_device.setDeviceIni(QByteArray("[OS]\r\nVersion=9.99\r\n")));
    QString os;
    device->getTotal(os);
    EXPECT_EQ(os, QStringLiteral("1.05")) << "the file is not read a second time";

    const QString before = m_dir.filePath(QStringLiteral("before.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(before, GalFolderBuilder::deviceIniText(ini)));
    ASSERT_TRUE(QFile::remove(m_root + QStringLiteral("/device.ini")));
    ASSERT_TRUE(QFile::copy(before, m_root + QStringLiteral("/device.ini")));
    auto fresh = makeDevice(m_root);
    EXPECT_EQ(fresh->updateMethod(), 2);
    EXPECT_TRUE(fresh->getComponentVersion(QStringLiteral("CYCLEROAD")).isEmpty());
    EXPECT_EQ(fresh->getCapability(), QString()) << "no [CAP] and no capability source";
}

TEST_F(OrvoGalDeviceTest, ImageInformationWithoutReleaseFileKeepsKnownAddressesOnly)
{
    auto device = makeDevice(m_root);
    const QString missing = m_dir.filePath(QStringLiteral("none/release.ini"));
    OrvoImageMetaInfo info = device->getImageMetaInfo(missing);
    EXPECT_EQ(info.imageName, QStringLiteral("TrevanisBR"));
    EXPECT_EQ(info.imageSize, 985088);
    EXPECT_EQ(info.languageVersion, QString());
    EXPECT_FALSE(info.extFlashImageStartKnown);
    EXPECT_FALSE(info.extFlashLanguageStartKnown);
    EXPECT_EQ(info.extFlashImageStart, 0);

    const QString release = m_dir.filePath(QStringLiteral("release.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(release,
                                    "[IMG]\r\nName=TrevanisBR\r\nSize=900\r\nExt_FlashImageStartAddr=0x10000\r\n"
                                    "Ext_FlashLangStartAddr=zz\r\nLangVersion=01020304\r\n"
                                    "[OS]\r\nVersion=1.06\r\n[BootLoader]\r\nVersion=B211\r\n"));
    info = device->getImageMetaInfo(release);
    EXPECT_EQ(info.imageSize, 900 * 1024);
    EXPECT_TRUE(info.extFlashImageStartKnown);
    EXPECT_EQ(info.extFlashImageStart, 0x10000);
    EXPECT_FALSE(info.extFlashLanguageStartKnown) << "an address that is no number stays unknown";
    EXPECT_EQ(info.languageVersion, QStringLiteral("01020304"));
    EXPECT_EQ(info.osVersion, QStringLiteral("1.06"));
    EXPECT_EQ(info.bootLoaderVersion, QStringLiteral("B211"));

    info = device->getImageMetaInfo(missing);
    EXPECT_EQ(info.imageSize, 985088);
    EXPECT_TRUE(info.extFlashImageStartKnown) << "the address of the last release file stays";
    EXPECT_EQ(info.extFlashImageStart, 0x10000);
    EXPECT_EQ(makeDevice(m_root, QStringLiteral("Kavel20plus"))->getImageMetaInfo(missing).imageName,
              QStringLiteral("TrevanisPlus"));
}

TEST_F(OrvoGalDeviceTest, InIapModeTheDriveIsGoneAndTheIdentityAnswersFromBefore)
{
    ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
    ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
    RecordingScripts scripts;
    auto device = makeDevice(m_root);
    QString text;
    qint64 total = 0;
    qint64 free = 0;
    ASSERT_TRUE(device->getUUID(text));
    QStringList languages;
    ASSERT_TRUE(device->getLanguageOnDevice(languages));

    device->setDeviceService(std::make_unique<IapService>(QStringLiteral("Kavel21")));
    clearCallLog();
    EXPECT_FALSE(device->getDrive(text));
    EXPECT_FALSE(device->getInternalStorage(total, free));
    EXPECT_FALSE(device->eject());
    EXPECT_FALSE(device->setShareData(m_dir.filePath(QStringLiteral("share.zip"))));
    EXPECT_FALSE(device->prepareUploadProfile(m_dir.filePath(QStringLiteral("profile.xml"))));
    EXPECT_TRUE(device->_exportTrack(m_dir.path()).isEmpty()) << "no export of the file system's root";
    EXPECT_TRUE(scripts.calls.isEmpty()) << scripts.calls.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(device->getOS(text));
    EXPECT_EQ(text, QStringLiteral("1.05.210.1234"));
    ASSERT_TRUE(device->getUUID(text));
    EXPECT_EQ(text, QStringLiteral("1207A1B2C3D4E5F6"));
    languages.clear();
    ASSERT_TRUE(device->getLanguageOnDevice(languages));
    EXPECT_EQ(languages, QStringList{QStringLiteral("deu")});
    EXPECT_FALSE(callLog().contains(QStringLiteral("GetProfile"))) << callLog().toStdString();

    OrvoGalDevice fresh;
    fresh.setDeviceService(std::make_unique<IapService>(QStringLiteral("Kavel21")));
    EXPECT_FALSE(fresh.getOS(text));
    EXPECT_EQ(text, QString());
    EXPECT_EQ(fresh.updateMethod(), 1);
    languages.clear();
    ASSERT_TRUE(fresh.getLanguageOnDevice(languages));
    EXPECT_TRUE(languages.isEmpty());
}

TEST_F(OrvoGalDeviceTest, ActivitiesAreListedWithTheirIdNameAndLap)
{
    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("240131120000.gal"),
                                      .flags = 0x10,
                                      .type = 3,
                                      .name = "Morning",
                                      .start = 1706702400,
                                      .end = 1706706000,
                                      .distance = 30500}));
    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("ABC.GAL"), .name = "Upper"}));
    ASSERT_TRUE(
        m_device.addActivity({.fileName = QStringLiteral("240201000000.gal"), .flags = 0x02, .name = "Hidden"}));
    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("240202000000.gal"), .name = "NoLap", .cutTo = 100}));
    // A stored name length past the header: the name stops at the header's end.
    GalFolderBuilder::Activity longName{.fileName = QStringLiteral("240203000000.gal")};
    QByteArray bytes = GalFolderBuilder::activityBytes(longName);
    FixtureBytes::putU16Le(bytes, 62, 200);
    FixtureBytes::putBytes(bytes, 72, "ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(OrvoTest::writeFile(m_root + QStringLiteral("/Activity/240203000000.gal"), bytes));
    ASSERT_TRUE(OrvoTest::writeFile(m_root + QStringLiteral("/Activity/notes.txt"), "x"));

    auto device = makeDevice(m_root);
    QVector<OrvoClientData> items;
    device->getTracks(items);
    ASSERT_EQ(items.size(), 5);
    const auto find = [&items](const QString &name) {
        for (const OrvoClientData &item : std::as_const(items)) {
            if (item.name == name)
                return item;
        }
        return OrvoClientData{};
    };
    const OrvoClientData morning = find(QStringLiteral("Morning"));
    EXPECT_EQ(morning.id, 1706702400);
    EXPECT_EQ(morning.kind, OrvoClientData::KindRide);
    EXPECT_EQ(morning.activityType, 3);
    EXPECT_TRUE(morning.uploaded);
    EXPECT_EQ(morning.startTime, QDateTime(QDate(2024, 1, 31), QTime(12, 0), QTimeZone::utc()));
    EXPECT_EQ(morning.endTime, QDateTime(QDate(2024, 1, 31), QTime(13, 0), QTimeZone::utc()));
    EXPECT_EQ(morning.totalLength, 30500);
    EXPECT_EQ(find(QStringLiteral("Upper")).id, 0) << "a name that is no time";
    const OrvoClientData noLap = find(QStringLiteral("NoLap"));
    EXPECT_EQ(noLap.id, 1706832000);
    EXPECT_FALSE(noLap.startTime.isValid());
    EXPECT_FALSE(noLap.endTime.isValid());
    EXPECT_EQ(find(QString()).id, 1706745600) << "flags bit 1: no name";
    EXPECT_EQ(find(QStringLiteral("ABCDEFGHIJKLMNOP")).id, 1706918400);
}

TEST_F(OrvoGalDeviceTest, WorkoutsAreListedInTheDeviceLanguageAcrossTheTypes)
{
    ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
    ASSERT_TRUE(m_device.addWorkout({.typeFolder = QStringLiteral("1_5_1"),
                                     .fileName = QStringLiteral("240101000000.wkt"),
                                     .time = 1704088800,
                                     .id = 1704067200,
                                     .activityType = 2,
                                     .workoutType = 5,
                                     .subType = 3,
                                     .names = {Name{"eng", "Tempo"}, Name{"deu", "Tempolauf"}}}));
    ASSERT_TRUE(m_device.addWorkout(
        {.fileName = QStringLiteral("240102000000.wkt"), .id = 1704153600, .names = {Name{"eng", "Easy"}}}));
    // A name stored as an 8 x 2 image.
    GalFolderBuilder::Workout image{.fileName = QStringLiteral("240103000000.wkt"),
                                    .id = 1704240000,
                                    .nameAsImage = true,
                                    .names = {Name{"eng", QByteArray("\xFF\x81", 2)}}};
    QByteArray bytes = GalFolderBuilder::workoutBytes(image);
    FixtureBytes::putU16Le(bytes, 38 + 8, 8);
    FixtureBytes::putU16Le(bytes, 38 + 10, 2);
    ASSERT_TRUE(OrvoTest::writeFile(m_root + QStringLiteral("/Workout/0_6_0/240103000000.wkt"), bytes));

    auto device = makeDevice(m_root);
    QVector<OrvoClientData> items;
    device->getWorkouts(items);
    ASSERT_EQ(items.size(), 3);
    const OrvoClientData &plain = items.at(0);
    EXPECT_EQ(plain.name, QStringLiteral("Easy")) << "the first entry when the language is missing";
    EXPECT_FALSE(plain.startTime.isValid()) << "template time 0xFFFFFFFF";
    const OrvoClientData &pictured = items.at(1);
    EXPECT_EQ(pictured.name, QString());
    EXPECT_FALSE(pictured.nameImage.isNull());
    EXPECT_EQ(pictured.nameImage.size(), QSize(8, 2));
    const OrvoClientData &tempo = items.at(2);
    EXPECT_EQ(tempo.name, QStringLiteral("Tempolauf"));
    EXPECT_EQ(tempo.id, 1704067200);
    EXPECT_EQ(tempo.itemId, 1704067200);
    EXPECT_EQ(tempo.kind, OrvoClientData::KindWorkout);
    EXPECT_EQ(tempo.startTime, QDateTime(QDate(2024, 1, 1), QTime(6, 0), QTimeZone::utc()));
    EXPECT_EQ(tempo.activityType, 2);
    EXPECT_EQ(tempo.workoutType, 5);
    EXPECT_EQ(tempo.subType, 3);
    EXPECT_EQ(callLog().count(QStringLiteral("GetProfile")), 1) << "one profile read for the whole list";
}

TEST_F(OrvoGalDeviceTest, DeletionsNameTheFilesByIdAndKind)
{
    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("240131120000.gal")}));
    ASSERT_TRUE(
        m_device.addWorkout({.typeFolder = QStringLiteral("0_5_0"), .fileName = QStringLiteral("240101000000.wkt")}));
    ASSERT_TRUE(
        m_device.addWorkout({.typeFolder = QStringLiteral("1_6_1"), .fileName = QStringLiteral("240102000000.wkt")}));
    ASSERT_TRUE(
        m_device.addWorkout({.typeFolder = QStringLiteral("0_0_1"), .fileName = QStringLiteral("240103000000.wkt")}));
    auto device = makeDevice(m_root);

    EXPECT_TRUE(device->deleteTracks({1706702400}));
    EXPECT_FALSE(QFileInfo::exists(m_root + QStringLiteral("/Activity/240131120000.gal")));
    EXPECT_FALSE(device->deleteTracks({1706702400})) << "the library deleted nothing";
    EXPECT_TRUE(device->deleteWorkouts({1704067200}));
    EXPECT_TRUE(callLog().contains(QStringLiteral("DeleteGALFile\t21\t240101000000.wkt\t=1\n")));
    EXPECT_TRUE(device->deletePOIs({1}));
    EXPECT_TRUE(device->deleteRoutes({1}));

    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("240131120000.gal")}));
    ASSERT_TRUE(
        m_device.addWorkout({.typeFolder = QStringLiteral("0_5_0"), .fileName = QStringLiteral("240101000000.wkt")}));
    clearCallLog();
    EXPECT_TRUE(device->deleteAll());
    const QString log = callLog();
    for (const char *line : {"DeleteGALFile\t30\t240131120000.gal\t=1\n", "DeleteGALFile\t21\t240103000000.wkt\t=1\n",
                             "DeleteGALFile\t36\t240101000000.wkt\t=1\n", "DeleteGALFile\t35\t240102000000.wkt\t=1\n"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line << "\n" << log.toStdString();
    QVector<OrvoClientData> left;
    device->getTracks(left);
    device->getWorkouts(left);
    EXPECT_TRUE(left.isEmpty());
}

// The library keeps one home for the process: a deletion on one device must not reach the
// device another one listed last.
TEST_F(OrvoGalDeviceTest, DeletionServesItsOwnDeviceWhateverWasListedLast)
{
    const QString otherRoot = m_dir.filePath(QStringLiteral("OTHER"));
    ASSERT_TRUE(GalFolderBuilder(otherRoot).addActivity({.fileName = QStringLiteral("240131120000.gal")}));
    ASSERT_TRUE(m_device.addActivity({.fileName = QStringLiteral("240131120000.gal")}));
    auto other = makeDevice(otherRoot);
    QVector<OrvoClientData> items;
    other->getTracks(items);
    ASSERT_EQ(items.size(), 1);

    EXPECT_TRUE(makeDevice(m_root)->deleteTracks({1706702400}));
    EXPECT_FALSE(QFileInfo::exists(m_root + QStringLiteral("/Activity/240131120000.gal")));
    EXPECT_TRUE(QFileInfo::exists(otherRoot + QStringLiteral("/Activity/240131120000.gal")));

    OrvoGalDevice iap;
    iap.setDeviceService(std::make_unique<IapService>(QStringLiteral("Kavel21")));
    EXPECT_FALSE(iap.deleteTracks({1706702400})) << "no drive, nothing deleted";
    EXPECT_TRUE(QFileInfo::exists(otherRoot + QStringLiteral("/Activity/240131120000.gal")));
}

TEST_F(OrvoGalDeviceTest, ExportHandsTheScriptTheDeviceAndItsProfile)
{
    ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
    RecordingScripts scripts;
    scripts.exported = {QStringLiteral("240131120000.krm")};
    auto device = makeDevice(m_root);
    const QString folder = m_dir.filePath(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString root = m_root + QLatin1Char('/');

    EXPECT_EQ(device->_exportTrack(folder), QStringList{folder + QStringLiteral("/240131120000.krm")});
    ASSERT_TRUE(m_device.setProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("71")}}));
    device->_exportTrack(folder);
    ASSERT_EQ(scripts.calls.size(), 2);
    EXPECT_EQ(scripts.calls.at(0), QStringList({QStringLiteral("ExportKrm"), folder, QStringLiteral("Kavel21"),
                                                QStringLiteral("1.0.0.1.05 Orvo2.8.0.20"), QString(), root})
                                       .join(QLatin1Char('|')))
        << "no profile on the device";
    EXPECT_EQ(scripts.calls.at(1), QStringList({QStringLiteral("ExportKrm"), folder, QStringLiteral("Kavel21"),
                                                QStringLiteral("1.0.0.1.05 Orvo2.8.0.20"),
                                                QDir::toNativeSeparators(tmpPath(QStringLiteral("pfread.ini"))), root})
                                       .join(QLatin1Char('|')));

    scripts.answer = false;
    EXPECT_TRUE(device->_exportTrack(folder).isEmpty());
    EXPECT_TRUE(device->error());
    OrvoClient::setDeviceScripts(nullptr);
    EXPECT_TRUE(device->_exportTrack(folder).isEmpty()) << "no scripting host";
}

TEST_F(OrvoGalDeviceTest, UploadZipHoldsTheExportAndItsWorkFolderGoes)
{
    RecordingScripts scripts;
    auto device = makeDevice(m_root);
    const QString tmp = OrvoEnv::instance()->tmpDir();
    // Next to the work folder, in the temporary folder.
    const QString zip = tmp + QLatin1Char('/') + OrvoEnv::instance()->uploadFileName();
    QFile::remove(zip);
    const auto workFolders = [&tmp] {
        return QDir(tmp).entryList({QStringLiteral("OrvoExportTmp*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    };

    QString path = QStringLiteral("unchanged");
    EXPECT_TRUE(device->prepareUploadData(path, false));
    EXPECT_EQ(path, QStringLiteral("unchanged")) << "nothing exported, no zip";
    EXPECT_FALSE(QFileInfo::exists(zip));
    EXPECT_TRUE(workFolders().isEmpty());

    scripts.exported = {QStringLiteral("240131120000.krm"), QStringLiteral("240201000000.krm")};
    ASSERT_TRUE(device->prepareUploadData(path, false));
    EXPECT_EQ(path, zip);
    EXPECT_EQ(zipEntries(zip), (QStringList{QStringLiteral("240131120000.krm"), QStringLiteral("240201000000.krm")}));
    EXPECT_TRUE(workFolders().isEmpty());

    // A folder in the zip's place: the zip cannot be written.
    ASSERT_TRUE(QFile::remove(zip));
    ASSERT_TRUE(QDir().mkpath(zip));
    path.clear();
    EXPECT_FALSE(device->prepareUploadData(path, false));
    EXPECT_EQ(path, QString());
    EXPECT_TRUE(workFolders().isEmpty());
    QDir(zip).removeRecursively();

    // A failed export is no empty one: false with the error flag, and no package.
    scripts.answer = false;
    device->setError(false);
    EXPECT_FALSE(device->prepareUploadData(path, false));
    EXPECT_TRUE(device->error());
    EXPECT_EQ(path, QString());
    EXPECT_FALSE(QFileInfo::exists(zip));
    EXPECT_TRUE(workFolders().isEmpty());
}

TEST_F(OrvoGalDeviceTest, ShareImportAnswersWhatTheScriptAnswers)
{
    auto device = makeDevice(m_root);
    const QString package = m_dir.filePath(QStringLiteral("share.zip"));
    {
        RecordingScripts scripts;
        EXPECT_FALSE(device->setShareData(package)) << "a mount point without the device's file";
        EXPECT_TRUE(scripts.calls.isEmpty());
    }
    ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
    EXPECT_FALSE(device->setShareData(package)) << "no scripting host";
    RecordingScripts scripts;
    EXPECT_TRUE(device->setShareData(package));
    EXPECT_EQ(scripts.calls, QStringList{QStringLiteral("galSetShareData|%1|%2").arg(m_root, package)});
    scripts.answer = false;
    EXPECT_FALSE(device->setShareData(package));
}

TEST_F(OrvoGalDeviceTest, ProfileReadNeverAnswersAStaleFile)
{
    RecordingScripts scripts;
    auto device = makeDevice(m_root);
    const QString read = tmpPath(QStringLiteral("pfread.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(read, "[General]\nSys-langCode=fra\n"));
    const QString xml = m_dir.filePath(QStringLiteral("profile.xml"));

    EXPECT_EQ(device->readProfileIni(m_root + QLatin1Char('/')), QString());
    EXPECT_FALSE(QFileInfo::exists(read));
    EXPECT_FALSE(device->prepareUploadProfile(xml));
    QStringList languages;
    EXPECT_FALSE(device->getLanguageOnDevice(languages));
    EXPECT_TRUE(languages.isEmpty());
    EXPECT_TRUE(scripts.calls.isEmpty());

    ASSERT_TRUE(m_device.setProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("70")}}));
    ASSERT_TRUE(device->prepareUploadProfile(xml));
    EXPECT_EQ(scripts.calls, QStringList{QStringLiteral("CreateProfileXml|%1|%2").arg(read, xml)});
    scripts.answer = false;
    EXPECT_FALSE(device->prepareUploadProfile(xml));
}

TEST_F(OrvoGalDeviceTest, DeviceLanguageFallsBackToEnglishAndSurvivesAFailedRead)
{
    auto device = makeDevice(m_root);
    QStringList languages;
    {
        OrvoMessageCapture log;
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("70")}}));
        ASSERT_TRUE(device->getLanguageOnDevice(languages));
        EXPECT_EQ(languages, QStringList{QStringLiteral("eng")});
        EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("no language on device , set to english")), 1);
    }
    ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
    languages = {QStringLiteral("kept")};
    ASSERT_TRUE(device->getLanguageOnDevice(languages));
    EXPECT_EQ(languages, (QStringList{QStringLiteral("kept"), QStringLiteral("deu")})) << "appended";

    // The updater relies on the last language read: a failed read leaves it.
    ASSERT_TRUE(QFile::remove(m_root + QStringLiteral("/System/profile.ini")));
    languages.clear();
    EXPECT_FALSE(device->getLanguageOnDevice(languages));
    device->setDeviceService(std::make_unique<IapService>(QStringLiteral("Kavel21")));
    ASSERT_TRUE(device->getLanguageOnDevice(languages));
    EXPECT_EQ(languages, QStringList{QStringLiteral("deu")});
}

TEST_F(OrvoGalDeviceTest, SavedProfileReachesTheDeviceThroughTheLibrary)
{
    RecordingScripts scripts;
    auto device = makeDevice(m_root);
    const QString write = tmpPath(QStringLiteral("pfwrite.ini"));
    EXPECT_FALSE(device->saveProfile({})) << "a mount point without the device's file";
    EXPECT_TRUE(scripts.calls.isEmpty());
    ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));

    EXPECT_TRUE(device->saveProfile({}));
    EXPECT_EQ(scripts.calls, QStringList{QStringLiteral("CreateProfileIni|||%1").arg(write)}) << "two empty lists";

    scripts.calls.clear();
    ASSERT_TRUE(device->saveProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("72")},
                                     {QStringLiteral("Sys-langCode"), QStringLiteral("eng")}}));
    EXPECT_EQ(scripts.calls,
              QStringList{QStringLiteral("CreateProfileIni|Sys-langCode,User Weight.Metric|eng,72|%1").arg(write)});
    EXPECT_TRUE(OrvoTest::readFile(m_root + QStringLiteral("/System/profile.ini")).contains("User Weight.Metric=72"));

    scripts.answer = false;
    EXPECT_FALSE(device->saveProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("73")}}));
    OrvoGalDevice iap;
    iap.setDeviceService(std::make_unique<IapService>(QStringLiteral("Kavel21")));
    scripts.answer = true;
    EXPECT_FALSE(iap.saveProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("73")}})) << "no drive";
}

} // namespace

TEST_F(OrvoGalDeviceTest, LanguageFontsAreCopiedOnlyWhenTheDeviceHoldsAnotherOne)
{
    const QString package = m_dir.filePath(QStringLiteral("langpack"));
    const QByteArray english = QByteArray("ENG2eng") + QByteArray(30, 'e');
    const QByteArray german = QByteArray("DEU2deu") + QByteArray(30, 'd');
    ASSERT_TRUE(OrvoTest::writeFile(package + QStringLiteral("/f_eng_.bft"), english));
    ASSERT_TRUE(OrvoTest::writeFile(package + QStringLiteral("/f_deu_.bft"), german));
    const QString lang = m_root + QStringLiteral("/Lang/");
    auto device = makeDevice(m_root);

    ASSERT_TRUE(OrvoTest::writeFile(lang + QStringLiteral("f_eng_.bft"), "ENG2 older glyphs"));
    ASSERT_TRUE(OrvoTest::writeFile(lang + QStringLiteral("f_deu_.bft"), "DEU1"));
    device->copyLangFiles(package, {QStringLiteral("fra")});
    EXPECT_EQ(OrvoTest::readFile(lang + QStringLiteral("f_eng_.bft")), QByteArray("ENG2 older glyphs"))
        << "the same font, told by its first bytes, is not copied";
    EXPECT_EQ(OrvoTest::readFile(lang + QStringLiteral("f_deu_.bft")), QByteArray("DEU1"));

    ASSERT_TRUE(OrvoTest::writeFile(lang + QStringLiteral("f_eng_.bft"), "ENG1"));
    device->copyLangFiles(package, {});
    EXPECT_EQ(OrvoTest::readFile(lang + QStringLiteral("f_eng_.bft")), english);
    EXPECT_EQ(OrvoTest::readFile(lang + QStringLiteral("f_deu_.bft")), german) << "every device font follows";

    ASSERT_TRUE(QDir(lang).removeRecursively());
    device->copyLangFiles(package, {QStringLiteral("deu")});
    EXPECT_EQ(OrvoTest::readFile(lang + QStringLiteral("f_deu_.bft")), german);
    EXPECT_FALSE(QFileInfo::exists(lang + QStringLiteral("f_eng_.bft")));
}

// The fonts follow the trigger onto the drive; a drive that went in between is not made anew
// where it was mounted, and nothing is written there.
TEST_F(OrvoGalDeviceTest, LanguageFontsAreNotCopiedWhereAnUnpluggedDriveWas)
{
    const QString package = m_dir.filePath(QStringLiteral("langpack"));
    ASSERT_TRUE(OrvoTest::writeFile(package + QStringLiteral("/f_deu_.bft"), QByteArray("DEU2deu") + "glyphs"));
    auto device = makeDevice(m_root);
    const QString away = m_root + QStringLiteral(".unplugged");
    ASSERT_TRUE(QDir().rename(m_root, away));

    device->copyLangFiles(package, {QStringLiteral("deu")});
    EXPECT_FALSE(QFileInfo::exists(m_root));

    ASSERT_TRUE(QDir().rename(away, m_root));
    device->copyLangFiles(package, {QStringLiteral("deu")});
    EXPECT_EQ(OrvoTest::readFile(m_root + QStringLiteral("/Lang/f_deu_.bft")), QByteArray("DEU2deuglyphs"));
}
