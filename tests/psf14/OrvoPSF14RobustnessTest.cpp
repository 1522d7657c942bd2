#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFPOIHeader.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRouteHeader.h"
#include "psf14/OrvoPSFSensorLog.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLog.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"

#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using PsfImage14Builder::Model;

// What a parse loaded from the linked areas, and how many bytes those records cover.
struct Loaded
{
    qsizetype tracks = 0;
    qsizetype trackBytes = 0;
    qsizetype sensorLogs = 0;
    qsizetype sensorLogBytes = 0;
    qsizetype intervals = 0;
    qsizetype workoutLogBytes = 0;
};

Loaded loaded(const OrvoPSF &psf)
{
    Loaded sum;
    if (psf.routeFrame()) {
        for (const OrvoPSFRoute *route : psf.routeFrame()->routes()) {
            for (const OrvoPSFTrack *track : route->tracks()) {
                ++sum.tracks;
                sum.trackBytes += track->loadedSize();
                for (const OrvoPSFSensorLog *log : track->sensorLogs()) {
                    ++sum.sensorLogs;
                    sum.sensorLogBytes += log->loadedSize();
                }
            }
        }
    }
    if (psf.workoutFrame()) {
        for (const OrvoPSFWorkout *workout : psf.workoutFrame()->workouts()) {
            sum.intervals += workout->intervals().size();
            for (const OrvoPSFWorkoutLog *log : workout->workoutLogs())
                sum.workoutLogBytes += log->loadedSize();
        }
    }
    return sum;
}

// No parse loads more records than the areas they come from can hold.
void expectBoundedByTheAreas(const OrvoPSF &psf)
{
    const Loaded sum = loaded(psf);
    EXPECT_LE(sum.trackBytes, psf.trackFrame()->dataArea().bytes().size());
    EXPECT_LE(sum.sensorLogBytes, psf.sensorLogFrame()->dataArea().bytes().size());
    EXPECT_LE(sum.intervals * 20, psf.workoutFrame()->intervalArea().bytes().size());
    EXPECT_LE(sum.workoutLogBytes, psf.workoutLogFrame()->dataArea().bytes().size());
}

std::unique_ptr<OrvoPSF> parse(const QByteArray &image,
                               const PsfImage14Builder::Layout &layout = PsfImage14Builder::layout(Model::Kavel35))
{
    static QByteArray record(212, '\0');
    return OrvoPSF::parse(image, &record, layout, "1.4.x.x");
}

QByteArray sampleImage(const PsfImage14Builder::Layout &layout = PsfImage14Builder::layout(Model::Kavel35))
{
    return PsfImage14Builder::psfImage(layout, PsfImage14Builder::sampleContent());
}

// The sample's sections packed into the last 6 KiB of the flash: counts and links that run
// wild find few bytes to load, so that many mutants parse quickly.
PsfImage14Builder::Layout compactLayout()
{
    const qint32 base = 0x100000 - 0x1800;
    PsfImage14Builder::Layout words{};
    const std::pair<int, qint32> offsets[] = {
        {2, 0x100},  {3, 0x11C},   {6, 0x400},   {7, 0x410},   {17, 0x600},  {10, 0x800},  {11, 0x818},
        {14, 0xB00}, {20, 0x1000}, {21, 0x1010}, {24, 0x1200}, {25, 0x1224}, {30, 0x1400}, {31, 0x1418},
    };
    for (const auto &[k, offset] : offsets)
        words[size_t(k)] = base + offset;
    // The capacities of the POI, workout and route areas: up to the next section.
    words[5] = 0x400 - 0x11C;
    words[9] = 0x600 - 0x410;
    words[13] = 0xB00 - 0x818;
    words[42] = base;
    return words;
}

struct LayoutCase
{
    const char *name;
    PsfImage14Builder::Layout layout;
    int mutants;
    // Every step-th length is cut besides the section boundaries.
    qsizetype truncationStep;
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

const LayoutCase kLayoutCases[] = {
    {"Kavel35", PsfImage14Builder::layout(Model::Kavel35), 60, 0},
    {"Pulmor30", PsfImage14Builder::layout(Model::Pulmor30), 60, 0},
    {"Compact", compactLayout(), 400, 3},
};

// Byte ranges of the sample image that hold headers and records, where a changed byte changes
// what the parser follows.
QVector<std::pair<qsizetype, qsizetype>> liveRanges(const PsfImage14Builder::Layout &layout)
{
    const PsfImage14Builder::Positions at = PsfImage14Builder::positions(layout);
    return {
        {48, 132},
        {at.poiSection, 28 + 3 * 148},
        {at.routeSection, 24},
        {at.routeSection + at.routeData, 4 * 156},
        {at.routeSection + at.lapTable, 4 * 32},
        {at.workoutSection, 10},
        {at.workoutSection + at.workoutData, 2 * 152},
        {at.workoutSection + at.intervalArea, 5 * 20},
        {at.workoutLogSection, at.workoutLogData + 40},
        {at.trackSection, at.trackData + 4 * 40 + 12 * 6},
        {at.sensorLogSection, at.sensorLogData + 3 * 16 + 9 + 18 + 4},
    };
}

class OrvoPSF14MutationTest : public ::testing::TestWithParam<LayoutCase>
{};

TEST_P(OrvoPSF14MutationTest, MutatedImagesStayInsideTheImageAndTheirAreas)
{
    const QByteArray original = sampleImage(GetParam().layout);
    const auto ranges = liveRanges(GetParam().layout);
    std::mt19937 random(20240611u + quint32(GetParam().mutants));
    const quint32 words[] = {0, 1, 0x28, 0xFFFE, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFE, 0xCDCDCDCD, 0xFFFFFFFF};
    OrvoMessageCapture capture;
    for (int n = 0; n < GetParam().mutants; ++n) {
        SCOPED_TRACE(n);
        QByteArray image = original;
        const int changes = 1 + int(random() % 4);
        for (int c = 0; c < changes; ++c) {
            const auto &[start, length] = ranges.at(random() % ranges.size());
            const qsizetype at = start + qsizetype(random() % quint32(length));
            if (random() % 2)
                image[at] = char(random());
            else
                FixtureBytes::putU32Le(image, std::min(at, image.size() - 4), words[random() % std::size(words)]);
        }
        const std::unique_ptr<OrvoPSF> psf = parse(image, GetParam().layout);
        ASSERT_TRUE(psf);
        expectBoundedByTheAreas(*psf);
        psf->serialize();
    }
}

TEST_P(OrvoPSF14MutationTest, TruncatedImagesParseWhatLiesInsideThem)
{
    const QByteArray original = sampleImage(GetParam().layout);
    QVector<qsizetype> lengths = {0, 1, 47, 48, 59, 60, 100, 179, 180, 181};
    for (const auto &[start, length] : liveRanges(GetParam().layout)) {
        for (qsizetype cut : {start - 1, start, start + 1, start + 4, start + length / 2, start + length - 1})
            lengths << cut;
    }
    for (qsizetype length = 0; GetParam().truncationStep > 0 && length < original.size();
         length += GetParam().truncationStep)
        lengths << length;
    OrvoMessageCapture capture;
    for (const qsizetype length : lengths) {
        SCOPED_TRACE(length);
        // A copy of exactly this length, so that a read past it is a read past the allocation.
        const QByteArray image(original.constData(), length);
        const std::unique_ptr<OrvoPSF> psf = parse(image, GetParam().layout);
        ASSERT_TRUE(psf);
        expectBoundedByTheAreas(*psf);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, OrvoPSF14MutationTest, ::testing::ValuesIn(kLayoutCases),
                         [](const auto &i) { return std::string(i.param.name); });

class OrvoPSF14DamageTest : public ::testing::Test
{
protected:
    OrvoPSF14DamageTest()
        : m_at(PsfImage14Builder::positions(PsfImage14Builder::layout(Model::Kavel35)))
        , m_image(sampleImage())
    {}

    qsizetype trackArea() const { return m_at.trackSection + m_at.trackData; }
    qsizetype routeRecord(int i) const { return m_at.routeSection + m_at.routeData + i * 156; }
    qsizetype intervalArea() const { return m_at.workoutSection + m_at.intervalArea; }

    PsfImage14Builder::Positions m_at;
    QByteArray m_image;
    OrvoMessageCapture m_capture;
};

TEST_F(OrvoPSF14DamageTest, ASectionOutsideTheImageIsEmpty)
{
    FixtureBytes::putU32Le(m_image, 60 + 20 * 1, quint32(m_image.size()));
    FixtureBytes::putU32Le(m_image, 60 + 20 * 0, 0xFFFFFFFF);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    EXPECT_TRUE(psf->routeFrame()->routes().isEmpty());
    EXPECT_FALSE(psf->routeFrame()->header());
    EXPECT_TRUE(psf->poiFrame()->pois().isEmpty());
    EXPECT_EQ(psf->workoutFrame()->workouts().size(), 2);
    EXPECT_TRUE(m_capture.contains(QtWarningMsg, "lies outside the image"));
    EXPECT_TRUE(m_capture.contains(QtWarningMsg, "no Route header"));
}

TEST_F(OrvoPSF14DamageTest, CountsAreCutToWhatTheirAreasHold)
{
    // Damaged counts that the image's end would allow thousands of records for (a POI count
    // claiming the whole image, 0xFFFE routes, 254 workouts): the area table's capacities hold
    // 0xB90 / 148 = 20 POIs, 0x81CC / 156 = 213 routes and 0x1268 / 152 = 31 workouts.
    FixtureBytes::putU32Le(m_image, m_at.poiSection, 0x7FFFFFFF);
    FixtureBytes::putU16Le(m_image, m_at.routeSection + 8, 0xFFFE);
    FixtureBytes::putU16Le(m_image, m_at.workoutSection + 8, 0x00FE);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    EXPECT_EQ(psf->poiFrame()->pois().size(), 20);
    EXPECT_EQ(psf->poiFrame()->header()->poiCount(), 20u);
    EXPECT_EQ(psf->routeFrame()->routes().size(), 213);
    EXPECT_EQ(psf->routeFrame()->header()->routeCount(), 213);
    EXPECT_EQ(psf->workoutFrame()->workouts().size(), 31);
    EXPECT_EQ(psf->workoutFrame()->workoutCount(), 31);
    expectBoundedByTheAreas(*psf);
    EXPECT_EQ(m_capture.count(QtWarningMsg, "fit their area"), 3);
}

TEST_F(OrvoPSF14DamageTest, CountsAreCutToTheRecordsInsideTheImage)
{
    // A device layout whose areas would hold more than the image has room for: the image's end
    // is the limit.
    PsfImage14Builder::Layout roomy = PsfImage14Builder::layout(Model::Kavel35);
    roomy[5] = 0x7FFFFFFF;
    FixtureBytes::putU32Le(m_image, m_at.poiSection, 0x7FFFFFFF);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image, roomy);
    ASSERT_TRUE(psf);
    const qsizetype poiRoom = (m_image.size() - m_at.poiSection - m_at.poiData) / 148;
    EXPECT_EQ(psf->poiFrame()->pois().size(), poiRoom);
    EXPECT_EQ(psf->poiFrame()->header()->poiCount(), quint32(poiRoom));
    EXPECT_TRUE(m_capture.contains(QtWarningMsg, "lie inside the image"));
}

TEST_F(OrvoPSF14DamageTest, ATrackChainThatLoopsBackStopsAtTheLoop)
{
    // The morning ride's second track (at 58) links back to its first (at 0).
    FixtureBytes::putU32Le(m_image, trackArea() + 58 + 28, 0);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    EXPECT_EQ(psf->routeFrame()->routes().at(0)->tracks().size(), 2);
    EXPECT_TRUE(m_capture.contains(QtWarningMsg, "chain loops back to offset 0"));
}

TEST_F(OrvoPSF14DamageTest, IntervalAndSensorLogChainsThatLoopStop)
{
    // The first workout's second interval links to itself.
    FixtureBytes::putU32Le(m_image, intervalArea() + 20 + 4, 20);
    // The first sensor log of the morning ride links to itself.
    FixtureBytes::putU32Le(m_image, m_at.sensorLogSection + m_at.sensorLogData + 4, 0);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    EXPECT_EQ(psf->workoutFrame()->workouts().at(0)->intervals().size(), 2);
    EXPECT_EQ(psf->routeFrame()->routes().at(0)->tracks().at(0)->sensorLogs().size(), 1);
}

TEST_F(OrvoPSF14DamageTest, ATrackChainDoesNotEndAt0xCDCDCDCD)
{
    // As a track link 0xCDCDCDCD is an offset like any other, here one outside the area.
    FixtureBytes::putU32Le(m_image, trackArea() + 28, 0xCDCDCDCD);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    EXPECT_EQ(psf->routeFrame()->routes().at(0)->tracks().size(), 1);
    EXPECT_TRUE(m_capture.contains(QtWarningMsg, "link to offset 3452816845"));
}

TEST_F(OrvoPSF14DamageTest, RoutesSharingAHugeTrackNeverLoadMoreThanTheAreaHolds)
{
    // Every route links to the first track, whose point count is the largest that counts.
    FixtureBytes::putU32Le(m_image, trackArea() + 32, 0xFFFD);
    for (int i = 0; i < 4; ++i)
        FixtureBytes::putU32Le(m_image, routeRecord(i) + 136, 0);
    const std::unique_ptr<OrvoPSF> psf = parse(m_image);
    ASSERT_TRUE(psf);
    const auto &routes = psf->routeFrame()->routes();
    ASSERT_EQ(routes.at(0)->tracks().size(), 2);
    EXPECT_EQ(routes.at(0)->tracks().at(0)->trackPoints().size(), 0xFFFD);
    // Each later route loads the same bytes again from what is left of the area, until
    // nothing is left.
    EXPECT_TRUE(routes.at(3)->tracks().isEmpty());
    expectBoundedByTheAreas(*psf);
}

} // namespace
