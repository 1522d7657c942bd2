#include "OrvoTestSupport.h"

#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/OrvoSystemDeviceWaits.h"
#include "device/OrvoTmpSaveFileChooser.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "env/OrvoEnv.h"

#include <gtest/gtest.h>

TEST(OrvoDeviceWaits, VirtualClockMovesOnlyBySleepsAndAdvancesAndIsInstalledUntilTakenBack)
{
    const QDateTime start(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    OrvoVirtualDeviceWaits waits(start);
    EXPECT_TRUE(dynamic_cast<OrvoSystemDeviceWaits *>(&OrvoDeviceWaits::current())) << "the system's by default";

    OrvoDeviceWaits::install(&waits);
    OrvoDeviceWaits::current().sleep(10000);
    OrvoDeviceWaits::current().sleep(0);
    waits.advance(500);
    EXPECT_EQ(OrvoDeviceWaits::current().currentUtc(), start.addMSecs(10500));
    EXPECT_EQ(OrvoDeviceWaits::current().currentLocal(), start.addMSecs(10500).toLocalTime());
    EXPECT_EQ(waits.sleptMilliseconds(), 10000);
    EXPECT_EQ(waits.sleepCount(), 1) << "a sleep of nothing is no sleep";

    OrvoDeviceWaits::install(nullptr);
    EXPECT_NE(&OrvoDeviceWaits::current(), &waits);
}

TEST(OrvoSaveFileChooser, WithoutWindowsTheNameGoesIntoTheTemporaryFolder)
{
    OrvoSaveFileChooser &chooser = OrvoSaveFileChooser::current();
    ASSERT_TRUE(dynamic_cast<OrvoTmpSaveFileChooser *>(&chooser));
    const QString tmp = OrvoEnv::instance()->tmpDir();
    EXPECT_EQ(chooser.chooseSaveFile(QStringLiteral("Save"), QStringLiteral("Quilma.bin"), QStringLiteral("*.bin")),
              tmp + QStringLiteral("/Quilma.bin"));
    EXPECT_EQ(chooser.chooseSaveFile(QStringLiteral("Save"), QStringLiteral("../../etc/x.bin"), QString()),
              tmp + QStringLiteral("/x.bin"))
        << "a proposal cannot lead out of the folder";
    EXPECT_EQ(chooser.chooseSaveFile(QStringLiteral("Save"), QString(), QString()), QString());
}
