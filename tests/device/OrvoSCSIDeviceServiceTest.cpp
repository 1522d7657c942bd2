#include "DeviceTestDevices.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoLinuxSCSIService.h"
#include "emulator/OrvoEmulatedScsiHandle.h"

#include <gtest/gtest.h>

#include <vector>

using namespace DeviceTest;

namespace {

OrvoDeviceInfo kavel40Row()
{
    return OrvoDeviceInfo{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}};
}

std::unique_ptr<OrvoLinuxSCSIService> serviceFor(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    return std::make_unique<OrvoLinuxSCSIService>(OrvoEmulatedScsiHandle::open(device), kavel40Row());
}

QStringList loggedCdbs(const OrvoEmulatedFlashDevice &device)
{
    QStringList cdbs;
    for (const auto &command : device.commandLog())
        cdbs << QString::fromLatin1(command.cdb.toHex(' '));
    return cdbs;
}

// A transport that gives one prepared answer, for the answers the emulator does not produce.
class ScriptedTransport : public ScsiTransport
{
public:
    explicit ScriptedTransport(Answer answer)
        : m_answer(std::move(answer))
    {}
    Answer execute(const Request &request) override
    {
        if (request.direction == Direction::In && !request.dataIn.empty())
            request.dataIn[0] = 0x5A;
        return m_answer;
    }
    QString targetName() const override { return QStringLiteral("scripted"); }

private:
    Answer m_answer;
};

} // namespace

TEST(OrvoSCSIDeviceService, WritesWholeBlocksThenOneBlockPaddedWithFF)
{
    auto device = makeKosmir();
    auto service = serviceFor(device);
    const QByteArray data = pattern(1000);

    ASSERT_TRUE(service->writeFlashBlocks(data.constData(), kSectorRegion, data.size(), 512, 3));

    const auto log = device->commandLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].cdb, QByteArray::fromHex("2A000000000301000100"));
    EXPECT_EQ(log[0].dataOut, data.left(512));
    EXPECT_EQ(log[1].cdb, QByteArray::fromHex("2A000000000401000100"));
    EXPECT_EQ(log[1].dataOut, data.mid(512) + QByteArray(24, '\xFF'));
    EXPECT_EQ(device->memory(kSectors).mid(3 * 512, 1024), data + QByteArray(24, '\xFF'));
}

TEST(OrvoSCSIDeviceService, ReadsBlocksKeepingOnlyTheAskedBytesAndStopsAtAFailure)
{
    auto device = makeKosmir();
    const QByteArray data = pattern(3 * 512);
    ASSERT_TRUE(device->loadMemory(kSectors, QByteArray(512, 'x') + data));
    auto service = serviceFor(device);

    QByteArray buffer(1000, '\0');
    ASSERT_TRUE(service->readFlashBlocks(buffer.data(), kSectorRegion, buffer.size(), 512, 1));
    EXPECT_EQ(buffer, data.left(1000));
    EXPECT_EQ(loggedCdbs(*device), QStringList({"28 00 00 00 00 01 01 00 01 00", "28 00 00 00 00 02 01 00 01 00"}));

    device->clearCommandLog();
    device->failCommand(2);
    QByteArray partial(1024, '\0');
    EXPECT_FALSE(service->readFlashBlocks(partial.data(), kSectorRegion, partial.size(), 512, 1));
    EXPECT_EQ(partial, data.left(512) + QByteArray(512, '\0')) << "the blocks before the failure are kept";
    EXPECT_EQ(device->commandLog().size(), 2);
}

TEST(OrvoSCSIDeviceService, WriteCommandBlocksAndRefusedRanges)
{
    struct Case
    {
        const char *name;
        quint8 region;
        qint64 length;
        int blockSize;
        int first;
        QStringList cdbs;
        bool result;
    };
    const std::vector<Case> cases = {
        {"exactly two blocks send no padded block",
         kSectorRegion,
         1024,
         512,
         3,
         {"2a 00 00 00 00 03 01 00 01 00", "2a 00 00 00 00 04 01 00 01 00"},
         true},
        {"data shorter than a block is sent padded",
         kSectorRegion,
         100,
         512,
         0,
         {"2a 00 00 00 00 00 01 00 01 00"},
         true},
        {"block 300 is 01 2C", kSectorRegion, 512, 512, 300, {"2a 00 00 00 01 2c 01 00 01 00"}, true},
        {"2048-byte blocks carry four sectors",
         kWideSectorRegion,
         2048,
         2048,
         1,
         {"2a 00 00 00 00 01 02 00 04 00"},
         true},
        {"block 65535 is still sent (the device has no such block)",
         kSectorRegion,
         512,
         512,
         65535,
         {"2a 00 00 00 ff ff 01 00 01 00"},
         false},
        {"a last block of 65536 would wrap to 0: nothing is sent", kSectorRegion, 1024, 512, 65535, {}, false},
        {"a first block of 65536 is refused", kSectorRegion, 512, 512, 65536, {}, false},
        {"a negative first block is refused", kSectorRegion, 512, 512, -1, {}, false},
        {"a block size that is not whole sectors is refused", kSectorRegion, 1000, 1000, 0, {}, false},
        {"a block size of 0 is refused", kSectorRegion, 1000, 0, 0, {}, false},
        {"a block size beyond 255 sectors is refused", kSectorRegion, 131072, 131072, 0, {}, false},
        {"no data sends nothing", kSectorRegion, 0, 512, 0, {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeKosmir();
        auto service = serviceFor(device);
        const QByteArray data = pattern(qMax<qint64>(c.length, 1));
        EXPECT_EQ(service->writeFlashBlocks(data.constData(), c.region, c.length, c.blockSize, c.first), c.result);
        EXPECT_EQ(loggedCdbs(*device), c.cdbs);
    }
}

TEST(OrvoSCSIDeviceService, EraseSendsOneZeroSectorPerTouchedBlock)
{
    struct Case
    {
        const char *name;
        qint64 length;
        int blockSize;
        int first;
        QStringList cdbs;
        bool result;
    };
    const std::vector<Case> cases = {
        {"513 bytes touch two blocks",
         513,
         4096 / 8,
         0,
         {"2a 00 00 00 00 00 18 00 01 00", "2a 00 00 00 00 01 18 00 01 00"},
         true},
        {"one whole block", 4096, 4096, 5, {"2a 00 00 00 00 05 18 00 01 00"}, true},
        {"nothing to erase", 0, 4096, 0, {}, false},
        {"blocks past 65535 are refused before any erase", 8192, 4096, 65535, {}, false},
        {"a block size of 0 is refused", 4096, 0, 0, {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeKosmir();
        auto service = serviceFor(device);
        EXPECT_EQ(service->eraseFlashBlocks(c.length, c.blockSize, c.first), c.result);
        EXPECT_EQ(loggedCdbs(*device), c.cdbs);
        for (const auto &command : device->commandLog())
            EXPECT_EQ(command.dataOut, QByteArray(512, '\0'));
    }
}

TEST(OrvoSCSIDeviceService, EraseThenWriteFillsFlashThatRefusesUnerasedWrites)
{
    auto device = makeKosmir();
    device->loadMemory(kFlash, QByteArray(kFlashMemorySize, '\0'));
    auto service = serviceFor(device);
    const QByteArray image = pattern(4096 + 100);

    EXPECT_FALSE(service->writeFlashBlocks(image.constData(), kFlashWriteRegion, image.size(), 4096, 2))
        << "flash that was not erased takes no write";
    ASSERT_TRUE(service->eraseFlashBlocks(image.size(), 4096, 2));
    ASSERT_TRUE(service->writeFlashBlocks(image.constData(), kFlashWriteRegion, image.size(), 4096, 2));

    const QByteArray flash = device->memory(kFlash);
    EXPECT_EQ(flash.mid(2 * 4096, 2 * 4096), image + QByteArray(4096 - 100, '\xFF'));
    EXPECT_EQ(flash.left(2 * 4096), QByteArray(2 * 4096, '\0')) << "blocks before the range stay";
    EXPECT_EQ(flash.mid(4 * 4096), QByteArray(4 * 4096, '\0')) << "blocks after the range stay";
}

TEST(OrvoSCSIDeviceService, CheckConditionEndsTheLoopAndIsLogged)
{
    auto device = makeKosmir();
    auto service = serviceFor(device);
    const QByteArray data = pattern(3 * 512);
    device->failCommand(2);
    OrvoMessageCapture capture;

    EXPECT_FALSE(service->writeFlashBlocks(data.constData(), kSectorRegion, data.size(), 512, 10));

    EXPECT_EQ(device->commandLog().size(), 2) << "no block after the failed one is sent";
    const QByteArray sectors = device->memory(kSectors);
    EXPECT_EQ(sectors.mid(10 * 512, 512), data.left(512));
    EXPECT_EQ(sectors.mid(11 * 512, 1024), QByteArray(1024, '\xFF'));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("check condition: sense key 0x04 asc 0x44 ascq 0x00")));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("write client failed at loop  11")));
}

// Fails every command in turn: each run either completes, or stops cleanly at the failed
// block with every block before it written and none after it touched.
TEST(OrvoSCSIDeviceService, WriteSurvivesAFaultAtEveryCommand)
{
    const QByteArray data = pattern(3 * 512 + 200);
    const QByteArray written = data + QByteArray(512 - 200, '\xFF');
    for (const auto fault : {OrvoEmulatedFlashDevice::Fault::CheckCondition, OrvoEmulatedFlashDevice::Fault::Timeout,
                             OrvoEmulatedFlashDevice::Fault::Disconnect}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "fault " << int(fault) << " at command " << n);
            auto device = makeKosmir();
            auto service = serviceFor(device);
            device->failCommand(n, fault);
            const bool ok = service->writeFlashBlocks(data.constData(), kSectorRegion, data.size(), 512, 0);
            const QByteArray sectors = device->memory(kSectors);
            if (!device->faultPending() && !ok) {
                EXPECT_EQ(sectors.left((n - 1) * 512), written.left((n - 1) * 512));
                EXPECT_EQ(sectors.mid((n - 1) * 512, 4 * 512 - (n - 1) * 512),
                          QByteArray(4 * 512 - (n - 1) * 512, '\xFF'));
                EXPECT_EQ(device->commandLog().size(), n);
                continue;
            }
            EXPECT_TRUE(ok);
            EXPECT_TRUE(device->faultPending()) << "the write ended before the fault";
            EXPECT_EQ(sectors.left(4 * 512), written);
            EXPECT_EQ(n, 5);
            break;
        }
    }
}

TEST(OrvoSCSIDeviceService, ReadsTheSixteenCharacterDeviceId)
{
    struct Case
    {
        const char *name;
        QByteArray deviceId;
        bool fail;
        QString id;
        bool result;
    };
    const std::vector<Case> cases = {
        {"the emulator's id", "1105ABCDEF012345", false, QStringLiteral("1105ABCDEF012345"), true},
        {"an id starting with a zero byte is empty",
         QByteArray("\0"
                    "105ABCDEF012345",
                    16),
         false, QString(), false},
        {"an id ends at its first zero byte",
         QByteArray("1105\0"
                    "BCDEF012345",
                    16),
         false, QStringLiteral("1105"), true},
        {"a refused command gives the empty id", "1105ABCDEF012345", true, QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(identity("KOSMIR", c.deviceId));
        if (c.fail)
            device->failCommand(1);
        auto service = serviceFor(device);
        QString id = QStringLiteral("stale");
        EXPECT_EQ(service->readDeviceId(id), c.result);
        EXPECT_EQ(id, c.id);
        ASSERT_EQ(device->commandLog().size(), 1);
        EXPECT_EQ(device->commandLog()[0].cdb, QByteArray::fromHex("28000000000003000400"));
        EXPECT_EQ(device->commandLog()[0].dataInLength, 2048);
    }
}

TEST(OrvoSCSIDeviceService, AnswersThatAreNotGoodFail)
{
    struct Case
    {
        const char *name;
        ScsiTransport::Answer answer;
        bool result;
        const char *logged;
    };
    const QByteArray illegalRequest = QByteArray::fromHex("70 00 05 00 00 00 00 0A 00 00 00 00 24 00 00 00 00 00");
    const std::vector<Case> cases = {
        {"good with all data", {0, false, 0x00, {}, 64}, true, nullptr},
        {"check condition with sense",
         {0, false, 0x02, illegalRequest, 0},
         false,
         "check condition: sense key 0x05 asc 0x24 ascq 0x00"},
        {"busy", {0, false, 0x08, {}, 0}, false, "status 0x08 without sense"},
        {"fewer bytes than asked", {0, false, 0x00, {}, 63}, false, "short transfer: 63 of 64 bytes"},
        {"system error", {5, false, 0x00, {}, 0}, false, "system error 5"},
        {"time-out", {0, true, 0x00, {}, 0}, false, "timed out"},
    };
    const auto cdb = QByteArray::fromHex("28000000000001000100");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoLinuxSCSIService service(std::make_unique<ScriptedTransport>(c.answer), kavel40Row());
        QByteArray buffer(64, '\x11');
        OrvoMessageCapture capture;
        EXPECT_EQ(service.readClient(reinterpret_cast<const quint8 *>(cdb.constData()), int(cdb.size()), buffer.data(),
                                     buffer.size()),
                  c.result);
        EXPECT_EQ(buffer.mid(1), QByteArray(63, '\0')) << "the buffer is zeroed before the command";
        if (c.logged) {
            EXPECT_TRUE(capture.contains(QtWarningMsg, QString::fromLatin1(c.logged)));
        }
    }
}

TEST(OrvoSCSIDeviceService, RefusesMalformedCallsWithoutSendingAnything)
{
    auto device = makeKosmir();
    auto service = serviceFor(device);
    const auto cdb = QByteArray::fromHex("2A000000000001000100");
    const auto *c = reinterpret_cast<const quint8 *>(cdb.constData());
    QByteArray data(512, '\x33');

    EXPECT_FALSE(service->writeClient(c, 0, data.constData(), data.size()));
    EXPECT_FALSE(service->writeClient(nullptr, 10, data.constData(), data.size()));
    EXPECT_FALSE(service->writeClient(c, 17, data.constData(), data.size()));
    EXPECT_FALSE(service->writeClient(c, 10, nullptr, 512));
    EXPECT_FALSE(service->writeClient(c, 10, data.constData(), 0));
    EXPECT_FALSE(service->readClient(c, 10, nullptr, 512));
    EXPECT_FALSE(service->readClient(c, 10, data.data(), 0));
    EXPECT_TRUE(device->commandLog().isEmpty());
    EXPECT_EQ(data, QByteArray(512, '\x33'));
}

TEST(OrvoSCSIDeviceService, WithoutATransportEveryCommandFails)
{
    OrvoLinuxSCSIService service(nullptr, kavel40Row());
    const auto cdb = QByteArray::fromHex("28000000000001000100");
    QByteArray buffer(512, '\x33');
    OrvoMessageCapture capture;

    EXPECT_FALSE(service.openClient());
    EXPECT_FALSE(service.readClient(reinterpret_cast<const quint8 *>(cdb.constData()), 10, buffer.data(), 512));
    EXPECT_EQ(buffer, QByteArray(512, '\x33')) << "nothing touches the buffer";
    EXPECT_FALSE(service.writeFlashBlocks(buffer.constData(), kSectorRegion, 512, 512, 0));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("invalid handle")));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("open client failed")));
    QString id;
    EXPECT_FALSE(service.readDeviceId(id));
    EXPECT_EQ(service.serviceType(), OrvoDeviceService::ScsiPassThroughService);
    EXPECT_EQ(service.deviceInfo()->modelName, QStringLiteral("Kavel40"));
}
