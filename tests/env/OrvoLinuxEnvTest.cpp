#include "env/OrvoLinuxEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A prefix with bin and the folders a case asks for, as a build tree or an installation lays
// them out; the answer is a path below the prefix.
TEST(OrvoLinuxEnv, FindsTheResourcesOfTheBuildTreeAndOfTheInstalledLayout)
{
    const struct
    {
        const char *name;
        QStringList folders;
        QStringList files;
        const char *expected;
    } cases[] = {
        {"build tree", {QStringLiteral("bin/Resources")}, {}, "bin/Resources"},
        {"installed", {QStringLiteral("share/tarvex-orvo")}, {}, "share/tarvex-orvo"},
        {"both: the build tree's own copy wins",
         {QStringLiteral("bin/Resources"), QStringLiteral("share/tarvex-orvo")},
         {},
         "bin/Resources"},
        {"a file named like the folder is no folder",
         {QStringLiteral("share/tarvex-orvo")},
         {QStringLiteral("bin/Resources")},
         "share/tarvex-orvo"},
        {"installed without resources", {QStringLiteral("share/tarvex-orvo-other")}, {}, "bin/Resources"},
        {"neither names the build tree's folder", {}, {QStringLiteral("share/tarvex-orvo")}, "bin/Resources"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QDir root(prefix.path());
        ASSERT_TRUE(root.mkpath(QStringLiteral("bin")));
        for (const QString &folder : c.folders)
            ASSERT_TRUE(root.mkpath(folder));
        for (const QString &file : c.files) {
            ASSERT_TRUE(root.mkpath(QFileInfo(root.filePath(file)).path()));
            QFile touched(root.filePath(file));
            ASSERT_TRUE(touched.open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(OrvoLinuxEnv::findResourceDir(root.filePath(QStringLiteral("bin"))),
                  root.filePath(QLatin1String(c.expected)));
    }
}

} // namespace
