#include "OrvoTestSupport.h"

#include "device/OrvoMountInfo.h"

#include <gtest/gtest.h>

TEST(OrvoMountInfo, ReadsTheKernelsLinesAndSkipsOthers)
{
    const QByteArray text = "22 26 0:21 / /sys rw,relatime - sysfs sysfs rw\n"
                            "101 30 8:17 / /media/user/KAVEL\\04050 rw,nosuid shared:61 master:1 - vfat /dev/sdb1 rw\n"
                            "broken line without separator\n"
                            "102 30 8:33 / /media/back\\134slash rw - - /dev/sdc1 rw\n"
                            "103 30 8:49 / /media/short rw - vfat\n"
                            "\n"
                            "104 30 8:65 / /media/tab\\011and\\0 rw - ext4 /dev/sde1 rw";
    const QVector<OrvoMountInfo::Entry> entries = OrvoMountInfo::parse(text);

    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0].mountPoint, QStringLiteral("/sys"));
    EXPECT_EQ(entries[0].fileSystemType, QStringLiteral("sysfs"));
    EXPECT_EQ(entries[1].device, QStringLiteral("8:17"));
    EXPECT_EQ(entries[1].mountPoint, QStringLiteral("/media/user/KAVEL 50")) << "optional fields are skipped";
    EXPECT_EQ(entries[1].fileSystemType, QStringLiteral("vfat"));
    EXPECT_EQ(entries[1].source, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(entries[2].mountPoint, QStringLiteral("/media/back\\slash"));
    EXPECT_EQ(entries[2].fileSystemType, QStringLiteral("-")) << "a type named '-' is not taken for the separator";
    EXPECT_EQ(entries[3].mountPoint, QStringLiteral("/media/tab\tand\\0")) << "a cut escape stays as it is";
}

TEST(OrvoMountInfo, AMissingFileIsAnEmptyTable)
{
    OrvoTest::OutputDir dir;
    EXPECT_TRUE(OrvoMountInfo::read(dir.filePath(QStringLiteral("missing"))).isEmpty());
}
