#include "AppTestSupport.h"
#include "Kavel50Drive.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "app/OrvoClientWrapper.h"
#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "devices/fs/OrvoKavel50CR.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "profile/OrvoProfileData.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

using namespace AppTest;

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

} // namespace

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
