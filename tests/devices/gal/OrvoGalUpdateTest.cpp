#include "GalFolderBuilder.h"
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

} // namespace
