#include "FixtureBytes.h"
#include "GalFolderBuilder.h"
#include "OrvoTestSupport.h"

#include "lumolib/LumoLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Name = PsfImage15Builder::Name;

constexpr LumoWorkoutType kPlain{0, 0, 0};
constexpr LumoWorkoutType kFive{0, 5, 0};
constexpr LumoWorkoutType kSix{1, 6, 1};

QByteArray homeText(const QString &root)
{
    return QFile::encodeName(root + QLatin1Char('/'));
}

std::vector<std::string> listedActivities()
{
    unsigned int count = 0;
    std::vector<std::string> names;
    if (GetActivityfileamount(&count) == 0)
        return names;
    for (unsigned int i = 1; i <= count; ++i) {
        std::array<char, LUMO_LISTED_NAME_SIZE> name{};
        if (GetActivityfileName(i, name.data()) != 0)
            names.emplace_back(name.data());
    }
    return names;
}

std::vector<std::string> listedWorkouts(LumoWorkoutType type)
{
    unsigned int count = 0;
    std::vector<std::string> names;
    if (GetWKTFileamount(&count, type) == 0)
        return names;
    for (unsigned int i = 1; i <= count; ++i) {
        std::array<char, LUMO_LISTED_NAME_SIZE> name{};
        if (GetWKTFileName(i, name.data(), type) != 0)
            names.emplace_back(name.data());
    }
    return names;
}

// A device folder of two activities and workouts in three type folders, served as the home.
class LumoLibTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("LUMOLIB_CALL_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("calls.log"))));
        m_root = m_dir.filePath(QStringLiteral("device"));
        const GalFolderBuilder device(m_root);
        ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240131120000.gal"),
                                        .name = "Ride",
                                        .start = 1706702400,
                                        .end = 1706706000,
                                        .distance = 30500}));
        ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("231224083000.gal"), .start = 1703406600}));
        ASSERT_TRUE(device.addWorkout({.fileName = QStringLiteral("240101000000.wkt"),
                                       .id = 1704067200,
                                       .names = {Name{"eng", "Tempo"}, Name{"deu", "Tempolauf"}}}));
        ASSERT_TRUE(
            device.addWorkout({.fileName = QStringLiteral("230101000000.wkt"), .names = {Name{"eng", "Easy"}}}));
        ASSERT_TRUE(device.addWorkout({.typeFolder = QStringLiteral("0_5_0"),
                                       .fileName = QStringLiteral("240202000000.wkt"),
                                       .names = {Name{"eng", "Hills"}}}));
        ASSERT_TRUE(device.addWorkout({.typeFolder = QStringLiteral("1_6_1"),
                                       .fileName = QStringLiteral("240303000000.wkt"),
                                       .names = {Name{"eng", "Sprints"}}}));
        ASSERT_NE(SetPathDirect("/"), 0);
        ASSERT_NE(SetHomePath(homeText(m_root).constData()), 0);
    }

    QString callLog() const
    {
        QFile log(m_dir.filePath(QStringLiteral("calls.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    QString workoutPath(const QString &typeFolder, const QString &name) const
    {
        return QStringLiteral("%1/Workout/%2/%3").arg(m_root, typeFolder, name);
    }

    OrvoTest::OutputDir m_dir;
    QString m_root;
};

TEST_F(LumoLibTest, ListsActivitiesAndEachTypeFoldersWorkoutsSortedByName)
{
    EXPECT_EQ(listedActivities(), (std::vector<std::string>{"231224083000.gal", "240131120000.gal"}));
    EXPECT_EQ(listedWorkouts(kPlain), (std::vector<std::string>{"230101000000.wkt", "240101000000.wkt"}));
    EXPECT_EQ(listedWorkouts(kFive), (std::vector<std::string>{"240202000000.wkt"}));
    EXPECT_EQ(listedWorkouts(kSix), (std::vector<std::string>{"240303000000.wkt"}));
    unsigned int count = 7;
    EXPECT_NE(GetWKTFileamount(&count, LumoWorkoutType{1, 0, 0}), 0);
    EXPECT_EQ(count, 0u);

    std::array<char, LUMO_LISTED_NAME_SIZE> name{};
    EXPECT_EQ(GetActivityfileName(0, name.data()), 0);
    EXPECT_EQ(GetActivityfileName(3, name.data()), 0);
}

TEST_F(LumoLibTest, NamesByIndexComeFromTheListingOfTheCount)
{
    unsigned int count = 0;
    ASSERT_NE(GetActivityfileamount(&count), 0);
    ASSERT_EQ(count, 2u);
    // A file that arrives after the count is not listed until the next count: the names of
    // one listing pass come from one reading of the folder.
    ASSERT_TRUE(GalFolderBuilder(m_root).addActivity({.fileName = QStringLiteral("200101000000.gal")}));
    std::array<char, LUMO_LISTED_NAME_SIZE> name{};
    ASSERT_NE(GetActivityfileName(1, name.data()), 0);
    EXPECT_STREQ(name.data(), "231224083000.gal");
    EXPECT_EQ(GetActivityfileName(3, name.data()), 0);

    EXPECT_EQ(listedActivities(),
              (std::vector<std::string>{"200101000000.gal", "231224083000.gal", "240131120000.gal"}));
    // A deletion lists again.
    ASSERT_NE(DeleteGALFile(LUMO_DELETE_ACTIVITY, "200101000000.gal"), 0);
    ASSERT_NE(GetActivityfileName(1, name.data()), 0);
    EXPECT_STREQ(name.data(), "231224083000.gal");
}

// Callers set the home before each call: setting the same home again between the count and
// the names keeps the count's listing, a home that is another folder does not.
TEST_F(LumoLibTest, TheSameHomeKeepsTheListingOfTheCount)
{
    OrvoTest::OutputDir other;
    ASSERT_TRUE(GalFolderBuilder(other.path()).addActivity({.fileName = QStringLiteral("100101000000.gal")}));
    struct Case
    {
        const char *name;
        QByteArray home;
        const char *first;
    };
    const Case cases[] = {
        {"the same home", homeText(m_root), "231224083000.gal"},
        {"the same home without its separator", QFile::encodeName(m_root), "231224083000.gal"},
        {"another device's home", homeText(other.path()), "100101000000.gal"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(SetHomePath(homeText(m_root).constData()), 0);
        unsigned int count = 0;
        ASSERT_NE(GetActivityfileamount(&count), 0);
        ASSERT_TRUE(GalFolderBuilder(m_root).addActivity({.fileName = QStringLiteral("200101000000.gal")}));
        ASSERT_NE(SetHomePath(c.home.constData()), 0);
        std::array<char, LUMO_LISTED_NAME_SIZE> name{};
        ASSERT_NE(GetActivityfileName(1, name.data()), 0);
        EXPECT_STREQ(name.data(), c.first);
        ASSERT_TRUE(QFile::remove(m_root + QStringLiteral("/Activity/200101000000.gal")));
    }
}

TEST_F(LumoLibTest, ReadsTheHeaderAndTheSummaryLapOfAnActivity)
{
    std::array<unsigned char, LUMO_ACTIVITY_HEADER_SIZE> header{};
    std::array<unsigned char, LUMO_SUMMARY_LAP_SIZE> lap{};
    ASSERT_NE(GetActivityContent("240131120000.gal", header.data(), int(header.size())), 0);
    ASSERT_NE(GetSummaryLapContent("240131120000.gal", lap.data(), int(lap.size())), 0);
    const QByteArray headerBytes(reinterpret_cast<const char *>(header.data()), header.size());
    const QByteArray lapBytes(reinterpret_cast<const char *>(lap.data()), lap.size());
    EXPECT_EQ(FixtureBytes::getU16Le(headerBytes, 62), 4);
    EXPECT_EQ(headerBytes.mid(72, 4), "Ride");
    EXPECT_EQ(FixtureBytes::getU32Le(lapBytes, 0), 1706702400u);
    EXPECT_EQ(FixtureBytes::getU32Le(lapBytes, 8), 30500u);
    EXPECT_EQ(GetActivityContent("240131120000.gal", header.data(), int(header.size()) - 1), 0);
}

TEST_F(LumoLibTest, AShortActivityReadsOnlyWhatItHolds)
{
    struct Case
    {
        const char *name;
        qsizetype size;
        bool header;
        bool lap;
    };
    const std::vector<Case> cases = {
        {"header only", 88, true, false},
        {"one byte short of the lap", 143, true, false},
        {"header and lap", 144, true, true},
        {"cut header", 87, false, false},
    };
    const GalFolderBuilder device(m_root);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("short.gal"), .cutTo = c.size}));
        std::array<unsigned char, LUMO_ACTIVITY_HEADER_SIZE> header{};
        std::array<unsigned char, LUMO_SUMMARY_LAP_SIZE> lap{};
        EXPECT_EQ(GetActivityContent("short.gal", header.data(), int(header.size())) != 0, c.header);
        EXPECT_EQ(GetSummaryLapContent("short.gal", lap.data(), int(lap.size())) != 0, c.lap);
    }
}

TEST_F(LumoLibTest, ReadsTheTemplateAndTheNameInTheAskedLanguageOrTheFirst)
{
    std::array<unsigned char, LUMO_TEMPLATE_SIZE> workoutTemplate{};
    ASSERT_NE(ReadTemplateWKT("240101000000.wkt", kPlain, workoutTemplate.data(), int(workoutTemplate.size())), 0);
    EXPECT_EQ(FixtureBytes::getU32Le(QByteArray(reinterpret_cast<const char *>(workoutTemplate.data()), 36), 4),
              1704067200u);

    struct Case
    {
        const char *language;
        int capacity;
        QByteArray record; // empty: the call fails
    };
    const QByteArray deu = PsfImage15Builder::nameString(Name{"deu", "Tempolauf"}, false);
    const QByteArray eng = PsfImage15Builder::nameString(Name{"eng", "Tempo"}, false);
    const std::vector<Case> cases = {
        {"deu", LUMO_WORKOUT_NAME_SIZE, deu}, {"DEU", LUMO_WORKOUT_NAME_SIZE, deu},
        {"fra", LUMO_WORKOUT_NAME_SIZE, eng}, {"", LUMO_WORKOUT_NAME_SIZE, eng},
        {"deu", int(deu.size()), deu},        {"deu", int(deu.size()) - 1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.language) + " in " + std::to_string(c.capacity));
        std::vector<unsigned char> buffer(LUMO_WORKOUT_NAME_SIZE);
        int length = c.capacity;
        const int result = ReadWKTName("240101000000.wkt", kPlain, buffer.data(), &length, c.language);
        ASSERT_EQ(result != 0, !c.record.isEmpty());
        if (result != 0) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(buffer.data()), length), c.record);
        }
    }
}

TEST_F(LumoLibTest, ACorruptWorkoutIsRefused)
{
    const QByteArray whole = GalFolderBuilder::workoutBytes({.names = {Name{"eng", "Tempo"}}});
    struct Case
    {
        const char *name;
        QByteArray bytes;
    };
    QByteArray countTooHigh = whole;
    FixtureBytes::putU16Le(countTooHigh, 36, 2);
    QByteArray lengthTooLong = whole;
    FixtureBytes::putU16Le(lengthTooLong, 38 + 2, 6);
    const std::vector<Case> cases = {
        {"no count", whole.left(37)},
        {"count beyond the records", countTooHigh},
        {"payload beyond the end", lengthTooLong},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(OrvoTest::writeFile(workoutPath(QStringLiteral("0_0_0"), QStringLiteral("bad.wkt")), c.bytes));
        std::array<unsigned char, LUMO_TEMPLATE_SIZE> workoutTemplate{};
        std::vector<unsigned char> buffer(LUMO_WORKOUT_NAME_SIZE);
        int length = LUMO_WORKOUT_NAME_SIZE;
        EXPECT_EQ(ReadTemplateWKT("bad.wkt", kPlain, workoutTemplate.data(), int(workoutTemplate.size())), 0);
        EXPECT_EQ(ReadWKTName("bad.wkt", kPlain, buffer.data(), &length, "eng"), 0);
    }
}

TEST_F(LumoLibTest, DeleteKindsReachTheirOwnFolders)
{
    const GalFolderBuilder device(m_root);
    struct Case
    {
        const char *name;
        int kind;
        QString typeFolder;
        bool deleted;
    };
    const std::vector<Case> cases = {
        {"21 in a type-5 folder", LUMO_DELETE_WORKOUT, QStringLiteral("0_5_0"), true},
        {"21 in the plain folder", LUMO_DELETE_WORKOUT, QStringLiteral("0_0_0"), true},
        {"36 in a type-5 folder", LUMO_DELETE_WORKOUT_TYPE_5, QStringLiteral("1_5_1"), true},
        {"36 leaves the plain folder", LUMO_DELETE_WORKOUT_TYPE_5, QStringLiteral("0_0_0"), false},
        {"36 leaves a type-6 folder", LUMO_DELETE_WORKOUT_TYPE_5, QStringLiteral("0_6_0"), false},
        {"35 in a type-6 folder", LUMO_DELETE_WORKOUT_TYPE_6, QStringLiteral("0_6_1"), true},
        {"35 leaves a type-5 folder", LUMO_DELETE_WORKOUT_TYPE_6, QStringLiteral("0_5_0"), false},
        {"an activity kind leaves workouts", LUMO_DELETE_ACTIVITY, QStringLiteral("0_0_0"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(device.addWorkout({.typeFolder = c.typeFolder, .fileName = QStringLiteral("250505050505.wkt")}));
        EXPECT_EQ(DeleteGALFile(c.kind, "250505050505.wkt") != 0, c.deleted);
        EXPECT_EQ(QFileInfo::exists(workoutPath(c.typeFolder, QStringLiteral("250505050505.wkt"))), !c.deleted);
        QFile::remove(workoutPath(c.typeFolder, QStringLiteral("250505050505.wkt")));
    }

    EXPECT_NE(DeleteGALFile(LUMO_DELETE_ACTIVITY, "240131120000.gal"), 0);
    EXPECT_EQ(listedActivities(), (std::vector<std::string>{"231224083000.gal"}));
    EXPECT_EQ(DeleteGALFile(LUMO_DELETE_ACTIVITY, "240131120000.gal"), 0);
}

// Names come from callers that may pass anything: only a bare name of the home's folders is
// ever opened or deleted.
TEST_F(LumoLibTest, NamesThatLeaveTheirFolderAreRefused)
{
    ASSERT_TRUE(OrvoTest::writeFile(m_root + QStringLiteral("/Activity/keep.wkt"), "x"));
    ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(QStringLiteral("outside.gal")), QByteArray(200, '\0')));
    std::array<unsigned char, LUMO_ACTIVITY_HEADER_SIZE> header{};
    for (const char *name : {"../../outside.gal", "..", "/etc/passwd", "..\\..\\outside.gal", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(GetActivityContent(name, header.data(), int(header.size())), 0);
        EXPECT_EQ(DeleteGALFile(LUMO_DELETE_ACTIVITY, name), 0);
    }
    EXPECT_EQ(DeleteGALFile(LUMO_DELETE_WORKOUT, "../Activity/keep.wkt"), 0);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("outside.gal"))));
    EXPECT_TRUE(QFileInfo::exists(m_root + QStringLiteral("/Activity/keep.wkt")));
}

TEST_F(LumoLibTest, TextsWithoutTheirEndInsideTheBufferAreRefused)
{
    const QByteArray tooLong(LUMO_PATH_SIZE, 'a');
    EXPECT_EQ(SetHomePath(tooLong.constData()), 0);
    EXPECT_EQ(SetHomePath(nullptr), 0);
    unsigned int count = 0;
    EXPECT_EQ(GetActivityfileamount(&count), 0) << "a refused home serves nothing";
}

TEST_F(LumoLibTest, PathsFollowTheCallersSeparator)
{
    ASSERT_NE(SetPathDirect("\\"), 0);
    QByteArray home = homeText(m_root);
    home.replace('/', '\\');
    EXPECT_NE(SetHomePath(home.constData()), 0);
    EXPECT_EQ(listedActivities().size(), 2u);
    EXPECT_EQ(SetPathDirect(":"), 0);
    ASSERT_NE(SetPathDirect("/"), 0);
    EXPECT_EQ(SetHomePath(QFile::encodeName(m_root + QStringLiteral("/missing/")).constData()), 0);
}

TEST_F(LumoLibTest, UpdateProfileAnswersWhatEmuIniSays)
{
    const QString map = m_dir.filePath(QStringLiteral("ProfileMap.txt"));
    const QString bin = m_dir.filePath(QStringLiteral("Profile.bin"));
    ASSERT_TRUE(OrvoTest::writeFile(map, "map"));
    ASSERT_TRUE(OrvoTest::writeFile(bin, "bin"));
    const GalFolderBuilder device(m_root);
    const QByteArray folder = homeText(m_root);
    EXPECT_EQ(UpdateProfile(folder.constData(), QFile::encodeName(map).constData(), QFile::encodeName(bin).constData()),
              1)
        << "the default";
    ASSERT_TRUE(device.setEmulator("[EMU]\nUpdateProfile=2\n"));
    EXPECT_EQ(UpdateProfile(folder.constData(), QFile::encodeName(map).constData(), QFile::encodeName(bin).constData()),
              2);
    EXPECT_EQ(UpdateProfile(folder.constData(), QFile::encodeName(map + QStringLiteral(".gone")).constData(),
                            QFile::encodeName(bin).constData()),
              0);
}

TEST_F(LumoLibTest, CapabilityComesFromEmuIni)
{
    LumoCapability answer{};
    EXPECT_EQ(ProjSwCapability("Kavel21", &answer), 0) << "no capability given";
    ASSERT_TRUE(GalFolderBuilder(m_root).setEmulator("[EMU]\nCapability=WKT;GAL\n"));
    ASSERT_NE(ProjSwCapability("Kavel21", &answer), 0);
    ASSERT_NE(answer.text, nullptr);
    EXPECT_STREQ(answer.text, "WKT;GAL");
}

TEST_F(LumoLibTest, ProfileGoesOutAndComesBackUnderGeneralWithKeysAsGiven)
{
    ASSERT_TRUE(GalFolderBuilder(m_root).setProfile({{QStringLiteral("User Weight.Metric"), QStringLiteral("70")},
                                                     {QStringLiteral("Sys-langCode"), QStringLiteral("eng")}}));
    const QString read = m_dir.filePath(QStringLiteral("pfread.ini"));
    const QString write = m_dir.filePath(QStringLiteral("pfwrite.ini"));
    const QByteArray home = homeText(m_root);
    ASSERT_NE(GetProfile(home.constData(), QFile::encodeName(read).constData()), 0);
    EXPECT_EQ(OrvoTest::readFile(read), "[General]\nUser Weight.Metric=70\nSys-langCode=eng\n");

    ASSERT_TRUE(
        OrvoTest::writeFile(write, "[General]\nUser Weight.Metric = 71\nUser Sex=1\n[Other]\nSys-langCode=fra\n"));
    ASSERT_NE(RefreshProfile(home.constData(), QFile::encodeName(write).constData()), 0);
    ASSERT_NE(GetProfile(home.constData(), QFile::encodeName(read).constData()), 0);
    EXPECT_EQ(OrvoTest::readFile(read), "[General]\nUser Weight.Metric=71\nSys-langCode=eng\nUser Sex=1\n");

    ASSERT_TRUE(OrvoTest::writeFile(write, "[General]\nUser Weight.Metric=72\n"));
    EXPECT_EQ(RefreshProfile(QFile::encodeName(m_root + QStringLiteral("/missing/")).constData(),
                             QFile::encodeName(write).constData()),
              0);
    EXPECT_EQ(GetProfile(QFile::encodeName(m_dir.path() + QStringLiteral("/")).constData(),
                         QFile::encodeName(read).constData()),
              0)
        << "a folder without a profile";
}

TEST_F(LumoLibTest, RefreshMakesTheProfileOnlyInADeviceFolderThatIsThere)
{
    enum class Device { WithProfile, WithoutSystemFolder, Gone };
    struct Case
    {
        const char *name;
        Device device;
        bool written;
    };
    const Case cases[] = {
        {"device with a profile", Device::WithProfile, true},
        {"device without its system folder yet", Device::WithoutSystemFolder, true},
        {"device folder that went", Device::Gone, false},
    };
    const QString write = m_dir.filePath(QStringLiteral("pfwrite.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(write, "[General]\nUser Weight.Metric=72\n"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        const QString device = dir.filePath(QStringLiteral("pulled"));
        if (c.device == Device::WithProfile) {
            ASSERT_TRUE(GalFolderBuilder(device).setProfile({{QStringLiteral("User Sex"), QStringLiteral("1")}}));
        } else if (c.device == Device::WithoutSystemFolder) {
            ASSERT_TRUE(QDir().mkpath(device));
        }

        EXPECT_EQ(RefreshProfile(homeText(device).constData(), QFile::encodeName(write).constData()) != 0, c.written);
        EXPECT_EQ(QFileInfo::exists(device), c.device != Device::Gone) << "the device folder was made anew";
        EXPECT_EQ(OrvoTest::readFile(device + QStringLiteral("/System/profile.ini")).contains("User Weight.Metric=72"),
                  c.written);
    }
}

TEST_F(LumoLibTest, RefreshKeepsTheBytesOfTheLinesItWasNotGiven)
{
    const QString profile = m_root + QStringLiteral("/System/profile.ini");
    ASSERT_TRUE(OrvoTest::writeFile(profile, "[General]\r\nName = Jos\xE9\r\nUser Weight.Metric=70\r\n"));
    const QString write = m_dir.filePath(QStringLiteral("pfwrite.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(write, "[General]\nUser Weight.Metric=71\nUser Sex=1\n"));
    ASSERT_NE(RefreshProfile(homeText(m_root).constData(), QFile::encodeName(write).constData()), 0);
    EXPECT_EQ(OrvoTest::readFile(profile), "[General]\nName = Jos\xE9\nUser Weight.Metric=71\nUser Sex=1\n");
}

// A carriage return alone ends a line, as it does for every other reader of the file: a profile
// holding one reads, and what a refresh writes of it reads again.
TEST_F(LumoLibTest, ProfileLinesEndedByACarriageReturnAloneRoundTrip)
{
    struct Case
    {
        const char *name;
        QByteArray profile;
        QByteArray read;
    };
    const Case cases[] = {
        {"a carriage return inside a line", "[General]\nName=Jo\rUser Sex=1\nUser Weight.Metric=70\n",
         "[General]\nName=Jo\nUser Sex=1\nUser Weight.Metric=70\n"},
        {"lines ended by carriage returns alone", "[General]\rName=Jo\rUser Weight.Metric=70\r",
         "[General]\nName=Jo\nUser Weight.Metric=70\n"},
        {"mixed line ends", "[General]\r\nName=Jo\r\rUser Weight.Metric=70\n",
         "[General]\nName=Jo\nUser Weight.Metric=70\n"},
    };
    const QString profile = m_root + QStringLiteral("/System/profile.ini");
    const QString read = m_dir.filePath(QStringLiteral("pfread.ini"));
    const QString write = m_dir.filePath(QStringLiteral("pfwrite.ini"));
    const QByteArray home = homeText(m_root);
    ASSERT_TRUE(OrvoTest::writeFile(write, "[General]\nUser Weight.Metric=71\n"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(OrvoTest::writeFile(profile, c.profile));
        ASSERT_NE(GetProfile(home.constData(), QFile::encodeName(read).constData()), 0);
        EXPECT_EQ(OrvoTest::readFile(read), c.read);

        ASSERT_NE(RefreshProfile(home.constData(), QFile::encodeName(write).constData()), 0);
        ASSERT_NE(GetProfile(home.constData(), QFile::encodeName(read).constData()), 0);
        QByteArray refreshed = c.read;
        refreshed.replace("User Weight.Metric=70", "User Weight.Metric=71");
        EXPECT_EQ(OrvoTest::readFile(read), refreshed);
    }
}

TEST_F(LumoLibTest, EveryCallLeavesALineInTheCallLog)
{
    SetModelName("Kavel21");
    DeleteGALFile(LUMO_DELETE_WORKOUT, "240101000000.wkt");
    const QString log = callLog();
    EXPECT_TRUE(log.contains(QStringLiteral("SetHomePath\t%1/\t=1\n").arg(m_root))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("SetModelName\tKavel21\t=1\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("DeleteGALFile\t21\t240101000000.wkt\t=1\n"))) << log.toStdString();
}

} // namespace
