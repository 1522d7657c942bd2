#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFPOIFrame.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

using namespace Kavel35;

// Write actions on images whose header record or counts are damaged: each action refuses
// before any erase and leaves the flash as it was, or succeeds and a fresh read of the device
// gives what the program holds.
namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr quint8 kEraseArea = 14;
constexpr qsizetype kCurrentRecord = 256;
constexpr qsizetype kRegionTable = 76;
constexpr qsizetype kHeaderArea = 0x6000;

const PsfImage14Builder::Layout &layout()
{
    static const PsfImage14Builder::Layout words = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    return words;
}

// Where a section of the PSF image lies in the flash.
qsizetype flashOffset(qsizetype section)
{
    return layout()[42] + section;
}

void setRegion(QByteArray &flash, int r, quint32 free, quint32 start)
{
    const qsizetype at = kCurrentRecord + kRegionTable + (r - 2) * 12;
    FixtureBytes::putU32Le(flash, at, free);
    FixtureBytes::putU32Le(flash, at + 4, start);
    FixtureBytes::putU32Le(flash, at + 8, start);
}

struct Damage
{
    const char *name;
    std::function<void(QByteArray &)> apply;
};

const std::vector<Damage> kDamages = {
    {"an empty region whose start points into the route area",
     [](QByteArray &flash) { setRegion(flash, 6, quint32(layout()[23]), quint32(layout()[11])); }},
    {"an empty region whose start lies past the flash",
     [](QByteArray &flash) { setRegion(flash, 8, quint32(layout()[33]), 0xFFFFFF00); }},
    {"an empty region whose start makes its end wrap",
     [](QByteArray &flash) { setRegion(flash, 4, quint32(layout()[16]), 0xFFFFFFF0); }},
    {"free counts beyond every region",
     [](QByteArray &flash) {
         for (int r = 2; r <= 8; ++r)
             setRegion(flash, r, 0xFFFFFFFF, quint32(layout()[11]));
     }},
    {"a POI count beyond its area",
     [](QByteArray &flash) {
         FixtureBytes::putU32Le(flash, flashOffset(PsfImage14Builder::positions(layout()).poiSection), 0xFFFFFFFF);
     }},
    {"a route count beyond its area",
     [](QByteArray &flash) {
         FixtureBytes::putU16Le(flash, flashOffset(PsfImage14Builder::positions(layout()).routeSection) + 8, 0xFFFF);
     }},
    {"a workout count beyond its area",
     [](QByteArray &flash) {
         FixtureBytes::putU16Le(flash, flashOffset(PsfImage14Builder::positions(layout()).workoutSection) + 8, 0xFFFF);
     }},
    {"a current record of noise",
     [](QByteArray &flash) {
         for (qsizetype i = 2; i < 212; ++i)
             flash[kCurrentRecord + i] = char(0xA5 ^ i);
     }},
    {"a journal without a free step",
     [](QByteArray &flash) {
         for (qsizetype step = 0; step < kHeaderArea; step += 256)
             FixtureBytes::putU16Le(flash, step, 0xAA55);
     }},
};

QByteArray shareRoute()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
           "<metadata><name>Shared climb</name><extensions><sharetype>1</sharetype></extensions></metadata>\n"
           "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
           "<trk><trkseg><trkpt lat=\"35.000000\" lon=\"139.000000\"/>"
           "<trkpt lat=\"35.010000\" lon=\"139.000000\"/></trkseg></trk>\n</gpx>\n";
}

struct WriteAction
{
    const char *name;
    std::function<bool(OrvoKavel30 &, const QString &share)> run;
};

const std::vector<WriteAction> kWriteActions = {
    {"profile write",
     [](OrvoKavel30 &c, const QString &) {
         return c.saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}) && c._finalize();
     }},
    {"deletions",
     [](OrvoKavel30 &c, const QString &) { return c.deletePOIs({0}) && c.deleteRoutes({0}) && c._finalize(); }},
    {"share import", [](OrvoKavel30 &c, const QString &share) { return c.setShareData(share) && c._finalize(); }},
    {"delete all", [](OrvoKavel30 &c, const QString &) { return c.deleteAll(); }},
};

QStringList names(const QVector<OrvoClientData> &items)
{
    QStringList texts;
    for (const OrvoClientData &item : items)
        texts << item.name;
    return texts;
}

// What the client holds: its lists and its POI count.
QStringList held(OrvoKavel30 &client)
{
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    client.getRoutes(routes);
    client.getTracks(rides);
    client.getWorkouts(workouts);
    const OrvoPSFPOIFrame *pois = client.container() ? client.container()->poiFrame() : nullptr;
    return {names(routes).join(QLatin1Char('|')), names(rides).join(QLatin1Char('|')),
            names(workouts).join(QLatin1Char('|')), QString::number(pois ? pois->pois().size() : -1)};
}

class OrvoKavel30DamagedImageTest : public ::testing::TestWithParam<Damage>
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_dir;
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

TEST_P(OrvoKavel30DamagedImageTest, AWriteRefusesBeforeTheEraseOrReadsBackAsTheProgramHoldsIt)
{
    const QString share = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(share, FixtureZip::storedArchive({{"a.krm", shareRoute()}})));
    QByteArray flash =
        PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), kUser);
    GetParam().apply(flash);
    for (const WriteAction &action : kWriteActions) {
        SCOPED_TRACE(action.name);
        auto device = makeDevice(flash);
        auto client = makeClient(device);
        if (!action.run(*client, share)) {
            EXPECT_TRUE(commands(*device, kWrite, kEraseArea).isEmpty()) << "refused after the erase";
            EXPECT_EQ(device->memory(kFlash), flash);
            continue;
        }
        const QStringList programs = held(*client);
        auto reread = makeClient(device);
        EXPECT_EQ(held(*reread), programs);
    }
}

INSTANTIATE_TEST_SUITE_P(Damages, OrvoKavel30DamagedImageTest, ::testing::ValuesIn(kDamages), [](const auto &i) {
    std::string name;
    for (const char *c = i.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});
