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

QByteArray sectorWithRecordAt(qsizetype offset, quint16 mhr)
{
    QByteArray sector = erasedSector();
    putBytes(sector, offset, userRecord({.sex = 1, .age = 30, .mhr = mhr}));
    return sector;
}

QByteArray sectorWithList(quint16 mhr)
{
    QByteArray sector = erasedSector();
    putU32Le(sector, 520, 16);
    putU16Le(sector, 524, 1);
    putBytes(sector, 528, listEntry(11, 3, QByteArray(1, char(mhr)) + hex("00 00 00")));
    return sector;
}

} // namespace

TEST(OrvoProfileData, FormatTypeChoosesWhereTheProfileIsRead)
{
    OrvoTest::OutputDir out;
    const QString xmlPath = out.filePath(QStringLiteral("profile.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(xmlPath, "<settings><property name=\"User MHR\" value=\"100\"/></settings>"));

    struct Case
    {
        int formatType;
        QByteArray raw;
        const char *mhr;
    };
    const std::vector<Case> cases = {
        {0, xmlPath.toUtf8(), "100"},
        {1, sectorWithRecordAt(587, 101), "101"},
        {2, sectorWithRecordAt(327, 102), "102"},
        {3, sectorWithRecordAt(331, 103), "103"},
        {4, sectorWithList(104), "104"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.formatType);
        OrvoProfileData profile(c.raw, c.formatType);
        EXPECT_TRUE(profile.parse());
        EXPECT_EQ(profile.value(QStringLiteral("User MHR")), QLatin1String(c.mhr));
    }
}

TEST(OrvoProfileData, UnknownFormatTypeChangesNothing)
{
    for (int formatType : {-1, 5}) {
        SCOPED_TRACE(formatType);
        const QByteArray raw = sectorWithRecordAt(587, 190);
        OrvoProfileData profile(raw, formatType);
        profile.setValues({{"User MHR", "1"}});
        EXPECT_FALSE(profile.parse());
        EXPECT_FALSE(profile.serialize());
        EXPECT_EQ(profile.rawData(), raw);
        EXPECT_EQ(profile.values(), (OrvoProfileMap{{"User MHR", "1"}}));
    }
}

TEST(OrvoProfileData, AbsentValueIsNullAndLeavesTheMapAlone)
{
    OrvoProfileData profile(erasedSector(), OrvoProfileData::PsfObsolete);
    profile.setValues({{"User MHR", "190"}});
    EXPECT_TRUE(profile.value(QStringLiteral("User MLSS")).isNull());
    EXPECT_EQ(profile.values(), (OrvoProfileMap{{"User MHR", "190"}}));
}

TEST(OrvoProfileData, SerializePatchesItsOwnCopyOfTheSector)
{
    const QByteArray callers = erasedSector();
    OrvoProfileData profile(callers, OrvoProfileData::PsfObsolete);
    profile.setValues({{"User MHR", "190"}});
    ASSERT_TRUE(profile.serialize());
    EXPECT_EQ(callers, erasedSector());
    EXPECT_EQ(profile.rawData().mid(587 + 20, 2), hex("BE 00"));
}

TEST(OrvoProfileData, ParsingAgainKeepsKeysTheFormatDoesNotKnow)
{
    OrvoProfileData profile(sectorWithRecordAt(587, 190), OrvoProfileData::PsfObsolete);
    ASSERT_TRUE(profile.parse());
    OrvoProfileMap changed = profile.values();
    changed.insert(QStringLiteral("User MHR"), QStringLiteral("1"));
    changed.insert(QStringLiteral("User MLSS"), QStringLiteral("5"));
    profile.setValues(changed);
    ASSERT_TRUE(profile.parse());
    EXPECT_EQ(profile.value(QStringLiteral("User MHR")), QStringLiteral("190")) << "stored value read again";
    EXPECT_EQ(profile.value(QStringLiteral("User MLSS")), QStringLiteral("5"));
}

TEST(OrvoProfileData, ZoneSyncOnAnEmptyMapMakesAllHighKeys)
{
    OrvoProfileData profile(QByteArray(), OrvoProfileData::XmlFile);
    profile.syncZoneBoundaries();
    const OrvoProfileMap map = profile.values();
    EXPECT_EQ(map.size(), 28);
    for (const char *family : {"LTHR", "MHR", "MAP", "FTP"}) {
        for (int zone = 1; zone <= 7; ++zone) {
            const QString key = QStringLiteral("User %1.zone%2.high").arg(QLatin1String(family)).arg(zone);
            SCOPED_TRACE(key.toStdString());
            ASSERT_TRUE(map.contains(key));
            EXPECT_EQ(map.value(key), zone == 7 ? QStringLiteral("-1") : QString());
        }
    }
}

TEST(OrvoProfileData, ZoneSyncTakesEachHighBoundFromTheNextLowBound)
{
    OrvoProfileData profile(QByteArray(), OrvoProfileData::XmlFile);
    profile.setValues({{"User FTP.zone1.high", "140"},
                       {"User FTP.zone2.low", "150"},
                       {"User FTP.zone7.low", "300"},
                       {"User FTP.zone7.high", "400"},
                       {"User MHR.zone3.high", "170"},
                       {"User MHR.zone6.high", "190"},
                       {"User MHR.zone7.low", "185"}});
    profile.syncZoneBoundaries();
    EXPECT_EQ(profile.value(QStringLiteral("User FTP.zone1.high")), QStringLiteral("150"));
    EXPECT_EQ(profile.value(QStringLiteral("User FTP.zone2.low")), QStringLiteral("150"));
    EXPECT_EQ(profile.value(QStringLiteral("User FTP.zone6.high")), QStringLiteral("300"));
    EXPECT_EQ(profile.value(QStringLiteral("User FTP.zone7.high")), QStringLiteral("-1"));
    EXPECT_EQ(profile.value(QStringLiteral("User MHR.zone3.high")), QString()) << "zone 4 has no low bound";
    EXPECT_EQ(profile.value(QStringLiteral("User MHR.zone6.high")), QStringLiteral("185"));
    EXPECT_EQ(profile.value(QStringLiteral("User MHR.zone7.low")), QStringLiteral("185")) << "low bounds stay";
    EXPECT_EQ(profile.values().size(), 28 + 3);
}
