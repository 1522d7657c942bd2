#include "AppTestSupport.h"
#include "FixtureZip.h"
#include "Kavel50Drive.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoClientWrapper.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoDeviceTypeTable.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/fs/OrvoKavel50CR.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "profile/OrvoProfileData.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QUuid>

#include <gtest/gtest.h>

using namespace AppTest;
namespace py = pybind11;

namespace {

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, OrvoTest::kPatienceMs);
}

// No file below the folder is open in this process.
bool noFileOpenBelow(const QString &folder)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget().startsWith(folder))
            return false;
    }
    return true;
}

QMap<QString, QString> readXml(const QString &path)
{
    OrvoProfileData data(path.toUtf8(), OrvoProfileData::XmlFile);
    EXPECT_TRUE(data.parse()) << path.toStdString();
    return data.values();
}

int rideRows(const QString &database, qint64 key)
{
    const QString name = QUuid::createUuid().toString(QUuid::Id128);
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("select count(*) from TraceLog where idRoute=?"));
            query.addBindValue(key);
            if (query.exec() && query.next())
                rows = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

class OrvoKavel50EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
    }
    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
};

// What sqlite3 answers, read apart from the code under test.
QString sqliteAnswer(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(OrvoTest::kPatienceMs))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList zipEntries(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!unzip.waitForFinished(OrvoTest::kPatienceMs))
        return {};
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The Kavel50's actions as the web application starts them, their results handed to Python.
class OrvoKavel50ActionsEndToEndTest : public OrvoKavel50EndToEndTest
{
protected:
    static constexpr qint64 kUpdateSeconds = 1700000000;

    void SetUp() override
    {
        startPython();
        // As in the other device suites: the web application's loop stays out of the waits.
        pythonBridge()->stopScheduler();
        OrvoDeviceWaits::install(&m_waits);
        OrvoKavel50EndToEndTest::SetUp();
        OrvoClient::setDeviceScripts(pythonBridge());
        runPython(QStringLiteral("device_results = []"));
        py::gil_scoped_acquire gil;
        ASSERT_TRUE(
            pythonBridge()->setAsyncCallback(py::module_::import("__main__").attr("device_results").attr("append")));
    }
    void TearDown() override
    {
        OrvoControllerHooks::setCurrentClientHook({});
        OrvoClient::setDeviceScripts(nullptr);
        OrvoKavel50EndToEndTest::TearDown();
        OrvoDeviceWaits::install(nullptr);
        QTimer::singleShot(0, pythonBridge(), &PythonCppBridge::slotDoSchedule);
    }

    // The results Python got since the last call.
    QString takeResults()
    {
        const QString results = evalPython(QStringLiteral("device_results"));
        runPython(QStringLiteral("device_results.clear()"));
        return results;
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime::fromSecsSinceEpoch(kUpdateSeconds, QTimeZone::utc())};
};

} // namespace

TEST_F(OrvoKavel50ActionsEndToEndTest, AKavel50ExportsUploadsImportsAndTakesAFirmwareUpdate)
{
    const QString root = m_dir.filePath(QStringLiteral("KAVEL50"));
    Kavel50Drive drive(root);
    ASSERT_TRUE(drive.writeIdentity({}));
    ASSERT_TRUE(drive.writeSampleData());
    ASSERT_TRUE(drive.writeRideFollowing(40));
    m_platform->plugDrive(root, QStringLiteral("TarvexKavel50"));
    OrvoDeviceManager manager;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
        manager.registerDevice(row.info, false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoKavel50CR *>(manager.currentClient());
    ASSERT_NE(client, nullptr);

    // Action 17: the rides as GPX files in the chosen folder.
    const QString folder = m_dir.filePath(QStringLiteral("rides"));
    ASSERT_TRUE(client->exportTrack(folder));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    const QString exported = takeResults();
    const QRegularExpression rideName(
        QStringLiteral("^\\[\\['%1/\\d{14}\\.gpx', '%1/\\d{14}\\.gpx'\\]\\]$").arg(QRegularExpression::escape(folder)));
    EXPECT_TRUE(rideName.match(exported).hasMatch()) << exported.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(noFileOpenBelow(root));

    // Action 18: the upload package with the rides, the workout one of them followed and the logs.
    ASSERT_TRUE(client->makeUploadZip());
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    const QString zip = OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + OrvoEnv::instance()->uploadFileName();
    EXPECT_EQ(takeResults(), QStringLiteral("[['%1']]").arg(zip));
    const QStringList entries = zipEntries(zip);
    EXPECT_EQ(entries.filter(QRegularExpression(QStringLiteral("^\\d{14}\\.krm$"))).size(), 2)
        << entries.join(u' ').toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("export-40.wrk"))) << entries.join(u' ').toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("flash.dat")));
    EXPECT_TRUE(noFileOpenBelow(root));

    // Action 19: a shared route becomes one of the user's own, the workout is stored.
    const QString share = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(share, Kavel50Drive::sharePackage()));
    ASSERT_TRUE(client->importDownloadZip(share));
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    const QString routeDb = drive.database().path(QStringLiteral("/data/route/route.dat"));
    EXPECT_EQ(sqliteAnswer(routeDb, QStringLiteral("select RouteType from Route where Title='Shared loop'")),
              QStringLiteral("1"));
    EXPECT_EQ(sqliteAnswer(routeDb, QStringLiteral("select name from Workout where wid=9")),
              QStringLiteral("Shared intervals"));
    EXPECT_TRUE(noFileOpenBelow(root));

    // A firmware update through the wrapper leaves the order the device acts on.
    const QString firmware = m_dir.filePath(QStringLiteral("Total.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(firmware, FixtureZip::storedArchive({{"Vorna.bin", "image"}, {"CKS.TXT", "sum"}})));
    OrvoControllerHooks::setCurrentClientHook([&manager] { return manager.currentClient(); });
    OrvoClientWrapper wrapper;
    ASSERT_EQ(wrapper.new_OrvoClient(), client);
    ASSERT_EQ(wrapper.updateDevice(client, QStringLiteral("Total"), firmware, QString()), 0);
    ASSERT_TRUE(waitIdle(*client));
    EXPECT_FALSE(client->error());
    EXPECT_EQ(OrvoTest::readFile(drive.path(QStringLiteral("/Update.ini"))),
              OrvoTest::readFile(OrvoTest::dataPath(QStringLiteral("devices/fs/Update.ini"))));
    EXPECT_FALSE(QFileInfo::exists(drive.path(QStringLiteral("/updating@@!.ini"))));
}

TEST_F(OrvoKavel50EndToEndTest, AKavel50DriveIsServedListedAndItsProfileWritten)
{
    const QString root = m_dir.filePath(QStringLiteral("KAVEL50"));
    Kavel50Drive drive(root);
    ASSERT_TRUE(drive.writeIdentity({}));
    ASSERT_TRUE(drive.writeSampleData());
    ASSERT_TRUE(drive.writeSettings(QStringLiteral("/morvia/applications/training/user_settings.xml"),
                                    {{QStringLiteral("User Name"), QStringLiteral("aiko")}}));
    ASSERT_TRUE(drive.writeSettings(QStringLiteral("/morvia/applications/core/user_settings.xml"),
                                    {{QStringLiteral("unit system"), QStringLiteral("0")}}));
    m_platform->plugDrive(root, QStringLiteral("TarvexKavel50"));

    OrvoDeviceManager manager;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
        manager.registerDevice(row.info, false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoKavel50CR *>(manager.currentClient());
    ASSERT_NE(client, nullptr);
    QString text;
    ASSERT_TRUE(client->getName(text));
    EXPECT_EQ(text, QStringLiteral("Kavel50"));
    ASSERT_TRUE(client->getUUID(text));
    EXPECT_EQ(text, Kavel50Drive::Identity().uuid);
    EXPECT_TRUE(noFileOpenBelow(root));

    const QString list = m_dir.filePath(QStringLiteral("datalist.xml"));
    ASSERT_TRUE(client->getShareDataList({list, QString(), QString()}));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    EXPECT_TRUE(noFileOpenBelow(root));
    const QByteArray xml = OrvoTest::readFile(list);
    EXPECT_TRUE(xml.contains("PersonalData")) << xml.toStdString();
    for (const char *name : {"Cafe", "River loop", "Morning ride", "Recovery"})
        EXPECT_TRUE(xml.contains(name)) << name;
    EXPECT_EQ(QProcess::execute(QStringLiteral("xmllint"), {QStringLiteral("--noout"), list}), 0);

    const DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
    const QString rideBase = drive.traceLogDir() + QLatin1Char('/') + QString::number(ride.key);
    ASSERT_TRUE(QFileInfo::exists(rideBase + QStringLiteral("-GPS.dat")));
    OrvoClientWrapper wrapper;
    EXPECT_TRUE(wrapper.deleteHistory(client, {ride.title}));
    EXPECT_EQ(rideRows(drive.database().path(QStringLiteral("/data/route/route.dat")), ride.key), 0);
    EXPECT_FALSE(QFileInfo::exists(rideBase + QStringLiteral("-GPS.dat")));
    EXPECT_FALSE(QFileInfo::exists(rideBase + QStringLiteral("-TRN.dat")));
    EXPECT_TRUE(noFileOpenBelow(root));

    const QString profile = m_dir.filePath(QStringLiteral("profile.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(profile, "<settings><property name=\"User Name\" value=\"kenji\"/>"
                                             "<property name=\"Dst Unit\" value=\"Imperial\"/></settings>"));
    ASSERT_TRUE(client->writeProfile(profile));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    EXPECT_TRUE(noFileOpenBelow(root));
    EXPECT_EQ(readXml(drive.path(QStringLiteral("/morvia/applications/training/user_settings.xml")))
                  .value(QStringLiteral("User Name")),
              QStringLiteral("kenji"));
    EXPECT_EQ(readXml(drive.path(QStringLiteral("/morvia/applications/core/user_settings.xml")))
                  .value(QStringLiteral("unit system")),
              QStringLiteral("1"));

    const QString read = m_dir.filePath(QStringLiteral("read.xml"));
    ASSERT_TRUE(client->readProfile(read));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    EXPECT_TRUE(noFileOpenBelow(root));
    const QMap<QString, QString> back = readXml(read);
    EXPECT_EQ(back.value(QStringLiteral("User Name")), QStringLiteral("kenji"));
    EXPECT_EQ(back.value(QStringLiteral("Dst Unit")), QStringLiteral("Imperial"));
}
