#include "OrvoLogCapture.h"
#include "OrvoScopedTimeZone.h"
#include "OrvoTestSupport.h"

#include "FixtureZip.h"

#include "env/OrvoUtility.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace {

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
}

void makeFiles(const QString &root, const QStringList &relativePaths)
{
    for (const QString &relative : relativePaths) {
        if (relative.endsWith(QLatin1Char('/')))
            QDir().mkpath(root + QLatin1Char('/') + relative);
        else
            ASSERT_TRUE(OrvoTest::writeFile(root + QLatin1Char('/') + relative, relative.toUtf8()));
    }
}

// Every path below root, relative, folders with a trailing "/", links with a trailing "@".
QStringList listTree(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        paths << relative + (info.isSymLink() ? QStringLiteral("@") : info.isDir() ? QStringLiteral("/") : QString());
    }
    paths.sort();
    return paths;
}

// Puts the real wait and copy step back when a test ends, whatever it replaced.
class OrvoUtilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoUtility::setSleeper([this](int milliseconds) { m_waits.push_back(milliseconds); });
    }

    void TearDown() override
    {
        OrvoUtility::setSleeper({});
        OrvoUtility::setCopyStep({});
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // Copy tries that fail with the errno while the counter has not reached failures.
    void failFirstTries(int failures, int error)
    {
        OrvoUtility::setCopyStep(
            [this, failures, error](const QString &, const QString &, const OrvoUtility::CopyProgress &) {
                return ++m_tries <= failures ? error : 0;
            });
    }

    OrvoTest::OutputDir m_dir;
    // Qt 6.4 compares an empty list with a null one through memcmp(nullptr), which UBSan stops.
    std::vector<int> m_waits;
    int m_tries = 0;
};

TEST_F(OrvoUtilityTest, CopyRetriesAreBoundedAndLogged)
{
    struct Case
    {
        const char *name;
        int attempts;
        int failures;
        bool answer;
        int tries;
        const char *retryWarning; // nullptr: no warning
    };
    const std::vector<Case> cases = {
        {"first try", 10, 0, true, 1, nullptr},
        {"second try", 10, 1, true, 2, "copy file success after retry  2  source="},
        {"tenth try", 10, 9, true, 10, "copy file success after retry  10  source="},
        {"all ten fail", 10, 10, false, 10, nullptr},
        {"no attempts", 0, 0, false, 0, nullptr},
        {"negative attempts", -1, 0, false, 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_tries = 0;
        m_waits.clear();
        failFirstTries(c.failures, EACCES);
        OrvoLogCapture log;
        bool copied = !c.answer;

        EXPECT_EQ(OrvoUtility::copyFile(path(QStringLiteral("a")), path(QStringLiteral("b")), false, c.attempts, 7, {},
                                        false, 0, &copied),
                  c.answer);
        EXPECT_EQ(copied, c.answer);
        EXPECT_EQ(m_tries, c.tries);
        const int failed = qMin(c.failures, qMax(c.attempts, 0));
        EXPECT_EQ(m_waits, std::vector<int>(std::size_t(failed), 7));
        const QStringList failures =
            log.matching(QtDebugMsg, QStringLiteral("copy file failed start wait to retry, retry "));
        ASSERT_EQ(failures.size(), failed);
        for (int i = 0; i < failed; ++i) {
            EXPECT_TRUE(failures.at(i).contains(
                QStringLiteral("retry  %1  win32 error code : %2  src=").arg(i + 1).arg(EACCES)))
                << failures.at(i).toStdString();
        }
        const QStringList warnings = log.matching(QtWarningMsg, QStringLiteral("copy file success after retry"));
        if (c.retryWarning == nullptr) {
            EXPECT_TRUE(warnings.isEmpty());
        } else {
            ASSERT_EQ(warnings.size(), 1);
            EXPECT_TRUE(warnings.first().startsWith(QLatin1String(c.retryWarning))) << warnings.first().toStdString();
        }
    }
}

TEST_F(OrvoUtilityTest, CompareFirstSkipsOnlyAnExistingFileOfEqualSizeAndCloseTime)
{
    struct Case
    {
        const char *name;
        QByteArray source; // empty with sourceExists false: no source
        bool sourceExists;
        const char *destination; // nullptr: no destination
        int secondsLater;        // destination's time after the source's
        bool answer;
        bool copied;
    };
    const std::vector<Case> cases = {
        {"within tolerance", "new!", true, "old!", 2, true, false},
        {"within tolerance, earlier", "new!", true, "old!", -2, true, false},
        {"beyond tolerance", "new!", true, "old!", 3, true, true},
        {"other size", "new!", true, "older", 0, true, true},
        // A missing file has nothing to be equal to: the copy is made.
        {"missing destination, empty source", "", true, nullptr, 0, true, true},
        {"missing source, empty destination", "", false, "", 0, false, false},
    };
    const QDateTime base = QDateTime::currentDateTime().addDays(-3);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = path(QStringLiteral("src.bin"));
        const QString destination = path(QStringLiteral("dest.bin"));
        QFile::remove(source);
        QFile::remove(destination);
        if (c.sourceExists) {
            OrvoTest::writeFile(source, c.source);
            setModified(source, base);
        }
        if (c.destination != nullptr) {
            OrvoTest::writeFile(destination, c.destination);
            setModified(destination, base.addSecs(c.secondsLater));
        }
        bool copied = !c.copied;

        EXPECT_EQ(OrvoUtility::copyFile(source, destination, false, 1, 0, {}, true, 2, &copied), c.answer);
        EXPECT_EQ(copied, c.copied);
        if (c.copied) {
            EXPECT_EQ(OrvoTest::readFile(destination), c.source);
        } else if (c.destination != nullptr) {
            EXPECT_EQ(OrvoTest::readFile(destination), QByteArray(c.destination));
        }
    }
}

TEST_F(OrvoUtilityTest, CompareFirstLogsBothTimesBeforeACopy)
{
    const QString source = path(QStringLiteral("src.txt"));
    const QString destination = path(QStringLiteral("dest.txt"));
    OrvoTest::writeFile(source, "a");
    OrvoTest::writeFile(destination, "bb");
    setModified(source, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    setModified(destination, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 10)));
    OrvoLogCapture log;
    ASSERT_TRUE(OrvoUtility::copyFile(source, destination, false, 1, 0, {}, true, 5, nullptr));
    EXPECT_EQ(log.matching(QtDebugMsg, QStringLiteral("src=%1 modified time=202405060708.09 ").arg(source)).size(), 1);
    EXPECT_EQ(
        log.matching(QtDebugMsg, QStringLiteral("dest=%1 modified time=202405060708.10 ").arg(destination)).size(), 1);
}

TEST_F(OrvoUtilityTest, CopyKeepsBytesAndModificationTimeAndReportsProgress)
{
    OrvoUtility::setCopyStep({});
    QByteArray bytes;
    for (int i = 0; i < 600 * 1024; ++i)
        bytes.append(char(i % 253));
    const QString source = path(QStringLiteral("big.bin"));
    const QString destination = path(QStringLiteral("copy.bin"));
    OrvoTest::writeFile(source, bytes);
    OrvoTest::writeFile(destination, "an older file of the same name");
    const QDateTime modified = QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5));
    setModified(source, modified);
    QList<qint64> reported;

    ASSERT_TRUE(OrvoUtility::copyFile(
        source, destination, false, 1, 0,
        [&](qint64 copied, qint64 total) {
            EXPECT_EQ(total, bytes.size());
            reported.append(copied);
        },
        false, 0, nullptr));
    EXPECT_EQ(OrvoTest::readFile(destination), bytes);
    EXPECT_EQ(QFileInfo(destination).lastModified(), modified);
    ASSERT_GE(reported.size(), 2);
    EXPECT_EQ(reported.last(), bytes.size());
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
}

TEST_F(OrvoUtilityTest, CopyOntoItselfKeepsTheFile)
{
    OrvoUtility::setCopyStep({});
    const QString file = path(QStringLiteral("only.txt"));
    OrvoTest::writeFile(file, "the only copy");
    ASSERT_TRUE(QFile::link(file, path(QStringLiteral("alias.txt"))));
    EXPECT_FALSE(OrvoUtility::copyFile(file, file, true, 3, 0, {}, false, 0, nullptr));
    EXPECT_FALSE(OrvoUtility::copyFile(file, path(QStringLiteral("alias.txt")), true, 3, 0, {}, false, 0, nullptr));
    EXPECT_EQ(OrvoTest::readFile(file), QByteArray("the only copy"));
}

TEST_F(OrvoUtilityTest, DeleteFileAnswersWhetherTheFileIsGone)
{
    OrvoTest::writeFile(path(QStringLiteral("plain")), "x");
    OrvoTest::writeFile(path(QStringLiteral("readonly")), "x");
    QFile::setPermissions(path(QStringLiteral("readonly")), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    QFile::link(path(QStringLiteral("nothing")), path(QStringLiteral("dangling")));
    QDir().mkpath(path(QStringLiteral("folder")));
    struct Case
    {
        QString path;
        bool answer;
        bool existsAfter;
    };
    const std::vector<Case> cases = {
        {QString(), true, false},
        {path(QStringLiteral("missing")), true, false},
        {path(QStringLiteral("plain")), true, false},
        {path(QStringLiteral("readonly")), true, false},
        {path(QStringLiteral("dangling")), true, false},
        {path(QStringLiteral("folder")), false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(OrvoUtility::deleteFile(c.path), c.answer);
        const QFileInfo info(c.path);
        EXPECT_EQ(!c.path.isEmpty() && (info.exists() || info.isSymLink()), c.existsAfter);
    }
}

TEST_F(OrvoUtilityTest, ClearReadOnlyGivesTheOwnerWriteAccess)
{
    const QString file = path(QStringLiteral("locked"));
    OrvoTest::writeFile(file, "x");
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_TRUE(OrvoUtility::clearReadOnly(file));
    EXPECT_EQ(QFile::permissions(file) & (QFileDevice::WriteOwner | QFileDevice::ReadGroup),
              QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    EXPECT_TRUE(OrvoUtility::clearReadOnly(path(QStringLiteral("missing"))));
}

TEST_F(OrvoUtilityTest, FolderRemovalLeavesWhatLinksPointTo)
{
    struct Case
    {
        const char *name;
        bool (*remove)(const QString &);
        QStringList tree;
        bool answer;
        QStringList left; // below the folder; empty and gone when it was removed
    };
    const QStringList visible = {QStringLiteral("a.txt"), QStringLiteral("sub/"), QStringLiteral("sub/b.txt"),
                                 QStringLiteral("sub/deeper/"), QStringLiteral("sub/deeper/c.txt")};
    const QStringList hidden =
        visible + QStringList{QStringLiteral(".hidden"), QStringLiteral("sub/.cache/"), QStringLiteral("sub/.cache/d")};
    const std::vector<Case> cases = {
        {"removeFolder, visible", OrvoUtility::removeFolder, visible, true, {}},
        {"removeFolder, hidden too", OrvoUtility::removeFolder, hidden, true, {}},
        {"deleteFolderTree, visible", OrvoUtility::deleteFolderTree, visible, true, {}},
        {"deleteFolderTree leaves hidden entries",
         OrvoUtility::deleteFolderTree,
         hidden,
         false,
         {QStringLiteral(".hidden"), QStringLiteral("sub/"), QStringLiteral("sub/.cache/"),
          QStringLiteral("sub/.cache/d")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = path(QStringLiteral("doomed"));
        const QString outside = path(QStringLiteral("outside"));
        QDir(folder).removeRecursively();
        QDir(outside).removeRecursively();
        makeFiles(outside, {QStringLiteral("keep.txt")});
        makeFiles(folder, c.tree);
        ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/sub/linked")));
        ASSERT_TRUE(QFile::link(outside + QStringLiteral("/keep.txt"), folder + QStringLiteral("/filelink")));

        EXPECT_EQ(c.remove(folder), c.answer);
        EXPECT_EQ(listTree(folder), c.left);
        EXPECT_EQ(QFileInfo::exists(folder), !c.left.isEmpty());
        EXPECT_EQ(listTree(outside), QStringList{QStringLiteral("keep.txt")});
        EXPECT_TRUE(c.remove(path(QStringLiteral("never-there"))));
    }
}

TEST_F(OrvoUtilityTest, ListFilesRecursiveAppendsVisibleFilesWithoutFollowingLinkedFolders)
{
    const QString root = path(QStringLiteral("tree"));
    makeFiles(root, {QStringLiteral("b.txt"), QStringLiteral("a/"), QStringLiteral("a/x.txt"), QStringLiteral("a/y/"),
                     QStringLiteral("a/y/z.txt"), QStringLiteral(".hidden"), QStringLiteral(".dir/"),
                     QStringLiteral(".dir/inside.txt")});
    ASSERT_TRUE(QFile::link(root, root + QStringLiteral("/a/loop")));
    QStringList list = {QStringLiteral("kept")};
    OrvoUtility::listFilesRecursive(root, list);
    const QString absolute = QDir(root).absolutePath();
    EXPECT_EQ(list, QStringList({QStringLiteral("kept"), absolute + QStringLiteral("/a/x.txt"),
                                 absolute + QStringLiteral("/a/y/z.txt"), absolute + QStringLiteral("/b.txt")}));
}

TEST_F(OrvoUtilityTest, CopyFolderCopiesVisibleEntriesAndListsTheFiles)
{
    OrvoUtility::setCopyStep({});
    const QString source = path(QStringLiteral("DumpFiles"));
    const QString destination = path(QStringLiteral("crashdump"));
    makeFiles(source,
              {QStringLiteral("b.dmp"), QStringLiteral("a.dmp"), QStringLiteral(".hidden"), QStringLiteral("sub/"),
               QStringLiteral("sub/c.dmp"), QStringLiteral(".dir/"), QStringLiteral(".dir/d.dmp")});
    QStringList copied;
    int progressCalls = 0;

    ASSERT_TRUE(OrvoUtility::copyFolder(
        source, destination, [&](qint64, qint64) { ++progressCalls; }, &copied));
    EXPECT_EQ(listTree(destination), QStringList({QStringLiteral("a.dmp"), QStringLiteral("b.dmp"),
                                                  QStringLiteral("sub/"), QStringLiteral("sub/c.dmp")}));
    EXPECT_EQ(copied, QStringList({destination + QStringLiteral("/a.dmp"), destination + QStringLiteral("/b.dmp"),
                                   destination + QStringLiteral("/sub/c.dmp")}));
    EXPECT_EQ(OrvoTest::readFile(destination + QStringLiteral("/sub/c.dmp")), QByteArray("sub/c.dmp"));
    // The routine is handed to the files of the top folder only.
    EXPECT_EQ(progressCalls, 2);
}

TEST_F(OrvoUtilityTest, CopyFolderEdges)
{
    makeFiles(path(QStringLiteral("src")), {QStringLiteral("a.txt")});

    EXPECT_TRUE(OrvoUtility::copyFolder(path(QStringLiteral("missing")), path(QStringLiteral("dest1")), {}, nullptr));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("dest1"))));

    // The destination is made one level deep only.
    EXPECT_FALSE(
        OrvoUtility::copyFolder(path(QStringLiteral("src")), path(QStringLiteral("no/such/dest")), {}, nullptr));

    failFirstTries(100, EIO);
    OrvoLogCapture log;
    QStringList copied;
    EXPECT_FALSE(OrvoUtility::copyFolder(path(QStringLiteral("src")), path(QStringLiteral("dest2")), {}, &copied));
    EXPECT_TRUE(copied.isEmpty());
    EXPECT_EQ(m_waits, std::vector<int>(10, 5));
    const QStringList warnings = log.matching(QtWarningMsg, QStringLiteral("OrvoUtility::copyFolder failed src="));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(path(QStringLiteral("dest2/a.txt"))));
}

TEST_F(OrvoUtilityTest, FoldersAreMadeOnlyBelowARootThatIsThere)
{
    struct Case
    {
        const char *name;
        QStringList tree; // below the test folder; a trailing "/" marks a folder
        const char *root;
        const char *folder;
        bool answer;
        QStringList after;
    };
    const std::vector<Case> cases = {
        {"missing levels below the root",
         {QStringLiteral("drive/")},
         "drive",
         "drive/a/b",
         true,
         {QStringLiteral("drive/"), QStringLiteral("drive/a/"), QStringLiteral("drive/a/b/")}},
        {"folder already there",
         {QStringLiteral("drive/a/")},
         "drive",
         "drive/a",
         true,
         {QStringLiteral("drive/"), QStringLiteral("drive/a/")}},
        {"the root itself", {QStringLiteral("drive/")}, "drive", "drive", true, {QStringLiteral("drive/")}},
        {"root with a trailing slash",
         {QStringLiteral("drive/")},
         "drive/",
         "drive/a",
         true,
         {QStringLiteral("drive/"), QStringLiteral("drive/a/")}},
        {"root that went", {}, "drive", "drive/a/b", false, {}},
        {"root gone with its parent", {}, "media/drive", "media/drive/a", false, {}},
        {"root that is a file", {QStringLiteral("drive")}, "drive", "drive/a", false, {QStringLiteral("drive")}},
        {"folder beside the root", {QStringLiteral("drive/")}, "drive", "other/a", false, {QStringLiteral("drive/")}},
        {"folder climbing out",
         {QStringLiteral("drive/")},
         "drive",
         "drive/../other",
         false,
         {QStringLiteral("drive/")}},
        {"file in the way",
         {QStringLiteral("drive/a")},
         "drive",
         "drive/a/b",
         false,
         {QStringLiteral("drive/"), QStringLiteral("drive/a")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        makeFiles(dir.path(), c.tree);
        const QString base = dir.path() + QLatin1Char('/');
        OrvoLogCapture log;

        EXPECT_EQ(OrvoUtility::makeFolderBelow(base + QLatin1String(c.root), base + QLatin1String(c.folder)), c.answer);
        EXPECT_EQ(listTree(dir.path()), c.after);
        EXPECT_EQ(log.matching(QtWarningMsg, QString()).isEmpty(), c.answer) << "a refusal is logged";
    }
    EXPECT_FALSE(OrvoUtility::makeFolderBelow(QString(), path(QStringLiteral("a"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("a"))));
}

TEST_F(OrvoUtilityTest, RenameFilesFollowsTheRenamesThatSucceeded)
{
    struct Case
    {
        const char *name;
        QStringList files;  // made before the call
        QStringList listed; // handed to renameFiles
        bool answer;
        QStringList after; // the list afterwards
        QStringList tree;  // the folder afterwards
    };
    const std::vector<Case> cases = {
        {"nothing to replace",
         {QStringLiteral("a.txt")},
         {QStringLiteral("a.txt")},
         true,
         {QStringLiteral("a.txt")},
         {QStringLiteral("a.txt")}},
        {"renamed over an existing file",
         {QStringLiteral("r1.gpx"), QStringLiteral("r1.krm"), QStringLiteral("r2.GPX")},
         {QStringLiteral("r1.gpx"), QStringLiteral("r2.GPX")},
         true,
         {QStringLiteral("r1.krm"), QStringLiteral("r2.GPX")},
         {QStringLiteral("r1.krm"), QStringLiteral("r2.GPX")}},
        {"missing file keeps the target",
         {QStringLiteral("gone.krm")},
         {QStringLiteral("gone.gpx")},
         false,
         {QStringLiteral("gone.gpx")},
         {QStringLiteral("gone.krm")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString root = path(QStringLiteral("rename"));
        QDir(root).removeRecursively();
        makeFiles(root, c.files);
        const auto absolute = [&root](const QStringList &names) {
            QStringList paths;
            for (const QString &name : names)
                paths << root + QLatin1Char('/') + name;
            return paths;
        };
        QStringList list = absolute(c.listed);

        EXPECT_EQ(OrvoUtility::renameFiles(list, QStringLiteral(".gpx"), QStringLiteral(".krm")), c.answer);
        EXPECT_EQ(list, absolute(c.after));
        EXPECT_EQ(listTree(root), c.tree);
    }
    EXPECT_EQ(OrvoTest::readFile(path(QStringLiteral("rename/gone.krm"))), QByteArray("gone.krm"));
}

TEST(OrvoUtilityText, TimeTextIsUtcWhateverTheLocalZone)
{
    struct Case
    {
        qint64 seconds;
        const char *format;
        const char *text;
    };
    // The last two fall into Berlin's skipped and repeated hour.
    const std::vector<Case> cases = {
        {0, "yyyy-MM-dd hh:mm:ss", "1970-01-01 00:00:00"},
        {1700000000, "yyyyMMddHHmmss", "20231114221320"},
        {951782400, "dd.MM.yyyy", "29.02.2000"},
        {1616898600, "yyyy-MM-dd hh:mm:ss", "2021-03-28 02:30:00"},
        {1635647400, "yyyy-MM-dd hh:mm:ss", "2021-10-31 02:30:00"},
    };
    for (const char *zone : {"Asia/Tokyo", "Europe/Berlin"}) {
        const OrvoScopedTimeZone local(zone);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(zone) + " " + c.text);
            EXPECT_EQ(OrvoUtility::timeToString(c.seconds, QLatin1String(c.format)), QLatin1String(c.text));
            EXPECT_EQ(OrvoUtility::stringToTime(QLatin1String(c.text), QLatin1String(c.format)), c.seconds);
        }
        EXPECT_EQ(OrvoUtility::stringToTime(QStringLiteral("2023-13-01"), QStringLiteral("yyyy-MM-dd")), 0);
        EXPECT_EQ(OrvoUtility::stringToTime(QStringLiteral("noon"), QStringLiteral("hh:mm")), 0);
    }
}

TEST(OrvoUtilityText, AppendCharAddsTheCharacterOnce)
{
    EXPECT_EQ(OrvoUtility::appendChar(QStringLiteral("/media/dev"), QLatin1Char('/')), QStringLiteral("/media/dev/"));
    EXPECT_EQ(OrvoUtility::appendChar(QStringLiteral("/media/dev/"), QLatin1Char('/')), QStringLiteral("/media/dev/"));
    EXPECT_EQ(OrvoUtility::appendChar(QString(), QLatin1Char('/')), QStringLiteral("/"));
}

TEST_F(OrvoUtilityTest, DeviceFilesPreferTheLowerCaseName)
{
    struct Case
    {
        const char *name;
        QStringList tree;
        const char *ini; // relative to the root; "" when none
        const char *txt;
    };
    const std::vector<Case> cases = {
        {"both",
         {QStringLiteral("device.ini"), QStringLiteral("Device.ini"), QStringLiteral("System/device.txt"),
          QStringLiteral("System/Device.txt")},
         "/device.ini",
         "/System/device.txt"},
        {"capitalised only",
         {QStringLiteral("Device.ini"), QStringLiteral("System/Device.txt")},
         "/Device.ini",
         "/System/Device.txt"},
        {"a folder of that name", {QStringLiteral("device.ini/"), QStringLiteral("System/device.txt/")}, "", ""},
        {"none", {QStringLiteral("other.ini")}, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString root = path(QStringLiteral("drive"));
        QDir(root).removeRecursively();
        makeFiles(root, c.tree);
        const auto expected = [&root](const char *relative) {
            return *relative == '\0' ? QString() : root + QLatin1String(relative);
        };
        EXPECT_EQ(OrvoUtility::findDeviceIni(root), expected(c.ini));
        EXPECT_EQ(OrvoUtility::findDeviceTxt(root), expected(c.txt));
    }
}

TEST(OrvoUtilityDevice, RegistryDeviceIsTheFirstMatchStringInTheInquiryBytes)
{
    QByteArray inquiry(128, '\0');
    inquiry.replace(8, 16, "TARVEX  KOSMIR  ");
    const QStringList rows = {QStringLiteral("TREVANIS"), QStringLiteral("kosmir"), QStringLiteral("KOSMIR"),
                              QStringLiteral("TARVEX")};
    struct Case
    {
        const char *name;
        QStringList rows;
        int index;
    };
    const std::vector<Case> cases = {
        {"first that matches, case-sensitive", rows, 2},
        {"none", {QStringLiteral("QUILMA"), QStringLiteral("ZUNDAR")}, -1},
        {"an empty string occurs in any bytes", {QStringLiteral("QUILMA"), QString(), QStringLiteral("TARVEX")}, 1},
        {"no rows", {}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrvoUtility::getRegistryDevice(inquiry, c.rows), c.index);
    }
}

TEST_F(OrvoUtilityTest, SupportLanguagesComeFromTheUnpackedFileNames)
{
    const QMap<QString, QString> languages = {{QStringLiteral("eng"), QStringLiteral("English")},
                                              {QStringLiteral("fra"), QStringLiteral("French")},
                                              {QStringLiteral("ger"), QStringLiteral("German")}};
    const QString package = path(QStringLiteral("lang.zip"));
    OrvoTest::writeFile(package, FixtureZip::storedArchive({{"font_eng_16.bft", "e"},
                                                            {"text_GER_.txt", "g"},
                                                            {"english.bin", "x"},
                                                            {"ger_only.bin", "x"},
                                                            {"both_fra_and_eng_.bin", "x"}}));
    const QString folder = path(QStringLiteral("Lang"));
    makeFiles(folder, {QStringLiteral("old_ger_.bft")});
    QStringList names = {QStringLiteral("Already")};

    ASSERT_TRUE(OrvoUtility::getSupportLanguage(package, folder, names, languages));
    // File names in order, and within one name the codes in map order.
    EXPECT_EQ(names, QStringList({QStringLiteral("Already"), QStringLiteral("English"), QStringLiteral("French"),
                                  QStringLiteral("English"), QStringLiteral("German")}));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/old_ger_.bft")));
}

TEST_F(OrvoUtilityTest, SupportLanguagesFailWhenThePackageDoesNotUnpack)
{
    OrvoLogCapture log;
    QStringList names;
    const QString package = path(QStringLiteral("missing.zip"));
    EXPECT_FALSE(OrvoUtility::getSupportLanguage(package, path(QStringLiteral("Lang")), names, {}));
    EXPECT_TRUE(names.isEmpty());
    EXPECT_EQ(log.matching(QtCriticalMsg, QStringLiteral("can not decompress file: %1").arg(package)).size(), 1);
}

} // namespace
