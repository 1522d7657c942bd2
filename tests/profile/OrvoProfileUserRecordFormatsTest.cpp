#include "FixtureBytes.h"
#include "OrvoTestSupport.h"
#include "ProfileFixtures.h"
#include "ProfileTestSupport.h"

#include "profile/OrvoProfileData.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// The three formats that keep the user's profile as a packed record in the profile sector:
// type 1 at 587, type 2 at 327, type 3 at 331 with its settings blocks and version stamp.
namespace {

using namespace ProfileFixtures;
using FixtureBytes::putBytes;
using FixtureBytes::putU8;
using ProfileTest::fixedToday;
using ProfileTest::sameBytes;

constexpr int kType1 = OrvoProfileData::PsfObsolete;
constexpr int kType2 = OrvoProfileData::PsfObsoletePulmor30;
constexpr int kType3 = OrvoProfileData::Psf_1_0_0;

QByteArray serialized(int formatType, const QByteArray &sector, const OrvoProfileMap &map,
                      OrvoTodayFunction today = fixedToday(2025, 6, 15))
{
    OrvoProfileData profile(sector, formatType);
    profile.setTodayFunction(today);
    profile.setValues(map);
    EXPECT_TRUE(profile.serialize());
    return profile.rawData();
}

OrvoProfileMap parsed(int formatType, const QByteArray &sector, OrvoTodayFunction today = fixedToday(2025, 6, 15))
{
    OrvoProfileData profile(sector, formatType);
    profile.setTodayFunction(today);
    EXPECT_TRUE(profile.parse());
    return profile.values();
}

QByteArray withBytes(QByteArray sector, qsizetype offset, const QByteArray &bytes)
{
    putBytes(sector, offset, bytes);
    return sector;
}

struct PartialWriteCase
{
    const char *name;
    int formatType;
    OrvoProfileMap map;
    std::function<QByteArray()> expected;
};

} // namespace

TEST(OrvoProfileUserRecordFormats, PartialMapChangesOnlyTheNamedBytesOfAnErasedSector)
{
    const OrvoProfileMap userKeys = {
        {"User Sex", "1"}, {"User MHR", "190"}, {"User Height.Metric", "175"}, {"User Lang", "3"}, {"Sunset", "1200"}};
    const QByteArray userRecordBytes = userRecord({.sex = 1, .heightMetric = 175.0f, .mhr = 190});
    // The type 3 record is repacked as stored (erased bytes) with the reserved word cleared.
    const QByteArray erasedRecordBytes = withBytes(QByteArray(22, '\xFF'), 2, FixtureBytes::hex("00 00"));

    const std::vector<PartialWriteCase> cases = {
        {"type1_whole_record_at_587", kType1, userKeys,
         [&] { return withBytes(erasedSector(), 587, userRecordBytes); }},
        {"type2_whole_record_at_327", kType2, userKeys,
         [&] { return withBytes(erasedSector(), 327, userRecordBytes); }},
        {"type3_only_lang",
         kType3,
         {{"User Lang", "3"}},
         [&] {
             QByteArray s = withBytes(erasedSector(), 331, erasedRecordBytes);
             putBytes(s, 2, FixtureBytes::hex("01 00 01"));
             putU8(s, 475, 3);
             putU8(s, 1194, 1);
             return s;
         }},
        {"type3_unit_wraps_to_low_byte",
         kType3,
         {{"User Unit", "258"}},
         [&] {
             QByteArray s = withBytes(erasedSector(), 331, erasedRecordBytes);
             putBytes(s, 2, FixtureBytes::hex("01 00 01"));
             putU8(s, 486, 2);
             putU8(s, 1194, 1);
             return s;
         }},
    };
    for (const PartialWriteCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameBytes(serialized(c.formatType, erasedSector(), c.map), c.expected()));
    }
}

TEST(OrvoProfileUserRecordFormats, Type3KeepsStoredFieldsWhoseKeysAreAbsent)
{
    UserRecord stored{.sex = 1,
                      .age = 30,
                      .reserved = 0x1234,
                      .heightMetric = 180.0f,
                      .heightImperial = 70.9f,
                      .weightMetric = 75.0f,
                      .weightImperial = 165.3f,
                      .mhr = 185};
    QByteArray sector = withBytes(erasedSector(), 331, userRecord(stored));
    putU8(sector, 475, 2);
    putU8(sector, 486, 1);
    putU8(sector, 1194, 0);

    const QByteArray written = serialized(kType3, sector, {{"User Weight.Metric", "72.5"}, {"User Unit", "0"}});

    UserRecord expectedRecord = stored;
    expectedRecord.reserved = 0;
    expectedRecord.weightMetric = 72.5f;
    QByteArray expected = withBytes(sector, 331, userRecord(expectedRecord));
    putBytes(expected, 2, FixtureBytes::hex("01 00 01"));
    putU8(expected, 486, 0);
    putU8(expected, 1194, 1);
    EXPECT_TRUE(sameBytes(written, expected));

    const OrvoProfileMap read = parsed(kType3, written);
    EXPECT_EQ(read.value("User Weight.Metric"), "72.5");
    EXPECT_EQ(read.value("User Height.Imperial"), "70.9");
    EXPECT_EQ(read.value("User Birthday"), "1995/01/01");
    EXPECT_EQ(read.value("User Lang"), "2");
    EXPECT_EQ(read.value("User Unit"), "0");
    EXPECT_EQ(read.value("User First Use Page"), "1") << "every write marks the first-use page as done";
    EXPECT_EQ(read.value("User MLSS"), "0") << "the record has no field for it";
}

TEST(OrvoProfileUserRecordFormats, SexTextIsComparedWithoutRegardToCase)
{
    struct Case
    {
        const char *text;
        quint8 stored;
    };
    const std::vector<Case> cases = {
        {"1", 1}, {"Male", 1}, {"male", 1}, {"MALE", 1}, {"0", 0}, {"Female", 0}, {"female", 0}, {"", 0}, {"2", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const OrvoProfileMap map = {{"User Sex", c.text}};
        EXPECT_EQ(quint8(serialized(kType1, erasedSector(), map).at(587)), c.stored);
        EXPECT_EQ(quint8(serialized(kType3, erasedSector(), map).at(331)), c.stored);
    }
}

TEST(OrvoProfileUserRecordFormats, AgeIsCountedFromTheBirthdayOnTodaysDate)
{
    struct Case
    {
        const char *birthday;
        QDate today;
        quint8 age;
        const char *readBack;
    };
    const std::vector<Case> cases = {
        {"1985/12/31", QDate(2025, 12, 30), 39, "1986/01/01"},
        {"1985/12/31", QDate(2025, 12, 31), 40, "1985/01/01"},
        {"1985/01/01", QDate(2025, 1, 1), 40, "1985/01/01"},
        // A 29 February birthday comes on 1 March in a year without that day.
        {"2000/02/29", QDate(2025, 2, 28), 24, "2001/01/01"},
        {"2000/02/29", QDate(2025, 3, 1), 25, "2000/01/01"},
        {"2000/02/29", QDate(2024, 2, 28), 23, "2001/01/01"},
        {"2000/02/29", QDate(2024, 2, 29), 24, "2000/01/01"},
        // Texts that are no birthday, and birthdays to come, store age 0.
        {"31/12/1985", QDate(2025, 6, 15), 0, "2025/01/01"},
        {"", QDate(2025, 6, 15), 0, "2025/01/01"},
        {"2030/01/01", QDate(2025, 6, 15), 0, "2025/01/01"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.birthday) + " on " + c.today.toString(Qt::ISODate).toStdString());
        const OrvoTodayFunction today = [&] { return c.today; };
        const QByteArray written = serialized(kType2, erasedSector(), {{"User Birthday", c.birthday}}, today);
        EXPECT_EQ(quint8(written.at(327 + 1)), c.age);
        EXPECT_EQ(parsed(kType2, written, today).value("User Birthday"), c.readBack);
    }
}

TEST(OrvoProfileUserRecordFormats, NumberTextsBecomeRecordFields)
{
    struct Case
    {
        const char *name;
        OrvoProfileMap map;
        UserRecord expected;
    };
    const std::vector<Case> cases = {
        {"mhr_keeps_low_16_bits", {{"User MHR", "65540"}}, {.mhr = 4}},
        {"mhr_not_a_number", {{"User MHR", "fast"}}, {}},
        {"floats",
         {{"User Height.Imperial", "68.9"}, {"User Weight.Imperial", "1e3"}},
         {.heightImperial = 68.9f, .weightImperial = 1000.0f}},
        {"float_not_a_number", {{"User Weight.Metric", "heavy"}}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameBytes(serialized(kType1, erasedSector(), c.map),
                              withBytes(erasedSector(), 587, userRecord(c.expected))));
    }
}

TEST(OrvoProfileUserRecordFormats, EachTypeReadsItsOwnRecord)
{
    QByteArray sector = erasedSector();
    putBytes(sector, 587,
             userRecord({.sex = 1,
                         .age = 40,
                         .reserved = 0xBEEF,
                         .heightMetric = 175.0f,
                         .heightImperial = 68.9f,
                         .weightMetric = 70.5f,
                         .weightImperial = 12345678.0f,
                         .mhr = 190}));
    putBytes(sector, 327, userRecord({.sex = 0, .age = 25, .weightMetric = 55.0f, .mhr = 201}));

    const OrvoProfileMap type1 = parsed(kType1, sector);
    const OrvoProfileMap expected1 = {{"User Sex", "1"},
                                      {"User Birthday", "1985/01/01"},
                                      {"User Height.Metric", "175"},
                                      {"User Height.Imperial", "68.9"},
                                      {"User Weight.Metric", "70.5"},
                                      {"User Weight.Imperial", "1.23457e+07"},
                                      {"User MHR", "190"}};
    EXPECT_EQ(type1, expected1);

    const OrvoProfileMap type2 = parsed(kType2, sector);
    EXPECT_EQ(type2.value("User Sex"), "0");
    EXPECT_EQ(type2.value("User Birthday"), "2000/01/01");
    EXPECT_EQ(type2.value("User Weight.Metric"), "55");
    EXPECT_EQ(type2.value("User MHR"), "201");
    EXPECT_EQ(type2.size(), 7);

    QByteArray sector3 = withBytes(erasedSector(), 331, userRecord({.sex = 1, .age = 33, .mhr = 177}));
    putU8(sector3, 475, 4);
    putU8(sector3, 486, 1);
    putU8(sector3, 1194, 0);
    const OrvoProfileMap type3 = parsed(kType3, sector3);
    EXPECT_EQ(type3.value("User MHR"), "177");
    EXPECT_EQ(type3.value("User Birthday"), "1992/01/01");
    EXPECT_EQ(type3.value("User Lang"), "4");
    EXPECT_EQ(type3.value("User Unit"), "1");
    EXPECT_EQ(type3.value("User First Use Page"), "0");
    EXPECT_EQ(type3.size(), 11);
}

TEST(OrvoProfileUserRecordFormats, SectorTooShortForTheFormatIsRefusedUntouched)
{
    struct Case
    {
        int formatType;
        qsizetype needed;
    };
    const std::vector<Case> cases = {{kType1, 609}, {kType2, 349}, {kType3, 1202}};
    const OrvoProfileMap map = {{"User MHR", "190"}, {"User Lang", "3"}, {"Kept", "yes"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.formatType);
        const QByteArray shortSector = erasedSector(c.needed - 1);
        OrvoProfileData profile(shortSector, c.formatType);
        profile.setValues(map);
        EXPECT_FALSE(profile.parse());
        EXPECT_EQ(profile.values(), map);
        EXPECT_FALSE(profile.serialize());
        EXPECT_EQ(profile.rawData(), shortSector);

        OrvoProfileData whole(erasedSector(c.needed), c.formatType);
        whole.setValues(map);
        EXPECT_TRUE(whole.serialize());
        EXPECT_TRUE(whole.parse());
    }
}
