#include "FixtureBytes.h"
#include "Kavel35Emulator.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoVirtualDeviceWaits.h"

#include <QFile>

#include <functional>

#include <gtest/gtest.h>

using namespace Kavel35;

namespace {

class OrvoKavel30TransferTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    QString fileOf(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("send.bin"));
        EXPECT_TRUE(OrvoTest::writeFile(path, bytes));
        return path;
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_dir;
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

QByteArray counting(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + i / 251);
    return bytes;
}

} // namespace

TEST_F(OrvoKavel30TransferTest, ReadFlashSendsOneCommandPerBlockAndAppendsWholeBlocks)
{
    const QByteArray image = counting(PsfImage14Builder::kFlashSize);
    auto device = makeDevice(image);
    device->loadMemory(kLanguage, counting(kLanguageSize).mid(3));
    auto client = makeClient(device);

    QByteArray out("kept");
    ASSERT_TRUE(client->readFlash(out, 16, 4096, 4096, 248));
    EXPECT_EQ(cdbs(*device), QStringList({"28 00 00 00 00 f8 10 00 08 00"}));
    EXPECT_EQ(out, QByteArray("kept") + image.mid(0xF8000, 4096));

    device->clearCommandLog();
    QByteArray language;
    ASSERT_TRUE(client->readFlash(language, 13, 0x79000, 2048, 0));
    const auto reads = commands(*device, kRead, 13);
    ASSERT_EQ(reads.size(), 242);
    for (int i = 0; i < reads.size(); ++i)
        ASSERT_EQ(blockOf(reads[i]), i);
    EXPECT_EQ(language, device->memory(kLanguage));

    device->clearCommandLog();
    QByteArray partial;
    ASSERT_TRUE(client->readFlash(partial, 16, 5000, 4096, 0));
    EXPECT_EQ(partial, image.left(8192)) << "a last partial block is read whole";

    device->clearCommandLog();
    QByteArray failed;
    device->failCommand(2);
    EXPECT_FALSE(client->readFlash(failed, 16, 3 * 4096, 4096, 0));
    EXPECT_EQ(device->commandLog().size(), 2) << "the loop stops at the failed command";
    EXPECT_EQ(failed, image.left(4096));
}

TEST_F(OrvoKavel30TransferTest, WriteFlashSendsWholeChunksAndZeroPadsTheLast)
{
    auto device = makeDevice(QByteArray());
    auto client = makeClient(device);

    struct Case
    {
        const char *name;
        qsizetype size;
        QVector<int> blocks;
    };
    const std::vector<Case> cases = {
        {"a 5000-byte file", 5000, {0, 1, 2}},
        {"a 512-byte file", 512, {0}},
        {"a file of whole chunks", 4096, {0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        device->clearCommandLog();
        device->loadMemory(kLanguage, QByteArray(kLanguageSize, '\x55'));
        const QByteArray bytes = counting(c.size);
        ASSERT_TRUE(client->writeFlash(fileOf(bytes), 12, 2048));
        const auto writes = commands(*device, kWrite, 12);
        ASSERT_EQ(writes.size(), c.blocks.size());
        QByteArray sent;
        for (int i = 0; i < writes.size(); ++i) {
            EXPECT_EQ(blockOf(writes[i]), c.blocks[i]);
            EXPECT_EQ(quint8(writes[i].cdb[8]), 4);
            EXPECT_EQ(writes[i].dataOut.size(), 2048);
            sent += writes[i].dataOut;
        }
        const qsizetype padding = sent.size() - c.size;
        EXPECT_EQ(sent, bytes + QByteArray(padding, '\0'));
    }

    // Block numbers past 255 keep both bytes.
    device->clearCommandLog();
    ASSERT_TRUE(client->writeFlash(fileOf(counting(511 * 2048)), 10, 2048));
    const auto firmware = commands(*device, kWrite, 10);
    ASSERT_EQ(firmware.size(), 511);
    EXPECT_EQ(firmware[300].cdb.mid(4, 2), QByteArray::fromHex("01 2C"));
    EXPECT_EQ(firmware[510].cdb.mid(4, 2), QByteArray::fromHex("01 FE"));
    EXPECT_EQ(device->memory(kFirmware).left(511 * 2048), counting(511 * 2048));
}

// Block numbers have 16 bits: a transfer that would need block 65536 would wrap into block 0,
// so nothing of it goes out. So does nothing of a file that cannot be read.
TEST_F(OrvoKavel30TransferTest, TransfersThatCannotGoOutWholeSendNothing)
{
    auto device = makeDevice(QByteArray());
    auto client = makeClient(device);
    const QString huge = m_dir.filePath(QStringLiteral("huge.bin"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(65537LL * 512));
    }
    const QString exact = m_dir.filePath(QStringLiteral("exact.bin"));
    {
        QFile file(exact);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(65536LL * 512 + 1));
    }
    QByteArray out;
    struct Case
    {
        const char *name;
        std::function<bool()> transfer;
    };
    const std::vector<Case> cases = {
        {"a file of 65537 blocks", [&] { return client->writeFlash(huge, 1, 512); }},
        {"a file whose rest needs block 65536", [&] { return client->writeFlash(exact, 1, 512); }},
        {"a read up to block 65536", [&] { return client->readFlash(out, 16, 2 * 4096, 4096, 65535); }},
        {"a missing file", [&] { return client->writeFlash(m_dir.filePath(QStringLiteral("none")), 12, 2048); }},
        {"an empty file", [&] { return client->writeFlash(fileOf(QByteArray()), 12, 2048); }},
        {"a chunk of no whole sector", [&] { return client->writeFlash(fileOf("abc"), 12, 1000); }},
        {"more bytes than the data holds", [&] { return client->writeImageFile(QByteArray(10, 'x'), 1, 512, 11); }},
        {"no block to read", [&] { return client->readFlash(out, 16, 0, 4096, 0); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        device->clearCommandLog();
        EXPECT_FALSE(c.transfer());
        EXPECT_TRUE(device->commandLog().isEmpty());
    }
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(OrvoKavel30TransferTest, ImageFilesZeroSectorsAndTheErase)
{
    auto device = makeDevice(QByteArray());
    auto client = makeClient(device);

    // A short image grows to the whole flash; erased flash reads 0xFF, so its padding does too.
    ASSERT_TRUE(client->writeImageFile(QByteArray(5000, 'A'), 15, 4096, 0));
    EXPECT_EQ(commands(*device, kWrite, 15).size(), 256);
    EXPECT_EQ(device->memory(kFlash), QByteArray(5000, 'A') + QByteArray(0x100000 - 5000, '\xFF'));

    device->clearCommandLog();
    device->loadMemory(kZeroA, QByteArray(512, '\x11'));
    ASSERT_TRUE(client->writeZeroSector(1));
    EXPECT_EQ(cdbs(*device), QStringList({"2a 00 00 00 00 00 01 00 01 00"}));
    EXPECT_EQ(device->memory(kZeroA), QByteArray(512, '\0'));

    device->clearCommandLog();
    const qint64 slept = m_waits.sleptMilliseconds();
    ASSERT_TRUE(client->eraseExtFlash());
    EXPECT_EQ(cdbs(*device), QStringList({"2a 00 00 00 00 00 0e 00 01 00"}));
    EXPECT_EQ(device->commandLog().first().dataOut, QByteArray(512, '\0'));
    EXPECT_EQ(device->memory(kFlash), QByteArray(0x100000, '\xFF'));
    EXPECT_EQ(m_waits.sleptMilliseconds() - slept, 5000);

    // The erase answers what the device said.
    device->failCommand(1);
    EXPECT_FALSE(client->eraseExtFlash());
    EXPECT_EQ(m_waits.sleptMilliseconds() - slept, 10000);
}
