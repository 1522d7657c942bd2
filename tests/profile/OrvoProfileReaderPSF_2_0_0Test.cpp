#include "FixtureBytes.h"
#include "OrvoTestSupport.h"
#include "ProfileFixtures.h"
#include "ProfileTestSupport.h"

#include "profile/OrvoProfileData.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace ProfileFixtures;
using FixtureBytes::hex;
using FixtureBytes::putBytes;
using FixtureBytes::putU16Le;
using FixtureBytes::putU32Le;
using ProfileTest::fixedToday;
using ProfileTest::sameBytes;

constexpr int kType4 = OrvoProfileData::Psf_2_0_0;
// The list offset that the device stores at 520; the list then starts at 512 + 256.
constexpr quint32 kListOffset = 256;
constexpr qsizetype kListStart = 512 + kListOffset;
const QByteArray kMagicEntry = hex("00 00 01 05 B7 62 F3 02");

QByteArray deviceSector(quint32 listOffset = kListOffset)
{
    QByteArray sector = erasedSector();
    putU32Le(sector, 520, listOffset);
    return sector;
}

// What the writer must leave: the device's sector with the format word, the count and the
// list laid over the list position.
QByteArray expectedSector(quint16 count, const QByteArray &list)
{
    QByteArray sector = deviceSector();
    putU32Le(sector, 516, 2);
    putU16Le(sector, 524, count);
    putBytes(sector, kListStart, list);
    return sector;
}

QByteArray sectorWithEntries(const QByteArray &entries, quint16 count)
{
    QByteArray sector = deviceSector();
    putU16Le(sector, 524, count);
    putBytes(sector, kListStart, entries);
    return sector;
}

QByteArray serialized(const QByteArray &sector, const OrvoProfileMap &map)
{
    OrvoProfileData profile(sector, kType4);
    profile.setTodayFunction(fixedToday(2025, 6, 15));
    profile.setValues(map);
    EXPECT_TRUE(profile.serialize());
    return profile.rawData();
}

OrvoProfileMap parsed(const QByteArray &sector)
{
    OrvoProfileData profile(sector, kType4);
    profile.setTodayFunction(fixedToday(2025, 6, 15));
    EXPECT_TRUE(profile.parse());
    return profile.values();
}

} // namespace

TEST(OrvoProfileReaderPSF_2_0_0, KnownKeysAreCountedAndTheMagicEntryFollows)
{
    const QByteArray written = serialized(deviceSector(), {{"User MHR", "190"}, {"User MLSS", "5"}});
    EXPECT_TRUE(sameBytes(written, expectedSector(1, hex("00 00 0B 03 BE 00 00 00") + kMagicEntry)));
    EXPECT_EQ(parsed(written), (OrvoProfileMap{{"User MHR", "190"}}));
}

TEST(OrvoProfileReaderPSF_2_0_0, EmptyMapWritesOnlyTheUncountedMagicEntry)
{
    QByteArray sector = deviceSector();
    putBytes(sector, kListStart, QByteArray(64, '\x5A')); // an older, longer list
    QByteArray expected = sector;
    putU32Le(expected, 516, 2);
    putU16Le(expected, 524, 0);
    putBytes(expected, kListStart, kMagicEntry);
    EXPECT_TRUE(sameBytes(serialized(sector, {}), expected)) << "bytes after the new list stay";
}

TEST(OrvoProfileReaderPSF_2_0_0, EachKeyIsWrittenWithItsIdTypeAndWidth)
{
    struct Case
    {
        const char *key;
        const char *text;
        const char *entry;
    };
    const std::vector<Case> cases = {
        {"User Birthday", "1985/06/16", "00 00 04 01 27 00 00 00"},
        {"User Birthday", "1985/06/15", "00 00 04 01 28 00 00 00"},
        {"User Sex", "Female", "00 00 05 01 00 00 00 00"},
        {"User Sex", "female", "00 00 05 01 00 00 00 00"},
        {"User Sex", "0", "00 00 05 01 00 00 00 00"},
        {"User Sex", "1", "00 00 05 01 01 00 00 00"},
        {"User Sex", "Male", "00 00 05 01 01 00 00 00"},
        {"User Unit", "2", "00 00 06 01 02 00 00 00"},
        {"User Height.Metric", "175", "00 00 07 07 00 00 2F 43"},
        {"User Weight.Imperial", "70.5", "00 00 0A 07 00 00 8D 42"},
        {"User MHR", "70000", "00 00 0B 03 00 00 00 00"},
        {"User MHR.zone1.low", "100", "00 00 0C 03 64 00 00 00"},
        {"User MHR.zone7.high", "200", "00 00 19 03 C8 00 00 00"},
        {"User LTHR", "170", "00 00 1A 03 AA 00 00 00"},
        {"User LTHR.zone1.low", "1", "00 00 1B 03 01 00 00 00"},
        {"User LTHR.zone7.high", "65535", "00 00 28 03 FF FF 00 00"},
        {"User MAP.zone3.low", "250", "00 00 2C 03 FA 00 00 00"},
        {"User FTP", "260", "00 00 38 03 04 01 00 00"},
        {"User FTP.zone7.high", "-1", "00 00 46 03 00 00 00 00"},
        {"First Use Page", "257", "00 00 47 01 01 00 00 00"},
        {"Vehicle1 Tmileage.Metric", "1.5", "00 00 48 07 00 00 C0 3F"},
        {"Vehicle2 Weight.Imperial", "2", "00 00 4F 07 00 00 00 40"},
        {"Vehicle2 Ride.Time", "4294967295", "00 00 51 05 FF FF FF FF"},
        {"User Lang", "3", "00 00 52 01 03 00 00 00"},
        {"Time zone", "-3.5", "00 00 53 07 00 00 60 C0"},
        {"Day night saving", "-1", "00 00 54 02 FF FF 00 00"},
        {"Time format", "1", "00 00 56 01 01 00 00 00"},
        {"Sunrise", "21600", "00 00 58 05 60 54 00 00"},
        {"Language ISO3", "eng", "00 00 59 0B 65 6E 67 00"},
        {"Language ISO3", "abcd", "00 00 59 0B 61 62 63 64"},
        {"Language ISO3", "", "00 00 59 0B 00 00 00 00"},
        {"Language ISO3", "english", "00 00 59 0B 00 00 00 00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.text);
        EXPECT_TRUE(
            sameBytes(serialized(deviceSector(), {{c.key, c.text}}), expectedSector(1, hex(c.entry) + kMagicEntry)));
    }
}

TEST(OrvoProfileReaderPSF_2_0_0, MapsMagicNumberIsCountedInKeyOrderAndTheFixedOneStillFollows)
{
    const QByteArray written = serialized(deviceSector(), {{"Magic Number", "7"}, {"User Sex", "1"}});
    EXPECT_TRUE(sameBytes(written, expectedSector(2, hex("00 00 01 05 07 00 00 00"
                                                         "00 00 05 01 01 00 00 00") +
                                                         kMagicEntry)));
    EXPECT_EQ(parsed(written), (OrvoProfileMap{{"1", "7"}, {"User Sex", "1"}})) << "the reader has no name for id 1";
}

TEST(OrvoProfileReaderPSF_2_0_0, EntriesReadAsTheirTypeSays)
{
    struct Case
    {
        const char *name;
        const char *entry;
        const char *key;
        const char *value;
    };
    const std::vector<Case> cases = {
        {"birthday_from_age", "00 00 04 01 28 00 00 00", "User Birthday", "1985/01/01"},
        {"u8_takes_low_byte", "00 00 52 01 03 FF FF FF", "User Lang", "3"},
        {"i8", "00 00 54 02 FF FF 00 00", "Day night saving", "-1"},
        {"u16", "00 00 0B 03 BE 00 FF FF", "User MHR", "190"},
        {"i16", "00 00 1A 04 FE FF 00 00", "User LTHR", "-2"},
        {"u32", "00 00 57 05 60 54 00 00", "Sunset", "21600"},
        {"i32", "00 00 50 06 FF FF FF FF", "Vehicle1 Ride.Time", "-1"},
        {"float", "00 00 07 07 00 00 2F 43", "User Height.Metric", "175"},
        {"float_exponent", "00 00 48 07 4E 61 3C 4B", "Vehicle1 Tmileage.Metric", "1.23457e+07"},
        {"i8_alternative", "00 00 47 09 80 00 00 00", "First Use Page", "-128"},
        {"text", "00 00 59 0B 65 6E 67 00", "Language ISO3", "eng"},
        {"text_without_zero", "00 00 59 0B 61 62 63 64", "Language ISO3", "abcd"},
        {"double_as_raw_bytes", "00 00 59 08 41 42 00 43", "Language ISO3", "AB"},
        {"unnamed_id_as_number", "00 00 5A 05 2A 00 00 00", "90", "42"},
        {"id_uses_all_three_bytes", "01 00 00 01 07 00 00 00", "65536", "7"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsed(sectorWithEntries(hex(c.entry), 1)), (OrvoProfileMap{{c.key, c.value}}));
    }
}

TEST(OrvoProfileReaderPSF_2_0_0, ReaderFollowsTheCountAndKeepsTheLaterOfRepeatedKeys)
{
    const QByteArray entries = listEntry(11, 3, hex("64 00 00 00")) + listEntry(11, 3, hex("BE 00 00 00")) +
                               listEntry(82, 1, hex("05 00 00 00"));
    OrvoProfileData profile(sectorWithEntries(entries, 2), kType4);
    profile.setValues({{"Other", "kept"}, {"User MHR", "1"}});
    EXPECT_TRUE(profile.parse());
    EXPECT_EQ(profile.values(), (OrvoProfileMap{{"Other", "kept"}, {"User MHR", "190"}}));
}

TEST(OrvoProfileReaderPSF_2_0_0, WrittenProfileReadsBackTheSame)
{
    const OrvoProfileMap map = {
        {"User Birthday", "1985/01/01"},
        {"User Sex", "0"},
        {"User Height.Metric", "162.5"},
        {"User MHR.zone4.low", "150"},
        {"Day night saving", "1"},
        {"Language ISO3", "deu"},
        {"Time zone", "9"},
        {"Vehicle1 Ride.Time", "3600"},
        {"User FTP", "240"},
    };
    EXPECT_EQ(parsed(serialized(deviceSector(), map)), map);
}

TEST(OrvoProfileReaderPSF_2_0_0, ListOutsideTheProfileAreaOrOverItsHeaderIsRefusedUntouched)
{
    struct Case
    {
        const char *name;
        QByteArray sector;
        bool readable;
        bool writable;
    };
    auto sector = [](quint32 listOffset, quint16 count, qsizetype size = kSectorSize) {
        QByteArray s = deviceSector(listOffset);
        putU16Le(s, 524, count);
        s.resize(size);
        return s;
    };
    // The area ends at 3584 and the header at 526: 3058 bytes of list room, 382 entries.
    const std::vector<Case> cases = {
        {"list_fills_area", sector(14, 382), true, true},
        {"count_one_past_area", sector(14, 383), false, true},
        {"list_right_after_header", sector(14, 0), true, true},
        {"list_over_the_count", sector(13, 0), false, false},
        {"list_over_the_whole_header", sector(0, 0), false, false},
        {"zero_filled_sector", QByteArray(kSectorSize, '\0'), false, false},
        {"last_entry_ends_at_area", sector(3072 - 8, 1), true, false},
        {"room_for_entry_and_magic", sector(3072 - 16, 2), true, true},
        {"last_entry_one_byte_out", sector(3072 - 7, 1), false, false},
        {"write_needs_room_for_magic", sector(3072 - 8, 0), true, false},
        {"offset_past_area", sector(4000, 0), false, false},
        {"offset_wraps_32_bits", sector(0xFFFFFFF8, 1), false, false},
        {"sector_shorter_than_area", sector(0, 1, 3583), false, false},
    };
    const OrvoProfileMap before = {{"Kept", "yes"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoProfileData reader(c.sector, kType4);
        reader.setValues(before);
        EXPECT_EQ(reader.parse(), c.readable);
        if (!c.readable) {
            EXPECT_EQ(reader.values(), before);
        }

        OrvoProfileData writer(c.sector, kType4);
        writer.setValues({{"User MHR", "190"}});
        EXPECT_EQ(writer.serialize(), c.writable);
        if (!c.writable) {
            EXPECT_EQ(writer.rawData(), c.sector);
        }
    }
}
