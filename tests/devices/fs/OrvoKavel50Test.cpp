#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoDeviceIniFile.h"
#include "env/OrvoEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

class OrvoKavel50Test : public ::testing::Test
{
protected:
    void TearDown() override { OrvoKavel50::setRemoveStep({}); }

    QString file(const QString &relative) const { return m_dir.path() + relative; }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    Kavel50Drive m_drive{m_dir.path()};
};

void setModified(const QString &path, const QDateTime &time)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

TEST_F(OrvoKavel50Test, VersionGettersApplyTheirDefaults)
{
    struct Case
    {
        const char *name;
        Kavel50Drive::Identity identity;
        bool apFound;
        QString ap;
        bool totalFound;
        QString launchSec;
        bool uuidFound;
    };
    Kavel50Drive::Identity full;
    Kavel50Drive::Identity noApKey;
    noApKey.ap.reset();
    Kavel50Drive::Identity emptyValues;
    emptyValues.total.clear();
    emptyValues.launchSec.clear();
    emptyValues.uuid.clear();
    const Case cases[] = {
        {"all values", full, true, QStringLiteral("ZK2.1.0.5"), true, QStringLiteral("2.0.1.3"), true},
        {"version file without key", noApKey, true, QStringLiteral("ZK0.0.0.0"), true, QStringLiteral("2.0.1.3"), true},
        {"empty ini values", emptyValues, true, QStringLiteral("ZK2.1.0.5"), false, QStringLiteral("0.0.0.0"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_drive.writeIdentity(c.identity));
        auto client = makeClient(m_dir.path());
        QString ap;
        QString bootloader;
        QString total = QStringLiteral("untouched");
        QString launchSec;
        QString uuid;
        EXPECT_EQ(client->getAP(ap), c.apFound);
        EXPECT_EQ(ap, c.ap);
        EXPECT_TRUE(client->getBootloader(bootloader));
        EXPECT_EQ(bootloader, c.ap);
        EXPECT_EQ(client->getTotal(total), c.totalFound);
        EXPECT_EQ(total, c.totalFound ? c.identity.total : QStringLiteral("untouched"));
        EXPECT_TRUE(client->getLaunchsec(launchSec));
        EXPECT_EQ(launchSec, c.launchSec);
        EXPECT_EQ(client->getUUID(uuid), c.uuidFound);
    }
}

// The version texts go to the page: files larger than a device writes are not read, so a
// version file of one endless line gives the text of a missing version, and a device file of
// one no total version.
TEST_F(OrvoKavel50Test, VersionFilesLargerThanADeviceWritesAreNotRead)
{
    ASSERT_TRUE(m_drive.writeIdentity({}));
    const QByteArray endless(OrvoDeviceIniFile::kMaxFileSize, '9');
    ASSERT_TRUE(OrvoTest::writeFile(file(QStringLiteral("/morvia/version.ini")), "version=ZK" + endless + "\r\n"));
    ASSERT_TRUE(OrvoTest::writeFile(file(QStringLiteral("/device.ini")),
                                    "[UUID]\r\nUUID=1\r\n[Total]\r\nVersion=" + endless + "\r\n"));
    auto client = makeClient(m_dir.path());
    QString ap;
    QString total = QStringLiteral("untouched");
    EXPECT_TRUE(client->getAP(ap));
    EXPECT_EQ(ap, QStringLiteral("ZK0.0.0.0"));
    EXPECT_FALSE(client->getTotal(total));
    EXPECT_EQ(total, QStringLiteral("untouched"));
}

TEST_F(OrvoKavel50Test, WithoutADriveNothingIsRead)
{
    OrvoKavel50CR client;
    QString text = QStringLiteral("kept");
    qint64 total = 0;
    qint64 free = 0;
    EXPECT_FALSE(client.getDrive(text));
    EXPECT_FALSE(client.getAP(text));
    EXPECT_FALSE(client.getSharePath(text));
    EXPECT_FALSE(client.getInternalStorage(total, free));
    EXPECT_FALSE(client.setUpdatingFlag(true));
    EXPECT_EQ(text, QStringLiteral("kept"));
}

TEST_F(OrvoKavel50Test, PathsFollowTheModelsSettings)
{
    auto client = makeClient(m_dir.path());
    QString path;
    ASSERT_TRUE(client->getProfilePath(path));
    EXPECT_EQ(path, file(QStringLiteral("/morvia/applications/training/user_settings.xml")));
    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel50"), QStringLiteral("sharepath"), QStringLiteral("/db"));
    ASSERT_TRUE(client->getSharePath(path));
    EXPECT_EQ(path, file(QStringLiteral("/db")));
}

TEST_F(OrvoKavel50Test, FlagFilesHoldOneByte)
{
    ASSERT_TRUE(m_drive.writeIdentity({}));
    auto client = makeClient(m_dir.path());
    EXPECT_FALSE(client->isUpdating());
    ASSERT_TRUE(client->setUpdatingFlag(true));
    EXPECT_TRUE(client->isUpdating());
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/updating@@!.ini"))), QByteArray("1"));
    ASSERT_TRUE(client->setUpdatingFlag(false));
    EXPECT_FALSE(client->isUpdating());
    client->formatDevice();
    EXPECT_EQ(OrvoTest::readFile(file(QStringLiteral("/format.ini"))), QByteArray("1"));
}

TEST_F(OrvoKavel50Test, RemoveFileTriesAgainAfterAFailure)
{
    int tries = 0;
    bool failFirst = true;
    OrvoKavel50::setRemoveStep([&](const QString &path) {
        ++tries;
        if (std::exchange(failFirst, false))
            return false;
        return QFile::remove(path);
    });
    EXPECT_TRUE(OrvoKavel50::removeFile(file(QStringLiteral("/missing.txt"))));
    EXPECT_EQ(tries, 0);

    const QString path = file(QStringLiteral("/held.txt"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "x"));
    EXPECT_TRUE(OrvoKavel50::removeFile(path));
    EXPECT_EQ(tries, 2);
    EXPECT_FALSE(QFileInfo::exists(path));

    ASSERT_TRUE(OrvoTest::writeFile(path, "x"));
    OrvoKavel50::setRemoveStep([&](const QString &) { return ++tries, false; });
    tries = 0;
    EXPECT_FALSE(OrvoKavel50::removeFile(path));
    EXPECT_EQ(tries, OrvoKavel50::kRemoveAttempts);
}

TEST_F(OrvoKavel50Test, RemoveReadOnlyAttributeGivesTheOwnerReadAndWrite)
{
    const QString path = file(QStringLiteral("/locked.txt"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "x"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOther));
    OrvoKavel50::removeReadOnlyAttribute(path);
    const QFileDevice::Permissions permissions = QFile::permissions(path);
    EXPECT_TRUE(permissions.testFlag(QFileDevice::ReadOwner));
    EXPECT_TRUE(permissions.testFlag(QFileDevice::WriteOwner));
    EXPECT_TRUE(permissions.testFlag(QFileDevice::ReadOther));
}

TEST_F(OrvoKavel50Test, CopyDirSkipsCopiesWithin59Seconds)
{
    const QString source = file(QStringLiteral("/src"));
    const QString target = file(QStringLiteral("/dst"));
    ASSERT_TRUE(QDir().mkpath(source + QStringLiteral("/sub")));
    ASSERT_TRUE(QDir().mkpath(target + QStringLiteral("/sub")));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/a.bin"), "source"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/sub/b.bin"), "nested"));
    ASSERT_TRUE(OrvoTest::writeFile(source + QStringLiteral("/.hidden"), "h"));
    const QDateTime base = QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
    struct Case
    {
        const char *name;
        int apart;
        bool copied;
    };
    for (const Case &c :
         {Case{"59 s apart", 59, false}, Case{"60 s apart", 60, true}, Case{"59 s before", -59, false}}) {
        SCOPED_TRACE(c.name);
        for (const char *name : {"/a.bin", "/sub/b.bin"}) {
            setModified(source + QLatin1String(name), base);
            ASSERT_TRUE(OrvoTest::writeFile(target + QLatin1String(name), "target"));
            setModified(target + QLatin1String(name), base.addSecs(c.apart));
        }
        QStringList copied;
        ASSERT_TRUE(OrvoKavel50::copyDir(source, target, &copied));
        // A file kept as the same copy is named as much as one copied: the tree holds both.
        EXPECT_EQ(copied, QStringList({target + QStringLiteral("/sub/b.bin"), target + QStringLiteral("/a.bin")}));
        EXPECT_EQ(OrvoTest::readFile(target + QStringLiteral("/a.bin")), QByteArray(c.copied ? "source" : "target"));
    }
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/.hidden")));

    // A linked folder is not followed: a link to a parent would never end.
    ASSERT_TRUE(QFile::link(source, source + QStringLiteral("/sub/loop")));
    EXPECT_TRUE(OrvoKavel50::copyDir(source, target));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/sub/loop")));
}

TEST_F(OrvoKavel50Test, RemoveDirRemovesHiddenEntriesButNotWhatALinkPointsAt)
{
    const QString kept = file(QStringLiteral("/kept"));
    const QString gone = file(QStringLiteral("/gone"));
    ASSERT_TRUE(QDir().mkpath(kept));
    ASSERT_TRUE(QDir().mkpath(gone + QStringLiteral("/sub")));
    ASSERT_TRUE(OrvoTest::writeFile(kept + QStringLiteral("/keep.txt"), "k"));
    ASSERT_TRUE(OrvoTest::writeFile(gone + QStringLiteral("/sub/.hidden"), "h"));
    ASSERT_TRUE(QFile::link(kept, gone + QStringLiteral("/link")));
    EXPECT_TRUE(OrvoKavel50::removeDir(gone));
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(QFileInfo::exists(kept + QStringLiteral("/keep.txt")));
}

TEST_F(OrvoKavel50Test, ReadBackReadsSmallFilesWholeAndLargeOnesAtTheirEnd)
{
    struct Case
    {
        const char *name;
        qsizetype size;
        qsizetype from;
    };
    for (const Case &c : {Case{"empty", 0, 0}, Case{"1024 bytes", 1024, 0}, Case{"1025 bytes", 1025, 1}}) {
        SCOPED_TRACE(c.name);
        QByteArray bytes(c.size, '\0');
        for (qsizetype i = 0; i < c.size; ++i)
            bytes[i] = char(i % 251);
        const QString path = file(QStringLiteral("/check.bin"));
        ASSERT_TRUE(OrvoTest::writeFile(path, bytes));
        bool ok = false;
        EXPECT_EQ(OrvoKavel50::readBack(path, &ok), bytes.mid(c.from));
        EXPECT_TRUE(ok);
    }
    bool ok = true;
    EXPECT_TRUE(OrvoKavel50::readBack(file(QStringLiteral("/absent.bin")), &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/absent.bin"))));
}

TEST_F(OrvoKavel50Test, InitialAfterAnInterruptedUpdateRemovesTheVersionFile)
{
    ASSERT_TRUE(m_drive.writeIdentity({}));
    const QStringList names = {QStringLiteral("/version.ini"), QStringLiteral("/Version.ini"),
                               QStringLiteral("/VERSION.ini"), QStringLiteral("/VERSION.INI")};
    for (const QString &name : names)
        ASSERT_TRUE(OrvoTest::writeFile(file(QStringLiteral("/morvia") + name), "version=ZK2.0.0.1\n"));
    auto client = makeClient(m_dir.path());
    ASSERT_TRUE(client->initial());
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("/morvia/version.ini"))));

    ASSERT_TRUE(client->setUpdatingFlag(true));
    ASSERT_TRUE(client->initial());
    for (const QString &name : names)
        EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("/morvia") + name))) << name.toStdString();
}

TEST_F(OrvoKavel50Test, InitialDuringAFactoryRestoreForcesTheDeviceUpdate)
{
    OrvoKavel50::setRestorePhase(true);
    OrvoEnv::instance()->setForceDeviceUpdate(false);
    OrvoKavel50CR client;
    EXPECT_TRUE(client.initial());
    EXPECT_TRUE(OrvoEnv::instance()->isForceDeviceUpdate());
    OrvoKavel50::setRestorePhase(false);
    OrvoEnv::instance()->setForceDeviceUpdate(false);
    EXPECT_FALSE(client.initial());
}

TEST_F(OrvoKavel50Test, ZipFolderPacksThePlainFilesUnderTheirNames)
{
    const QString folder = file(QStringLiteral("/logs"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/sub")));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/a.log"), "a"));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/sub/b.log"), "b"));
    const QString zip = file(QStringLiteral("/logs.zip"));
    ASSERT_TRUE(OrvoKavel50::zipFolder(zip, folder));
    const QByteArray bytes = OrvoTest::readFile(zip);
    EXPECT_TRUE(bytes.contains("a.log"));
    EXPECT_FALSE(bytes.contains("b.log"));
    EXPECT_FALSE(bytes.contains(folder.toUtf8()));
}
