#include "FileSizeLimit.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel50Test;

namespace {

// A write action of the drive that puts its result into a destination folder; true when it
// answered that the work was done.
struct ActionCase
{
    const char *name;
    std::function<bool(OrvoKavel50 &, const QString &)> run;
};

const ActionCase kActions[] = {
    {"upload package",
     [](OrvoKavel50 &client, const QString &destination) {
         QString zip = destination + QStringLiteral("/upload.zip");
         return client.prepareUploadData(zip, false);
     }},
    {"ride export",
     [](OrvoKavel50 &client, const QString &destination) {
         return !client._exportTrack(destination + QStringLiteral("/rides")).isEmpty();
     }},
    {"profile upload",
     [](OrvoKavel50 &client, const QString &destination) {
         return client.prepareUploadProfile(destination + QStringLiteral("/profile.xml"));
     }},
    // The log export answers through the error flag alone.
    {"log export",
     [](OrvoKavel50 &client, const QString &destination) {
         client.exportLog(destination + QStringLiteral("/log.zip"));
         return !client.error();
     }},
};

enum class Fault { UnwritableDestination, FileSizeLimit };

struct FaultCase
{
    const char *name;
    Fault fault;
};

const FaultCase kFaults[] = {
    {"destination that cannot be written", Fault::UnwritableDestination},
    {"full disk", Fault::FileSizeLimit},
};

class OrvoKavel50FaultTest : public ::testing::TestWithParam<std::tuple<ActionCase, FaultCase>>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(m_drive.writeRideFollowing(40));
        ASSERT_TRUE(m_drive.writeSettings(QStringLiteral("/morvia/applications/training/user_settings.xml"),
                                          {{QStringLiteral("User Name"), QStringLiteral("aiko")},
                                           {QStringLiteral("User MHR"), QStringLiteral("185")}}));
        // Logs the log export takes, one of them larger than the full disk below lets through.
        ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/DumpFiles/app.dmp")), "dump"));
        ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/syslog/day1.log")), QByteArray(2048, 'l')));
        m_client = makeClient(m_drive.path(QString()));
        ASSERT_TRUE(m_client->initial());
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_out;
    Kavel50Drive m_drive{m_dir.filePath(QStringLiteral("drive"))};
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

TEST_P(OrvoKavel50FaultTest, FailedWriteAnswersFalseAndKeepsTheDriveWhole)
{
    const ActionCase &action = std::get<0>(GetParam());
    const FaultCase &fault = std::get<1>(GetParam());
    const QMap<QString, QByteArray> drive = OrvoTest::filesUnder(m_drive.path(QString()));
    QString destination = m_out.filePath(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(destination));
    bool answered = true;
    if (fault.fault == Fault::UnwritableDestination) {
        // A file where the destination's folder belongs: nothing can be made below it.
        ASSERT_TRUE(OrvoTest::writeFile(m_out.filePath(QStringLiteral("blocker")), "file"));
        answered = action.run(*m_client, m_out.filePath(QStringLiteral("blocker/export")));
    } else {
        const FileSizeLimit limit(512);
        ASSERT_TRUE(limit.ok());
        answered = action.run(*m_client, destination);
    }
    // The client's run turns the false answer into the error flag.
    EXPECT_FALSE(answered);
    EXPECT_EQ(OrvoTest::filesUnder(m_drive.path(QString())).keys(), drive.keys());
    EXPECT_TRUE(OrvoTest::filesUnder(m_drive.path(QString())) == drive) << "a file of the drive changed";
    EXPECT_EQ(OrvoTest::filesUnder(destination).keys(), QStringList()) << "a file was left in the export folder";

    // Without the fault the action succeeds, on the drive the failure left.
    EXPECT_TRUE(action.run(*m_client, destination));
}

// Actions that write onto the drive itself, on a disk that is full: each answers false and the
// drive keeps every file as it was.
TEST(OrvoKavel50DriveFaultTest, FullDiskLeavesTheDriveAsItWas)
{
    struct Case
    {
        const char *name;
        std::function<bool(OrvoKavel50 &, const QString &)> run;
    };
    const Case cases[] = {
        {"profile save",
         [](OrvoKavel50 &client, const QString &) {
             return client.saveProfile({{QStringLiteral("User Name"), QStringLiteral("kenji")}});
         }},
        {"share import", [](OrvoKavel50 &client, const QString &package) { return client.setShareData(package); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const OrvoTest::UserFolderScope userFolder;
        OrvoTest::OutputDir dir;
        const Kavel50Drive drive(dir.filePath(QStringLiteral("drive")));
        ASSERT_TRUE(drive.writeIdentity({}));
        ASSERT_TRUE(drive.writeSampleData());
        ASSERT_TRUE(drive.writeSettings(QStringLiteral("/morvia/applications/training/user_settings.xml"),
                                        {{QStringLiteral("User Name"), QStringLiteral("aiko")}}));
        const QString package = dir.filePath(QStringLiteral("share.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(package, Kavel50Drive::sharePackage()));
        const std::unique_ptr<OrvoKavel50CR> client = makeClient(drive.path(QString()));
        ASSERT_TRUE(client->initial());
        const QMap<QString, QByteArray> before = OrvoTest::filesUnder(drive.path(QString()));
        bool answered = true;
        {
            const FileSizeLimit limit(64);
            ASSERT_TRUE(limit.ok());
            answered = c.run(*client, package);
        }
        EXPECT_FALSE(answered);
        EXPECT_EQ(OrvoTest::filesUnder(drive.path(QString())).keys(), before.keys());
        EXPECT_TRUE(OrvoTest::filesUnder(drive.path(QString())) == before) << "a file of the drive changed";
        EXPECT_TRUE(c.run(*client, package)) << "the action without the fault";
    }
}

INSTANTIATE_TEST_SUITE_P(All, OrvoKavel50FaultTest,
                         ::testing::Combine(::testing::ValuesIn(kActions), ::testing::ValuesIn(kFaults)),
                         [](const auto &i) {
                             std::string name =
                                 std::string(std::get<0>(i.param).name) + "_" + std::get<1>(i.param).name;
                             for (char &c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });
