#include "OrvoTestSupport.h"

#include "emulator/OrvoPlatformSetting.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(OrvoPlatformSetting, RefusesEveryTextButNoneOrAnExistingEmulatorFolder)
{
    QTemporaryDir devices;
    ASSERT_TRUE(devices.isValid());
    const QString file = devices.filePath(QStringLiteral("devices.txt"));
    ASSERT_TRUE(OrvoTest::writeFile(file, "not a folder\n"));
    struct Case
    {
        const char *name;
        QString setting;
        // Empty when the setting is usable; else a text the problem must hold.
        QString problemHolds;
    };
    const Case cases[] = {
        {"unset", QString(), QString()},
        {"existing folder", QStringLiteral("emulator:") + devices.path(), QString()},
        {"unknown platform", QStringLiteral("bogus"), QStringLiteral("ORVO_PLATFORM=bogus is not a platform")},
        {"prefix without colon", QStringLiteral("emulator"), QStringLiteral("is not a platform")},
        {"empty folder", QStringLiteral("emulator:"), QStringLiteral("ORVO_PLATFORM=emulator: names no folder")},
        {"missing folder", QStringLiteral("emulator:") + devices.filePath(QStringLiteral("gone")),
         devices.filePath(QStringLiteral("gone")) + QStringLiteral(" does not exist")},
        {"regular file", QStringLiteral("emulator:") + file, file + QStringLiteral(" does not exist")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString problem = OrvoPlatformSetting::problem(c.setting);
        if (c.problemHolds.isEmpty())
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        else
            EXPECT_TRUE(problem.contains(c.problemHolds)) << problem.toStdString();
    }
}

} // namespace
