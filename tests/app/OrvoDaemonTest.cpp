#include "AppTestSupport.h"
#include "FileSizeLimit.h"
#include "OrvoTestSupport.h"
#include "RecordingClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDaemonProxy.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceService.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace AppTest;

namespace {

const QString kVendors = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");

// The entries of a zip file as unzip lists them, and one entry's bytes.
QStringList zipEntries(const QString &zip)
{
    const ProcessResult listed = runProcess(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    return QString::fromUtf8(listed.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray zipEntry(const QString &zip, const QString &entry)
{
    return runProcess(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, entry}).output;
}

// A controller whose current client the test chooses.
class ControllerWithClient : public OrvoDaemon
{
public:
    OrvoClient *client = nullptr;
    OrvoClient *currentClient() override { return client; }
};

class OrvoDaemonTest : public ::testing::Test
{
protected:
    void SetUp() override { initEnvironment(); }
    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    // The device manager sees only the emulated platform's drives.
    std::shared_ptr<OrvoEmulatedPlatform> emulatedPlatform()
    {
        auto platform = std::make_shared<OrvoEmulatedPlatform>();
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        return platform;
    }

    QString deviceDrive(const QString &name, const QString &model, const QString &id)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        OrvoTest::writeFile(folder + QStringLiteral("/device.ini"),
                            "[MODEL]\r\nModel=" + model.toLatin1() + "\r\n[UUID]\r\nUUID=" + id.toLatin1() + "\r\n");
        return folder;
    }

    OrvoTest::OutputDir m_dir;
    OrvoEnv *env = OrvoEnv::instance();
};

TEST_F(OrvoDaemonTest, AttachSetsUpTheModelAndTellsTheWebApplication)
{
    startPython();
    struct Case
    {
        const char *name;
        QString model;
        QString total;
        QString bootLoader;
        int serviceType;
        bool hasDrive;
        QStringList libraryCalls;
        bool announced;
    };
    const QString fs = QStringLiteral("FS");
    const std::vector<Case> cases = {
        {"GAL model on its drive",
         QStringLiteral("Kavel21"),
         QStringLiteral("A01"),
         QStringLiteral("B2"),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelName Kavel21"), QStringLiteral("SetModelIMG A01"), QStringLiteral("SetModelIAP B2")},
         true},
        {"ten-character name, four-character image, three-character boot loader",
         QStringLiteral("Kavel35Pro"),
         QStringLiteral("1234"),
         QStringLiteral("123"),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelIAP 123")},
         true},
        {"nine-character name",
         QStringLiteral("Kavel20pl"),
         QString(),
         QString(),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelName Kavel20pl")},
         true},
        {"Kavel50 on its drive",
         QStringLiteral("Kavel50"),
         QString(),
         QString(),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelName Kavel50")},
         false},
        {"Kavel50CR on its drive",
         QStringLiteral("Kavel50CR"),
         QString(),
         QString(),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelName Kavel50CR")},
         false},
        {"lower-case kavel50 is another model",
         QStringLiteral("kavel50"),
         QString(),
         QString(),
         OrvoDeviceService::FileSystemService,
         true,
         {QStringLiteral("SetModelName kavel50")},
         true},
        {"flash device",
         QStringLiteral("Kavel40"),
         QString(),
         QString(),
         OrvoDeviceService::ScsiPassThroughService,
         true,
         {QStringLiteral("SetModelName Kavel40")},
         false},
        {"drive not known",
         QStringLiteral("Kavel21"),
         QString(),
         QString(),
         OrvoDeviceService::FileSystemService,
         false,
         {QStringLiteral("SetModelName Kavel21")},
         false},
        {"no texts at all", QString(), QString(), QString(), OrvoDeviceService::FileSystemService, true, {}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        runPython(
            QStringLiteral("import serveree, orvoupdate\nserveree.announced = None\norvoupdate.requested = None"));
        RecordingModelSetup library;
        OrvoDaemon daemon;
        daemon.setModelSetup(&library);
        RecordingClient client;
        client.model = c.model;
        client.total = c.total;
        client.bootLoader = c.bootLoader;
        client.serviceType = c.serviceType;
        client.hasDrive = c.hasDrive;
        client.drive = QStringLiteral("/media/orvo/KAVEL");

        daemon.onDeviceConnected(&client);

        EXPECT_EQ(client.versionChecks, 1);
        EXPECT_EQ(client.checkedEnv, env);
        EXPECT_EQ(ZKTraceLog::modelName(), c.model);
        EXPECT_EQ(library.calls, c.libraryCalls);
        EXPECT_EQ(evalPython(QStringLiteral("serveree.announced")),
                  c.announced ? QStringLiteral("('/media/orvo/KAVEL', '14d')") : QStringLiteral("None"));
        EXPECT_EQ(evalPython(QStringLiteral("orvoupdate.requested")),
                  QStringLiteral("('%1', '%2')").arg(env->updateUrl(), c.model));
    }
}

TEST_F(OrvoDaemonTest, DetachClearsTheUpdateFlagsButKeepsTheDeviceFlagOfADeviceThatFormatsItself)
{
    struct Case
    {
        const char *name;
        int state;
        bool deviceFlagAfter;
    };
    const std::vector<Case> cases = {
        {"in service", OrvoClient::STATE_IN_SERVICE, false},
        {"busy", OrvoClient::STATE_OUT_OF_SERVICE, false},
        {"formatting", OrvoDaemon::kFormattingState, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env->setForceOrvoUpdate(true);
        env->setForceDeviceUpdate(true);
        RecordingClient client;
        client.state = c.state;
        OrvoDaemon daemon;
        daemon.onDeviceDisconnected(&client);
        EXPECT_FALSE(env->isForceOrvoUpdate());
        EXPECT_EQ(env->isForceDeviceUpdate(), c.deviceFlagAfter);
    }
    env->setForceDeviceUpdate(false);
}

TEST_F(OrvoDaemonTest, RegistersTheTableInItsOrderAndServesEveryModel)
{
    auto platform = emulatedPlatform();
    platform->plugDrive(
        deviceDrive(QStringLiteral("KAVEL50"), QStringLiteral("Kavel50"), QStringLiteral("0901A1B2C3D4E5F6")),
        QStringLiteral("TarvexKavel50"));
    LogWatch log;
    OrvoDaemon daemon;
    EXPECT_TRUE(daemon.registerDevices(true));
    ASSERT_NE(daemon.currentClient(), nullptr);
    QString model;
    EXPECT_TRUE(daemon.currentClient()->getName(model));
    EXPECT_EQ(model, QStringLiteral("Kavel50"));

    const QString m1 = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
    const QStringList expected = {
        "1207 Kavel21 " + m1,         "1206 Kavel20plus " + kVendors, "1102 Kavel20 TREVANIS", "1105 Kavel40 KOSMIR",
        "1104 Kavel50CR " + kVendors, "0901 Kavel50 " + kVendors,     "1103 Pulmor35 ZUNDAR",  "1004 Pulmor30 TESKA",
        "1003 Kavel35 QUILMA",        "1101 Kavel35 QUILMA",
    };
    QStringList registered;
    const QVector<OrvoDeviceInfo> types = daemon.deviceManager()->deviceTypes();
    for (const OrvoDeviceInfo &info : types) {
        registered << QStringLiteral("%1 %2 %3").arg(info.productId, info.modelName, info.matchString);
        const QStringList served = {
            QStringLiteral("Kavel40"),     QStringLiteral("Kavel35"),   QStringLiteral("Kavel21"),
            QStringLiteral("Kavel20plus"), QStringLiteral("Kavel50CR"), QStringLiteral("Kavel50"),
            QStringLiteral("Kavel20"),     QStringLiteral("Pulmor35"),  QStringLiteral("Pulmor30")};
        EXPECT_EQ(bool(info.factory), served.contains(info.modelName)) << info.modelName.toStdString();
    }
    EXPECT_EQ(registered, expected);
    // Every model of the table is served.
    EXPECT_FALSE(log.contains(QStringLiteral("models not supported yet"))) << log.text().toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("no client class"))) << log.text().toStdString();
}

TEST_F(OrvoDaemonTest, DeviceAttachedAtStartBecomesTheCurrentClientAndTheControllerHearsOfItsEnd)
{
    auto platform = emulatedPlatform();
    platform->plugDrive(deviceDrive(QStringLiteral("DEMO"), QStringLiteral("Demo"), QStringLiteral("4242000000000001")),
                        QStringLiteral("TarvexDemo"));
    OrvoDaemon daemon;
    RecordingClient *made = nullptr;
    daemon.deviceManager()->registerDevice({QStringLiteral("4242"), QStringLiteral("Demo"), kVendors,
                                            [&made](std::unique_ptr<OrvoDeviceService>) {
                                                auto client = std::make_unique<RecordingClient>();
                                                client->model = QStringLiteral("Demo");
                                                made = client.get();
                                                return std::unique_ptr<OrvoClient>(std::move(client));
                                            }},
                                           false);

    EXPECT_TRUE(daemon.registerDevices(false));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(daemon.currentClient(), made);
    EXPECT_EQ(daemon.deviceManager()->deviceTypes().size(), 1);
    // Once as it was connected, once more when registration ends.
    EXPECT_EQ(made->versionChecks, 2);
    EXPECT_EQ(ZKTraceLog::modelName(), QStringLiteral("Demo"));

    env->setForceOrvoUpdate(true);
    EXPECT_TRUE(daemon.deviceManager()->releaseCurrentDevice());
    EXPECT_FALSE(env->isForceOrvoUpdate());
    EXPECT_EQ(daemon.currentClient(), nullptr);
}

TEST_F(OrvoDaemonTest, TrayRoleGetsAProxyWithoutClientAndReleaseTakesTheCommandsAway)
{
    OrvoDaemon *controller = OrvoDaemon::instance();
    EXPECT_NE(dynamic_cast<OrvoDaemonProxy *>(controller), nullptr);
    EXPECT_EQ(controller->currentClient(), nullptr);
    EXPECT_EQ(OrvoControllerHooks::currentClient(), nullptr);
    EXPECT_EQ(OrvoDaemon::instance(), controller);
    OrvoDaemon::release();
    LogWatch log;
    QString error;
    EXPECT_FALSE(OrvoControllerHooks::exportLog(m_dir.filePath(QStringLiteral("orvoexport.zip")), error));
    EXPECT_EQ(error, QStringLiteral("no device controller runs"));
    EXPECT_TRUE(log.contains(QStringLiteral("no device controller"))) << log.text().toStdString();
}

// An export that wrote no zip file says so and why, whatever stopped it: a missing folder, a
// folder that is a file, a full disk, or a file already there.
TEST_F(OrvoDaemonTest, ExportLogPacksCopiesUnderBareNamesAndLeavesNoneBehind)
{
    const QString userFolder = env->userFolder();
    const QString log = userFolder + QStringLiteral("/orvo.log");
    struct Case
    {
        const char *name;
        bool daemonLog;
        bool client;
        QString dest;
        QStringList entries;
        // Part of the reason an export that wrote nothing gives.
        QString reason = {};
        // Bytes a file may take, as on a disk about to be full; 0 for no limit.
        qint64 fileSizeLimit = 0;
    };
    const QString spaced = m_dir.filePath(QStringLiteral("export dir"));
    QDir().mkpath(spaced);
    const QString aFile = m_dir.filePath(QStringLiteral("a file"));
    ASSERT_TRUE(OrvoTest::writeFile(aFile, "not a folder"));
    const QString notWritten = QStringLiteral("could not be written");
    const std::vector<Case> cases = {
        {"both logs and the flash dump",
         true,
         true,
         spaced + QStringLiteral("/orvo export.zip"),
         {QStringLiteral("orvolog.txt"), QStringLiteral("orvouserlog.txt"), QStringLiteral("Kavel40flash.dat")}},
        {"the program's own log only",
         false,
         false,
         spaced + QStringLiteral("/second.zip"),
         {QStringLiteral("orvouserlog.txt")}},
        {"destination folder missing", true, true, m_dir.filePath(QStringLiteral("missing/orvo.zip")), {}, notWritten},
        {"destination folder is a file", true, true, aFile + QStringLiteral("/orvo.zip"), {}, notWritten},
        {"disk full", true, true, spaced + QStringLiteral("/full.zip"), {}, notWritten, 100},
        // Whoever names a file must not get it removed.
        {"destination exists",
         true,
         true,
         spaced + QStringLiteral("/orvo export.zip"),
         {},
         QStringLiteral("exists; the export replaces no file")},
    };
    const QString startFolder = QDir::currentPath();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(log);
        if (c.daemonLog) {
            ASSERT_TRUE(OrvoTest::writeFile(log, "daemon log line\n"));
        }
        // Left by an export that did not end; one that is refused copies nothing.
        const QByteArray before = OrvoTest::readFile(c.dest);
        if (before.isEmpty()) {
            ASSERT_TRUE(OrvoTest::writeFile(userFolder + QStringLiteral("/orvouserlog.txt"), "stale"));
        }
        qWarning() << "before the export";
        RecordingClient client;
        client.model = QStringLiteral("Kavel40");
        client.flash = "FLASH";
        ControllerWithClient daemon;
        daemon.client = c.client ? &client : nullptr;

        QString error;
        std::optional<FileSizeLimit> limit;
        if (c.fileSizeLimit > 0) {
            limit.emplace(c.fileSizeLimit);
            ASSERT_TRUE(limit->ok());
        }
        const bool written = daemon.exportLog(c.dest, error);
        limit.reset();

        EXPECT_EQ(written, !c.entries.isEmpty());
        EXPECT_EQ(error.isEmpty(), written);
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();

        if (c.entries.isEmpty())
            EXPECT_EQ(OrvoTest::readFile(c.dest), before);
        else
            EXPECT_EQ(zipEntries(c.dest), c.entries);
        if (c.entries.contains(QStringLiteral("orvolog.txt"))) {
            EXPECT_EQ(zipEntry(c.dest, QStringLiteral("orvolog.txt")), QByteArray("daemon log line\n"));
        }
        if (c.entries.contains(QStringLiteral("Kavel40flash.dat"))) {
            EXPECT_EQ(zipEntry(c.dest, QStringLiteral("Kavel40flash.dat")), QByteArray("FLASH"));
        }
        if (!c.entries.isEmpty()) {
            const QByteArray copied = zipEntry(c.dest, QStringLiteral("orvouserlog.txt"));
            EXPECT_TRUE(copied.contains("before the export")) << copied.toStdString();
            EXPECT_TRUE(OrvoTest::readFile(env->logFilePath()).startsWith(copied));
        }
        for (const char *copy : {"orvolog.txt", "orvouserlog.txt", "Kavel40flash.dat"})
            EXPECT_FALSE(QFile::exists(userFolder + QLatin1Char('/') + QLatin1String(copy))) << copy;
        EXPECT_EQ(QDir::currentPath(), startFolder);
    }
}

} // namespace
