#include "OrvoTestSupport.h"

#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedScsiHandle.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using Access = OrvoEmulatedArea::Access;
using Direction = ScsiTransport::Direction;

namespace {

const QString kImage = QStringLiteral("image");
const QString kFlash = QStringLiteral("flash");

OrvoEmulatedIdentity application()
{
    return OrvoEmulatedIdentity{"TARVEX", "KOSMIR", "0207", "1.00", QByteArray(), "1105ABCDEF012345"};
}

// A device with an image of four 2048-byte blocks read in area 0x0D and written in area 0x0C,
// and a flash of four 4096-byte blocks that needs erasing (0x18 one block, 0x0E all of it).
std::shared_ptr<OrvoEmulatedFlashDevice> makeDevice()
{
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(application());
    device->addMemory(kImage, 4 * 2048, false);
    device->addMemory(kFlash, 4 * 4096, true);
    device->addArea({0x0D, Access::Read, kImage, 2048, 0});
    device->addArea({0x0C, Access::Write, kImage, 2048, 0});
    device->addArea({0x10, Access::Read, kFlash, 4096, 0});
    device->addArea({0x0F, Access::Write, kFlash, 4096, 0});
    device->addArea({0x18, Access::EraseBlock, kFlash, 512, 4096});
    device->addArea({0x0E, Access::EraseAll, kFlash, 512, 0});
    device->addArea({0x03, Access::DeviceId, QString(), 2048, 0});
    return device;
}

// Sends one command block with a data phase of the given direction and size.
struct Exchange
{
    QByteArray cdb;
    Direction direction = Direction::None;
    QByteArray data;

    ScsiTransport::Answer on(ScsiTransport &transport)
    {
        ScsiTransport::Request request;
        request.cdb = std::span<const quint8>(reinterpret_cast<const quint8 *>(cdb.constData()), size_t(cdb.size()));
        request.direction = direction;
        auto *bytes = reinterpret_cast<quint8 *>(data.data());
        if (direction == Direction::In)
            request.dataIn = std::span<quint8>(bytes, size_t(data.size()));
        if (direction == Direction::Out)
            request.dataOut = std::span<const quint8>(bytes, size_t(data.size()));
        return transport.execute(request);
    }
};

Exchange in(const char *cdbHex, qsizetype length)
{
    return Exchange{QByteArray::fromHex(cdbHex), Direction::In, QByteArray(length, '\0')};
}

Exchange out(const char *cdbHex, const QByteArray &data)
{
    return Exchange{QByteArray::fromHex(cdbHex), Direction::Out, data};
}

Exchange none(const char *cdbHex)
{
    return Exchange{QByteArray::fromHex(cdbHex), Direction::None, QByteArray()};
}

} // namespace

TEST(OrvoEmulatedFlashDevice, InquiryAnswersTheIdentityAtTheFamilysOffsets)
{
    auto device = makeDevice();
    Exchange inquiry = in("12 80 00 00 80 00", 128);
    const ScsiTransport::Answer answer = inquiry.on(*device);
    ASSERT_EQ(answer.status, 0);
    ASSERT_EQ(answer.transferred, 36);
    const QByteArray expected =
        QByteArray::fromHex("00 80 02 02 1F 00 00 00") + "TARVEX  " + "KOSMIR     " + "0207" + " " + "1.00";
    EXPECT_EQ(inquiry.data.left(36), expected);
    EXPECT_EQ(inquiry.data.mid(36), QByteArray(92, '\0'));

    Exchange shortInquiry = in("12 00 00 00 10 00", 128);
    EXPECT_EQ(shortInquiry.on(*device).transferred, 16) << "no more than the allocation length";
    Exchange noAllocation = in("12 00 00 00 00 00", 0);
    EXPECT_EQ(noAllocation.on(*device).status, 0);

    device->unplug();
    device->plug(OrvoEmulatedIdentity{"TARVEX", "KOSMIR", "0100", "0.01", "IAP IBOOT", "1105ABCDEF012345"});
    Exchange bootLoader = in("12 80 00 00 80 00", 128);
    EXPECT_EQ(bootLoader.on(*device).transferred, 45);
    EXPECT_EQ(bootLoader.data.mid(4, 1), QByteArray::fromHex("28"));
    EXPECT_EQ(bootLoader.data.mid(27, 4), QByteArray("0100"));
    EXPECT_EQ(bootLoader.data.mid(36, 9), QByteArray("IAP IBOOT"));
}

TEST(OrvoEmulatedFlashDevice, RefusesWhatTheDeviceDoesNotUnderstand)
{
    struct Case
    {
        const char *name;
        Exchange exchange;
        quint8 key;
        quint8 asc;
    };
    const QByteArray sector(512, '\0');
    const std::vector<Case> cases = {
        {"unknown operation code", in("00 00 00 00 00 00", 0), 0x05, 0x20},
        {"empty command block", in("", 0), 0x05, 0x20},
        {"a READ of six bytes", in("28 00 00 00 00 0D", 2048), 0x05, 0x24},
        {"a READ of twelve bytes", in("28 00 00 00 00 00 0D 00 04 00 00 00", 2048), 0x05, 0x24},
        {"reserved byte 1 set", in("28 01 00 00 00 00 0D 00 04 00", 2048), 0x05, 0x24},
        {"reserved byte 7 set", in("28 00 00 00 00 00 0D 01 04 00", 2048), 0x05, 0x24},
        {"reserved byte 9 set", in("28 00 00 00 00 00 0D 00 04 01", 2048), 0x05, 0x24},
        {"an area the device does not have", in("28 00 00 00 00 00 07 00 04 00", 2048), 0x05, 0x24},
        {"a READ of an area that is only written", in("28 00 00 00 00 00 0C 00 04 00", 2048), 0x05, 0x24},
        {"a block size the area does not take", in("28 00 00 00 00 00 0D 00 08 00", 4096), 0x05, 0x24},
        {"no sectors at all", none("28 00 00 00 00 00 0D 00 00 00"), 0x05, 0x24},
        {"a buffer shorter than the block", in("28 00 00 00 00 00 0D 00 04 00", 2047), 0x05, 0x24},
        {"a WRITE that asks for data", in("2A 00 00 00 00 00 0C 00 04 00", 2048), 0x05, 0x24},
        {"a READ that brings data", out("28 00 00 00 00 00 0D 00 04 00", QByteArray(2048, 'x')), 0x05, 0x24},
        {"the block after the last", in("28 00 00 00 00 04 0D 00 04 00", 2048), 0x05, 0x21},
        {"block 65535", out("2A 00 00 00 FF FF 0C 00 04 00", QByteArray(2048, 'x')), 0x05, 0x21},
        {"an erase unit after the last", out("2A 00 00 00 00 04 18 00 01 00", sector), 0x05, 0x21},
        {"a whole erase that names a block", out("2A 00 00 00 00 01 0E 00 01 00", sector), 0x05, 0x21},
        {"a device id of another block", in("28 00 00 00 00 01 03 00 04 00", 2048), 0x05, 0x21},
        {"INQUIRY for a vital product page", in("12 01 80 00 80 00", 128), 0x05, 0x24},
        {"START STOP UNIT with data", out("1B 00 00 00 02 00", sector), 0x05, 0x24},
        {"START STOP UNIT with power conditions", none("1B 00 00 00 12 00"), 0x05, 0x24},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice();
        const QByteArray flashBefore = device->memory(kFlash);
        const ScsiTransport::Answer answer = c.exchange.on(*device);
        EXPECT_EQ(answer.status, 0x02);
        EXPECT_EQ(answer.transferred, 0);
        ASSERT_EQ(answer.sense.size(), 18);
        EXPECT_EQ(quint8(answer.sense[0]), 0x70);
        EXPECT_EQ(quint8(answer.sense[2]), c.key);
        EXPECT_EQ(quint8(answer.sense[7]), 10);
        EXPECT_EQ(quint8(answer.sense[12]), c.asc);
        EXPECT_EQ(device->memory(kImage), QByteArray(4 * 2048, '\xFF'));
        EXPECT_EQ(device->memory(kFlash), flashBefore);
        ASSERT_EQ(device->commandLog().size(), 1) << "refused commands are logged too";
        EXPECT_EQ(device->commandLog()[0].cdb, c.exchange.cdb);
        EXPECT_EQ(device->commandLog()[0].asc, c.asc);
    }
}

TEST(OrvoEmulatedFlashDevice, AreasReadAndWriteTheirBlocks)
{
    auto device = makeDevice();
    const QByteArray block(2048, 'b');
    ASSERT_EQ(out("2A 00 00 00 00 02 0C 00 04 00", block).on(*device).status, 0);
    EXPECT_EQ(device->memory(kImage).mid(2 * 2048, 2048), block);

    Exchange read = in("28 00 00 00 00 02 0D 00 04 00", 2048);
    ASSERT_EQ(read.on(*device).transferred, 2048);
    EXPECT_EQ(read.data, block);

    Exchange id = in("28 00 00 00 00 00 03 00 04 00", 2048);
    ASSERT_EQ(id.on(*device).status, 0);
    EXPECT_EQ(id.data.left(2032), QByteArray(2032, '\0'));
    EXPECT_EQ(id.data.right(16), QByteArray("1105ABCDEF012345"));
}

TEST(OrvoEmulatedFlashDevice, FlashTakesWritesOnlyWhereItWasErased)
{
    auto device = makeDevice();
    const QByteArray block(4096, 'f');
    const QByteArray sector(512, '\0');
    ASSERT_EQ(out("2A 00 00 00 00 01 0F 00 08 00", block).on(*device).status, 0) << "new flash is erased";

    const ScsiTransport::Answer rewrite = out("2A 00 00 00 00 01 0F 00 08 00", QByteArray(4096, 'g')).on(*device);
    EXPECT_EQ(rewrite.status, 0x02);
    EXPECT_EQ(quint8(rewrite.sense[2]), 0x03);
    EXPECT_EQ(quint8(rewrite.sense[12]), 0x0C);
    EXPECT_EQ(device->memory(kFlash).mid(4096, 4096), block) << "a refused write changes nothing";

    ASSERT_EQ(out("2A 00 00 00 00 01 18 00 01 00", sector).on(*device).status, 0);
    EXPECT_EQ(device->memory(kFlash), QByteArray(4 * 4096, '\xFF')) << "the erase covers its 4096-byte unit";
    ASSERT_EQ(out("2A 00 00 00 00 01 0F 00 08 00", QByteArray(4096, 'g')).on(*device).status, 0);

    ASSERT_TRUE(device->loadMemory(kFlash, QByteArray(4 * 4096, '\0')));
    ASSERT_EQ(out("2A 00 00 00 00 00 0E 00 01 00", sector).on(*device).status, 0);
    EXPECT_EQ(device->memory(kFlash), QByteArray(4 * 4096, '\xFF'));
    EXPECT_FALSE(device->loadMemory(kFlash, QByteArray(4 * 4096 + 1, '\0'))) << "an image larger than the memory";
}

// The ready poll answers busy for the set number of polls after an erase, and the flash takes
// no write until it answered ready.
TEST(OrvoEmulatedFlashDevice, ReadyPollIsBusyAfterAnEraseAndWritesWaitForIt)
{
    auto device = makeDevice();
    device->addArea({0x15, Access::ReadyPoll, kFlash, 4096, 0});
    device->setBusyPolls(2);
    const auto poll = [&] {
        Exchange exchange = in("28 00 00 00 00 00 15 00 08 00", 4096);
        const ScsiTransport::Answer answer = exchange.on(*device);
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(exchange.data.mid(1), QByteArray(4095, '\0'));
        return quint8(exchange.data[0]);
    };
    EXPECT_EQ(poll(), 0) << "ready before any erase";

    ASSERT_EQ(out("2A 00 00 00 00 00 0E 00 01 00", QByteArray(512, '\0')).on(*device).status, 0);
    const ScsiTransport::Answer early = out("2A 00 00 00 00 01 0F 00 08 00", QByteArray(4096, 'f')).on(*device);
    EXPECT_EQ(early.status, 0x02);
    EXPECT_EQ(quint8(early.sense[2]), 0x02) << "NOT READY";
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(poll(), 1);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(out("2A 00 00 00 00 01 0F 00 08 00", QByteArray(4096, 'f')).on(*device).status, 0);
    EXPECT_EQ(in("28 00 00 00 00 01 15 00 08 00", 4096).on(*device).status, 0x02) << "only block 0 is polled";
}

TEST(OrvoEmulatedFlashDevice, FailsTheNthCommandOnce)
{
    struct Case
    {
        OrvoEmulatedFlashDevice::Fault fault;
        quint8 status;
        bool timedOut;
        int osError;
        bool presentAfter;
    };
    const std::vector<Case> cases = {
        {OrvoEmulatedFlashDevice::Fault::CheckCondition, 0x02, false, 0, true},
        {OrvoEmulatedFlashDevice::Fault::Timeout, 0x00, true, 0, true},
        {OrvoEmulatedFlashDevice::Fault::Disconnect, 0x00, false, ENODEV, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.fault));
        auto device = makeDevice();
        int presenceChanges = 0;
        device->setPresenceListener([&] { ++presenceChanges; });
        device->failCommand(2, c.fault);
        EXPECT_EQ(in("28 00 00 00 00 00 0D 00 04 00", 2048).on(*device).status, 0);
        EXPECT_TRUE(device->faultPending());
        const ScsiTransport::Answer failed = in("28 00 00 00 00 00 0D 00 04 00", 2048).on(*device);
        EXPECT_EQ(failed.status, c.status);
        EXPECT_EQ(failed.timedOut, c.timedOut);
        EXPECT_EQ(failed.osError, c.osError);
        EXPECT_FALSE(device->faultPending());
        EXPECT_EQ(device->isPresent(), c.presentAfter);
        EXPECT_EQ(presenceChanges, c.presentAfter ? 0 : 1);
        const ScsiTransport::Answer next = in("28 00 00 00 00 00 0D 00 04 00", 2048).on(*device);
        EXPECT_EQ(next.osError, c.presentAfter ? 0 : ENODEV) << "only one command fails, unless the device left";
        EXPECT_EQ(device->commandLog().size(), 3);
    }
}

TEST(OrvoEmulatedFlashDevice, FlipsAByteOfTheReadBackOnly)
{
    auto device = makeDevice();
    ASSERT_TRUE(device->loadMemory(kImage, QByteArray(4 * 2048, '\x11')));
    device->flipOnRead(kImage, 2048 + 5);

    Exchange other = in("28 00 00 00 00 00 0D 00 04 00", 2048);
    other.on(*device);
    EXPECT_EQ(other.data, QByteArray(2048, '\x11')) << "a read that does not cover the byte is clean";

    Exchange first = in("28 00 00 00 00 01 0D 00 04 00", 2048);
    first.on(*device);
    QByteArray expected(2048, '\x11');
    expected[5] = '\xEE';
    EXPECT_EQ(first.data, expected);

    Exchange second = in("28 00 00 00 00 01 0D 00 04 00", 2048);
    second.on(*device);
    EXPECT_EQ(second.data, QByteArray(2048, '\x11'));
    EXPECT_EQ(device->memory(kImage), QByteArray(4 * 2048, '\x11')) << "the image itself is intact";
}

TEST(OrvoEmulatedFlashDevice, ANodeDiesWithThePlugItWasOpenedIn)
{
    auto device = makeDevice();
    auto handle = OrvoEmulatedScsiHandle::open(device);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(device->openHandleCount(), 1);
    EXPECT_EQ(in("12 80 00 00 80 00", 128).on(*handle).status, 0);

    device->unplug();
    EXPECT_EQ(OrvoEmulatedScsiHandle::open(device), nullptr) << "an absent device has no node";
    EXPECT_EQ(in("12 80 00 00 80 00", 128).on(*handle).osError, ENODEV);

    OrvoEmulatedIdentity bootLoader = application();
    bootLoader.vendorData = "IAP IBOOT";
    device->plug(bootLoader);
    EXPECT_EQ(in("12 80 00 00 80 00", 128).on(*handle).osError, ENODEV) << "the old node stays dead";
    auto fresh = OrvoEmulatedScsiHandle::open(device);
    ASSERT_NE(fresh, nullptr);
    Exchange inquiry = in("12 80 00 00 80 00", 128);
    EXPECT_EQ(inquiry.on(*fresh).status, 0);
    EXPECT_TRUE(inquiry.data.contains("IAP IBOOT"));

    handle.reset();
    fresh.reset();
    EXPECT_EQ(device->openHandleCount(), 0);
    const auto log = device->commandLog();
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[1].osError, ENODEV) << "commands to a dead node are logged";
}

TEST(OrvoEmulatedFlashDevice, LogsEveryCommandWithItsData)
{
    auto device = makeDevice();
    const QByteArray block(2048, 'w');
    out("2A 00 00 00 00 01 0C 00 04 00", block).on(*device);
    in("28 00 00 00 00 01 0D 00 04 00", 2048).on(*device);
    none("1B 00 00 00 02 00").on(*device);

    const auto log = device->commandLog();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0].cdb, QByteArray::fromHex("2A00000000010C000400"));
    EXPECT_EQ(log[0].direction, Direction::Out);
    EXPECT_EQ(log[0].dataOut, block);
    EXPECT_EQ(log[1].direction, Direction::In);
    EXPECT_EQ(log[1].dataInLength, 2048);
    EXPECT_TRUE(log[1].dataOut.isEmpty());
    EXPECT_EQ(log[2].cdb, QByteArray::fromHex("1B0000000200"));
    EXPECT_EQ(log[2].status, 0);

    device->clearCommandLog();
    EXPECT_TRUE(device->commandLog().isEmpty());
}
