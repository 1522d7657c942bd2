#include "DemoDevicesFolder.h"
#include "AppTestSupport.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoDeviceTypeTable.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceRegistry.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/gal/OrvoGalDevice.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, OrvoTest::kPatienceMs);
}

QStringList names(const QVector<OrvoClientData> &items)
{
    QStringList list;
    list.reserve(items.size());
    for (const OrvoClientData &item : items)
        list << item.name;
    return list;
}

QString firstLine(const QString &path)
{
    return QString::fromLatin1(OrvoTest::readFile(path)).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The demo folder, written once per test, and a platform that holds one of its entries.
class DemoDevicesFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(DemoDevicesFolder::write(m_dir.path(), error)) << error.toStdString();
        OrvoClient::setDeviceScripts(pythonBridge());
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
    }
    void TearDown() override
    {
        OrvoClient::setDeviceScripts(nullptr);
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    // The GAL device converts its profile through the web application's scripts. Their loop stays
    // out of the suite's waits, as in the GAL device's own end-to-end test, and comes back after.
    static void SetUpTestSuite()
    {
        AppTest::startPython();
        pythonBridge()->stopScheduler();
    }
    static void TearDownTestSuite() { QTimer::singleShot(0, pythonBridge(), &PythonCppBridge::slotDoSchedule); }

    // Plugs the entry as the emulated platform plugs the folder's files.
    bool plug(const QString &entry)
    {
        const QString base = m_dir.filePath(entry);
        if (QFileInfo(base).isDir()) {
            m_platform->plugDrive(base, firstLine(base + QStringLiteral(".vendor")));
            return true;
        }
        auto device = OrvoEmulatedFolder::loadFlashDevice(base + QStringLiteral(".scsi"));
        if (!device)
            return false;
        m_platform->plugScsiDevice(device);
        return true;
    }

    // Every row of the daemon's table and its factory of GAL devices, as the daemon registers them.
    static void registerAsTheDaemon(OrvoDeviceManager &manager)
    {
        for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
            manager.registerDevice(row.info, false);
        OrvoDeviceRegistry::FileDeviceFactories factories = manager.registry().fileDeviceFactories();
        factories.galDevice = OrvoDeviceFactory::create<OrvoGalDevice>;
        manager.registry().setFileDeviceFactories(factories);
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
};

} // namespace

TEST_F(DemoDevicesFolderTest, TheFolderHoldsTheFourEntriesAndPlugsTheKavel50)
{
    const QStringList files = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(files, (QStringList{"KAVEL21", "KAVEL21.vendor", "KAVEL50", "KAVEL50.vendor", "kavel35.img",
                                  "kavel35.scsi", "kavel40.img", "kavel40.scsi", "plugged"}));
    EXPECT_EQ(firstLine(m_dir.filePath(DemoDevicesFolder::kPluggedFile)), DemoDevicesFolder::kKavel50);
    EXPECT_EQ(DemoDevicesFolder::entries(), (QStringList{"KAVEL50", "KAVEL21", "kavel40", "kavel35"}));
    EXPECT_TRUE(DemoDevicesFolder::device(QStringLiteral("nothing")).entry.isEmpty());

    // The platform takes the whole folder: both drives and both flash devices.
    OrvoEmulatedPlatform whole;
    ASSERT_TRUE(OrvoEmulatedFolder(m_dir.path()).plugInto(whole));
    EXPECT_EQ(whole.getRemovableDrives(QStringLiteral("msdos")).size(), 2);
    QVector<OrvoDeviceInfo> types;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
        types << row.info;
    EXPECT_EQ(whole.findSCSIDevices(types).size(), 1u);
}

// Each entry alone is served by the daemon's table as its model, with the rides, routes,
// workouts and profile the accessors name.
TEST_F(DemoDevicesFolderTest, EachEntryIsServedAsItsModelWithWhatTheAccessorsName)
{
    for (const QString &entry : DemoDevicesFolder::entries()) {
        SCOPED_TRACE(entry.toStdString());
        const DemoDevicesFolder::Device expected = DemoDevicesFolder::device(entry);
        m_platform = std::make_shared<OrvoEmulatedPlatform>();
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        ASSERT_TRUE(plug(entry));
        OrvoDeviceManager manager;
        registerAsTheDaemon(manager);
        ASSERT_TRUE(manager.start());
        OrvoClient *client = manager.currentClient();
        ASSERT_NE(client, nullptr);

        QString text;
        ASSERT_TRUE(client->getName(text));
        EXPECT_EQ(text, expected.model);
        ASSERT_TRUE(client->getUUID(text));
        EXPECT_EQ(text, expected.deviceId);

        QVector<OrvoClientData> rides;
        client->getTracks(rides);
        QStringList listed;
        for (const OrvoClientData &ride : std::as_const(rides))
            listed << QStringLiteral("%1 %2").arg(ride.name).arg(ride.startTime.toSecsSinceEpoch());
        QStringList named;
        for (const DemoDevicesFolder::Ride &ride : expected.rides)
            named << QStringLiteral("%1 %2").arg(ride.name).arg(ride.startTime);
        listed.sort();
        named.sort();
        EXPECT_EQ(listed, named);
        QVector<OrvoClientData> routes;
        client->getRoutes(routes);
        for (const QString &route : expected.routes)
            EXPECT_TRUE(names(routes).contains(route)) << route.toStdString();
        QVector<OrvoClientData> workouts;
        client->getWorkouts(workouts);
        for (const QString &workout : expected.workouts)
            EXPECT_TRUE(names(workouts).contains(workout)) << workout.toStdString();

        const QString profile = m_dir.filePath(entry + QStringLiteral("-profile.xml"));
        ASSERT_TRUE(client->readProfile(profile));
        ASSERT_TRUE(waitIdle(*client));
        EXPECT_FALSE(client->error());
        const QByteArray xml = OrvoTest::readFile(profile);
        EXPECT_TRUE(xml.contains("name=\"User Weight.Metric\" value=\"" + expected.weight.toLatin1() + "\""))
            << xml.toStdString();
    }
}

TEST_F(DemoDevicesFolderTest, WritingAgainReplacesWhatARunChangedAndAFileInTheWayFails)
{
    const QString ride = m_dir.filePath(QStringLiteral("KAVEL21/Activity/extra.gal"));
    ASSERT_TRUE(OrvoTest::writeFile(ride, "left from a run"));
    ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(DemoDevicesFolder::kPluggedFile), "kavel35\n"));
    QString error;
    ASSERT_TRUE(DemoDevicesFolder::write(m_dir.path(), error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(ride));
    EXPECT_EQ(firstLine(m_dir.filePath(DemoDevicesFolder::kPluggedFile)), DemoDevicesFolder::kKavel50);

    const QString file = m_dir.filePath(QStringLiteral("a-file"));
    ASSERT_TRUE(OrvoTest::writeFile(file, "x"));
    EXPECT_FALSE(DemoDevicesFolder::write(file, error));
    EXPECT_TRUE(error.contains(file)) << error.toStdString();
}
