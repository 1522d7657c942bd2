#include "OrvoTestSupport.h"

#include "FixtureZip.h"

#include "env/OrvoUtility.h"
#include "profile/OrvoLanguageMap.h"
#include "profile/OrvoLanguageTriple.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(OrvoLanguageMap, NamesCodesInAnyCase)
{
    struct Case
    {
        const char *code;
        const char *name;
    };
    const std::vector<Case> cases = {
        {"eng", "English"},
        {"ENG", "English"},
        {"Eng", "English"},
        {"dut", "Flemish"},
        {"NLD", "Flemish"},
        {"chi", "Chinese Simplified"},
        {"CHI", "Chinese Simplified"},
        {"zho", "Chinese Traditional"},
        {"ger", "German"},
        {"deu", ""},
        {"fra", "French"},
        {"fre", ""},
        {"cze", "Czech"},
        {"ces", "Czech"},
        {"rum", "Romanian"},
        {"ron", "Romanian"},
        {"vol", "Volapuk"},
        {"nob", "Norwegian Bokmal"},
        {"nds", "Saxon, Low"},
        {"tlh", "tlhIngan-Hol"},
        {"qaa-qtz", "Reserved for local use"},
        {"qab", ""},
        {"xx", ""},
        {"", ""},
    };
    const OrvoLanguageMap map;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(map.languageName(QLatin1String(c.code)), QLatin1String(c.name));
    }
}

TEST(OrvoLanguageMap, CodesAreTheAscendingLowerCaseKeys)
{
    const OrvoLanguageMap map;
    const QStringList codes = map.codes();
    ASSERT_EQ(codes.size(), 502);
    EXPECT_EQ(codes.mid(0, 2), QStringList({QStringLiteral("aar"), QStringLiteral("abk")}));
    EXPECT_EQ(codes.last(), QStringLiteral("zza"));
    const QRegularExpression code(QStringLiteral("^([a-z]{3}|qaa-qtz)$"));
    const QRegularExpression plainName(QStringLiteral("^[\\x20-\\x7e]+$"));
    for (int i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes.at(i).toStdString());
        EXPECT_TRUE(code.match(codes.at(i)).hasMatch());
        EXPECT_TRUE(plainName.match(map.languageName(codes.at(i))).hasMatch());
        if (i > 0) {
            EXPECT_LT(codes.at(i - 1), codes.at(i));
        }
    }
}

TEST(OrvoLanguageTriple, TableRowsAsTheDevicesSpellThem)
{
    const QList<OrvoLanguageTriple> &table = OrvoLanguageTriple::table();
    ASSERT_EQ(table.size(), 24);
    const auto row = [&table](int index) {
        const OrvoLanguageTriple &triple = table.at(index);
        return QStringList({triple.country, triple.iso6391, triple.iso6392});
    };
    EXPECT_EQ(row(0), QStringList({QStringLiteral("ZA"), QStringLiteral("af"), QStringLiteral("afr")}));
    EXPECT_EQ(row(1), QStringList({QStringLiteral("ME"), QStringLiteral("ar"), QStringLiteral("ara")}));
    EXPECT_EQ(row(5), QStringList({QStringLiteral("US"), QStringLiteral("en"), QStringLiteral("eng")}));
    EXPECT_EQ(row(6), QStringList({QStringLiteral("GB"), QStringLiteral("en"), QStringLiteral("eng")}));
    EXPECT_EQ(row(7), QStringList({QStringLiteral("SP"), QStringLiteral("es"), QStringLiteral("spa")}));
    EXPECT_EQ(row(23), QStringList({QStringLiteral("GR"), QStringLiteral("el"), QStringLiteral("grc")}));

    // Every row's three-letter code is one the language map can name.
    const OrvoLanguageMap map;
    for (const OrvoLanguageTriple &triple : table) {
        SCOPED_TRACE(triple.iso6392.toStdString());
        EXPECT_FALSE(map.languageName(triple.iso6392).isEmpty());
        EXPECT_EQ(triple.country, triple.country.toUpper());
        EXPECT_EQ(triple.iso6391.size(), 2);
    }
}

TEST(OrvoLanguageMap, LanguagePackageFileNamesGiveTheirLanguages)
{
    const OrvoTest::OutputDir dir;
    const QString package = dir.filePath(QStringLiteral("lang.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(
        package, FixtureZip::storedArchive(
                     {{"font_eng_16.bft", "e"}, {"font_ger_16.bft", "g"}, {"english.bft", "x"}, {"ger.bft", "x"}})));
    const OrvoLanguageMap map;
    QStringList names;
    ASSERT_TRUE(OrvoUtility::getSupportLanguage(package, dir.filePath(QStringLiteral("Lang")), names, map.map()));
    EXPECT_EQ(names, QStringList({QStringLiteral("English"), QStringLiteral("German")}));
}

} // namespace
