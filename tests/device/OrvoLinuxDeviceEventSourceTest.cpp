#include "FixtureSysfsTree.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceEvent.h"
#include "device/OrvoLinuxDeviceEventSource.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

constexpr quint32 kArrival = static_cast<quint32>(OrvoDeviceEvent::Arrival);
constexpr quint32 kRemoveComplete = static_cast<quint32>(OrvoDeviceEvent::RemoveComplete);

struct Mount
{
    QByteArray device;
    QByteArray folder;
};

// A machine with a fixed system disk and three USB disks; the test rewrites its mount table.
class OrvoLinuxDeviceEventSourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tree.addDisk({"sda", 8, 0, "ATA     ", "SSD             ", false, "sg0", "", 2}));
        ASSERT_TRUE(m_tree.addDisk({"sdb", 8, 16, "TARVEX  ", "Kavel50         ", true, "sg1", "usb-storage", 1}));
        ASSERT_TRUE(m_tree.addDisk({"sdc", 8, 32, "VORNA   ", "VORNA MS        ", true, "sg2", "uas", 1}));
        ASSERT_TRUE(m_tree.addDisk({"sdd", 8, 48, "Generic ", "Flash Disk      ", true, "sg3", "usb-storage", 1}));
        writeMounts({{"8:1", "/"}, {"8:17", "/media/KAVEL"}});

        OrvoLinuxDeviceEventSource::Config config;
        config.sysfsRoot = m_tree.sysfsRoot();
        config.mountInfoPath = m_tree.mountInfoPath();
        m_source = std::make_unique<OrvoLinuxDeviceEventSource>(config);
        QObject::connect(m_source.get(), &OrvoDeviceEventSource::deviceChange,
                         [this](quint32 deviceEvent) { m_events.append(deviceEvent); });
        ASSERT_TRUE(m_source->start());
    }

    void writeMounts(const QVector<Mount> &mounts)
    {
        QByteArray text = "22 1 0:21 / /sys rw - sysfs sysfs rw\n";
        int id = 100;
        for (const Mount &m : mounts)
            text += QByteArray::number(id++) + " 1 " + m.device + " / " + m.folder + " rw - vfat /dev/x rw\n";
        ASSERT_TRUE(OrvoTest::writeFile(m_tree.mountInfoPath(), text));
    }

    QVector<quint32> rescan(const QVector<Mount> &mounts)
    {
        writeMounts(mounts);
        m_events.clear();
        m_source->rescanMounts();
        return m_events;
    }

    OrvoTest::OutputDir m_dir;
    FixtureSysfsTree m_tree{m_dir.path()};
    std::unique_ptr<OrvoLinuxDeviceEventSource> m_source;
    QVector<quint32> m_events;
};

} // namespace

TEST_F(OrvoLinuxDeviceEventSourceTest, AnnouncesRemovableVolumesThatComeAndGo)
{
    EXPECT_TRUE(m_events.isEmpty()) << "volumes mounted before the start are known already";
    EXPECT_TRUE(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}}).isEmpty());
    EXPECT_EQ(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}, {"8:33", "/media/VORNA"}}), QVector<quint32>{kArrival});
    EXPECT_TRUE(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}, {"8:33", "/media/VORNA"}, {"8:2", "/data"}}).isEmpty())
        << "a fixed disk is no device";
    EXPECT_EQ(rescan({{"8:1", "/"}, {"8:33", "/media/VORNA"}, {"8:2", "/data"}, {"8:49", "/media/STICK"}}),
              QVector<quint32>({kRemoveComplete, kArrival}))
        << "the removal is told before the arrival";
    EXPECT_EQ(rescan({{"8:1", "/"},
                      {"8:33", "/media/VORNA"},
                      {"8:2", "/data"},
                      {"8:49", "/media/STICK"},
                      {"8:49", "/media/STICK-AGAIN"}}),
              QVector<quint32>{kArrival})
        << "a second mount of a volume is a volume more";
}

TEST_F(OrvoLinuxDeviceEventSourceTest, VolumeWhoseDiskLeftSysfsFirstIsStillAnnouncedGone)
{
    ASSERT_EQ(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}, {"8:33", "/media/VORNA"}}), QVector<quint32>{kArrival});
    // Pulled without unmounting: the kernel drops the disk before the mount goes away.
    ASSERT_TRUE(QFile::remove(m_tree.sysfsRoot() + QStringLiteral("/dev/block/8:33")));
    EXPECT_TRUE(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}, {"8:33", "/media/VORNA"}}).isEmpty());
    EXPECT_EQ(rescan({{"8:1", "/"}, {"8:17", "/media/KAVEL"}}), QVector<quint32>{kRemoveComplete});
}

TEST(OrvoLinuxDeviceEventSource, StartsOnThisMachinesMountTable)
{
    OrvoLinuxDeviceEventSource source(OrvoLinuxDeviceEventSource::Config{});
    EXPECT_TRUE(source.start());
    EXPECT_TRUE(source.start());
}
