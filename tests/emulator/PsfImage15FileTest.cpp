#include "OrvoTestSupport.h"
#include "PsfImage15Builder.h"

#include "emulator/OrvoEmulatedFlashDevice.h"

#include <gtest/gtest.h>

namespace {

using Access = OrvoEmulatedArea::Access;

// An image file of the builder is the raw flash: the emulated device serves it block by block
// through the vendor read of the flash-image devices (area 0x10, 4096 bytes a command).
TEST(PsfImage15FileTest, EmulatedFlashDeviceServesTheImageFile)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route route;
    route.names = {{"eng", "Ride"}};
    builder.addRoute(route);
    const QByteArray image = builder.build().bytes;
    OrvoTest::OutputDir output;
    const QString path = output.filePath(QStringLiteral("KOSMIRExData.bin"));
    ASSERT_TRUE(builder.writeImageFile(path));
    const QByteArray file = OrvoTest::readFile(path);
    ASSERT_EQ(file.size(), PsfImage15Builder::kImageSize);
    EXPECT_EQ(file, image);

    OrvoEmulatedFlashDevice device(
        OrvoEmulatedIdentity{"TARVEX", "KOSMIR", "0207", "1.00", QByteArray(), "1105ABCDEF012345"});
    device.addMemory(QStringLiteral("flash"), PsfImage15Builder::kImageSize, true);
    device.addArea({0x10, Access::Read, QStringLiteral("flash"), 4096, 0});
    ASSERT_TRUE(device.loadMemory(QStringLiteral("flash"), file));

    struct Block
    {
        const char *cdb;
        qsizetype offset;
    };
    const Block blocks[] = {
        {"28 00 00 00 00 00 10 00 08 00", 0},        // management header
        {"28 00 00 00 00 06 10 00 08 00", 0x6000},   // distribution header
        {"28 00 00 00 00 80 10 00 08 00", 0x80000},  // route section
        {"28 00 00 00 01 FF 10 00 08 00", 0x1FF000}, // last block
    };
    for (const Block &block : blocks) {
        SCOPED_TRACE(block.cdb);
        const QByteArray cdb = QByteArray::fromHex(block.cdb);
        QByteArray data(4096, '\0');
        ScsiTransport::Request request;
        request.cdb = std::span<const quint8>(reinterpret_cast<const quint8 *>(cdb.constData()), size_t(cdb.size()));
        request.direction = ScsiTransport::Direction::In;
        request.dataIn = std::span<quint8>(reinterpret_cast<quint8 *>(data.data()), size_t(data.size()));
        ASSERT_EQ(device.execute(request).status, 0);
        EXPECT_EQ(data, image.mid(block.offset, 4096));
    }
}

} // namespace
