#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceInfo.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

// The detector compares these numbers; every event source must send exactly them.
constexpr quint32 kNodesChanged = 0x0007;
constexpr quint32 kArrival = 0x8000;
constexpr quint32 kRemoveComplete = 0x8004;

std::shared_ptr<OrvoEmulatedFlashDevice> makeDevice(const QByteArray &product, const QByteArray &deviceId)
{
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(
        OrvoEmulatedIdentity{"TARVEX", product, "0207", "1.00", QByteArray(), deviceId});
    device->addArea({0x03, OrvoEmulatedArea::Access::DeviceId, QString(), 2048, 0});
    return device;
}

const QVector<OrvoDeviceInfo> kTypes = {
    {QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}},
};

class OrvoEmulatedPlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QObject::connect(&m_platform, &OrvoEmulatedPlatform::deviceChange,
                         [this](quint32 deviceEvent) { m_events.append(deviceEvent); });
    }

    QString drive(const QString &name) const
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    OrvoTest::OutputDir m_dir;
    OrvoEmulatedPlatform m_platform;
    QVector<quint32> m_events;
};

} // namespace

TEST(OrvoDeviceEvent, CodesAreTheOnesTheDetectorExpects)
{
    EXPECT_EQ(static_cast<quint32>(OrvoDeviceEvent::NodesChanged), kNodesChanged);
    EXPECT_EQ(static_cast<quint32>(OrvoDeviceEvent::Arrival), kArrival);
    EXPECT_EQ(static_cast<quint32>(OrvoDeviceEvent::RemoveComplete), kRemoveComplete);
}

TEST_F(OrvoEmulatedPlatformTest, FoldersAreRemovableDrivesWithVendorTexts)
{
    const QString kavel = drive(QStringLiteral("KAVEL50"));
    const QString vorna = drive(QStringLiteral("VORNA"));
    m_platform.plugDrive(kavel, QStringLiteral("TARVEX  Kavel50"));
    m_platform.plugDrive(vorna + QLatin1Char('/'), QStringLiteral("VORNA   VORNA MS"));

    EXPECT_EQ(m_platform.getRemovableDrives(QStringLiteral("msdos")), QStringList({kavel, vorna}));
    EXPECT_EQ(m_platform.getDriveVendorName(kavel), QStringLiteral("TARVEX  Kavel50"));
    EXPECT_EQ(m_platform.getDriveVendorName(vorna), QStringLiteral("VORNA   VORNA MS"));
    EXPECT_TRUE(m_platform.getDriveVendorName(m_dir.path()).isEmpty());
    quint64 total = 0;
    quint64 free = 0;
    EXPECT_TRUE(m_platform.getDiskSpace(kavel, total, free));
    EXPECT_NE(m_platform.createEnv(), nullptr);

    EXPECT_TRUE(m_platform.unplugDrive(vorna));
    EXPECT_FALSE(m_platform.unplugDrive(vorna));
    EXPECT_TRUE(m_platform.ejectDevice(kavel));
    OrvoMessageCapture capture;
    EXPECT_FALSE(m_platform.ejectDevice(kavel));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("open handle for ejection failed: drive=")));

    EXPECT_TRUE(m_platform.getRemovableDrives(QString()).isEmpty());
    EXPECT_EQ(m_events, QVector<quint32>({kArrival, kArrival, kRemoveComplete, kRemoveComplete}));
}

TEST_F(OrvoEmulatedPlatformTest, FindsTheFirstMatchingDeviceAndFollowsItsPlugs)
{
    auto quilma = makeDevice("QUILMA", "1003000000000001");
    auto first = makeDevice("KOSMIR", "1105000000000002");
    auto second = makeDevice("KOSMIR", "1105000000000003");
    m_platform.plugScsiDevice(quilma);
    m_platform.plugScsiDevice(first);
    m_platform.plugScsiDevice(second);
    EXPECT_EQ(m_events, QVector<quint32>({kNodesChanged, kNodesChanged, kNodesChanged}));

    OrvoPlatformInterface::DeviceServices services = m_platform.findSCSIDevices(kTypes);
    ASSERT_EQ(services.size(), 1u);
    QString id;
    EXPECT_TRUE(services[0]->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("1105000000000002"));
    EXPECT_EQ(quilma->openHandleCount(), 0) << "the device that matched nothing is closed";
    EXPECT_TRUE(second->commandLog().isEmpty()) << "the search stopped at the first match";

    m_events.clear();
    first->unplug();
    EXPECT_EQ(m_events, QVector<quint32>({kNodesChanged})) << "a device that leaves by itself is noticed";
    EXPECT_FALSE(services[0]->readDeviceId(id)) << "the service of a device that left fails";
    services = m_platform.findSCSIDevices(kTypes);
    ASSERT_EQ(services.size(), 1u);
    EXPECT_TRUE(services[0]->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("1105000000000003"));

    m_events.clear();
    first->plug(first->identity());
    EXPECT_TRUE(m_platform.unplugScsiDevice(second));
    EXPECT_FALSE(m_platform.unplugScsiDevice(second));
    EXPECT_FALSE(second->isPresent());
    EXPECT_EQ(m_events, QVector<quint32>({kNodesChanged, kNodesChanged}));
    second->plug(second->identity());
    EXPECT_EQ(m_events.size(), 2) << "a detached device is no longer followed";
}
