#include "AppTestSupport.h"
#include "FixtureZip.h"
#include "GalFolderBuilder.h"
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
