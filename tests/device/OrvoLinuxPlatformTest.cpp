#include "DeviceTestDevices.h"
#include "FixtureSysfsTree.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoLinuxPlatform.h"
#include "device/OrvoLinuxSCSIService.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "env/OrvoLinuxEnv.h"

#include <QDir>
#include <QHash>

#include <gtest/gtest.h>

using namespace DeviceTest;

namespace {

const OrvoDeviceInfo kKavel20{QStringLiteral("1102"), QStringLiteral("Kavel20"), QStringLiteral("TREVANIS"), {}};
const OrvoDeviceInfo kKavel40{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}};
const OrvoDeviceInfo kKavel35{QStringLiteral("1003"), QStringLiteral("Kavel35"), QStringLiteral("QUILMA"), {}};

// A machine with an ATA system disk, USB devices of the family and a USB stick: the fake tree
// says where each is mounted, and emulated devices answer behind the SCSI generic nodes.
class OrvoLinuxPlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tree.addDisk({"sda", 8, 0, "ATA     ", "SSD 512G        ", false, "sg0", "", 2}));
        ASSERT_TRUE(m_tree.addDisk({"sdb", 8, 16, "TARVEX  ", "Kavel50         ", true, "sg1", "usb-storage", 1}));
        ASSERT_TRUE(m_tree.addDisk({"sdc", 8, 32, "VORNA   ", "VORNA MS        ", true, "sg2", "uas", 1}));
        ASSERT_TRUE(m_tree.addDisk({"sdd", 8, 48, "Generic ", "Flash Disk      ", true, "sg10", "usb-storage", 2}));
        ASSERT_TRUE(m_tree.addDisk({"sde", 8, 64, "TARVEX  ", "Pulmor30        ", true, "", "usb-storage", 1}));
        m_tree.addMount("0:21", "/sys", "sysfs", "sysfs");
        m_tree.addMount("8:1", "/", "ext4", "/dev/sda1");
        m_tree.addMount("8:2", media("data"), "vfat", "/dev/sda2");
        m_tree.addMount("8:17", media("KAVEL 50"), "vfat", "/dev/sdb1");
        m_tree.addMountLine("not a mount line");
        m_tree.addMount("8:33", media("VORNA"), "ext4", "/dev/sdc1");
        m_tree.addMount("8:49", media("stick"), "vfat", "/dev/sdd1");
        m_tree.addMount("8:49", media("stick-again"), "vfat", "/dev/sdd1");
        m_tree.addMount("8:50", media("stick-2"), "msdos", "/dev/sdd2");
        m_tree.addMount("8:65", media("PULMOR"), "vfat", "/dev/sde1");
        ASSERT_TRUE(m_tree.writeMountInfo());

        m_devices.insert(QStringLiteral("sg1"), makeDevice(identity("QUILMA", "1003000000000001")));
        m_devices.insert(QStringLiteral("sg2"), makeDevice(identity("KOSMIR", "1105000000000002")));
        m_devices.insert(QStringLiteral("sg10"), makeDevice(identity("KOSMIR", "1105000000000010")));
    }

    QString media(const QString &name) const { return m_dir.path() + QStringLiteral("/media/") + name; }

    OrvoLinuxPlatform platform(OrvoLinuxPlatform::Unmounter unmount = {})
    {
        OrvoLinuxPlatform::Config config;
        config.sysfsRoot = m_tree.sysfsRoot();
        config.mountInfoPath = m_tree.mountInfoPath();
        config.deviceRoot = m_tree.deviceRoot();
        config.openScsi = [this](const QString &node) -> std::unique_ptr<ScsiTransport> {
            const QString name = node.section(QLatin1Char('/'), -1);
            m_opened << name;
            return OrvoEmulatedScsiHandle::open(m_devices.value(name));
        };
        config.unmount = unmount ? unmount : [this](const QString &mountPoint, QString &) {
            m_unmounted << mountPoint;
            return true;
        };
        return OrvoLinuxPlatform(config);
    }

    OrvoTest::OutputDir m_dir;
    FixtureSysfsTree m_tree{m_dir.path()};
    QHash<QString, std::shared_ptr<OrvoEmulatedFlashDevice>> m_devices;
    QStringList m_opened;
    QStringList m_unmounted;
};

} // namespace

TEST_F(OrvoLinuxPlatformTest, ListsExactlyTheRemovableMountsOfTheType)
{
    OrvoMessageCapture capture;
    const QStringList fat = platform().getRemovableDrives(QStringLiteral("msdos"));
    EXPECT_EQ(fat, QStringList({media("KAVEL 50"), media("stick"), media("stick-2"), media("PULMOR")}))
        << "the fixed disk's FAT volume is not removable; a volume mounted twice is listed once";
    EXPECT_EQ(capture.count(QtDebugMsg, QStringLiteral("find removable drive  ")), 4);

    EXPECT_EQ(platform().getRemovableDrives(QStringLiteral("vfat")), fat);
    EXPECT_EQ(platform().getRemovableDrives(QStringLiteral("ext4")), QStringList({media("VORNA")}));
    EXPECT_EQ(platform().getRemovableDrives(QString()),
              QStringList({media("KAVEL 50"), media("VORNA"), media("stick"), media("stick-2"), media("PULMOR")}));
}

TEST_F(OrvoLinuxPlatformTest, VendorTextIsVendorThenProduct)
{
    struct Case
    {
        QString drive;
        QString vendorText;
    };
    const std::vector<Case> cases = {
        {media("KAVEL 50"), QStringLiteral("TARVEX  Kavel50         ")},
        {media("KAVEL 50") + QLatin1Char('/'), QStringLiteral("TARVEX  Kavel50         ")},
        {media("stick-2"), QStringLiteral("Generic Flash Disk      ")},
        {media("VORNA"), QStringLiteral("VORNA   VORNA MS        ")},
        {media("nothing"), QString()},
        {QStringLiteral("/sys"), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.drive.toStdString());
        EXPECT_EQ(platform().getDriveVendorName(c.drive), c.vendorText);
    }
}

TEST_F(OrvoLinuxPlatformTest, FindsTheFirstMatchingUsbTargetAndClosesTheOthers)
{
    OrvoMessageCapture capture;
    OrvoPlatformInterface::DeviceServices services = platform().findSCSIDevices({kKavel20, kKavel40});

    EXPECT_EQ(m_opened, QStringList({QStringLiteral("sg1"), QStringLiteral("sg2")}))
        << "the ATA disk is never opened, and the search stops at the first match";
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]->deviceInfo()->modelName, QStringLiteral("Kavel40"));
    EXPECT_EQ(services[0]->serviceType(), OrvoDeviceService::ScsiPassThroughService);
    EXPECT_EQ(m_devices[QStringLiteral("sg1")]->openHandleCount(), 0) << "the QUILMA device matched no type";
    EXPECT_EQ(m_devices[QStringLiteral("sg2")]->openHandleCount(), 1);
    EXPECT_TRUE(m_devices[QStringLiteral("sg10")]->commandLog().isEmpty());
    EXPECT_EQ(capture.count(QtDebugMsg, QStringLiteral("find SCSI interface: ")), 3);
    EXPECT_EQ(capture.count(QtDebugMsg, QStringLiteral("find usbstor")), 2);

    QString id;
    EXPECT_TRUE(services[0]->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("1105000000000002"));
    services.clear();
    EXPECT_EQ(m_devices[QStringLiteral("sg2")]->openHandleCount(), 0) << "the service owns its node";
}

TEST_F(OrvoLinuxPlatformTest, NodesAreTriedInNumberOrder)
{
    const QVector<OrvoDeviceInfo> none = {{QStringLiteral("0000"), QStringLiteral("None"), QStringLiteral("NONE"), {}}};
    EXPECT_TRUE(platform().findSCSIDevices(none).empty());
    EXPECT_EQ(m_opened, QStringList({QStringLiteral("sg1"), QStringLiteral("sg2"), QStringLiteral("sg10")}));
    for (const auto &device : std::as_const(m_devices))
        EXPECT_EQ(device->openHandleCount(), 0);
}

TEST_F(OrvoLinuxPlatformTest, TargetsThatCannotBeOpenedOrAskedAreSkipped)
{
    m_devices[QStringLiteral("sg1")]->unplug();
    m_devices[QStringLiteral("sg2")]->failCommand(1);
    OrvoPlatformInterface::DeviceServices services = platform().findSCSIDevices({kKavel40, kKavel35});
    ASSERT_EQ(services.size(), 1u);
    QString id;
    services[0]->readDeviceId(id);
    EXPECT_EQ(id, QStringLiteral("1105000000000010"));
}

TEST_F(OrvoLinuxPlatformTest, TheFirstTypeWhoseMatchStringIsInTheAnswerWins)
{
    m_devices[QStringLiteral("sg1")] = makeDevice(identity("KOSMIR", "1105000000000001", "QUILMA"));
    const OrvoDeviceInfo lowerCase{QStringLiteral("9999"), QStringLiteral("Lower"), QStringLiteral("kosmir"), {}};
    struct Case
    {
        const char *name;
        QVector<OrvoDeviceInfo> types;
        QString model;
    };
    const std::vector<Case> cases = {
        {"list order decides", {kKavel40, kKavel35}, QStringLiteral("Kavel40")},
        {"list order decides the other way", {kKavel35, kKavel40}, QStringLiteral("Kavel35")},
        {"the comparison is case-sensitive", {lowerCase, kKavel35}, QStringLiteral("Kavel35")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoPlatformInterface::DeviceServices services = platform().findSCSIDevices(c.types);
        ASSERT_EQ(services.size(), 1u);
        EXPECT_EQ(services[0]->deviceInfo()->modelName, c.model);
    }
}

TEST_F(OrvoLinuxPlatformTest, ServiceTextsComeFromTheInquiryAnswer)
{
    m_devices[QStringLiteral("sg1")] = makeDevice(identity("QUILMA", "1003000000000001", "boot IAP I2.05"));
    OrvoPlatformInterface::DeviceServices bootLoader = platform().findSCSIDevices({kKavel35});
    ASSERT_EQ(bootLoader.size(), 1u);
    EXPECT_EQ(bootLoader[0]->firstText(), QStringLiteral("I2.0")) << "four bytes from the fifth character of 'IAP I'";
    EXPECT_EQ(bootLoader[0]->secondText(), QStringLiteral("0207"));

    OrvoPlatformInterface::DeviceServices application = platform().findSCSIDevices({kKavel40});
    ASSERT_EQ(application.size(), 1u);
    // Without the marker the text starts at byte 3: response format 2, additional length 31.
    EXPECT_EQ(application[0]->firstText(), QString::fromLatin1("\x02\x1F"));
}

TEST_F(OrvoLinuxPlatformTest, EjectWritesBackUnmountsEveryVolumeAndStopsTheMedium)
{
    ASSERT_TRUE(QDir().mkpath(media("stick")));
    ASSERT_TRUE(platform().ejectDevice(media("KAVEL 50")));
    EXPECT_EQ(m_unmounted, QStringList({media("KAVEL 50")}));
    const auto log = m_devices[QStringLiteral("sg1")]->commandLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].cdb, QByteArray::fromHex("1B0000000200"));
    EXPECT_EQ(log[0].direction, ScsiTransport::Direction::None);

    m_unmounted.clear();
    EXPECT_TRUE(platform().ejectDevice(media("stick")));
    EXPECT_EQ(m_unmounted, QStringList({media("stick-2"), media("stick-again"), media("stick")}))
        << "every volume of the disk comes off, newest mount first";
}

TEST_F(OrvoLinuxPlatformTest, EjectFailsCleanly)
{
    struct Case
    {
        const char *name;
        QString drive;
        bool unmountFails;
        bool deviceFails;
        const char *logged;
        int commandsSent;
    };
    const std::vector<Case> cases = {
        {"a drive that is not mounted", media("gone"), false, false, "open handle for ejection failed: drive=", 0},
        {"a volume that stays mounted is not ejected", media("KAVEL 50"), true, false, "unmount failed: drive=", 0},
        {"the device refuses to stop", media("KAVEL 50"), false, true, "eject failed: drive=", 1},
        {"a disk without a SCSI generic node", media("PULMOR"), false, false,
         "open handle for ejection failed: drive=", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(identity("QUILMA", "1003000000000001"));
        m_devices[QStringLiteral("sg1")] = device;
        if (c.deviceFails)
            device->failCommand(1);
        OrvoMessageCapture capture;
        const bool ejected = platform([&](const QString &, QString &error) {
                                 error = QStringLiteral("Device or resource busy");
                                 return !c.unmountFails;
                             }).ejectDevice(c.drive);
        EXPECT_FALSE(ejected);
        EXPECT_TRUE(capture.contains(QtCriticalMsg, QString::fromLatin1(c.logged)));
        EXPECT_EQ(device->commandLog().size(), c.commandsSent);
    }
}

TEST_F(OrvoLinuxPlatformTest, DiskSpaceComesFromTheVolumeWithoutChangingTheCurrentFolder)
{
    const QString before = QDir::currentPath();
    quint64 total = 0;
    quint64 free = 0;
    ASSERT_TRUE(platform().getDiskSpace(m_dir.path(), total, free));
    EXPECT_GT(total, 0u);
    EXPECT_LE(free, total);
    EXPECT_EQ(QDir::currentPath(), before);

    total = 7;
    free = 9;
    EXPECT_FALSE(platform().getDiskSpace(media("missing"), total, free));
    EXPECT_EQ(total, 7u);
    EXPECT_EQ(free, 9u);
}

TEST_F(OrvoLinuxPlatformTest, CreatesTheLinuxEnvironment)
{
    const std::unique_ptr<OrvoEnvInterface> env = platform().createEnv();
    EXPECT_NE(dynamic_cast<OrvoLinuxEnv *>(env.get()), nullptr);
}
