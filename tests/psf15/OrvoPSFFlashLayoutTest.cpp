#include "psf15/OrvoPSFFlashLayout.h"

#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"

#include <gtest/gtest.h>

namespace {

using Area = OrvoPSFFlashLayout::Area;

struct VariantCase
{
    const char *name;
    QByteArray code;
    quint32 routeSection;
    quint32 lapStart;
    quint32 trackSection;
    quint32 trackCapacity;
    quint32 userInfoSection;
};

const VariantCase kVariants[] = {
    {"exactly1510", "1510", 0x80000, 0x89000, 0xB1000, 0x9DFE8, 0x1EA000},
    {"other1511", "1511", 0x7AC86, 0x83000, 0xAB000, 0x75FE8, 0x167000},
    {"nearMiss", "151O", 0x7AC86, 0x83000, 0xAB000, 0x75FE8, 0x167000},
    {"empty", "", 0x7AC86, 0x83000, 0xAB000, 0x75FE8, 0x167000},
};

TEST(OrvoPSFFlashLayoutTest, VariantSelectsTheAreaTable)
{
    for (const VariantCase &c : kVariants) {
        SCOPED_TRACE(c.name);
        OrvoPSFMemoryStore store;
        OrvoPSFFlashLayout &layout = store.layout();
        layout.setVariant(c.code);
        const auto &t = layout.table();
        EXPECT_EQ(t[10], c.routeSection);
        EXPECT_EQ(t[14], c.lapStart);
        EXPECT_EQ(t[24], c.trackSection);
        EXPECT_EQ(t[29], c.trackCapacity);
        EXPECT_EQ(layout.trackAreaCapacity(), c.trackCapacity);
        EXPECT_EQ(t[38], c.userInfoSection);

        // Every area's capacity is its end less its first record, and the sections lie in
        // order without overlapping.
        EXPECT_EQ(t[3] + t[5], t[4]);
        EXPECT_EQ(t[7], t[6] + 24);
        EXPECT_EQ(t[9], t[8] - t[7]);
        EXPECT_EQ(t[10], t[8]);
        EXPECT_EQ(t[11], t[10] + 24);
        EXPECT_EQ(t[13], t[12] - t[11]);
        EXPECT_EQ(t[16], t[15] - t[14]);
        EXPECT_EQ(t[17], t[15]);
        EXPECT_EQ(t[19], t[18] - t[17]);
        EXPECT_EQ(t[21], t[20] + 16);
        EXPECT_EQ(t[23], t[22] - t[21]);
        EXPECT_EQ(t[24], t[22]);
        EXPECT_EQ(t[25], t[24] + 24);
        EXPECT_EQ(t[29], t[27] - t[25]);
        EXPECT_EQ(t[34], t[27]);
        EXPECT_EQ(t[35], t[34] + 24);
        EXPECT_EQ(t[37], t[36] - t[35]);
        EXPECT_EQ(t[38], t[36]);
        EXPECT_EQ(t[39], t[38] + 24);
        EXPECT_EQ(t[41], t[40] - t[39]);
        EXPECT_LE(t[12], t[14]);
        EXPECT_LE(t[40], t[44] - t[45]);
        EXPECT_EQ(t[0], 0x6000u);
        EXPECT_EQ(t[1], 0x7000u);
        EXPECT_EQ(layout.imageSize(), 0x200000u);
        EXPECT_EQ(t[44], 2068480u);
        EXPECT_EQ(t[45], 4096u);
    }
}

struct RecordCase
{
    const char *name;
    int used;
    qsizetype current;
};

const RecordCase kRecords[] = {
    {"erasedHeaderTakesTheLastSlot", 0, 0x5F00},
    {"oneRecord", 1, 0},
    {"recordBeforeTheFirstEmpty", 2, 256},
    {"threeRecords", 3, 512},
    {"allSlotsInUse", 96, 0x5F00},
};

TEST(OrvoPSFFlashLayoutTest, CurrentRecordIsTheOneBeforeTheFirstEmptySlot)
{
    for (const RecordCase &c : kRecords) {
        SCOPED_TRACE(c.name);
        QByteArray image(PsfImage15Builder::kImageSize, '\xFF');
        for (int slot = 0; slot < c.used; ++slot)
            Psf15::putU32(image, slot * 256, 0x1000 + slot);
        OrvoPSFMemoryStore store(image);
        const std::span<uchar> record = store.layout().lastUsedRecord();
        ASSERT_EQ(record.size(), 256u);
        std::span<uchar> start;
        ASSERT_TRUE(store.loadHeader(start));
        EXPECT_EQ(record.data() - start.data(), c.current);
    }
}

TEST(OrvoPSFFlashLayoutTest, ErasedCountersReadAbsentAndRefuseRoom)
{
    OrvoPSFMemoryStore store;
    store.layout().setVariant("1510");
    EXPECT_EQ(store.layout().areaFree(Area::Route), 0xFFFFFFFFu);
    EXPECT_EQ(store.layout().trackAreaFree(), 0xFFFFFFFFu);
    EXPECT_FALSE(store.layout().hasRoom(Area::Route, 1)) << "an erased free count is no room";
}

TEST(OrvoPSFFlashLayoutTest, RebuildCompactsTheHeaderToTheCurrentRecord)
{
    PsfImage15Builder builder;
    builder.setManagementRecords(3);
    builder.setHeaderCount(0x0102);
    const QByteArray before = builder.build().bytes;
    Psf15::Session session(before);
    ASSERT_TRUE(session.layout().rebuildHeader());
    const QByteArray after = session.image();

    EXPECT_EQ(after.left(2), QByteArray::fromHex("55AA"));
    EXPECT_EQ(after.mid(2, 64), QByteArray(64, '\xFF'));
    // Bytes 66 to 215 of the current record (slot 2) are carried over unchanged.
    EXPECT_EQ(after.mid(66, 150), before.mid(512 + 66, 150));
    // The count at 66 plus the free counts of the seven areas before the user-info logs, all
    // empty: their capacities.
    const quint32 total = 0x0102 + 0x792C0 + 0x82D8 + 0x1C000 + 0x3DE0 + 0x7FF0 + 0x9DFE8 + 0x9AFE8;
    ASSERT_EQ(total, 0x1E243Au);
    EXPECT_EQ(after.mid(216, 4), QByteArray::fromHex("3A241E00"));
    // Byte sum of 66..219: the count 02 01 (3), bytes 68..75 = 0x68..0x6F (860), the
    // counters (capacities and first records above, start = end: 4943), bytes 172..215 =
    // 172..215 (8514) and the total 3A 24 1E 00 (124): 14444 = 0x386C, shifted left by 16.
    EXPECT_EQ(after.mid(220, 4), QByteArray::fromHex("00006C38"));
    EXPECT_EQ(after.mid(224, 32), QByteArray(32, '\xFF')) << "bytes 224..255 are not carried over";
    EXPECT_EQ(after.mid(256, 2), QByteArray::fromHex("FFFF"));
    EXPECT_EQ(after.mid(512, 256), QByteArray(256, '\xFF')) << "the older records are gone";
    EXPECT_EQ(after.mid(4096, 4), QByteArray::fromHex("11223344"));
    EXPECT_EQ(after.mid(8192), before.mid(8192)) << "nothing past the first two blocks changes";

    // The rebuilt header reads back with record 0 current.
    OrvoPSFMemoryStore again(after);
    again.layout().setVariant("1510");
    std::span<uchar> start;
    ASSERT_TRUE(again.loadHeader(start));
    EXPECT_EQ(again.layout().lastUsedRecord().data(), start.data());
    EXPECT_EQ(again.layout().areaFree(Area::Track), 0x9DFE8u);
}

TEST(OrvoPSFFlashLayoutTest, ShortImageHasNoHeaderToRebuild)
{
    const QByteArray image(0x5000, '\x11');
    OrvoPSFMemoryStore store(image);
    store.layout().setVariant("1510");
    EXPECT_TRUE(store.layout().lastUsedRecord().empty());
    EXPECT_FALSE(store.layout().rebuildHeader());
    EXPECT_FALSE(store.layout().eraseArea(Area::Route));
    EXPECT_EQ(store.image(), image);
}

TEST(OrvoPSFFlashLayoutTest, ErasingAnAreaResetsItsCounters)
{
    Psf15::Session session(Psf15::standardBuilder().build().bytes);
    OrvoPSFFlashLayout &layout = session.layout();
    ASSERT_LT(layout.areaFree(Area::Lap), 0x1C000u);

    ASSERT_TRUE(layout.eraseArea(Area::Lap));
    EXPECT_EQ(layout.areaEnd(Area::Lap), 0x89000u);
    EXPECT_EQ(layout.areaFree(Area::Lap), 0x1C000u);
    ASSERT_TRUE(layout.eraseArea(Area::UserInfoLog));
    EXPECT_EQ(layout.areaEnd(Area::UserInfoLog), layout.areaStart(Area::UserInfoLog));
    EXPECT_EQ(layout.areaFree(Area::UserInfoLog), 0x4F74u);
    const QByteArray image = session.image();
    EXPECT_EQ(image.mid(0x89000, 0x1C000), QByteArray(0x1C000, '\xFF'));
    EXPECT_EQ(image.mid(0x1EA018, 0x4F74), QByteArray(0x4F74, '\xFF'));
    EXPECT_NE(image.mid(0x1EA000, 4), QByteArray(4, '\xFF')) << "the section header stays";
}

} // namespace
