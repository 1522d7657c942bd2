#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "env/OrvoEnv.h"
#include "env/OrvoUtility.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

constexpr int kTempoWid = 40;

// The entries of a zip file as unzip lists them, sorted; "<no zip>" when unzip does not read it.
QStringList zipEntries(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!unzip.waitForFinished())
        return {QStringLiteral("<no zip>")};
    if (unzip.exitCode() != 0) {
        const bool empty = QString::fromUtf8(unzip.readAllStandardOutput()).startsWith(QLatin1String("Empty zipfile"));
        return empty ? QStringList() : QStringList{QStringLiteral("<no zip>")};
    }
    QStringList names = QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.sort();
    return names;
}

QStringList withSuffix(const QStringList &names, const QString &suffix)
{
    QStringList found;
    std::copy_if(names.cbegin(), names.cend(), std::back_inserter(found),
                 [&](const QString &name) { return name.endsWith(suffix); });
    return found;
}

// What the sqlite3 program answers, read apart from the code under test.
QString sqliteAnswer(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(30000))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class OrvoKavel50ExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        ASSERT_TRUE(m_drive.writeRideFollowing(kTempoWid));
        m_client = makeClient(m_dir.path());
        ASSERT_TRUE(m_client->initial());
    }

    void TearDown() override
    {
        OrvoUtility::setCopyStep({});
        OrvoUtility::setSleeper({});
    }

    QString routeDb() const
    {
        return m_drive.path(QStringLiteral("/morvia/applications/cycling/data/route/route.dat"));
    }

    QVector<bool> uploadedMarks()
    {
        QVector<OrvoClientData> rides;
        m_client->getTracks(rides);
        QVector<bool> marks;
        for (const OrvoClientData &ride : std::as_const(rides))
            marks.append(ride.uploaded);
        return marks;
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    OrvoTest::OutputDir m_out;
    Kavel50Drive m_drive{m_dir.path()};
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

TEST_F(OrvoKavel50ExportTest, UploadPackagesEachRideOnceWithItsWorkoutAndLogs)
{
    QString zip = m_out.filePath(QStringLiteral("first.zip"));
    ASSERT_TRUE(m_client->prepareUploadData(zip, false));
    const QStringList first = zipEntries(zip);
    EXPECT_EQ(withSuffix(first, QStringLiteral(".krm")).size(), 2) << first.join(u' ').toStdString();
    EXPECT_EQ(withSuffix(first, QStringLiteral(".gpx")), QStringList());
    EXPECT_EQ(withSuffix(first, QStringLiteral(".wrk")), QStringList{QStringLiteral("export-40.wrk")});
    EXPECT_TRUE(first.contains(QStringLiteral("flash.dat")));
    EXPECT_EQ(uploadedMarks(), QVector<bool>({true, true}));

    // The ride logs are packed under their own names.
    const QString flash = m_out.filePath(QStringLiteral("flash.dat"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("unzip"), {QStringLiteral("-q"), zip, QStringLiteral("flash.dat"),
                                                          QStringLiteral("-d"), m_out.path()}),
              0);
    const QString key = QString::number(Kavel50Drive::kWorkoutRideKey);
    EXPECT_TRUE(zipEntries(flash).contains(key + QStringLiteral("-GPS.dat")));
    EXPECT_TRUE(zipEntries(flash).contains(key + QStringLiteral("-TRN.dat")));

    QString second = m_out.filePath(QStringLiteral("second.zip"));
    ASSERT_TRUE(m_client->prepareUploadData(second, false));
    EXPECT_EQ(zipEntries(second), QStringList());

    QString all = m_out.filePath(QStringLiteral("all.zip"));
    ASSERT_TRUE(m_client->prepareUploadData(all, true));
    EXPECT_EQ(withSuffix(zipEntries(all), QStringLiteral(".krm")).size(), 2);
}

TEST_F(OrvoKavel50ExportTest, UploadWithoutAPathWritesTheDefaultPackage)
{
    QString zip;
    ASSERT_TRUE(m_client->prepareUploadData(zip, true));
    EXPECT_EQ(zip, OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + OrvoEnv::instance()->uploadFileName());
    EXPECT_TRUE(zipEntries(zip).contains(QStringLiteral("flash.dat")));
    EXPECT_EQ(uploadedMarks(), QVector<bool>({false, false}));
}

TEST_F(OrvoKavel50ExportTest, FailedPackageMarksNoRide)
{
    QString zip = m_out.filePath(QStringLiteral("missing/folder/up.zip"));
    EXPECT_FALSE(m_client->prepareUploadData(zip, false));
    EXPECT_EQ(uploadedMarks(), QVector<bool>({false, false}));
}

TEST_F(OrvoKavel50ExportTest, OneShotWorkoutStaysUntilItsPackageIsWritten)
{
    sqliteAnswer(routeDb(), QStringLiteral("update Workout set oneshot='true' where wid=40"));
    ASSERT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select oneshot from Workout where wid=40")),
              QStringLiteral("true"));

    QString failed = m_out.filePath(QStringLiteral("missing/folder/up.zip"));
    EXPECT_FALSE(m_client->prepareUploadData(failed, false));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select count(*) from Workout where wid=40")),
              QStringLiteral("1"));

    QString retry = m_out.filePath(QStringLiteral("retry.zip"));
    ASSERT_TRUE(m_client->prepareUploadData(retry, false));
    EXPECT_EQ(withSuffix(zipEntries(retry), QStringLiteral(".wrk")), QStringList{QStringLiteral("export-40.wrk")});
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select count(*) from Workout where wid=40")),
              QStringLiteral("0"));
}

TEST_F(OrvoKavel50ExportTest, WorkoutIdComesFromTheFirstWorkoutLogElement)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        std::optional<int> id;
    };
    const Case cases[] = {
        {"inside the ride", "<gpx><wrklog id=\"12\" type=\"1\"/></gpx>", 12},
        {"at the start", "<wrklog id=\"12\" type=\"1\"/>", std::nullopt},
        {"no closing quote", "<gpx><wrklog id=\"12", std::nullopt},
        {"not a number", "<gpx><wrklog id=\"twelve\"/>", std::nullopt},
        {"no element", "<gpx/>", std::nullopt},
        {"after a long ride", "<gpx>" + QByteArray(200000, ' ') + "<wrklog id=\"14\"/></gpx>", 14},
        {"across a block boundary", "<gpx>" + QByteArray(65536 - 9, ' ') + "<wrklog id=\"15\"/></gpx>", 15},
        {"a second element", "<wrklog id=\"1\"/>" + QByteArray(70000, ' ') + "<wrklog id=\"16\"/>", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = m_out.filePath(QStringLiteral("ride.gpx"));
        ASSERT_TRUE(OrvoTest::writeFile(path, c.text));
        EXPECT_EQ(OrvoKavel50::workoutIdOfRide(path), c.id);
    }
    EXPECT_EQ(OrvoKavel50::workoutIdOfRide(m_out.filePath(QStringLiteral("missing.gpx"))), std::nullopt);
}

TEST_F(OrvoKavel50ExportTest, ExportTrackCopiesEachRideOnce)
{
    const QString folder = m_out.filePath(QStringLiteral("rides"));
    const QStringList copied = m_client->_exportTrack(folder);
    ASSERT_EQ(copied.size(), 2);
    for (const QString &path : copied) {
        EXPECT_EQ(QFileInfo(path).absolutePath(), folder);
        EXPECT_TRUE(QFileInfo(path).fileName().contains(QRegularExpression(QStringLiteral("^\\d{14}\\.gpx$"))))
            << path.toStdString();
    }
    // Exported again into the same folder, the rides' files are there the same: they are named
    // again, so the export holds every ride and does not read as a failed one.
    QStringList again = m_client->_exportTrack(folder);
    QStringList first = copied;
    again.sort();
    first.sort();
    EXPECT_EQ(again, first);
    EXPECT_EQ(uploadedMarks(), QVector<bool>({false, false}));
}

TEST_F(OrvoKavel50ExportTest, SharePackageAddsItsRouteAsOwnAndItsWorkout)
{
    const QString zip = m_out.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(zip, Kavel50Drive::sharePackage()));
    ASSERT_TRUE(m_client->setShareData(zip));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select RouteType from Route where Title='Shared loop'")),
              QStringLiteral("1"));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select name from Workout where wid=9")),
              QStringLiteral("Shared intervals"));
}

TEST_F(OrvoKavel50ExportTest, SharePackageThatDoesNotUnzipIsRefused)
{
    const QString zip = m_out.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(zip, QByteArray("PK\x03\x04 cut short")));
    const QString routesBefore = sqliteAnswer(routeDb(), QStringLiteral("select count(*) from Route"));
    EXPECT_FALSE(m_client->setShareData(zip));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select count(*) from Route")), routesBefore);
}

TEST_F(OrvoKavel50ExportTest, LogExportKeepsSyslogUntilAllOfItIsCopied)
{
    ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/DumpFiles/app.dmp")), "dump"));
    ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/DumpFiles/old/boot.dmp")), "boot"));
    const QString zip = m_out.filePath(QStringLiteral("logs.zip"));
    const QStringList dumps = {QStringLiteral("crashdump/app.dmp"), QStringLiteral("crashdump/old/boot.dmp")};

    // Without "/syslog" only the dumps go and the device stays as it was.
    m_client->exportLog(zip);
    EXPECT_EQ(zipEntries(zip), dumps);
    EXPECT_TRUE(QFileInfo::exists(m_drive.path(QStringLiteral("/DumpFiles/app.dmp"))));

    ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/syslog/day1.log")), "one"));
    ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/syslog/day2.log")), "two"));
    OrvoUtility::setSleeper([](int) {});
    OrvoUtility::setCopyStep([](const QString &source, const QString &, const OrvoUtility::CopyProgress &) {
        return source.endsWith(QLatin1String("day2.log")) ? EIO : 0;
    });
    m_client->exportLog(zip);
    EXPECT_TRUE(QFileInfo::exists(m_drive.path(QStringLiteral("/syslog/day2.log"))));

    OrvoUtility::setCopyStep({});
    m_client->exportLog(zip);
    const QStringList logs = {QStringLiteral("syslog/day1.log"), QStringLiteral("syslog/day2.log")};
    EXPECT_EQ(zipEntries(zip), dumps + logs);
    EXPECT_FALSE(QFileInfo::exists(m_drive.path(QStringLiteral("/syslog"))));
}

// The copies an action stages in the temporary folder (the rides of a package or an export, an
// unpacked share package, the device's logs) are removed when the action ends, whether it
// succeeded or not.
TEST_F(OrvoKavel50ExportTest, StagedCopiesAreRemovedWhenTheActionEnds)
{
    const QString share = m_out.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(share, Kavel50Drive::sharePackage()));
    const QString broken = m_out.filePath(QStringLiteral("broken.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(broken, QByteArray("PK\x03\x04 cut short")));
    ASSERT_TRUE(OrvoTest::writeFile(m_drive.path(QStringLiteral("/DumpFiles/app.dmp")), "dump"));
    struct Case
    {
        const char *name;
        std::function<bool()> action;
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {"upload package",
         [&] {
             QString zip = m_out.filePath(QStringLiteral("up.zip"));
             return m_client->prepareUploadData(zip, true);
         },
         true},
        {"upload package into a missing folder",
         [&] {
             QString zip = m_out.filePath(QStringLiteral("missing/folder/up.zip"));
             return m_client->prepareUploadData(zip, true);
         },
         false},
        {"ride export", [&] { return m_client->_exportTrack(m_out.filePath(QStringLiteral("rides"))).size() == 2; },
         true},
        {"ride export without a folder", [&] { return !m_client->_exportTrack(QString()).isEmpty(); }, false},
        {"share import", [&] { return m_client->setShareData(share); }, true},
        {"share import of a broken package", [&] { return m_client->setShareData(broken); }, false},
        {"log export",
         [&] {
             const QString zip = m_out.filePath(QStringLiteral("logs.zip"));
             m_client->exportLog(zip);
             return zipEntries(zip) == QStringList{QStringLiteral("crashdump/app.dmp")};
         },
         true},
    };
    const QString temporary = OrvoEnv::instance()->tmpDir();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.action(), c.succeeds);
        for (const char *staging : {"/Kavel50ExportTmp", "/kavel50", "/kavel50Log"})
            EXPECT_FALSE(QFileInfo::exists(temporary + QLatin1String(staging))) << staging;
    }
}
