#include "OrvoTestSupport.h"

#include "profile/OrvoProfileData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr int kXml = OrvoProfileData::XmlFile;

// Compares with tests/data/profile/<name>; rewrites it under ORVO_UPDATE_GOLDEN=1 and leaves
// <name>.actual beside it on a mismatch.
void expectGolden(const QByteArray &actual, const QString &name)
{
    const QString golden = OrvoTest::dataPath(QStringLiteral("profile/") + name);
    if (qEnvironmentVariable("ORVO_UPDATE_GOLDEN") == QLatin1String("1")) {
        ASSERT_TRUE(OrvoTest::writeFile(golden, actual));
        return;
    }
    const QByteArray expected = OrvoTest::readFile(golden);
    if (actual == expected) {
        QFile::remove(golden + QStringLiteral(".actual"));
        return;
    }
    OrvoTest::writeFile(golden + QStringLiteral(".actual"), actual);
    ADD_FAILURE() << "differs from " << golden.toStdString() << "\nexpected:\n"
                  << expected.toStdString() << "\nactual:\n"
                  << actual.toStdString();
}

bool readProfile(const QString &path, OrvoProfileMap &map)
{
    OrvoProfileData profile(path.toUtf8(), kXml);
    profile.setValues(map);
    const bool ok = profile.parse();
    map = profile.values();
    return ok;
}

bool writeProfile(const QString &path, const OrvoProfileMap &map)
{
    OrvoProfileData profile(path.toUtf8(), kXml);
    profile.setValues(map);
    return profile.serialize();
}

} // namespace

TEST(OrvoProfileReaderXML, WritesGoldenFilesAndReadsThemBack)
{
    struct Case
    {
        const char *input;
        OrvoProfileMap map;
    };
    const std::vector<Case> cases = {
        {"two-keys.xml", {{"User MHR", "190"}, {"User Sex", "1"}}},
        {"escaping.xml", {{"Owner & Co", "<road> \"fast\" 'n' far"}, {"Language ISO3", "fra"}}},
    };
    OrvoTest::OutputDir out;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        OrvoProfileMap read;
        ASSERT_TRUE(readProfile(OrvoTest::dataPath(QStringLiteral("profile/") + c.input), read));
        EXPECT_EQ(read, c.map);

        // A longer file already there is replaced whole.
        const QString target = out.filePath(QString::fromLatin1(c.input));
        ASSERT_TRUE(OrvoTest::writeFile(target, QByteArray(4000, 'x')));
        ASSERT_TRUE(writeProfile(target, read));
        expectGolden(OrvoTest::readFile(target), QString::fromLatin1(c.input) + QStringLiteral("~profile-xml.xml"));

        OrvoProfileMap again;
        EXPECT_TRUE(readProfile(target, again));
        EXPECT_EQ(again, c.map);
    }
}

TEST(OrvoProfileReaderXML, EmptyMapWritesAnEmptySettingsElement)
{
    OrvoTest::OutputDir out;
    const QString target = out.filePath(QStringLiteral("empty.xml"));
    ASSERT_TRUE(writeProfile(target, {}));
    EXPECT_EQ(OrvoTest::readFile(target), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings/>\n"));
}

TEST(OrvoProfileReaderXML, ReadsWellFormedFilesAndRefusesTheRestWhole)
{
    struct Case
    {
        const char *name;
        std::optional<QByteArray> content; // no file at all when empty
        bool ok;
        OrvoProfileMap added;
    };
    const std::vector<Case> cases = {
        {"any_root_any_depth",
         "<profile><group><property name=\"a\" value=\"1\"/></group><property name=\"b\" value=\"2\"/></profile>",
         true,
         {{"a", "1"}, {"b", "2"}}},
        {"root_itself_is_a_property", "<property name=\"a\" value=\"1\"/>", true, {{"a", "1"}}},
        {"later_duplicate_wins",
         "<settings><property name=\"a\" value=\"1\"/><property name=\"a\" value=\"2\"/></settings>",
         true,
         {{"a", "2"}}},
        {"missing_value_is_empty", "<settings><property name=\"a\"/></settings>", true, {{"a", ""}}},
        {"element_name_is_case_sensitive", "<settings><Property name=\"a\" value=\"1\"/></settings>", true, {}},
        {"existing_key_overwritten",
         "<settings><property name=\"Kept\" value=\"new\"/></settings>",
         true,
         {{"Kept", "new"}}},
        {"unclosed_root_after_a_property", "<settings><property name=\"a\" value=\"1\"/>", false, {}},
        {"mismatched_tags", "<settings><property name=\"a\" value=\"1\"></settings>", false, {}},
        {"content_after_the_root", "<settings/><property name=\"a\" value=\"1\"/>", false, {}},
        {"bad_entity", "<settings><property name=\"a\" value=\"&nope;\"/></settings>", false, {}},
        {"empty_file", QByteArray(), false, {}},
        {"not_xml", "User MHR=190\n", false, {}},
        {"no_file", std::nullopt, false, {}},
    };
    OrvoTest::OutputDir out;
    const OrvoProfileMap before = {{"Kept", "yes"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = out.filePath(QString::fromLatin1(c.name) + QStringLiteral(".xml"));
        if (c.content) {
            ASSERT_TRUE(OrvoTest::writeFile(path, *c.content));
        }
        OrvoProfileMap map = before;
        EXPECT_EQ(readProfile(path, map), c.ok);
        OrvoProfileMap expected = before;
        expected.insert(c.added);
        EXPECT_EQ(map, expected);
    }
}

TEST(OrvoProfileReaderXML, UnwritableTargetAnswersFalse)
{
    OrvoTest::OutputDir out;
    const QString folder = out.filePath(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/inside.txt"), "keep"));
    const std::vector<QString> targets = {out.filePath(QStringLiteral("missing/profile.xml")), folder, QString()};
    for (const QString &target : targets) {
        SCOPED_TRACE(target.toStdString());
        EXPECT_FALSE(writeProfile(target, {{"User MHR", "190"}}));
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(OrvoTest::readFile(folder + QStringLiteral("/inside.txt")), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("missing"))));
}

TEST(OrvoProfileReaderXML, PathTravelsAsUtf8)
{
    OrvoTest::OutputDir out;
    const QString folder = out.filePath(QStringLiteral("Профиль ユーザー"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/設定.xml");
    const OrvoProfileMap map = {{"User Birthday", "1985/03/02"}, {"User Sex", "1"}};

    OrvoProfileData profile(path.toUtf8(), kXml);
    profile.setValues(map);
    ASSERT_TRUE(profile.serialize());
    EXPECT_EQ(profile.rawData(), path.toUtf8()) << "the XML format writes the file, not the raw bytes";
    EXPECT_TRUE(QFileInfo::exists(path));

    OrvoProfileMap read;
    EXPECT_TRUE(readProfile(path, read));
    EXPECT_EQ(read, map);
}
