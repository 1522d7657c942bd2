#include "FixtureZip.h"
#include "GalFolderBuilder.h"
#include "GalPackageBuilder.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceRowRegistration.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoSCSIDeviceService.h"
#include "devices/gal/GalFirmwareImage.h"
#include "devices/gal/OrvoGalDevice.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <vector>

namespace {

OrvoDeviceInfo galRow(const QString &model)
{
    return {QStringLiteral("1207"), model, QStringLiteral("TARVEX"), {}};
}

// The device in IAP mode: every command block is kept with the bytes it carried, and the
// command numbered failAt (from 1) fails.
class RecordingScsi : public OrvoSCSIDeviceService
{
public:
    struct Command
    {
        QByteArray cdb;
        QByteArray data;
        bool dataIn;
    };

    RecordingScsi()
        : m_info(galRow(QStringLiteral("Kavel21")))
    {}
    bool readDeviceId(QString &id) override
    {
        id = QStringLiteral("1207A1B2C3D4E5F6");
        return true;
    }
    OrvoDeviceInfo *deviceInfo() override { return &m_info; }
    int serviceType() const override { return ScsiPassThroughService; }
    bool openClient() override { return true; }
    bool closeClient() override { return true; }
    bool writeClient(const quint8 *cdb, int cdbLength, const char *data, qsizetype length) override
    {
        commands.push_back(
            {QByteArray(reinterpret_cast<const char *>(cdb), cdbLength), QByteArray(data, length), false});
        return int(commands.size()) != failAt;
    }
    bool readClient(const quint8 *cdb, int cdbLength, char *buffer, qsizetype length) override
    {
        std::fill(buffer, buffer + length, '\0');
        commands.push_back(
            {QByteArray(reinterpret_cast<const char *>(cdb), cdbLength), QByteArray(length, '\0'), true});
        return int(commands.size()) != failAt;
    }

    // The bytes of every block write, in order; erase commands carry no whole block.
    QByteArray written() const
    {
        QByteArray bytes;
        for (const Command &c : commands)
            bytes += (c.dataIn || c.data.size() != 4096) ? QByteArray() : c.data;
        return bytes;
    }

    std::vector<Command> commands;
    int failAt = 0;

private:
    OrvoDeviceInfo m_info;
};

class RecordingRows : public OrvoDeviceRowRegistration
{
public:
    RecordingRows() { OrvoClient::setDeviceRows(this); }
    ~RecordingRows() override { OrvoClient::setDeviceRows(nullptr); }
    void addDeviceRowAtFront(const OrvoDeviceInfo &row) override { rows.prepend(row); }
    void removeDeviceRow(const QString &model) override
    {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (rows.at(i).modelName == model) {
                rows.removeAt(i);
                return;
            }
        }
    }
    QVector<OrvoDeviceInfo> rows;
};

class OrvoGalUpdateTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { OrvoEnv::instance()->init(QStringLiteral("daemon"), QString()); }

    void SetUp() override
    {
        qputenv("LUMOLIB_CALL_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("calls.log"))));
        ASSERT_TRUE(QDir(m_package).removeRecursively());
        ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
    }
    void TearDown() override { qunsetenv("LUMOLIB_CALL_LOG"); }

    bool put(const QString &name, const QByteArray &bytes) const
    {
        return OrvoTest::writeFile(m_package + QLatin1Char('/') + name, bytes);
    }
    // A package whose image starts at block 0x20 and whose language binary at block 0x100.
    bool putPackage(const QByteArray &imageAddress = "0x20000", const QByteArray &languageAddress = "0x100000") const
    {
        return put(QStringLiteral("release.ini"), "[IMG]\r\nName=TrevanisBR\r\nSize=8\r\nExt_FlashImageStartAddr=" +
                                                      imageAddress + "\r\nExt_FlashLangStartAddr=" + languageAddress +
                                                      "\r\nLangVersion=01020305\r\n[OS]\r\nVersion=1.06\r\n") &&
               put(QStringLiteral("TrevanisBR.bin"), QByteArray(3000, 'i')) &&
               put(QStringLiteral("header.bin"), QByteArray(100, 'h')) &&
               put(QStringLiteral("f_deu_.bft"), QByteArray("DEU1deu") + QByteArray(50, 'd'));
    }
    // The device on its drive, served under the row of model.
    std::unique_ptr<OrvoGalDevice> deviceOnDrive(const QString &model = QStringLiteral("Kavel21"))
    {
        auto device = std::make_unique<OrvoGalDevice>();
        device->setDeviceService(
            std::make_unique<OrvoFSDeviceService>(m_root, galRow(model), m_root + QStringLiteral("/device.ini")));
        return device;
    }
    // A package zip whose release carries the device's own OS and language versions.
    QString samePackage(GalPackageBuilder::Package package = {})
    {
        package.release.osVersion = QStringLiteral("1.05");
        package.release.languageVersion = QStringLiteral("01020304");
        const QString path = m_dir.filePath(QStringLiteral("package.zip"));
        EXPECT_TRUE(GalPackageBuilder::write(path, package));
        return path;
    }
    // What the update left in the drive's root besides the device's own files and the library
    // emulator's.
    QStringList writtenToDrive() const
    {
        QStringList names = QDir(m_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
        names.removeAll(QStringLiteral("device.ini"));
        names.removeAll(QStringLiteral("System"));
        names.removeAll(QStringLiteral("emu.ini"));
        return names;
    }
    // The device read on its drive first, then in IAP mode.
    std::unique_ptr<OrvoGalDevice> deviceInIapMode(RecordingScsi *&scsi)
    {
        auto device = std::make_unique<OrvoGalDevice>();
        device->setDeviceService(std::make_unique<OrvoFSDeviceService>(m_root, galRow(QStringLiteral("Kavel21")),
                                                                       m_root + QStringLiteral("/device.ini")));
        QStringList languages;
        device->loadDeviceInfo();
        device->getLanguageOnDevice(languages);
        auto service = std::make_unique<RecordingScsi>();
        scsi = service.get();
        device->setDeviceService(std::move(service));
        return device;
    }

    OrvoTest::OutputDir m_dir;
    QString m_root = m_dir.filePath(QStringLiteral("KAVEL21"));
    GalFolderBuilder m_device{m_root};
    QString m_package = GalFirmwareImage::packageFolder();
};

TEST_F(OrvoGalUpdateTest, IapModeWritesImageAndLanguageBinaryFromTheirBlocksAndNotifies)
{
    ASSERT_TRUE(putPackage());
    RecordingScsi *scsi = nullptr;
    auto device = deviceInIapMode(scsi);
    QByteArray image;
    QByteArray language;
    const OrvoImageMetaInfo meta = device->getImageMetaInfo(m_package + QStringLiteral("/release.ini"));
    ASSERT_TRUE(device->prepareImageBinary({QStringLiteral("deu")}, image, meta));
    ASSERT_TRUE(device->prepareLangBinary(language));

    OrvoMessageCapture log;
    ASSERT_TRUE(device->upgradeInIAPMode());
    // 8 KiB image = 2 blocks; the language binary fits one padded block.
    QByteArray expected = image + language + QByteArray(4096 - language.size(), char(0xFF));
    EXPECT_EQ(scsi->written(), expected);
    ASSERT_EQ(scsi->commands.size(), size_t(2 + 2 + 1 + 1 + 1)) << "erase and write 2 blocks, then 1, then notify";
    EXPECT_EQ(scsi->commands.back().cdb, QByteArray::fromHex("2800000000001A000100"));
    EXPECT_EQ(scsi->commands.back().data.size(), 512);
}

TEST_F(OrvoGalUpdateTest, ImageSizeIsBoundedByTheExternalFlash)
{
    struct Case
    {
        const char *name;
        QByteArray size;
        int bytes;
    };
    const Case cases[] = {
        {"the whole flash", "262144", 256 * 1024 * 1024},
        {"one KiB more than the flash", "262145", 0},
        {"two GiB", "2097151", 0},
        {"not a number", "big", 0},
    };
    RecordingScsi *scsi = nullptr;
    auto device = deviceInIapMode(scsi);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(put(QStringLiteral("release.ini"), "[IMG]\r\nName=TrevanisBR\r\nSize=" + c.size + "\r\n"));
        EXPECT_EQ(device->getImageMetaInfo(m_package + QStringLiteral("/release.ini")).imageSize, c.bytes);
    }
}

struct RefusedAddressCase
{
    const char *name;
    QByteArray image;
    QByteArray language;
};

TEST_F(OrvoGalUpdateTest, UnusableStartAddressesAreRefusedBeforeAnyErase)
{
    const std::vector<RefusedAddressCase> cases = {
        {"unknown image address", "zz", "0x100000"},
        {"language not at a block start", "0x20000", "0x100800"},
        {"beyond 16-bit blocks", "0x10000000", "0x100000"},
    };
    for (const RefusedAddressCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(putPackage(c.image, c.language));
        RecordingScsi *scsi = nullptr;
        auto device = deviceInIapMode(scsi);
        EXPECT_FALSE(device->upgradeInIAPMode());
        EXPECT_TRUE(scsi->commands.empty());
    }
}

TEST_F(OrvoGalUpdateTest, AFailedFlashCommandStopsTheUpdateBeforeTheNotice)
{
    ASSERT_TRUE(putPackage());
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        RecordingScsi *scsi = nullptr;
        auto device = deviceInIapMode(scsi);
        scsi->failAt = failAt;
        EXPECT_FALSE(device->upgradeInIAPMode());
        EXPECT_EQ(scsi->commands.size(), size_t(failAt)) << "nothing is sent after the failed command";
    }
}

TEST_F(OrvoGalUpdateTest, IapRowMatchesTheIapNameAtTheFrontAndGoesAfterTheSecondPhase)
{
    RecordingRows rows;
    rows.rows.append(galRow(QStringLiteral("Kavel21")));
    RecordingScsi *scsi = nullptr;
    auto device = deviceInIapMode(scsi);
    device->registerIapDeviceInfo(QString());
    ASSERT_EQ(rows.rows.size(), 2);
    EXPECT_EQ(rows.rows.first().productId, QStringLiteral("1207"));
    EXPECT_EQ(rows.rows.first().matchString, QStringLiteral("TrevanisIAP"));
    EXPECT_TRUE(bool(rows.rows.first().factory));
    device->registerIapDeviceInfo(QStringLiteral("trevanis"));
    EXPECT_EQ(rows.rows.first().matchString, QStringLiteral("TREVANIS"));

    ASSERT_TRUE(putPackage());
    EXPECT_FALSE(device->updateFlashes(m_dir.filePath(QStringLiteral("none"))));
    EXPECT_EQ(rows.rows.size(), 2) << "the first row of the model went";
    EXPECT_EQ(rows.rows.first().matchString, QStringLiteral("TrevanisIAP"));
}

TEST_F(OrvoGalUpdateTest, RestoreWritesTheReleasesInternalAndExternalImages)
{
    const QString restore = m_dir.filePath(QStringLiteral("restore"));
    ASSERT_TRUE(
        OrvoTest::writeFile(restore + QStringLiteral("/release.ini"), "Name=Trevanis\r\n[IMG]\r\nName=other\r\n"));
    ASSERT_TRUE(OrvoTest::writeFile(restore + QStringLiteral("/Trevanis.bin"), QByteArray(2048, 'n')));
    ASSERT_TRUE(OrvoTest::writeFile(restore + QStringLiteral("/TrevanisExData.bin"), QByteArray(5000, 'x')));
    RecordingScsi *scsi = nullptr;
    auto device = deviceInIapMode(scsi);
    ASSERT_TRUE(device->updateFlashes(restore));
    QByteArray internal;
    QByteArray external;
    for (const RecordingScsi::Command &c : scsi->commands) {
        internal += c.data.size() == 2048 ? c.data : QByteArray();
        external += c.data.size() == 4096 ? c.data : QByteArray();
    }
    EXPECT_EQ(internal, QByteArray(2048, 'n'));
    EXPECT_EQ(external, QByteArray(5000, 'x') + QByteArray(3192, char(0xFF)));
}

TEST_F(OrvoGalUpdateTest, RestoreOnTheDeviceRemovesOnlyItsIapRowOnce)
{
    const QString restore = m_dir.filePath(QStringLiteral("restore"));
    ASSERT_TRUE(
        OrvoTest::writeFile(restore + QStringLiteral("/release.ini"), "Name=Trevanis\r\n[IMG]\r\nName=other\r\n"));
    ASSERT_TRUE(OrvoTest::writeFile(restore + QStringLiteral("/Trevanis.bin"), QByteArray(2048, 'n')));
    ASSERT_TRUE(OrvoTest::writeFile(restore + QStringLiteral("/TrevanisExData.bin"), QByteArray(5000, 'x')));
    RecordingRows rows;
    rows.rows.append(galRow(QStringLiteral("Kavel21")));
    auto device = deviceOnDrive();
    device->loadDeviceInfo();

    // First phase on the drive: the trigger, and the IAP row in front of the model's own.
    ASSERT_TRUE(device->_restoreFactory(restore));
    EXPECT_TRUE(QFileInfo::exists(m_root + QStringLiteral("/update.ini")));
    ASSERT_EQ(rows.rows.size(), 2);

    // Second phase in IAP mode: the flashes are written and only the IAP row goes.
    auto service = std::make_unique<RecordingScsi>();
    RecordingScsi *scsi = service.get();
    device->setDeviceService(std::move(service));
    EXPECT_TRUE(device->_restoreFactory(restore));
    EXPECT_FALSE(scsi->commands.empty());
    ASSERT_EQ(rows.rows.size(), 1) << "the model's own row went too";
    EXPECT_EQ(rows.rows.first().matchString, QStringLiteral("TARVEX"));
}

TEST_F(OrvoGalUpdateTest, RestoreWithUpdateMethod1DemandsAnUpdateAndAnswersFalse)
{
    GalFolderBuilder::DeviceIni ini;
    ini.updateMethod = QStringLiteral("1");
    ASSERT_TRUE(m_device.setDeviceIni(ini));
    auto device = std::make_unique<OrvoGalDevice>();
    device->setDeviceService(std::make_unique<OrvoFSDeviceService>(m_root, galRow(QStringLiteral("Kavel21")),
                                                                   m_root + QStringLiteral("/device.ini")));
    OrvoEnv::instance()->setForceDeviceUpdate(false);
    EXPECT_FALSE(device->_restoreFactory(m_package));
    EXPECT_TRUE(OrvoEnv::instance()->isForceDeviceUpdate());
    OrvoEnv::instance()->setForceDeviceUpdate(false);
}

struct SameVersionCase
{
    const char *name;
    QString updateMethod;
    QString releaseBootLoader;
    QByteArray iapBin;
    bool result;
    QStringList written;
};

TEST_F(OrvoGalUpdateTest, EqualVersionsWriteOnlyTheTriggerAfterADifferentBootLoader)
{
    const QByteArray iap(5000, 'b');
    const std::vector<SameVersionCase> cases = {
        {"method 1, same boot loader", "1", "B210", iap, true, {"update.ini"}},
        {"method 2, no boot loader in the release", "2", "", iap, true, {"update.ini"}},
        {"method 1, new boot loader", "1", "B300", iap, true, {"iap.bin", "update.ini"}},
        {"method 2, new boot loader", "2", "B300", iap, true, {"iap.bin", "update.ini"}},
        {"new boot loader missing from the package", "2", "B300", QByteArray(), false, {}},
    };
    for (const SameVersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root).removeRecursively());
        GalFolderBuilder::DeviceIni ini;
        ini.updateMethod = c.updateMethod;
        ASSERT_TRUE(m_device.setDeviceIni(ini));
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
        GalPackageBuilder::Package package;
        package.release.bootLoaderVersion = c.releaseBootLoader;
        package.iapBin = c.iapBin;
        RecordingRows rows;
        auto device = deviceOnDrive();
        OrvoMessageCapture log;
        EXPECT_EQ(device->_updateTotal(samePackage(package), QString()), c.result);
        EXPECT_EQ(writtenToDrive(), c.written);
        EXPECT_EQ(device->getState(), int(OrvoClient::STATE_IN_SERVICE));
        EXPECT_TRUE(rows.rows.isEmpty()) << "no restart awaited";
        if (c.written.contains(QStringLiteral("iap.bin"))) {
            EXPECT_EQ(OrvoTest::readFile(m_root + QStringLiteral("/iap.bin")), iap);
        }
        if (!c.result) {
            EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("copy iap.bin failed")));
        }
    }
}

struct BootLoaderOnlyCase
{
    const char *name;
    QString model;
    QStringList written;
};

TEST_F(OrvoGalUpdateTest, AZ417BootLoaderOnAKavel20plusTakesOnlyTheTrigger)
{
    const std::vector<BootLoaderOnlyCase> cases = {
        {"Kavel20plus", "Kavel20plus", {"update.ini"}},
        {"another model goes on to the image", "Kavel21", {"IMG.bin", "Lang", "update.ini"}},
    };
    for (const BootLoaderOnlyCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root).removeRecursively());
        GalFolderBuilder::DeviceIni ini;
        ini.model = c.model;
        ini.bootLoader = QStringLiteral("Z417");
        ini.updateMethod = QStringLiteral("1");
        ASSERT_TRUE(m_device.setDeviceIni(ini));
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
        const QString package = m_dir.filePath(QStringLiteral("new.zip"));
        ASSERT_TRUE(GalPackageBuilder::write(package, {}));
        auto device = deviceOnDrive(c.model);
        EXPECT_TRUE(device->_updateTotal(package, QString()));
        EXPECT_EQ(writtenToDrive(), c.written);
    }
}

struct ProfileCase
{
    const char *name;
    QString updateMethod;
    QByteArray profileMap;
    QByteArray libraryAnswer;
    const char *message;
    int syncState;
    QStringList written;
};

TEST_F(OrvoGalUpdateTest, TheProfileUpdateIsLoggedAndNeverStopsTheUpdate)
{
    const std::vector<ProfileCase> cases = {
        {"no profile map", "2", QByteArray(), "2", "not profile bin exist", 0, {"update.ini"}},
        {"device must synchronise", "2", "map", "2", nullptr, 2, {"syncprofile.ini", "update.ini"}},
        {"library failed", "2", "map", "0", "UpdateProfile() return failed", 0, {"update.ini"}},
        {"method 1 leaves the profile", "1", "map", "2", nullptr, 1, {"update.ini"}},
    };
    for (const ProfileCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root).removeRecursively());
        GalFolderBuilder::DeviceIni ini;
        ini.updateMethod = c.updateMethod;
        ASSERT_TRUE(m_device.setDeviceIni(ini));
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
        ASSERT_TRUE(m_device.setEmulator("[EMU]\nUpdateProfile=" + c.libraryAnswer + "\n"));
        GalPackageBuilder::Package package;
        package.profileBin = "profile";
        package.profileMap = c.profileMap;
        auto device = deviceOnDrive();
        OrvoMessageCapture log;
        EXPECT_TRUE(device->_updateTotal(samePackage(package), QString()));
        EXPECT_EQ(writtenToDrive(), c.written);
        EXPECT_EQ(device->profileSyncState(), c.syncState);
        if (c.message != nullptr) {
            EXPECT_TRUE(log.contains(QtCriticalMsg, QString::fromLatin1(c.message)));
        }
    }
}

TEST_F(OrvoGalUpdateTest, ASecondPhaseOnTheDriveAnswersFalseAndEndsTheWait)
{
    RecordingRows rows;
    OrvoDeviceInfo iapRow = galRow(QStringLiteral("Kavel21"));
    iapRow.matchString = QStringLiteral("TrevanisIAP");
    rows.rows = {iapRow, galRow(QStringLiteral("Kavel21"))};
    auto device = deviceOnDrive();
    ASSERT_TRUE(device->setStateWithMatch(OrvoClient::STATE_IN_SERVICE, OrvoClient::STATE_TOTAL_UPDATE));
    EXPECT_FALSE(device->_updateTotal(QString(), QString()));
    EXPECT_EQ(device->getState(), int(OrvoClient::STATE_OUT_OF_SERVICE));
    ASSERT_EQ(rows.rows.size(), 1) << "the updater's row goes all the same";
    EXPECT_EQ(rows.rows.first().matchString, QStringLiteral("TARVEX"));
    EXPECT_TRUE(writtenToDrive().isEmpty());
}

struct BlockedCopyCase
{
    const char *name;
    QString updateMethod;
    QString releaseBootLoader;
    QString blocked;
};

// A copy that never reaches the drive whole must not be followed by the trigger, or the
// device would restart into a half-written boot loader or image.
TEST_F(OrvoGalUpdateTest, ACopyThatNeverReadsBackStopsTheUpdateBeforeTheTrigger)
{
    const std::vector<BlockedCopyCase> cases = {
        {"boot loader", "2", "B300", "iap.bin"},
        {"flash image", "1", "", "IMG.bin"},
    };
    for (const BlockedCopyCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root).removeRecursively());
        GalFolderBuilder::DeviceIni ini;
        ini.updateMethod = c.updateMethod;
        ASSERT_TRUE(m_device.setDeviceIni(ini));
        ASSERT_TRUE(m_device.setProfile({{QStringLiteral("Sys-langCode"), QStringLiteral("deu")}}));
        // A folder in the file's place: nothing can be written there.
        ASSERT_TRUE(QDir().mkpath(m_root + QLatin1Char('/') + c.blocked));
        GalPackageBuilder::Package package;
        package.release.bootLoaderVersion = c.releaseBootLoader;
        package.iapBin = "boot loader";
        const QString file = m_dir.filePath(QStringLiteral("new.zip"));
        ASSERT_TRUE(GalPackageBuilder::write(file, package));
        RecordingRows rows;
        auto device = deviceOnDrive();
        EXPECT_FALSE(device->_updateTotal(file, QString()));
        EXPECT_EQ(writtenToDrive(), QStringList{c.blocked});
        EXPECT_EQ(device->getState(), int(OrvoClient::STATE_IN_SERVICE));
        EXPECT_TRUE(rows.rows.isEmpty());
    }
}

TEST_F(OrvoGalUpdateTest, AnUnwritableTriggerLeavesTheDeviceWaitingForNothing)
{
    // A folder in the trigger's place: the device could never be told to restart.
    ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/update.ini")));
    const QString package = m_dir.filePath(QStringLiteral("new.zip"));
    ASSERT_TRUE(GalPackageBuilder::write(package, {}));
    RecordingRows rows;
    auto device = deviceOnDrive();
    EXPECT_FALSE(device->_updateTotal(package, QString()));
    EXPECT_EQ(device->getState(), int(OrvoClient::STATE_IN_SERVICE));
    EXPECT_TRUE(rows.rows.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(m_root + QStringLiteral("/device.ini"))) << "the drive was not ejected";
}

} // namespace

// Nothing reaches the drive unless the package holds the release file the update reads, and the
// drive still holds the device (a mount point left empty after the drive went does not).
TEST_F(OrvoGalUpdateTest, NothingReachesTheDriveWithoutTheReleaseFileOrTheDevice)
{
    struct Case
    {
        const char *name;
        bool withRelease;
        bool deviceOnDrive;
    };
    const Case cases[] = {
        {"a package without its release file", false, true},
        {"a mount point left empty", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(m_root));
        if (c.deviceOnDrive) {
            ASSERT_TRUE(m_device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
        }
        GalPackageBuilder::Package package;
        QByteArray zip = GalPackageBuilder::zip(package);
        if (!c.withRelease) {
            zip = FixtureZip::storedArchive({{"TrevanisBR.bin", package.image},
                                             {"header.bin", package.header},
                                             {"f_deu_.bft", package.fonts.at(1).second}});
        }
        const QString path = m_dir.filePath(QStringLiteral("package.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(path, zip));
        const QStringList before = QDir(m_root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        EXPECT_FALSE(deviceOnDrive()->_updateTotal(path, QString()));
        EXPECT_EQ(QDir(m_root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }
}
