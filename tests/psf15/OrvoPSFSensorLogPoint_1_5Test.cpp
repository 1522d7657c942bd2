#include "psf15/OrvoPSFSensorLogPoint_1_5.h"

#include <gtest/gtest.h>

namespace {

// A log header laid out by hand (mask at 9, sample count at 10), then the samples.
QByteArray logBytes(quint8 mask, const QByteArray &samples, int count)
{
    QByteArray bytes(OrvoPSFSensorLog_1_5::kHeaderSize, '\0');
    bytes[9] = char(mask);
    bytes[10] = char(count);
    return bytes + samples;
}

} // namespace

TEST(OrvoPSFSensorLogPoint_1_5Test, ReadsTheChannelsOfItsSampleOnly)
{
    // Speed, cadence, heart rate, word channel, temperature and doubled word: 9 bytes a sample.
    QByteArray bytes = logBytes(
        0x3F, QByteArray::fromHex("50 40 8C 2C01 FBFF 0A00") + QByteArray::fromHex("FF FF FF FFFF 6400 FFFF"), 2);
    const OrvoPSFSensorLog_1_5 log(OrvoPSFObject::spanOf(bytes));
    const OrvoPSFSensorLogPoint_1_5 first(log, 0);
    EXPECT_EQ(first.size(), 9);
    EXPECT_DOUBLE_EQ(first.speed().value(), 36.0);
    EXPECT_DOUBLE_EQ(first.byteChannelA().value(), 64.0);
    EXPECT_DOUBLE_EQ(first.scaledByteChannel().value(), 60.0);
    EXPECT_DOUBLE_EQ(first.byteChannelB().value(), 140.0);
    EXPECT_DOUBLE_EQ(first.wordChannel().value(), 300.0);
    EXPECT_DOUBLE_EQ(first.temperature().value(), -0.5);
    EXPECT_DOUBLE_EQ(first.doubledWordChannel().value(), 20.0);

    const OrvoPSFSensorLogPoint_1_5 second(log, 1);
    EXPECT_FALSE(second.speed().isValid());
    EXPECT_FALSE(second.scaledByteChannel().isValid()) << "an absent cadence is no 239.06";
    EXPECT_FALSE(second.wordChannel().isValid());
    EXPECT_DOUBLE_EQ(second.temperature().value(), 10.0);

    for (int index : {-1, 2}) {
        const OrvoPSFSensorLogPoint_1_5 outside(log, index);
        EXPECT_EQ(outside.available(), 0);
        EXPECT_FALSE(outside.hasChannel(OrvoPSFSensorLog_1_5::Speed));
        EXPECT_FALSE(outside.speed().isValid());
        EXPECT_FALSE(outside.temperature().isValid());
    }
}

TEST(OrvoPSFSensorLogPoint_1_5Test, AChannelOutsideTheMaskReadsAsAbsent)
{
    QByteArray bytes = logBytes(0x04, QByteArray::fromHex("8C"), 1);
    const OrvoPSFSensorLog_1_5 log(OrvoPSFObject::spanOf(bytes));
    const OrvoPSFSensorLogPoint_1_5 point(log, 0);
    EXPECT_EQ(point.size(), 1);
    EXPECT_TRUE(point.hasChannel(OrvoPSFSensorLog_1_5::HeartRate));
    EXPECT_FALSE(point.hasChannel(OrvoPSFSensorLog_1_5::Temperature));
    EXPECT_DOUBLE_EQ(point.byteChannelB().value(), 140.0);
    EXPECT_FALSE(point.temperature().isValid()) << "no temperature channel, no 65535";
    EXPECT_FALSE(point.speed().isValid());
}
