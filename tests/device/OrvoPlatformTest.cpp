#include "OrvoTestSupport.h"

#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <gtest/gtest.h>

namespace {

// Puts the Linux implementation back whatever the test does.
struct FactoryReset
{
    ~FactoryReset() { OrvoPlatform::setImplementationFactory({}); }
};

} // namespace

TEST(OrvoPlatform, ForwardsToTheInstalledImplementationUntilItIsRemoved)
{
    FactoryReset reset;
    OrvoTest::OutputDir dir;
    auto emulated = std::make_shared<OrvoEmulatedPlatform>();
    emulated->plugDrive(dir.path(), QStringLiteral("TARVEX  Kavel50"));

    OrvoPlatform::setImplementationFactory([emulated] { return emulated; });
    {
        OrvoPlatform platform;
        EXPECT_EQ(platform.getRemovableDrives(QStringLiteral("msdos")), QStringList({dir.path()}));
        EXPECT_EQ(platform.getDriveVendorName(dir.path()), QStringLiteral("TARVEX  Kavel50"));
        EXPECT_TRUE(platform.ejectDevice(dir.path()));
    }
    EXPECT_TRUE(emulated->getRemovableDrives(QString()).isEmpty()) << "the facade reached the installed platform";

    emulated->plugDrive(dir.path(), QStringLiteral("TARVEX  Kavel50"));
    OrvoPlatform::setImplementationFactory({});
    OrvoPlatform platform;
    EXPECT_TRUE(platform.getDriveVendorName(dir.path()).isEmpty()) << "a plain folder is no drive on Linux";
    EXPECT_NE(platform.createEnv(), nullptr);
}
