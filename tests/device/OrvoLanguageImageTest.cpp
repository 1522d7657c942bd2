#include "FixtureBytes.h"
#include "OrvoTestSupport.h"

#include "device/OrvoLanguageImage.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace FixtureBytes;

namespace {

// A language file: its first word, its code, then its body.
QByteArray languageFile(quint32 word, const QByteArray &code, qsizetype size)
{
    QByteArray file;
    appendU32Le(file, word);
    file += code;
    file.append(size - file.size(), 'L');
    return file;
}

class OrvoLanguageImageTest : public ::testing::Test
{
protected:
    void put(const QString &name, const QByteArray &bytes)
    {
        ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(name), bytes));
    }

    OrvoTest::OutputDir m_dir;
};

} // namespace

TEST_F(OrvoLanguageImageTest, HeaderListsTheFoundFilesInTheAskedOrderAfterThePaddedBase)
{
    const QByteArray eng = languageFile(0x11223344, "eng", 100);
    const QByteArray deu = languageFile(0x55667788, "deu", 60);
    put(QStringLiteral("Lang_ENG_v2.bin"), eng);
    put(QStringLiteral("Lang_deu_v2.bin"), deu);
    put(QStringLiteral("release.ini"), "[Update]\n");
    struct Case
    {
        const char *name;
        qsizetype baseSize;
        qsizetype padding;
    };
    for (const Case &c : {Case{"1000 bytes", 1000, 8}, Case{"1008 bytes", 1008, 0}}) {
        SCOPED_TRACE(c.name);
        put(QStringLiteral("KOSMIR.BIN"), QByteArray(c.baseSize, 'B'));
        OrvoLanguageImage::Built built;
        ASSERT_TRUE(OrvoLanguageImage::build(m_dir.path(), {"eng", "xxx", "deu"}, built));
        EXPECT_EQ(built.languages, 2);
        const QByteArray &image = built.image;
        const qsizetype h = c.baseSize + c.padding;
        ASSERT_EQ(image.size(), h + 229 + eng.size() + deu.size());
        EXPECT_EQ(image.mid(c.baseSize, c.padding), QByteArray(c.padding, '\0'));
        EXPECT_EQ(getU32Le(image, h), 0x77A0B2C3u);
        EXPECT_EQ(getU32Le(image, h + 4), 0x55667788u) << "the first word of the file placed last";
        EXPECT_EQ(quint8(image[h + 8]), 2);
        EXPECT_EQ(image.mid(h + 9, 9), QByteArray("engdeu") + QByteArray(3, '\0'));
        EXPECT_EQ(getU32Le(image, h + 69), 229u);
        EXPECT_EQ(getU32Le(image, h + 73), quint32(229 + eng.size()));
        EXPECT_EQ(getU32Le(image, h + 77), 0u);
        EXPECT_EQ(getU32Le(image, h + 149), quint32(eng.size()));
        EXPECT_EQ(getU32Le(image, h + 153), quint32(deu.size()));
        EXPECT_EQ(image.mid(h + 229), eng + deu);
    }
}

TEST_F(OrvoLanguageImageTest, RefusesWithoutFolderOrBaseAndSkipsShortFilesAndTheTwentyFirst)
{
    OrvoLanguageImage::Built built;
    EXPECT_FALSE(OrvoLanguageImage::build(m_dir.filePath(QStringLiteral("none")), {"eng"}, built));
    put(QStringLiteral("x_eng_.bin"), languageFile(1, "eng", 10));
    EXPECT_FALSE(OrvoLanguageImage::build(m_dir.path(), {"eng"}, built)) << "no base image";
    EXPECT_TRUE(built.image.isEmpty());

    put(QStringLiteral("quilma.bin"), QByteArray(16, 'B'));
    put(QStringLiteral("x_fra_.bin"), QByteArray("abc"));
    QStringList codes{"fra"};
    for (int i = 0; i < 21; ++i) {
        const QByteArray code = QByteArray("q") + char('a' + i) + 'z';
        put(QStringLiteral("x_%1_.bin").arg(QString::fromLatin1(code)), languageFile(quint32(i), code, 8));
        codes << QString::fromLatin1(code);
    }
    ASSERT_TRUE(OrvoLanguageImage::build(m_dir.path(), codes, built));
    EXPECT_EQ(built.languages, 20) << "the short file is left out, and the 21st";
    EXPECT_EQ(built.image.mid(16 + 9, 3), QByteArray("qaz"));
    EXPECT_EQ(built.image.size(), 16 + 229 + 20 * 8);
}

TEST(OrvoLanguageImage, ListsTheKnownCodesOfTheLastDirectory)
{
    const auto directory = [](const QByteArray &codes) {
        QByteArray header(229, '\0');
        putU32Le(header, 0, 0x77A0B2C3);
        putBytes(header, 9, codes);
        return header;
    };
    struct Case
    {
        const char *name;
        QByteArray area;
        bool listed;
        QStringList codes;
    };
    QByteArray two =
        QByteArray(64, '\xFF') + directory("fra") + QByteArray(3, '\xFF') + directory(QByteArray("engzz\0ger", 9));
    two.append(300, '\xFF');
    const std::vector<Case> cases = {
        {"two directories", two, true, {"eng", "ger"}},
        {"no magic: the start is read", QByteArray("engxyz") + QByteArray(400, '\0'), true, {}},
        {"no magic: codes at 9", QByteArray(9, '\0') + "ger" + QByteArray(300, '\0'), true, {"ger"}},
        {"a directory cut short", QByteArray(8, '\0') + directory("eng").left(200), false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList codes;
        EXPECT_EQ(OrvoLanguageImage::listLanguages(c.area, codes), c.listed);
        EXPECT_EQ(codes, c.codes);
    }
}
