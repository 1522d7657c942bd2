#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFDistHeader.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"

#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

#include <QPointer>

namespace {

using FixtureBytes::hex;
using PsfImage14Builder::Model;

struct LayoutRecordCase
{
    const char *name;
    Model model;
    // The words layoutRecord() writes, in record order, as the device's bytes.
    const char *poiFree;
    const char *poiEnd;
    const char *workoutFree;
    const char *workoutStartAndEnd;
    const char *routeFree;
    const char *routeEnd;
    const char *intervalFree;
    const char *intervalEnd;
    const char *trackFree;
    const char *trackEnd;
};

void PrintTo(const LayoutRecordCase &c, std::ostream *os)
{
    *os << c.name;
}

const LayoutRecordCase kLayoutRecordCases[] = {
    {"Kavel35", Model::Kavel35, "900B", "70610000", "68120000", "106D0000 106D0000", "CC810000", "00800000", "00200000",
     "00100200", "DCDF0700", "24A00200"},
    {"Pulmor30", Model::Pulmor30, "900B", "70610000", "84210000", "106D0000 106D0000", "30810000", "AC8E0000",
     "00200000", "00D00200", "E85F0400", "18600300"},
};

class OrvoPSFLayoutRecordTest : public ::testing::TestWithParam<LayoutRecordCase>
{};

// Every other byte of the record keeps what it held.
QByteArray expectedRecord(const LayoutRecordCase &c)
{
    QByteArray record(212, '\x5A');
    const std::pair<qsizetype, const char *> words[] = {
        {66, c.poiFree},  {72, c.poiEnd},        {76, c.workoutFree},  {80, c.workoutStartAndEnd}, {88, c.routeFree},
        {96, c.routeEnd}, {112, c.intervalFree}, {120, c.intervalEnd}, {136, c.trackFree},         {144, c.trackEnd},
    };
    for (const auto &[offset, bytes] : words) {
        const QByteArray value = hex(bytes);
        record.replace(offset, value.size(), value);
    }
    return record;
}

TEST_P(OrvoPSFLayoutRecordTest, EmptiesTheAreasTheWritePassRewrites)
{
    const LayoutRecordCase &c = GetParam();
    QByteArray record(212, '\x5A');
    OrvoPSF psf(QByteArray(), &record);
    psf.init(PsfImage14Builder::layout(c.model));
    ASSERT_TRUE(psf.layoutRecord(record));
    EXPECT_EQ(record.toHex().toStdString(), expectedRecord(c).toHex().toStdString());
}

// The pass starts from the reset areas and leaves each at the end of what it wrote, which for
// the sample is what the builder's own record of the same content says.
TEST_P(OrvoPSFLayoutRecordTest, UpdateLeavesEachAreaAtTheEndOfWhatItWrote)
{
    const LayoutRecordCase &c = GetParam();
    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(c.model);
    const PsfImage14Builder::Content content = PsfImage14Builder::sampleContent();
    QByteArray image = PsfImage14Builder::psfImage(layout, content);
    QByteArray record(212, '\x5A');
    const std::unique_ptr<OrvoPSF> psf = OrvoPSF::parse(image, &record, layout, "1.4.x.x");
    ASSERT_TRUE(psf);
    EXPECT_TRUE(psf->update(image));

    const QByteArray built = PsfImage14Builder::headerRecord(layout, content);
    QByteArray expected(212, '\x5A');
    const std::pair<qsizetype, qsizetype> words[] = {{66, 2}, {72, 4},  {76, 4},  {80, 4},  {84, 4}, {88, 4},
                                                     {96, 4}, {112, 4}, {120, 4}, {136, 4}, {144, 4}};
    for (const auto &[offset, size] : words)
        expected.replace(offset, size, built.mid(offset, size));
    EXPECT_EQ(record.toHex().toStdString(), expected.toHex().toStdString());
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OrvoPSFLayoutRecordTest, ::testing::ValuesIn(kLayoutRecordCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(OrvoPSFContainerTest, LayoutRecordRefusesARecordTooShortForItsWords)
{
    OrvoMessageCapture capture;
    OrvoPSF psf(QByteArray(), nullptr);
    psf.init(PsfImage14Builder::layout(Model::Kavel35));
    QByteArray record(147, '\x5A');
    EXPECT_FALSE(psf.layoutRecord(record));
    EXPECT_EQ(record, QByteArray(147, '\x5A'));
    EXPECT_TRUE(capture.contains(QtWarningMsg, "header record of 147 bytes"));
}

TEST(OrvoPSFContainerTest, InitKeepsOnlyTheWordsTheContainerUses)
{
    OrvoPSF::Layout words{};
    for (int k = 0; k < OrvoPSF::kLayoutWords; ++k)
        words[size_t(k)] = 1000 + k;
    OrvoPSF psf(QByteArray(), nullptr);
    psf.init(words);
    const int notKept[] = {27, 29, 34, 35, 36, 37, 43, 44, 45};
    for (int k = 0; k < OrvoPSF::kLayoutWords; ++k) {
        const bool kept = std::find(std::begin(notKept), std::end(notKept), k) == std::end(notKept);
        EXPECT_EQ(psf.layoutWord(k), kept ? 1000 + k : 0) << k;
    }
    EXPECT_EQ(psf.layoutWord(-1), 0);
    EXPECT_EQ(psf.layoutWord(46), 0);
}

TEST(OrvoPSFContainerTest, SettersReplaceAndDestroyTheObjectHeldSoFar)
{
    OrvoPSF psf(QByteArray(), nullptr);
    QPointer<OrvoPSFDistHeader> header = psf.distHeader();
    ASSERT_TRUE(header);
    psf.setDistHeader(header);
    EXPECT_TRUE(header);
    EXPECT_EQ(psf.distHeader(), header);

    QPointer<OrvoPSFTrackFrame> first = new OrvoPSFTrackFrame(QByteArrayView());
    psf.setTrackFrame(first);
    psf.setTrackFrame(first);
    EXPECT_TRUE(first);
    QPointer<OrvoPSFTrackFrame> second = new OrvoPSFTrackFrame(QByteArrayView());
    psf.setTrackFrame(second);
    EXPECT_FALSE(first);
    EXPECT_EQ(psf.trackFrame(), second);

    // A frame destroyed elsewhere reads as none.
    delete second;
    EXPECT_EQ(psf.trackFrame(), nullptr);
}

TEST(OrvoPSFContainerTest, DestroyingTheContainerDestroysEveryHeldObject)
{
    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(Model::Kavel35);
    QByteArray record(212, '\0');
    std::unique_ptr<OrvoPSF> psf = OrvoPSF::parse(
        PsfImage14Builder::psfImage(layout, PsfImage14Builder::sampleContent()), &record, layout, "1.4.x.x");
    ASSERT_TRUE(psf);
    const QList<QPointer<QObject>> held = {psf->distHeader(),     psf->poiFrame(),       psf->routeFrame(),
                                           psf->trackFrame(),     psf->sensorLogFrame(), psf->workoutFrame(),
                                           psf->workoutLogFrame()};
    psf.reset();
    for (const QPointer<QObject> &object : held)
        EXPECT_FALSE(object);
}

TEST(OrvoPSFContainerTest, FlagsKeepTheirLowEightBits)
{
    OrvoPSF psf(QByteArray(), nullptr);
    EXPECT_EQ(psf.flag(), 0);
    EXPECT_EQ(psf.flag2(), 0);
    psf.setFlag(true);
    psf.setFlag2(0x1FF);
    EXPECT_EQ(psf.flag(), 1);
    EXPECT_EQ(psf.flag2(), 0xFF);
}

TEST(OrvoPSFContainerTest, UserValuesStartAtTheDefaultsTheExportWritesUntilTheDeviceSetsThem)
{
    OrvoPSF psf(QByteArray(), nullptr);
    EXPECT_FLOAT_EQ(psf.userHeight(), 180.0f);
    EXPECT_FLOAT_EQ(psf.userWeight(), 65.0f);
    EXPECT_EQ(psf.userMaxHeartRate(), 190);
    EXPECT_EQ(psf.userMlss(), 0);
    EXPECT_EQ(psf.userGender(), 1);
    EXPECT_EQ(psf.userAge(), 0);
}

TEST(OrvoPSFContainerTest, SerializeEmitsTheFileHeaderAreaAndTheSerializingParts)
{
    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(Model::Kavel35);
    const PsfImage14Builder::Content content = PsfImage14Builder::sampleContent();
    QByteArray record(212, '\0');
    const std::unique_ptr<OrvoPSF> psf =
        OrvoPSF::parse(PsfImage14Builder::psfImage(layout, content), &record, layout, "1.4.x.x");
    ASSERT_TRUE(psf);
    const QByteArray bytes = psf->serialize();

    QByteArray expected(48, '\xFF');
    expected += hex("01040100 CDAB0000") + QByteArray(44, '\xFF');
    expected += hex("03000000 1C000000") + QByteArray(20, '\xFF');
    for (const PsfImage14Builder::Poi &poi : content.pois)
        expected += PsfImage14Builder::poiRecord(poi);
    expected += hex("88000000 88900000 0400") + QByteArray(14, '\xFF');
    ASSERT_EQ(bytes.size(), expected.size() + 4 * 156);
    EXPECT_EQ(bytes.left(expected.size()), expected);
    // The first ride, as stored: its first track is at the start of the track area.
    EXPECT_EQ(bytes.mid(expected.size(), 156), PsfImage14Builder::routeRecord(content.routes.at(0), 0));
}

TEST(OrvoPSFContainerTest, ImportXmlAnswersFalseForAFileThatCannotBeRead)
{
    OrvoMessageCapture capture;
    OrvoPSF psf(QByteArray(), nullptr);
    OrvoTest::OutputDir dir;
    EXPECT_FALSE(psf.importXml(dir.filePath("missing.wrk")));
    ASSERT_TRUE(OrvoTest::writeFile(dir.filePath("broken.wrk"), "<trncrs><workout>"));
    EXPECT_FALSE(psf.importXml(dir.filePath("broken.wrk")));
    EXPECT_TRUE(capture.contains(QtWarningMsg, "cannot read the workout file"));
}

} // namespace
