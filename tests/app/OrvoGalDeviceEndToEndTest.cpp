#include "AppTestSupport.h"
#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "GalFolderBuilder.h"
#include "GalPackageBuilder.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoDaemon.h"
#include "app/OrvoDeviceTypeTable.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/gal/OrvoGalDevice.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedIapReturn.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace AppTest;
namespace py = pybind11;

namespace {

const QString kWeightKey = QStringLiteral("User Weight.Metric");

OrvoDeviceInfo tableRow(const QString &productId)
{
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.productId == productId)
            return row.info;
    }
    return {};
}

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, OrvoTest::kPatienceMs);
}

// An emulated GAL drive served by the device library, its activities exported and its profile
// and workouts changed through the web application's scripts.
class OrvoGalDeviceEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        // The web application's loop stays out of the waits below: in this test greenlet's own
        // stack copy trips AddressSanitizer's stack check (a report inside greenlet, not in our
        // code). The workers' calls and the result callback reach Python without the loop.
        pythonBridge()->stopScheduler();
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        OrvoClient::setDeviceScripts(pythonBridge());
    }
    void TearDown() override
    {
        OrvoClient::setDeviceScripts(nullptr);
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
        QTimer::singleShot(0, pythonBridge(), &PythonCppBridge::slotDoSchedule);
    }

    // A Kavel21 drive of the device library's layout with one activity and a profile.
    QString galDrive(const QString &name, const GalFolderBuilder::DeviceIni &ini)
    {
        const QString root = m_dir.filePath(name);
        const GalFolderBuilder device(root);
        EXPECT_TRUE(device.setDeviceIni(ini));
        EXPECT_TRUE(device.addActivity({.fileName = QStringLiteral("240131120000.gal"),
                                        .name = "Morning",
                                        .start = 1706702400,
                                        .end = 1706706000,
                                        .distance = 30500,
                                        .points = {{1706702400, 35681236, 139767125, 40, 120, 80}}}));
        EXPECT_TRUE(device.setProfile(
            {{kWeightKey, QStringLiteral("70")}, {QStringLiteral("Sys-langCode"), QStringLiteral("eng")}}));
        return root;
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
};

} // namespace

TEST_F(OrvoGalDeviceEndToEndTest, AKavel21ExportsItsActivitiesAndTakesAProfileAndAWorkout)
{
    const QString root = galDrive(QStringLiteral("KAVEL21"), {});
    m_platform->plugDrive(root, QStringLiteral("TARVEXKavel21"));
    OrvoDeviceManager manager;
    manager.registerDevice(tableRow(QStringLiteral("1207")), false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoGalDevice *>(manager.currentClient());
    ASSERT_NE(client, nullptr);
    QString os;
    ASSERT_TRUE(client->getOS(os));
    EXPECT_EQ(os, QStringLiteral("1.05.210.1234"));

    runPython(QStringLiteral("device_results = []"));
    {
        py::gil_scoped_acquire gil;
        ASSERT_TRUE(
            pythonBridge()->setAsyncCallback(py::module_::import("__main__").attr("device_results").attr("append")));
    }
    const QString folder = m_dir.filePath(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(client->exportTrack(folder));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_EQ(evalPython(QStringLiteral("device_results")), QStringLiteral("[['%1/240131120000.krm']]").arg(folder));
    const QString ride = QString::fromUtf8(OrvoTest::readFile(folder + QStringLiteral("/240131120000.krm")));
    EXPECT_TRUE(ride.contains(QStringLiteral("<sys version=\"1.0.0.1.05 Orvo2.8.0.20\">Kavel21</sys>")))
        << ride.toStdString();
    EXPECT_TRUE(ride.contains(QStringLiteral("<weight>70</weight>"))) << ride.toStdString();

    // Action 21, then 20: the changed weight goes to the device and comes back.
    const QString written = m_dir.filePath(QStringLiteral("written.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(written, "<settings><property name=\"User Weight.Metric\" value=\"64\"/>"
                                             "<property name=\"Sys-langCode\" value=\"eng\"/></settings>"));
    ASSERT_TRUE(client->writeProfile(written));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    const QString read = m_dir.filePath(QStringLiteral("read.xml"));
    ASSERT_TRUE(client->readProfile(read));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    EXPECT_TRUE(OrvoTest::readFile(read).contains("name=\"User Weight.Metric\" value=\"64\""))
        << OrvoTest::readFile(read).toStdString();

    // Action 19: the share package's workout lands on the device and is listed.
    const QByteArray course = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\" creator=\"tarvex\" "
                              "version=\"1.3.0.9\">\n"
                              "  <wrk id=\"1704067200\" type=\"2\" subtype=\"3\">\n"
                              "    <acttype>1</acttype>\n"
                              "    <name>\\eng|Tempo</name>\n"
                              "  </wrk>\n"
                              "</trncrs>\n";
    const QString package = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(package, FixtureZip::storedArchive({{"plans/tempo.wrk", course}})));
    ASSERT_TRUE(client->importDownloadZip(package));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    QVector<OrvoClientData> workouts;
    client->getWorkouts(workouts);
    ASSERT_EQ(workouts.size(), 1);
    EXPECT_EQ(workouts.at(0).id, 1704067200);
    EXPECT_EQ(workouts.at(0).name, QStringLiteral("Tempo"));
    EXPECT_EQ(workouts.at(0).workoutType, 2);
}

// A model that no row of the table names is registered from its device file, and the
// daemon's lookup factory serves it.
TEST_F(OrvoGalDeviceEndToEndTest, AGalModelOutsideTheTableIsServedThroughTheDaemonsLookup)
{
    GalFolderBuilder::DeviceIni ini;
    ini.model = QStringLiteral("Kavel22");
    ini.uuid = QStringLiteral("1299A1B2C3D4E5F6");
    m_platform->plugDrive(galDrive(QStringLiteral("KAVEL22"), ini), QStringLiteral("TARVEXKavel22"));
    OrvoDaemon daemon;
    EXPECT_TRUE(daemon.registerDevices(true));
    auto *client = dynamic_cast<OrvoGalDevice *>(daemon.currentClient());
    ASSERT_NE(client, nullptr);
    QString model;
    ASSERT_TRUE(client->getName(model));
    EXPECT_EQ(model, QStringLiteral("Kavel22"));
    QVector<OrvoClientData> tracks;
    client->getTracks(tracks);
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_EQ(tracks.at(0).name, QStringLiteral("Morning"));
}

// Update method 2: the drive is told to restart into its updater, the same client writes the
// external flash in IAP mode and starts the updater, and the drive comes back.
TEST_F(OrvoGalDeviceEndToEndTest, AMethod2UpdateWritesTheFlashInIapModeAndTheDriveComesBack)
{
    const QString root = galDrive(QStringLiteral("KAVEL21"), {});
    m_platform->plugDrive(root, QStringLiteral("TARVEXKavel21"));
    m_platform->iapReturn().setRestartDelay(-1);
    // Every reading is far from the one before: no debounce and no restart guard hold back
    // the device's comings and goings.
    quint32 seconds = 1700000000;
    quint32 tick = 0;
    OrvoDeviceManager manager([&seconds] { return seconds += 60; }, [&tick] { return tick += 60000; });
    manager.registerDevice(tableRow(QStringLiteral("1207")), false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoGalDevice *>(manager.currentClient());
    ASSERT_NE(client, nullptr);
    int done = 0;
    QObject::connect(client, &OrvoClient::updateTotalDone, [&done] { ++done; });

    GalPackageBuilder::Package package;
    for (qsizetype i = 0; i < package.image.size(); ++i)
        package.image[i] = char('a' + i % 23);
    const QString file = m_dir.filePath(QStringLiteral("firmware.zip"));
    ASSERT_TRUE(GalPackageBuilder::write(file, package));

    // Phase one: the trigger, the updater's row in front, the eject; the action waits.
    ASSERT_TRUE(client->updateTotal(file, QString()));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_EQ(client->getState(), int(OrvoClient::STATE_TOTAL_UPDATE));
    EXPECT_EQ(done, 0);
    EXPECT_TRUE(m_platform->getRemovableDrives(QString()).isEmpty());
    ASSERT_FALSE(manager.deviceTypes().isEmpty());
    EXPECT_EQ(manager.deviceTypes().first().matchString, QStringLiteral("TrevanisIAP"));
    const std::shared_ptr<OrvoEmulatedFlashDevice> updater = m_platform->iapReturn().updaterOf(root);
    ASSERT_NE(updater, nullptr);

    // Phase two, on the same client, once the device is back as its updater.
    ASSERT_EQ(m_platform->iapReturn().finishRestarts(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&done] { return done > 0; }, OrvoTest::kPatienceMs));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_EQ(manager.currentClient(), client);
    EXPECT_EQ(client->deviceServiceType(), int(OrvoDeviceService::ScsiPassThroughService));
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(client->error());
    EXPECT_EQ(client->getState(), int(OrvoClient::STATE_IN_SERVICE));
    for (const OrvoDeviceInfo &row : manager.deviceTypes())
        EXPECT_NE(row.matchString, QStringLiteral("TrevanisIAP")) << "the updater's row is gone";

    // The image from block 0x20000 >> 12: the image in whole 2048-byte pages, the header, the
    // device's English font, filler up to 8 KiB and the image's bytes 148-151 at its end.
    const QByteArray flash = updater->memory(OrvoEmulatedIapReturn::kExternalFlash);
    QByteArray image =
        package.image + QByteArray(4096 - package.image.size(), '\0') + package.header + package.fonts.at(0).second;
    image += QByteArray(8192 - image.size(), char(0xFF));
    image.replace(8192 - 4, 4, package.image.mid(148, 4));
    EXPECT_EQ(flash.mid(32 * 4096, 8192), image);
    EXPECT_EQ(flash.left(32 * 4096), QByteArray(32 * 4096, char(0xFF)));
    // The language binary from block 0x100000 >> 12: its index, then both fonts.
    const QByteArray language = flash.mid(256 * 4096, 4096);
    EXPECT_EQ(FixtureBytes::getU32Le(language, 0), 0x77a0b2c3u);
    EXPECT_EQ(quint8(language.at(8)), 2);
    const qsizetype fonts = package.fonts.at(0).second.size() + package.fonts.at(1).second.size();
    EXPECT_TRUE(language.mid(229, fonts).contains(package.fonts.at(0).second));
    EXPECT_TRUE(language.mid(229, fonts).contains(package.fonts.at(1).second));
    EXPECT_EQ(language.mid(229 + fonts), QByteArray(4096 - 229 - fonts, char(0xFF)));
    const auto log = updater->commandLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.back().cdb, QByteArray::fromHex("2800000000001A000100"));
    EXPECT_EQ(log.back().dataInLength, 512);

    // The updater installs and the device returns as its drive, to a client of its own.
    ASSERT_EQ(m_platform->iapReturn().finishRestarts(), 1);
    auto *back = dynamic_cast<OrvoGalDevice *>(manager.currentClient());
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back, client);
    QString drive;
    ASSERT_TRUE(back->getDrive(drive));
    EXPECT_EQ(QDir::cleanPath(drive), QDir::cleanPath(root));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/update.ini")));
}
