#include "GalFolderBuilder.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoSCSIDeviceService.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedIapReturn.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

constexpr quint32 kNodesChanged = 0x0007;
constexpr quint32 kArrival = 0x8000;
constexpr quint32 kRemoveComplete = 0x8004;

// The notice that starts the updater, written out here apart from the device code.
constexpr std::array<quint8, 10> kNotice = {0x28, 0, 0, 0, 0, 0, 0x1A, 0, 0x01, 0};

// A row that never answers, then the row the update registers for the updater.
const QVector<OrvoDeviceInfo> kTypes = {
    {QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}},
    {QStringLiteral("1207"), QStringLiteral("Kavel21"), QStringLiteral("TrevanisIAP"), {}},
};

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(seed + i % 29);
    return bytes;
}

class OrvoEmulatedIapReturnTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QObject::connect(&m_platform, &OrvoEmulatedPlatform::deviceChange,
                         [this](quint32 deviceEvent) { m_events.append(deviceEvent); });
        m_platform.iapReturn().setRestartDelay(-1);
    }

    // A GAL drive of the given identity, plugged, with the trigger on it when asked.
    QString plugGalDrive(const GalFolderBuilder::DeviceIni &ini, bool trigger)
    {
        const QString root = m_dir.filePath(QStringLiteral("KAVEL21"));
        EXPECT_TRUE(QDir(root).removeRecursively());
        EXPECT_TRUE(GalFolderBuilder(root).setDeviceIni(ini));
        if (trigger) {
            EXPECT_TRUE(OrvoTest::writeFile(root + QStringLiteral("/update.ini"), QByteArray()));
        }
        m_platform.plugDrive(root, QStringLiteral("TARVEXKavel21"), QStringLiteral("KAVEL21"));
        return root;
    }

    std::unique_ptr<OrvoSCSIDeviceService> findUpdater()
    {
        OrvoPlatformInterface::DeviceServices services = m_platform.findSCSIDevices(kTypes);
        if (services.empty())
            return nullptr;
        return std::unique_ptr<OrvoSCSIDeviceService>(
            dynamic_cast<OrvoSCSIDeviceService *>(services.front().release()));
    }

    OrvoTest::OutputDir m_dir;
    OrvoEmulatedPlatform m_platform;
    QVector<quint32> m_events;
};

} // namespace

TEST_F(OrvoEmulatedIapReturnTest, AnEjectedUpdatingDriveComesBackAsItsUpdaterAndReturnsAfterTheNotice)
{
    const QString root = plugGalDrive({}, true);
    m_events.clear();
    ASSERT_TRUE(m_platform.ejectDevice(root));
    EXPECT_TRUE(m_platform.getRemovableDrives(QString()).isEmpty());
    EXPECT_EQ(findUpdater(), nullptr) << "still restarting";
    EXPECT_EQ(m_platform.iapReturn().finishRestarts(), 1);
    EXPECT_EQ(m_events, (QVector<quint32>{kRemoveComplete, kNodesChanged}));

    auto service = findUpdater();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->deviceInfo()->modelName, QStringLiteral("Kavel21")) << "recognised by the updater's row";
    QString id;
    ASSERT_TRUE(service->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("1207A1B2C3D4E5F6"));
    const std::shared_ptr<OrvoEmulatedFlashDevice> updater = m_platform.iapReturn().updaterOf(root);
    ASSERT_NE(updater, nullptr);

    const QByteArray image = pattern(5000, 'a');
    const QByteArray internal = pattern(3000, 'n');
    ASSERT_TRUE(service->eraseFlashBlocks(image.size(), 4096, 32));
    ASSERT_TRUE(service->writeFlashBlocks(image.constData(), 15, image.size(), 4096, 32));
    ASSERT_TRUE(service->writeFlashBlocks(internal.constData(), 12, internal.size(), 2048, 0));
    const QByteArray external = updater->memory(OrvoEmulatedIapReturn::kExternalFlash);
    EXPECT_EQ(external.mid(32 * 4096, 8192), image + QByteArray(8192 - image.size(), char(0xFF)));
    EXPECT_EQ(external.left(32 * 4096), QByteArray(32 * 4096, char(0xFF))) << "blocks before 32 untouched";
    EXPECT_EQ(updater->memory(OrvoEmulatedIapReturn::kInternalFlash).left(4096),
              internal + QByteArray(4096 - internal.size(), char(0xFF)));

    // The external flash takes no second write before its block is erased again.
    EXPECT_FALSE(service->writeFlashBlocks(image.constData(), 15, 4096, 4096, 32));
    ASSERT_TRUE(service->eraseFlashBlocks(4096, 4096, 32));
    EXPECT_TRUE(service->writeFlashBlocks(image.constData(), 15, 4096, 4096, 32));

    EXPECT_EQ(m_platform.iapReturn().finishRestarts(), 0) << "no return before the notice";
    QByteArray answer(512, '\x55');
    ASSERT_TRUE(service->readClient(kNotice.data(), int(kNotice.size()), answer.data(), answer.size()));
    EXPECT_EQ(answer, QByteArray(512, '\0'));
    const auto log = updater->commandLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.back().cdb, QByteArray::fromHex("2800000000001A000100"));
    EXPECT_EQ(log.back().dataInLength, 512);

    m_events.clear();
    EXPECT_EQ(m_platform.iapReturn().finishRestarts(), 1);
    EXPECT_EQ(m_events, (QVector<quint32>{kNodesChanged, kArrival}));
    EXPECT_EQ(findUpdater(), nullptr);
    EXPECT_FALSE(updater->isPresent());
    EXPECT_EQ(m_platform.getRemovableDrives(QString()), QStringList{root});
    EXPECT_EQ(m_platform.getDriveVendorName(root), QStringLiteral("TARVEXKavel21"));
    EXPECT_EQ(m_platform.getVolumeLabel(root), QStringLiteral("KAVEL21"));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/update.ini"))) << "the updater took its trigger";
    EXPECT_EQ(m_platform.iapReturn().updaterOf(root), nullptr);
}

TEST_F(OrvoEmulatedIapReturnTest, TheUpdaterIsKnownByItsModelWithoutAnIapName)
{
    GalFolderBuilder::DeviceIni ini;
    ini.iapName.clear();
    const QString root = plugGalDrive(ini, true);
    ASSERT_TRUE(m_platform.ejectDevice(root));
    ASSERT_EQ(m_platform.iapReturn().finishRestarts(), 1);
    const QVector<OrvoDeviceInfo> byModel = {
        {QStringLiteral("1207"), QStringLiteral("Kavel21"), QStringLiteral("Kavel21"), {}}};
    OrvoPlatformInterface::DeviceServices services = m_platform.findSCSIDevices(byModel);
    EXPECT_EQ(services.size(), size_t(1));
}

// Without a test deciding, the device comes and goes by itself after the restart delay, also
// when the eject and the notice come from a client's worker thread.
TEST_F(OrvoEmulatedIapReturnTest, WithARestartDelayTheDeviceComesAndGoesByItself)
{
    m_platform.iapReturn().setRestartDelay(0);
    const QString root = plugGalDrive({}, true);
    const auto onWorker = [](const std::function<void()> &work) {
        std::unique_ptr<QThread> worker(QThread::create(work));
        worker->start();
        return worker->wait();
    };
    ASSERT_TRUE(onWorker([&] { EXPECT_TRUE(m_platform.ejectDevice(root)); }));
    std::unique_ptr<OrvoSCSIDeviceService> service;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (service = findUpdater()) != nullptr; }, OrvoTest::kPatienceMs));
    QByteArray answer(512, '\0');
    ASSERT_TRUE(onWorker(
        [&] { EXPECT_TRUE(service->readClient(kNotice.data(), int(kNotice.size()), answer.data(), answer.size())); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_platform.getRemovableDrives(QString()) == QStringList{root}; },
                                OrvoTest::kPatienceMs));
    EXPECT_EQ(findUpdater(), nullptr);
}

struct StaysAwayCase
{
    const char *name;
    QString updateMethod;
    QString uuid;
    bool trigger;
};

TEST_F(OrvoEmulatedIapReturnTest, ADriveThatWasNotToldToUpdateStaysAway)
{
    const std::vector<StaysAwayCase> cases = {
        {"no trigger", QStringLiteral("2"), QStringLiteral("1207A1B2C3D4E5F6"), false},
        {"updates from its files", QStringLiteral("1"), QStringLiteral("1207A1B2C3D4E5F6"), true},
        {"no update method", QString(), QStringLiteral("1207A1B2C3D4E5F6"), true},
        {"short UUID", QStringLiteral("2"), QStringLiteral("1207A1"), true},
    };
    for (const StaysAwayCase &c : cases) {
        SCOPED_TRACE(c.name);
        GalFolderBuilder::DeviceIni ini;
        ini.updateMethod = c.updateMethod;
        ini.uuid = c.uuid;
        const QString root = plugGalDrive(ini, c.trigger);
        m_events.clear();
        ASSERT_TRUE(m_platform.ejectDevice(root));
        EXPECT_EQ(m_platform.iapReturn().finishRestarts(), 0);
        EXPECT_EQ(m_events, QVector<quint32>{kRemoveComplete});
        EXPECT_EQ(findUpdater(), nullptr);
        EXPECT_EQ(m_platform.iapReturn().updaterOf(root), nullptr);
    }
}
