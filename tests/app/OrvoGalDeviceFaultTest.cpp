#include "AppTestSupport.h"
#include "FileSizeLimit.h"
#include "FixtureZip.h"
#include "GalFolderBuilder.h"
#include "GalPackageBuilder.h"
#include "OrvoHookedDeviceWaits.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "devices/gal/OrvoGalDevice.h"
#include "emulator/OrvoEmulatedIapReturn.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace AppTest;
namespace py = pybind11;

namespace {

const QString kWeightKey = QStringLiteral("User Weight.Metric");
const QString kLanguageKey = QStringLiteral("Sys-langCode");
// The scripting host writes each file beside its target under this prefix first.
const QString kScriptTemporary = QStringLiteral(".galapi-");

OrvoDeviceInfo galRow()
{
    return {QStringLiteral("1207"), QStringLiteral("Kavel21"), QStringLiteral("TARVEX"), {}};
}

// The files of before that after lost or changed, and the temporary files after holds.
QStringList lostOrChanged(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList damaged;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (after.value(it.key()) != it.value() || !after.contains(it.key()))
            damaged << it.key();
    }
    for (const QString &name : after.keys()) {
        if (name.contains(kScriptTemporary))
            damaged << name;
    }
    return damaged;
}

QList<int> idsOf(const QVector<OrvoClientData> &items)
{
    QList<int> ids;
    for (const OrvoClientData &item : items)
        ids << item.id;
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, OrvoTest::kPatienceMs);
}

// The paths an action writes to and reads from.
struct Places
{
    // The folder an export writes into, or the folder of the file an action writes.
    QString destination;
    QString sharePackage;
    QString profileXml;
};

// A numbered action of the Kavel21 that the scripting host carries out; start starts it on
// the client's worker.
struct ScriptActionCase
{
    const char *name;
    std::function<bool(OrvoGalDevice &, const Places &)> start;
    // Makes the destination unwritable and answers the destination to give; none for an action
    // that writes only onto the drive.
    std::function<QString(const OrvoTest::OutputDir &)> blockDestination;
    // A file size limit that one of the action's files crosses.
    qint64 fullDiskBytes;
    // Whether the scripting host writes a file before the action's last read of the drive, so
    // that the drive can go in the middle of the action.
    bool writesOnTheWay;
};

QString fileInTheWay(const OrvoTest::OutputDir &out)
{
    EXPECT_TRUE(OrvoTest::writeFile(out.filePath(QStringLiteral("blocker")), "file"));
    return out.filePath(QStringLiteral("blocker/export"));
}

QString uploadZipPath()
{
    return OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + OrvoEnv::instance()->uploadFileName();
}

const ScriptActionCase kScriptActions[] = {
    {"upload package", [](OrvoGalDevice &client, const Places &) { return client.makeUploadZip(); },
     [](const OrvoTest::OutputDir &out) {
         // A folder in the zip's place.
         EXPECT_TRUE(QDir().mkpath(uploadZipPath()));
         return out.filePath(QStringLiteral("export"));
     },
     4096, true},
    {"ride export", [](OrvoGalDevice &client, const Places &places) { return client.exportTrack(places.destination); },
     fileInTheWay, 4096, true},
    {"profile upload",
     [](OrvoGalDevice &client, const Places &places) {
         return client.readProfile(places.destination + QStringLiteral("/profile.xml"));
     },
     fileInTheWay, 100, false},
    {"profile save", [](OrvoGalDevice &client, const Places &places) { return client.writeProfile(places.profileXml); },
     nullptr, 16, true},
    {"share import",
     [](OrvoGalDevice &client, const Places &places) { return client.importDownloadZip(places.sharePackage); }, nullptr,
     100, true},
};

void PrintTo(const ScriptActionCase &c, std::ostream *os)
{
    *os << c.name;
}

enum class Fault { UnwritableDestination, FullDisk, UnpluggedBefore, UnpluggedOnTheWay };

struct FaultCase
{
    const char *name;
    Fault fault;
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

const FaultCase kFaults[] = {
    {"destination that cannot be written", Fault::UnwritableDestination},
    {"full disk", Fault::FullDisk},
    {"drive unplugged", Fault::UnpluggedBefore},
    // The drive goes right after the scripting host wrote its first file.
    {"drive unplugged on the way", Fault::UnpluggedOnTheWay},
};

// A Kavel21 drive with two rides, a workout and a profile, served by the device library and
// the scripting host of the program.
class OrvoGalDeviceFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        // As in the other GAL end-to-end tests: the web application's loop stays out of the waits.
        pythonBridge()->stopScheduler();
        OrvoDeviceWaits::install(&m_waits);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        OrvoClient::setDeviceScripts(pythonBridge());
        QFile::remove(uploadZipPath());
        makeDrive();
    }
    void TearDown() override
    {
        OrvoClient::setDeviceScripts(nullptr);
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
        QTimer::singleShot(0, pythonBridge(), &PythonCppBridge::slotDoSchedule);
        QDir(uploadZipPath()).removeRecursively();
        QFile::remove(uploadZipPath());
    }

    void makeDrive()
    {
        const GalFolderBuilder device(m_root);
        ASSERT_TRUE(device.setDeviceIni(GalFolderBuilder::DeviceIni{}));
        ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240131120000.gal"),
                                        .name = "Morning",
                                        .start = 1706702400,
                                        .end = 1706706000,
                                        .distance = 30500,
                                        .points = {{1706702400, 35681236, 139767125, 40, 120, 80}}}));
        // Long enough that its export crosses every limit below.
        QVector<GalFolderBuilder::Point> points;
        for (quint32 i = 0; i < 200; ++i)
            points.append({1706774400 + i, qint32(35681236 + i), 139767125, 40, 120, 80});
        ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240201080000.gal"),
                                        .name = "Commute",
                                        .start = 1706774400,
                                        .end = 1706774600,
                                        .distance = 1200,
                                        .points = points}));
        ASSERT_TRUE(device.addWorkout(
            {.fileName = QStringLiteral("240115070000.wkt"), .id = 1705302000, .names = {{"eng", "Intervals"}}}));
        ASSERT_TRUE(device.setProfile({{kWeightKey, QStringLiteral("70")}, {kLanguageKey, QStringLiteral("eng")}}));
        m_platform->plugDrive(m_root, QStringLiteral("TARVEXKavel21"));
        m_client = std::make_unique<OrvoGalDevice>();
        m_client->setDeviceService(
            std::make_unique<OrvoFSDeviceService>(m_root, galRow(), m_root + QStringLiteral("/device.ini")));
    }

    // A share package of two workouts; the second's name is too long for the smallest limit.
    QString sharePackage() const
    {
        const QByteArray course = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\">\n"
                                  "  <wrk id=\"1704067200\"><acttype>1</acttype><name>\\eng|Tempo</name></wrk>\n"
                                  "  <wrk id=\"1704153600\"><acttype>1</acttype><name>\\eng|" +
                                  QByteArray(300, 'L') +
                                  "</name></wrk>\n"
                                  "</trncrs>\n";
        const QString path = m_out.filePath(QStringLiteral("share.zip"));
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive({{"plans/week.wrk", course}})));
        return path;
    }

    QString profileXml() const
    {
        const QString path = m_out.filePath(QStringLiteral("written.xml"));
        EXPECT_TRUE(OrvoTest::writeFile(path, "<settings><property name=\"User Weight.Metric\" value=\"64\"/>"
                                              "<property name=\"Sys-langCode\" value=\"eng\"/></settings>"));
        return path;
    }

    // Takes the drive away as a pulled cable does: the platform no longer lists it and its
    // folder is gone.
    bool unplug() { return m_platform->unplugDrive(m_root) && QDir().rename(m_root, m_away); }
    bool plugBack()
    {
        if (!QDir().rename(m_away, m_root))
            return false;
        m_platform->plugDrive(m_root, QStringLiteral("TARVEXKavel21"));
        return true;
    }

    // Makes the scripting host take the drive away right after it wrote its first file.
    void unplugAfterTheFirstScriptFile()
    {
        py::gil_scoped_acquire gil;
        py::module_::import("__main__").attr("unplug_drive") = py::cpp_function([this] { m_unplugged = unplug(); });
        runPython(QStringLiteral("import galapi\n"
                                 "saved_write_atomically = galapi._write_atomically\n"
                                 "def unplugging_write(path, chunks):\n"
                                 "    saved_write_atomically(path, chunks)\n"
                                 "    galapi._write_atomically = saved_write_atomically\n"
                                 "    unplug_drive()\n"
                                 "galapi._write_atomically = unplugging_write\n"));
    }
    void restoreScriptWrites()
    {
        runPython(QStringLiteral("galapi._write_atomically = saved_write_atomically\n"));
        py::gil_scoped_acquire gil;
        py::module_::import("__main__").attr("unplug_drive") = py::none();
    }

    // Starts the action and waits for its end; false when it did not start or end.
    bool runAction(const ScriptActionCase &action, const Places &places)
    {
        return action.start(*m_client, places) && waitIdle(*m_client);
    }

    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_out;
    QString m_root = m_dir.filePath(QStringLiteral("KAVEL21"));
    QString m_away = m_dir.filePath(QStringLiteral("KAVEL21.unplugged"));
    OrvoTest::HookedDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    std::unique_ptr<OrvoGalDevice> m_client;
    bool m_unplugged = false;
};

using ScriptFaultCase = std::tuple<ScriptActionCase, FaultCase>;

// Every action under every fault it can meet: an action that writes only onto the drive has no
// destination to block, one whose host writes only after the last read of the drive no way
// to go half done.
std::vector<ScriptFaultCase> scriptFaultCases()
{
    std::vector<ScriptFaultCase> cases;
    for (const ScriptActionCase &action : kScriptActions) {
        for (const FaultCase &fault : kFaults) {
            if ((fault.fault != Fault::UnwritableDestination || action.blockDestination) &&
                (fault.fault != Fault::UnpluggedOnTheWay || action.writesOnTheWay))
                cases.emplace_back(action, fault);
        }
    }
    return cases;
}

class OrvoGalScriptFaultTest : public OrvoGalDeviceFaultTest, public ::testing::WithParamInterface<ScriptFaultCase>
{};

} // namespace

// Each numbered action the scripting host carries out, under each fault: the action ends with
// the error flag, the drive keeps every file it had, the destination holds no half-written or
// temporary file, and the action run again without the fault succeeds.
TEST_P(OrvoGalScriptFaultTest, FailedActionRaisesTheErrorAndKeepsTheDrive)
{
    const ScriptActionCase &action = std::get<0>(GetParam());
    const FaultCase &fault = std::get<1>(GetParam());
    // The identity is read when the device arrives, as the device manager does.
    ASSERT_TRUE(m_client->loadDeviceInfo());
    const QMap<QString, QByteArray> drive = OrvoTest::filesUnder(m_root);
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    m_client->getTracks(rides);
    m_client->getWorkouts(workouts);
    ASSERT_EQ(rides.size(), 2);
    ASSERT_EQ(workouts.size(), 1);
    Places places{m_out.filePath(QStringLiteral("export")), sharePackage(), profileXml()};
    ASSERT_TRUE(QDir().mkpath(places.destination));

    switch (fault.fault) {
    case Fault::UnwritableDestination: {
        Places blocked = places;
        blocked.destination = action.blockDestination(m_out);
        ASSERT_TRUE(runAction(action, blocked));
        QDir(uploadZipPath()).removeRecursively();
        break;
    }
    case Fault::FullDisk: {
        const FileSizeLimit limit(action.fullDiskBytes);
        ASSERT_TRUE(limit.ok());
        ASSERT_TRUE(runAction(action, places));
        break;
    }
    case Fault::UnpluggedBefore:
    case Fault::UnpluggedOnTheWay:
        if (fault.fault == Fault::UnpluggedBefore)
            ASSERT_TRUE(unplug());
        else
            unplugAfterTheFirstScriptFile();
        ASSERT_TRUE(runAction(action, places));
        if (fault.fault == Fault::UnpluggedOnTheWay)
            restoreScriptWrites();
        EXPECT_TRUE(fault.fault == Fault::UnpluggedBefore || m_unplugged) << "the drive never went";
        EXPECT_FALSE(QFileInfo::exists(m_root)) << "something was written where the drive was";
        ASSERT_TRUE(plugBack());
        break;
    }
    EXPECT_TRUE(m_client->error()) << "a failed action must not read as done";
    EXPECT_EQ(lostOrChanged(drive, OrvoTest::filesUnder(m_root)), QStringList())
        << "files of the drive lost or changed";
    QVector<OrvoClientData> ridesAfter;
    QVector<OrvoClientData> workoutsAfter;
    m_client->getTracks(ridesAfter);
    m_client->getWorkouts(workoutsAfter);
    EXPECT_EQ(idsOf(ridesAfter), idsOf(rides));
    for (const int id : idsOf(workouts))
        EXPECT_TRUE(idsOf(workoutsAfter).contains(id)) << "workout " << id << " lost";
    const QMap<QString, QByteArray> left = OrvoTest::filesUnder(places.destination);
    EXPECT_FALSE(QFileInfo::exists(uploadZipPath())) << "an upload zip of a failed action";
    EXPECT_TRUE(QDir(OrvoEnv::instance()->tmpDir())
                    .entryList({QStringLiteral("OrvoExportTmp*")}, QDir::AllEntries | QDir::Hidden)
                    .isEmpty())
        << "a work folder was left";

    // Without the fault the action succeeds; what the failure left in the destination is what
    // the successful run writes, not a part of it.
    ASSERT_TRUE(runAction(action, places));
    EXPECT_FALSE(m_client->error());
    const QMap<QString, QByteArray> written = OrvoTest::filesUnder(places.destination);
    EXPECT_EQ(lostOrChanged(left, written), QStringList()) << "a half-written file was left in the destination";
}

INSTANTIATE_TEST_SUITE_P(All, OrvoGalScriptFaultTest, ::testing::ValuesIn(scriptFaultCases()), [](const auto &i) {
    std::string name = std::string(std::get<0>(i.param).name) + "_" + std::get<1>(i.param).name;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

namespace {

// An action of the Kavel21 that writes onto or deletes from the drive itself.
struct DriveActionCase
{
    const char *name;
    // The device's [IMG] UpdateMethod.
    QString updateMethod;
    std::function<bool(OrvoGalDevice &, const QList<int> &rides, const QList<int> &workouts, const QString &package)>
        run;
};

const DriveActionCase kRideDeletion = {
    "ride deletion", QStringLiteral("2"),
    [](OrvoGalDevice &client, const QList<int> &rides, const QList<int> &, const QString &) {
        return client.deleteTracks(QVector<int>(rides.begin(), rides.end()));
    }};
const DriveActionCase kWorkoutDeletion = {
    "workout deletion", QStringLiteral("2"),
    [](OrvoGalDevice &client, const QList<int> &, const QList<int> &workouts, const QString &) {
        return client.deleteWorkouts(QVector<int>(workouts.begin(), workouts.end()));
    }};
const DriveActionCase kDeleteAll = {
    "deleting everything", QStringLiteral("2"),
    [](OrvoGalDevice &client, const QList<int> &, const QList<int> &, const QString &) { return client.deleteAll(); }};
const DriveActionCase kStagingByFile = {"firmware staged as a file", QStringLiteral("1"),
                                        [](OrvoGalDevice &client, const QList<int> &, const QList<int> &,
                                           const QString &package) { return client._updateTotal(package, QString()); }};
const DriveActionCase kStagingOnDevice = {
    "firmware staged for the updater", QStringLiteral("2"),
    [](OrvoGalDevice &client, const QList<int> &, const QList<int> &, const QString &package) {
        return client._updateTotal(package, QString());
    }};
const DriveActionCase kFactoryRestore = {"factory restore", QStringLiteral("2"),
                                         [](OrvoGalDevice &client, const QList<int> &, const QList<int> &,
                                            const QString &package) { return client._restoreFactory(package); }};

enum class DriveFault {
    FullDisk,
    UnpluggedBefore,
    UnpluggedWhileCopying,
    // A folder stands in the trigger's place.
    TriggerUnwritable,
};

struct DriveFaultCase
{
    const char *name;
    DriveActionCase action;
    DriveFault fault;
    // The file size limit of a full disk.
    qint64 fullDiskBytes = 0;
};

// The boot loader copy (1000 bytes) fits 2048 bytes, the flash image (8 KiB) does not; neither
// fits 512. The trigger files are empty: no size limit stops them.
const DriveFaultCase kDriveFaults[] = {
    {"ride deletion, drive unplugged", kRideDeletion, DriveFault::UnpluggedBefore},
    {"workout deletion, drive unplugged", kWorkoutDeletion, DriveFault::UnpluggedBefore},
    {"deleting everything, drive unplugged", kDeleteAll, DriveFault::UnpluggedBefore},
    {"firmware as a file, full disk", kStagingByFile, DriveFault::FullDisk, 2048},
    {"firmware as a file, drive unplugged", kStagingByFile, DriveFault::UnpluggedBefore},
    {"firmware as a file, unplugged while copying", kStagingByFile, DriveFault::UnpluggedWhileCopying},
    {"firmware as a file, trigger unwritable", kStagingByFile, DriveFault::TriggerUnwritable},
    {"firmware for the updater, full disk", kStagingOnDevice, DriveFault::FullDisk, 512},
    {"firmware for the updater, unplugged while copying", kStagingOnDevice, DriveFault::UnpluggedWhileCopying},
    {"factory restore, drive unplugged", kFactoryRestore, DriveFault::UnpluggedBefore},
};

void PrintTo(const DriveFaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoGalDriveFaultTest : public OrvoGalDeviceFaultTest, public ::testing::WithParamInterface<DriveFaultCase>
{};

} // namespace

TEST_P(OrvoGalDriveFaultTest, FailedWriteAnswersFalseAndKeepsEveryRideAndWorkout)
{
    const DriveFaultCase &c = GetParam();
    GalFolderBuilder::DeviceIni ini;
    ini.updateMethod = c.action.updateMethod;
    ASSERT_TRUE(GalFolderBuilder(m_root).setDeviceIni(ini));
    m_platform->iapReturn().setRestartDelay(-1);
    GalPackageBuilder::Package firmware;
    firmware.release.bootLoaderVersion = QStringLiteral("B300");
    firmware.iapBin = QByteArray(1000, 'b');
    firmware.image = QByteArray(400, 'i');
    const QString package = m_out.filePath(QStringLiteral("firmware.zip"));
    ASSERT_TRUE(GalPackageBuilder::write(package, firmware));
    // The identity is read when the device arrives, as the device manager does.
    ASSERT_TRUE(m_client->loadDeviceInfo());
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    m_client->getTracks(rides);
    m_client->getWorkouts(workouts);
    ASSERT_EQ(rides.size(), 2);
    ASSERT_EQ(workouts.size(), 1);
    const QMap<QString, QByteArray> drive = OrvoTest::filesUnder(m_root);

    bool answered = true;
    switch (c.fault) {
    case DriveFault::FullDisk: {
        const FileSizeLimit limit(c.fullDiskBytes);
        ASSERT_TRUE(limit.ok());
        answered = c.action.run(*m_client, idsOf(rides), idsOf(workouts), package);
        break;
    }
    case DriveFault::UnpluggedBefore:
    case DriveFault::UnpluggedWhileCopying:
        if (c.fault == DriveFault::UnpluggedBefore)
            ASSERT_TRUE(unplug());
        else
            m_waits.hook = [this] { m_unplugged = unplug(); };
        answered = c.action.run(*m_client, idsOf(rides), idsOf(workouts), package);
        m_waits.hook = nullptr;
        EXPECT_TRUE(c.fault == DriveFault::UnpluggedBefore || m_unplugged) << "the drive never went";
        EXPECT_FALSE(QFileInfo::exists(m_root)) << "something was written where the drive was";
        ASSERT_TRUE(plugBack());
        break;
    case DriveFault::TriggerUnwritable:
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/update.ini")));
        answered = c.action.run(*m_client, idsOf(rides), idsOf(workouts), package);
        ASSERT_TRUE(QDir().rmdir(m_root + QStringLiteral("/update.ini")));
        break;
    }
    EXPECT_FALSE(answered) << "a failed action must not answer that it was done";
    EXPECT_EQ(m_client->getState(), int(OrvoClient::STATE_IN_SERVICE)) << "no restart is awaited";
    const QMap<QString, QByteArray> after = OrvoTest::filesUnder(m_root);
    EXPECT_EQ(lostOrChanged(drive, after), QStringList()) << "files of the drive lost or changed";
    if (c.fault != DriveFault::UnpluggedWhileCopying) {
        // A drive that went took with it what was on its way; the next run replaces that.
        EXPECT_EQ(after.keys(), drive.keys()) << "a staged file was left on the drive";
    }
    QVector<OrvoClientData> ridesAfter;
    QVector<OrvoClientData> workoutsAfter;
    m_client->getTracks(ridesAfter);
    m_client->getWorkouts(workoutsAfter);
    EXPECT_EQ(idsOf(ridesAfter), idsOf(rides));
    EXPECT_EQ(idsOf(workoutsAfter), idsOf(workouts));

    EXPECT_TRUE(c.action.run(*m_client, idsOf(rides), idsOf(workouts), package)) << "the action without the fault";
}

INSTANTIATE_TEST_SUITE_P(All, OrvoGalDriveFaultTest, ::testing::ValuesIn(kDriveFaults), [](const auto &i) {
    std::string name = i.param.name;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
