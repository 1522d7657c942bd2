#include "FileSizeLimit.h"
#include "FitDrive.h"
#include "FixtureZip.h"
#include "OrvoHookedDeviceWaits.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "devices/gal/OrvoFitDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "env/OrvoZipUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace {

const QString kModel = QStringLiteral("Fit20");

OrvoDeviceInfo fitRow()
{
    return {QStringLiteral("4401"), kModel, QStringLiteral("TARVEX"), {}};
}

// Waits for the numbered action to end, its end announced on this thread.
bool waitIdle(OrvoClient &client)
{
    const QDeadlineTimer deadline(OrvoTest::kPatienceMs);
    while (client.isBusy() && !deadline.hasExpired()) {
        client.wait(10);
        QCoreApplication::processEvents();
    }
    return !client.isBusy();
}

// Where the actions take their files from.
struct Packages
{
    QString release;
    QString workoutSet;
};

// A numbered write action of the watch; start starts it on the client's worker.
struct FitActionCase
{
    const char *name;
    std::function<bool(OrvoFitDevice &, const Packages &)> start;
    // Files the drive holds after the action ran whole, besides those it held.
    QStringList written;
    // Whether the action stages its files for the watch to take: a failed one takes them back.
    // A workout set is taken as far as it arrived.
    bool stages;
};

const FitActionCase kFirmware = {
    "firmware components",
    [](OrvoFitDevice &client, const Packages &packages) { return client.updateTotal(packages.release, QString()); },
    {"/boot.bin", "/os.bin", "/update.ini"},
    true};
const FitActionCase kWorkoutSet = {"workout set",
                                   [](OrvoFitDevice &client, const Packages &packages) {
                                       return client.updateComponent(packages.workoutSet, kModel,
                                                                     QStringLiteral("WORKOUT"), QStringLiteral("1"));
                                   },
                                   {"/System/Tarvexwrk/long.wrk", "/System/Tarvexwrk/short.wrk"},
                                   false};
const FitActionCase kAssistance = {"assistance data",
                                   [](OrvoFitDevice &client, const Packages &) {
                                       return client.updateAlp(OrvoFitDevice::kAssistanceFile, 1760000000);
                                   },
                                   {},
                                   true};

enum class FitFault {
    FullDisk,
    UnpluggedBefore,
    UnpluggedWhileCopying,
    // A folder stands where the second component goes.
    SecondComponentUnwritable,
};

struct FitFaultCase
{
    const char *name;
    FitActionCase action;
    FitFault fault;
    qint64 fullDiskBytes = 0;
};

void PrintTo(const FitFaultCase &c, std::ostream *os)
{
    *os << c.name;
}

// Each component and the new assistance data are 8000 bytes, the workout set's long workout
// 20000; the packages that carry them are smaller only where they are compressed.
const FitFaultCase kFitFaults[] = {
    {"firmware, full disk", kFirmware, FitFault::FullDisk, 4096},
    {"firmware, drive unplugged", kFirmware, FitFault::UnpluggedBefore},
    {"firmware, unplugged while copying", kFirmware, FitFault::UnpluggedWhileCopying},
    {"firmware, second component unwritable", kFirmware, FitFault::SecondComponentUnwritable},
    {"workout set, full disk", kWorkoutSet, FitFault::FullDisk, 4096},
    {"workout set, drive unplugged", kWorkoutSet, FitFault::UnpluggedBefore},
    {"assistance data, full disk", kAssistance, FitFault::FullDisk, 4096},
    {"assistance data, drive unplugged", kAssistance, FitFault::UnpluggedBefore},
    {"assistance data, unplugged while copying", kAssistance, FitFault::UnpluggedWhileCopying},
};

// A Fit20 drive with its assistance data and a workout set; the release package's components
// are both newer than the watch's.
class OrvoFitDeviceFaultTest : public ::testing::TestWithParam<FitFaultCase>
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        ASSERT_TRUE(QDir().mkpath(m_root));
        const FitDrive drive(m_root);
        ASSERT_TRUE(drive.setDeviceTxt({}));
        ASSERT_TRUE(drive.setAssistance(QByteArray(3000, 'a')));
        ASSERT_TRUE(drive.setDateFile(FitDrive::date(1700000000)));
        ASSERT_TRUE(OrvoTest::writeFile(m_root + QStringLiteral("/System/Tarvexwrk/old.wrk"), "a workout of the set"));
        m_platform->plugDrive(m_root, QStringLiteral("TARVEX  Fit20"));
        ASSERT_TRUE(OrvoTest::writeFile(OrvoEnv::instance()->userFolder() + QStringLiteral("/updates/Fit20/") +
                                            OrvoFitDevice::kAssistanceFile,
                                        QByteArray(8000, 'n')));
        m_packages.release = m_out.filePath(QStringLiteral("release.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(
            m_packages.release,
            FixtureZip::storedArchive({{"release.ini", "[MODEL]\r\nName=Fit20\r\n[BootLoader]\r\nName=boot.bin\r\n"
                                                       "Version=B1.0\r\n[OS]\r\nName=os.bin\r\nVersion=1.3\r\n"},
                                       {"boot.bin", QByteArray(8000, 'b')},
                                       {"os.bin", QByteArray(8000, 'o')}})));
        // The workout set inside is compressed, so that it unpacks to more than it weighs.
        const QString setFolder = m_out.filePath(QStringLiteral("set"));
        ASSERT_TRUE(OrvoTest::writeFile(setFolder + QStringLiteral("/Tarvexwrk/short.wrk"), "a short workout"));
        ASSERT_TRUE(OrvoTest::writeFile(setFolder + QStringLiteral("/Tarvexwrk/long.wrk"), QByteArray(20000, 'w')));
        const QString set = m_out.filePath(QStringLiteral("workout.zip"));
        ASSERT_TRUE(OrvoZipUtil().compress(
            set, setFolder, {QStringLiteral("Tarvexwrk/short.wrk"), QStringLiteral("Tarvexwrk/long.wrk")}));
        m_packages.workoutSet = m_out.filePath(QStringLiteral("component.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(m_packages.workoutSet,
                                        FixtureZip::storedArchive({{"workout.zip", OrvoTest::readFile(set)}})));
        m_client = std::make_unique<OrvoFitDevice>();
        m_client->setDeviceService(
            std::make_unique<OrvoFSDeviceService>(m_root, fitRow(), m_root + QStringLiteral("/System/device.txt")));
        // The identity is read when the watch arrives, as the device manager does.
        ASSERT_TRUE(m_client->loadDeviceInfo());
    }
    void TearDown() override
    {
        m_client.reset();
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    // Takes the drive away as a pulled cable does: the platform no longer lists it and its
    // folder is gone.
    bool unplug() { return m_platform->unplugDrive(m_root) && QDir().rename(m_root, m_away); }
    bool plugBack()
    {
        if (!QDir().rename(m_away, m_root))
            return false;
        m_platform->plugDrive(m_root, QStringLiteral("TARVEX  Fit20"));
        return true;
    }

    bool runAction(const FitActionCase &action) { return action.start(*m_client, m_packages) && waitIdle(*m_client); }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::HookedDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_out;
    QString m_root = m_dir.filePath(QStringLiteral("FIT20"));
    QString m_away = m_dir.filePath(QStringLiteral("FIT20.unplugged"));
    Packages m_packages;
    std::unique_ptr<OrvoFitDevice> m_client;
    bool m_unplugged = false;
};

} // namespace

// Each numbered write action of the watch under each fault: the error flag is raised, the
// drive keeps every file as it was, nothing of the failed action stays on the drive where it
// still was, and the action run again without the fault does its whole work.
TEST_P(OrvoFitDeviceFaultTest, FailedActionRaisesTheErrorAndKeepsTheDrive)
{
    const FitFaultCase &c = GetParam();
    const QMap<QString, QByteArray> drive = OrvoTest::filesUnder(m_root);
    const QString blocker = m_root + QStringLiteral("/os.bin");
    switch (c.fault) {
    case FitFault::FullDisk: {
        const FileSizeLimit limit(c.fullDiskBytes);
        ASSERT_TRUE(limit.ok());
        ASSERT_TRUE(runAction(c.action));
        break;
    }
    case FitFault::UnpluggedBefore:
    case FitFault::UnpluggedWhileCopying:
        if (c.fault == FitFault::UnpluggedBefore)
            ASSERT_TRUE(unplug());
        else
            m_waits.hook = [this] { m_unplugged = unplug(); };
        ASSERT_TRUE(runAction(c.action));
        m_waits.hook = nullptr;
        EXPECT_TRUE(c.fault == FitFault::UnpluggedBefore || m_unplugged) << "the drive never went";
        EXPECT_FALSE(QFileInfo::exists(m_root)) << "something was written where the drive was";
        ASSERT_TRUE(plugBack());
        break;
    case FitFault::SecondComponentUnwritable:
        ASSERT_TRUE(QDir().mkpath(blocker));
        ASSERT_TRUE(runAction(c.action));
        ASSERT_TRUE(QDir().rmdir(blocker));
        break;
    }
    EXPECT_TRUE(m_client->error()) << "a failed action must not read as done";
    const QMap<QString, QByteArray> after = OrvoTest::filesUnder(m_root);
    for (auto it = drive.cbegin(); it != drive.cend(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString() << " lost or changed";
    if (c.action.stages && c.fault != FitFault::UnpluggedWhileCopying) {
        // A drive that stayed keeps nothing staged by the failed action; one that went took
        // with it what was on its way, and the next run replaces that.
        EXPECT_EQ(after.keys(), drive.keys()) << "a file of the failed action was left on the drive";
    }

    ASSERT_TRUE(runAction(c.action));
    EXPECT_FALSE(m_client->error()) << "the action without the fault";
    const QMap<QString, QByteArray> done = OrvoTest::filesUnder(m_root);
    QStringList expected = drive.keys() + c.action.written;
    expected.sort();
    EXPECT_EQ(done.keys(), expected);
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!drive.contains(it.key()) && done.contains(it.key())) {
            EXPECT_EQ(it.value(), done.value(it.key())) << it.key().toStdString() << " was left half-written";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, OrvoFitDeviceFaultTest, ::testing::ValuesIn(kFitFaults), [](const auto &i) {
    std::string name = i.param.name;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
