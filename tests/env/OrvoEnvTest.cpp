#include "OrvoEnvTestFixture.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <vector>

namespace {

void writeIni(const QString &path, const QString &group, const QString &key, const QString &value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(group + QLatin1Char('/') + key, value);
}

QString readIni(const QString &path, const QString &group, const QString &key)
{
    return QSettings(path, QSettings::IniFormat).value(group + QLatin1Char('/') + key).toString();
}

} // namespace

TEST_F(OrvoEnvTest, BeforeInitTheRoleIsBothAndThereIsNoUserFolder)
{
    OrvoEnv env;
    EXPECT_EQ(env.role(), QStringLiteral("both"));
    EXPECT_TRUE(env.userFolder().isEmpty());
    EXPECT_FALSE(env.isForceDeviceUpdate());
    EXPECT_FALSE(env.isForceOrvoUpdate());
}

TEST_F(OrvoEnvTest, RoleSelectsSettingsAndLogFiles)
{
    struct Case
    {
        const char *role;
        const char *ini;
        const char *log;
        const char *port;
    };
    const std::vector<Case> cases = {
        {"user", "orvouser.ini", "orvouser.log", "18889"},
        {"daemon", "orvo.ini", "custom.log", "18888"},
        {"both", "orvo.ini", "custom.log", "18888"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.role);
        QDir().mkpath(dataDir());
        // Every role's settings file asks for another log name; only role "user" ignores it.
        for (const char *ini : {"orvouser.ini", "orvo.ini"})
            writeIni(dataDir() + QLatin1Char('/') + QLatin1String(ini), QStringLiteral("TarvexOrvo"),
                     QStringLiteral("logfilename"), QStringLiteral("custom.log"));
        auto env = makeEnv(QLatin1String(c.role));
        EXPECT_EQ(env->iniFileName(), QLatin1String(c.ini));
        EXPECT_EQ(env->iniFilePath(), dataDir() + QLatin1Char('/') + QLatin1String(c.ini));
        EXPECT_EQ(env->logFileName(), QLatin1String(c.log));
        EXPECT_EQ(env->listenPort(), QLatin1String(c.port));
        EXPECT_EQ(env->oldLogFilePath(), dataDir() + QStringLiteral("/orvo.old"));
        EXPECT_TRUE(QFileInfo::exists(env->logFilePath()));
    }
}

TEST_F(OrvoEnvTest, ValuesLiveInTheProgramGroup)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    EXPECT_EQ(env->getValue(QStringLiteral("timer"), QStringLiteral("10")), QStringLiteral("10"));

    QSettings(env->iniFilePath(), QSettings::IniFormat).setValue(QStringLiteral("timer"), QStringLiteral("99"));
    EXPECT_EQ(env->getValue(QStringLiteral("timer"), QStringLiteral("10")), QStringLiteral("10"));

    env->setValue(QStringLiteral("timer"), QStringLiteral("250"));
    EXPECT_EQ(readIni(env->iniFilePath(), QStringLiteral("TarvexOrvo"), QStringLiteral("timer")),
              QStringLiteral("250"));
    EXPECT_EQ(env->getValue(QStringLiteral("timer"), QStringLiteral("10")), QStringLiteral("250"));

    env->setValue(QStringLiteral("list"), QStringLiteral("a,b"));
    EXPECT_EQ(env->getValue(QStringLiteral("list"), QString()), QStringLiteral("a,b"));
}

TEST_F(OrvoEnvTest, TmpDirIsCreatedAndClearedOfFilesOnly)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    const QString tmp = env->tmpDir();
    EXPECT_EQ(tmp, dataDir() + QStringLiteral("/tmpdir"));
    ASSERT_TRUE(QDir(tmp).exists());
    ASSERT_TRUE(OrvoTest::writeFile(tmp + QStringLiteral("/a.bin"), "a"));
    ASSERT_TRUE(OrvoTest::writeFile(tmp + QStringLiteral("/.hidden"), "h"));
    ASSERT_TRUE(QDir(tmp).mkdir(QStringLiteral("sub")));
    const QString before = QDir::currentPath();

    env->clearTmpDir();

    EXPECT_EQ(QDir(tmp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"sub"});
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(OrvoEnvTest, CopyNewIniInstallsTheShippedFileOnlyForAnotherVersionAndKeepsTheReplacedOne)
{
    const QByteArray shippedBytes = "[TarvexOrvo]\ntimer=20\n";
    const QByteArray sameVersionBytes = "; kept\n[TarvexOrvo]\nversion=2.8.0.20\ntimer=30\n";
    const QByteArray otherVersionBytes = "[TarvexOrvo]\nversion=2.7.0.1\ntimer=40\nmine=1\nlisten_port=28888\n";
    enum class Old { None, KeepsUserFile, IsAFolder };
    struct Case
    {
        const char *name;
        bool shipped;
        QByteArray userBefore; // empty: no user file
        Old old;
        QByteArray expectedTimer;
        bool expectStamp;
        bool expectUnchanged;
    };
    const std::vector<Case> cases = {
        {"missing user file", true, {}, Old::None, "20", true, false},
        {"same version", true, sameVersionBytes, Old::None, "30", true, true},
        {"other version", true, otherVersionBytes, Old::KeepsUserFile, "20", true, false},
        {"no version", true, "[TarvexOrvo]\ntimer=40\n", Old::KeepsUserFile, "20", true, false},
        {"missing shipped file", false, "[TarvexOrvo]\nversion=2.7.0.1\ntimer=40\n", Old::None, "40", false, true},
        // The user's file is not replaced while its copy cannot be written.
        {"old copy unwritable", true, otherVersionBytes, Old::IsAFolder, "40", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(resourceDir()).removeRecursively();
        QDir(dataDir()).removeRecursively();
        QDir().mkpath(resourceDir());
        QDir().mkpath(dataDir());
        const QString user = dataDir() + QStringLiteral("/orvo.ini");
        const QString old = user + QStringLiteral(".old");
        if (c.shipped) {
            ASSERT_TRUE(OrvoTest::writeFile(resourceDir() + QStringLiteral("/orvo.ini"), shippedBytes));
        }
        if (!c.userBefore.isEmpty()) {
            ASSERT_TRUE(OrvoTest::writeFile(user, c.userBefore));
        }
        if (c.old == Old::IsAFolder) {
            ASSERT_TRUE(QDir().mkpath(old));
        }

        auto env = makeEnv(QStringLiteral("daemon"));
        OrvoMessageCapture capture;
        env->copyNewIni();

        EXPECT_EQ(readIni(user, QStringLiteral("TarvexOrvo"), QStringLiteral("timer")), QLatin1String(c.expectedTimer));
        EXPECT_EQ(readIni(user, QStringLiteral("TarvexOrvo"), QStringLiteral("version")) == QStringLiteral("2.8.0.20"),
                  c.expectStamp);
        if (c.expectUnchanged) {
            EXPECT_EQ(OrvoTest::readFile(user), c.userBefore);
        } else {
            EXPECT_TRUE(readIni(user, QStringLiteral("TarvexOrvo"), QStringLiteral("mine")).isEmpty());
        }
        switch (c.old) {
        case Old::None:
            EXPECT_FALSE(QFileInfo::exists(old));
            break;
        case Old::KeepsUserFile:
            EXPECT_EQ(OrvoTest::readFile(old), c.userBefore);
            EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("kept as \"%1\"").arg(old)));
            break;
        case Old::IsAFolder:
            EXPECT_TRUE(QFileInfo(old).isDir());
            EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("settings file not replaced")));
            break;
        }
    }
}

TEST_F(OrvoEnvTest, VersionFilesCopyOnlyTheirNonEmptyMinimumsAndRunTheCheck)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    int checks = 0;
    OrvoEnv::setVersionCheckHook([&checks] { ++checks; });
    const QString release = dataDir() + QStringLiteral("/release.ini");
    writeIni(release, QStringLiteral("Update"), QStringLiteral("MinApVer"), QStringLiteral("1.2.3"));

    env->updateDeviceInfo(QStringLiteral("Kavel50"), release);
    EXPECT_EQ(env->getGroupValue(QStringLiteral("Kavel50"), QStringLiteral("MinApVer"), QString()),
              QStringLiteral("1.2.3"));
    EXPECT_EQ(env->getGroupValue(QStringLiteral("Kavel50"), QStringLiteral("MinImgVer"), QStringLiteral("none")),
              QStringLiteral("none"));
    EXPECT_EQ(checks, 1);

    env->saveMinOrvoVer(QStringLiteral("Kavel50"), release); // no MinOrvoVer in it
    env->saveMinOrvoVer(QString(), release);
    env->updateDeviceInfo(QStringLiteral("Kavel50"), dataDir() + QStringLiteral("/missing.ini"));
    EXPECT_EQ(checks, 1);

    writeIni(release, QStringLiteral("Update"), QStringLiteral("MinOrvoVer"), QStringLiteral("2.9.0.0"));
    env->saveMinOrvoVer(QStringLiteral("Kavel50"), release);
    EXPECT_EQ(env->getGroupValue(QStringLiteral("Kavel50"), QStringLiteral("MinOrvoVer"), QString()),
              QStringLiteral("2.9.0.0"));
    EXPECT_EQ(checks, 2);
    OrvoEnv::setVersionCheckHook(nullptr);
}

TEST(OrvoEnvBeta, OddFourthPartOrAnotherShapeIsBeta)
{
    struct Case
    {
        const char *version;
        bool beta;
    };
    const std::vector<Case> cases = {
        {"2.8.0.21", true}, {"2.8.0.20", false}, {"2.8.0", true}, {"2.8.0.x", false}, {"", true}, {"1.2.3.4.5", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(isBetaVersion(QLatin1String(c.version)), c.beta);
    }
}
