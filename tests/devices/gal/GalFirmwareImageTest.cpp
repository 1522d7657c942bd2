#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "devices/gal/GalFirmwareImage.h"
#include "devices/gal/GalVerifiedWrite.h"

#include <QDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

using FixtureBytes::getU32Le;

// A byte pattern that shows where each part of the image landed.
QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(seed + i % 13);
    return bytes;
}

// A bit-font file: 4 identifying bytes, the 3-letter language code, then its glyphs.
QByteArray font(const char *id, const char *code, qsizetype glyphs)
{
    return QByteArray(id, 4) + QByteArray(code, 3) + pattern(glyphs, 'g');
}

class GalFirmwareImageTest : public ::testing::Test
{
protected:
    QString package() const { return m_dir.filePath(QStringLiteral("langpack")); }
    bool put(const QString &name, const QByteArray &bytes) const
    {
        return OrvoTest::writeFile(package() + QLatin1Char('/') + name, bytes);
    }
    OrvoImageMetaInfo meta(int size) const
    {
        OrvoImageMetaInfo info;
        info.imageName = QStringLiteral("TrevanisBR");
        info.imageSize = size;
        return info;
    }

    OrvoTest::OutputDir m_dir;
};

struct ImageCase
{
    const char *name;
    qsizetype imageLength;
    qsizetype headerAt;
};

TEST_F(GalFirmwareImageTest, ImageIsPaddedToWholeBlocksFilledAndMirrorsItsBytes148To151)
{
    const std::vector<ImageCase> cases = {
        {"whole blocks", 4096, 4096},
        {"one byte over", 4097, 6144},
        {"short image", 200, 2048},
    };
    const QByteArray header = pattern(64, 'H');
    const QByteArray english = font("ENG1", "eng", 40);
    ASSERT_TRUE(put(QStringLiteral("TrevanisBR_header.bin"), header));
    ASSERT_TRUE(put(QStringLiteral("font_eng_.bft"), english));
    for (const ImageCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray image = pattern(c.imageLength, 'a');
        ASSERT_TRUE(put(QStringLiteral("TrevanisBR_V106.bin"), image));
        QByteArray out;
        ASSERT_TRUE(GalFirmwareImage(package()).buildImage({QStringLiteral("deu")}, meta(16384), false, out));
        ASSERT_EQ(out.size(), 16384);
        EXPECT_EQ(out.left(c.imageLength), image);
        EXPECT_EQ(out.mid(c.imageLength, c.headerAt - c.imageLength), QByteArray(c.headerAt - c.imageLength, '\0'));
        EXPECT_EQ(out.mid(c.headerAt, header.size()), header);
        EXPECT_EQ(out.mid(c.headerAt + header.size(), english.size()), english) << "English stands in for deu";
        const qsizetype end = c.headerAt + header.size() + english.size();
        EXPECT_EQ(out.mid(end, 16384 - 4 - end), QByteArray(16384 - 4 - end, char(0xFF)));
        EXPECT_EQ(out.right(4), image.mid(148, 4));
    }
}

TEST_F(GalFirmwareImageTest, ProfileFollowsTheImageOnlyWhenTheDeviceMustSynchronise)
{
    ASSERT_TRUE(put(QStringLiteral("TrevanisBR.bin"), pattern(2048, 'a')));
    ASSERT_TRUE(put(QStringLiteral("header.bin"), pattern(10, 'H')));
    ASSERT_TRUE(put(QStringLiteral("x_deu_.bft"), font("DEU1", "deu", 10)));
    ASSERT_TRUE(put(QStringLiteral("Profile.bin"), "profile"));
    GalFirmwareImage builder(package());
    QByteArray out;
    ASSERT_TRUE(builder.buildImage({QStringLiteral("deu")}, meta(4096), true, out));
    EXPECT_EQ(out.size(), 4096 + 7);
    EXPECT_EQ(out.right(7), QByteArray("profile"));
    ASSERT_TRUE(builder.buildImage({QStringLiteral("deu")}, meta(4096), false, out));
    EXPECT_EQ(out.size(), 4096);
}

struct RefusedImageCase
{
    const char *name;
    QStringList files;
    QString imageName;
    int size;
    const char *message;
};

TEST_F(GalFirmwareImageTest, ImageIsRefusedWithoutItsPartsOrWhenTooLarge)
{
    const std::vector<RefusedImageCase> cases = {
        {"too large", {"TrevanisBR.bin", "header.bin", "f_eng_.bft"}, "TrevanisBR", 4096, " img_temp size > 4096"},
        {"no image", {"header.bin", "f_eng_.bft"}, "TrevanisBR", 16384, "\"\" does NOT exist"},
        {"empty image name", {"TrevanisBR.bin", "header.bin", "f_eng_.bft"}, "", 16384, "\"\" does NOT exist"},
        {"only header and font name the image",
         {"TrevanisBR_header.bin", "TrevanisBR_eng_.bft"},
         "TrevanisBR",
         16384,
         "\"\" does NOT exist"},
        {"no font", {"TrevanisBR.bin", "header.bin"}, "TrevanisBR", 16384, "\"\" does NOT exist"},
        {"empty image", {"TrevanisBR.bin=", "header.bin", "f_eng_.bft"}, "TrevanisBR", 16384, "read bin file failed"},
        {"empty header",
         {"TrevanisBR.bin", "header.bin=", "f_eng_.bft"},
         "TrevanisBR",
         16384,
         "read header.bin file failed"},
        {"empty font",
         {"TrevanisBR.bin", "header.bin", "f_eng_.bft="},
         "TrevanisBR",
         16384,
         "read language font failed"},
    };
    for (const RefusedImageCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(package()).removeRecursively());
        for (const QString &file : c.files) {
            const bool empty = file.endsWith(QLatin1Char('='));
            ASSERT_TRUE(put(empty ? file.chopped(1) : file, empty ? QByteArray() : pattern(3000, 'a')));
        }
        OrvoImageMetaInfo info = meta(c.size);
        info.imageName = c.imageName;
        OrvoMessageCapture log;
        QByteArray out;
        EXPECT_FALSE(GalFirmwareImage(package()).buildImage({}, info, false, out));
        EXPECT_TRUE(log.contains(QtCriticalMsg, QString::fromUtf8(c.message)));
    }
    OrvoMessageCapture log;
    QByteArray out;
    EXPECT_FALSE(GalFirmwareImage(m_dir.filePath(QStringLiteral("none"))).buildImage({}, meta(4096), false, out));
    EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("do not exist langpack folder")));
}

TEST_F(GalFirmwareImageTest, LanguageBinaryIndexesEveryFontLongerThanSixBytes)
{
    const QByteArray deu = font("DEU1", "deu", 20);
    const QByteArray eng = font("ENG1", "eng", 5);
    ASSERT_TRUE(put(QStringLiteral("a_deu_.bft"), deu));
    ASSERT_TRUE(put(QStringLiteral("b_short_.bft"), "ABCDEF"));
    ASSERT_TRUE(put(QStringLiteral("c_eng_.bft"), eng));
    ASSERT_TRUE(put(QStringLiteral("TrevanisBR.bin"), "not a font"));
    QByteArray out;
    ASSERT_TRUE(GalFirmwareImage(package()).buildLanguageBinary(out));
    ASSERT_EQ(out.size(), 229 + deu.size() + eng.size());
    EXPECT_EQ(getU32Le(out, 0), 0x77a0b2c3u);
    EXPECT_EQ(out.mid(4, 4), QByteArray("DEU1"));
    EXPECT_EQ(quint8(out[8]), 2);
    EXPECT_EQ(out.mid(9, 6), QByteArray("deueng"));
    EXPECT_EQ(getU32Le(out, 69), 229u);
    EXPECT_EQ(getU32Le(out, 73), quint32(229 + deu.size()));
    EXPECT_EQ(getU32Le(out, 149), quint32(deu.size()));
    EXPECT_EQ(getU32Le(out, 153), quint32(eng.size()));
    EXPECT_EQ(getU32Le(out, 77), 0u) << "unused entries stay zero";
    EXPECT_EQ(out.mid(229, deu.size()), deu);
    EXPECT_EQ(out.right(eng.size()), eng);
}

TEST_F(GalFirmwareImageTest, LanguageBinaryIsRefusedWithoutFontsOrWithMoreThanItsIndexHolds)
{
    ASSERT_TRUE(put(QStringLiteral("short.bft"), "ABCDEF"));
    OrvoMessageCapture log;
    QByteArray out;
    EXPECT_FALSE(GalFirmwareImage(package()).buildLanguageBinary(out));
    EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("no language font")));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(put(QStringLiteral("f%1.bft").arg(i, 2, 10, QLatin1Char('0')), font("FNT1", "abc", 3)));
    ASSERT_TRUE(GalFirmwareImage(package()).buildLanguageBinary(out));
    EXPECT_EQ(quint8(out[8]), 20);
    EXPECT_EQ(getU32Le(out, 149 + 4 * 19), 10u);
    ASSERT_TRUE(put(QStringLiteral("f20.bft"), font("FNT1", "abc", 3)));
    EXPECT_FALSE(GalFirmwareImage(package()).buildLanguageBinary(out));
    EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("more than 20 language fonts")));
}

TEST_F(GalFirmwareImageTest, VerifiedWriteAnswersOnlyForAFileThatReadsBack)
{
    const QString path = m_dir.filePath(QStringLiteral("IMG.bin"));
    EXPECT_TRUE(GalVerifiedWrite::write(path, "image", true));
    EXPECT_EQ(OrvoTest::readFile(path), QByteArray("image"));
    EXPECT_FALSE(GalVerifiedWrite::write(m_dir.filePath(QStringLiteral("none/IMG.bin")), "image", true));
    EXPECT_FALSE(GalVerifiedWrite::copy(m_dir.filePath(QStringLiteral("missing")), path));
    EXPECT_EQ(OrvoTest::readFile(path), QByteArray("image")) << "a failed copy leaves the target";
}

} // namespace
