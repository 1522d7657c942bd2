#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "device/ScsiCommand.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoPlatformSelection.h"

#include <QDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QVector<OrvoDeviceInfo> kTypes = {
    {QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}},
};

// A description of a device with a device-id area and one flash memory read in 4096-byte
// blocks; fields can be replaced per test.
QByteArray description(const QByteArray &memoryExtra = QByteArray(), const QByteArray &areaExtra = QByteArray(),
                       const QByteArray &deviceId = "1105ABCDEF012345")
{
    return R"({"vendor": "TARVEX", "product": "KOSMIR", "version": "0207", "revision": "1.00",
               "deviceId": ")" +
           deviceId + R"(",
               "memories": [{"name": "flash", "size": 8192, "eraseBeforeWrite": true)" +
           memoryExtra + R"(}],
               "areas": [{"code": 3, "access": "deviceId", "transferSize": 2048},
                         {"code": 16, "access": "read", "memory": "flash", "transferSize": 4096)" +
           areaExtra + R"(}]})";
}

class OrvoEmulatedFolderTest : public ::testing::Test
{
protected:
    QString folder() const { return m_dir.path(); }

    void write(const QString &name, const QByteArray &bytes)
    {
        ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(name), bytes));
    }

    OrvoTest::OutputDir m_dir;
};

TEST_F(OrvoEmulatedFolderTest, SubFoldersAreDrivesWithTheirVendorTextAndDescriptionsAreFlashDevices)
{
    QDir(folder()).mkpath(QStringLiteral("KAVEL50"));
    QDir(folder()).mkpath(QStringLiteral("SPARE"));
    QDir(folder()).mkpath(QStringLiteral(".hidden"));
    write(QStringLiteral("KAVEL50.vendor"), "TarvexKavel50\nsecond line\n");
    write(QStringLiteral("SPARE.label"), " KAVEL60MAP \n");
    write(QStringLiteral("kosmir.img"), "IMAGE");
    write(QStringLiteral("kosmir.scsi"), description(R"(, "image": "kosmir.img")"));

    OrvoEmulatedPlatform platform;
    ASSERT_TRUE(OrvoEmulatedFolder(folder()).plugInto(platform));

    const QString kavel = QDir(folder()).absoluteFilePath(QStringLiteral("KAVEL50"));
    const QString spare = QDir(folder()).absoluteFilePath(QStringLiteral("SPARE"));
    EXPECT_EQ(platform.getRemovableDrives(QStringLiteral("msdos")), (QStringList{kavel, spare}));
    EXPECT_EQ(platform.getDriveVendorName(kavel), QStringLiteral("TarvexKavel50"));
    EXPECT_EQ(platform.getDriveVendorName(spare), QString());
    EXPECT_EQ(platform.getVolumeLabel(kavel), QString());
    EXPECT_EQ(platform.getVolumeLabel(spare), QStringLiteral("KAVEL60MAP"));

    OrvoPlatformInterface::DeviceServices services = platform.findSCSIDevices(kTypes);
    ASSERT_EQ(services.size(), 1u);
    QString id;
    EXPECT_TRUE(services.front()->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("1105ABCDEF012345"));
    EXPECT_EQ(services.front()->deviceInfo()->modelName, QStringLiteral("Kavel40"));

    // The image sits at the memory's start, the rest is erased flash, as a read shows.
    auto *scsi = dynamic_cast<OrvoSCSIDeviceService *>(services.front().get());
    ASSERT_NE(scsi, nullptr);
    ASSERT_TRUE(scsi->openClient());
    const ScsiCommand::Cdb10 read = ScsiCommand::vendorRead(0, 16, 4096 / ScsiCommand::kSectorSize);
    QByteArray block(4096, '\0');
    ASSERT_TRUE(scsi->readClient(read.data(), int(read.size()), block.data(), block.size()));
    EXPECT_EQ(block.left(5), QByteArray("IMAGE"));
    EXPECT_EQ(block.mid(5), QByteArray(4096 - 5, char(0xFF)));
}

TEST_F(OrvoEmulatedFolderTest, InvalidDescriptionsLeaveTheirDeviceOutWithTheReason)
{
    write(QStringLiteral("big.img"), QByteArray(8193, 'x'));
    struct Case
    {
        const char *name;
        QByteArray text;
        const char *reason;
    };
    const std::vector<Case> cases = {
        {"not JSON", "{\"vendor\": ", "is no JSON object"},
        {"short device id", description({}, {}, "1105"), "\"deviceId\" must have 16 characters"},
        {"product too long", R"({"product": "KOSMIR-KOSMIR", "deviceId": "1105ABCDEF012345"})", "\"product\""},
        {"memory too large", description(R"(, "size": 1e12)"), "\"size\" must be a whole number"},
        {"image larger than its memory", description(R"(, "image": "big.img")"), "larger than 8192 bytes"},
        {"missing image", description(R"(, "image": "none.img")"), "image none.img of memory flash is missing"},
        {"area of an unknown memory", description({}, R"(, "memory": "eeprom")"), "area 16 names no memory"},
        {"transfer of part of a sector", description({}, R"(, "transferSize": 1000)"), "multiple of 512"},
        {"unknown access", description({}, R"(, "access": "format")"), "\"access\" must be one of"},
        {"no areas", R"({"deviceId": "1105ABCDEF012345", "memories": []})", "\"areas\" must be a list"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        write(QStringLiteral("device.scsi"), c.text);
        OrvoMessageCapture log;
        EXPECT_EQ(OrvoEmulatedFolder::loadFlashDevice(m_dir.filePath(QStringLiteral("device.scsi"))), nullptr);
        EXPECT_TRUE(log.contains(QtWarningMsg, QLatin1String(c.reason)));
    }

    // One bad description does not keep the others out.
    write(QStringLiteral("good.scsi"), description());
    OrvoEmulatedPlatform platform;
    ASSERT_TRUE(OrvoEmulatedFolder(folder()).plugInto(platform));
    EXPECT_EQ(platform.findSCSIDevices(kTypes).size(), 1u);
}

TEST_F(OrvoEmulatedFolderTest, SelectionPutsTheEmulatedPlatformInPlaceOnlyWhileItLives)
{
    QDir(folder()).mkpath(QStringLiteral("DRIVE"));
    const QString drive = QDir(folder()).absoluteFilePath(QStringLiteral("DRIVE"));
    {
        const OrvoPlatformSelection selection(QStringLiteral("emulator:") + folder());
        ASSERT_NE(selection.emulatedPlatform(), nullptr);
        EXPECT_EQ(OrvoPlatform().getRemovableDrives(QString()), QStringList{drive});
    }
    EXPECT_FALSE(OrvoPlatform().getRemovableDrives(QString()).contains(drive));

    struct Case
    {
        const char *name;
        QString setting;
        bool emulated;
        bool warned;
    };
    const std::vector<Case> cases = {
        {"nothing asked", QString(), false, false},
        {"unknown platform", QStringLiteral("windows"), false, true},
        {"missing folder", QStringLiteral("emulator:") + m_dir.filePath(QStringLiteral("none")), true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture log;
        OrvoPlatformSelection selection(c.setting);
        EXPECT_EQ(selection.emulatedPlatform() != nullptr, c.emulated);
        EXPECT_EQ(dynamic_cast<OrvoVirtualDeviceWaits *>(selection.deviceWaits()) != nullptr, c.emulated)
            << "emulated devices wait on a virtual clock";
        EXPECT_EQ(log.count(QtWarningMsg, QString()) > 0, c.warned);
        if (c.emulated) {
            EXPECT_TRUE(OrvoPlatform().getRemovableDrives(QString()).isEmpty());
        }
    }
}

} // namespace
