#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"

#include "FixtureBytes.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "Psf14TestDevice.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

namespace {

using FixtureBytes::getU16Le;
using FixtureBytes::getU32Le;
using PsfImage14Builder::Content;
using PsfImage14Builder::Layout;
using PsfImage14Builder::Model;
using PsfImage14Builder::Point;
using PsfImage14Builder::Route;
using PsfImage14Builder::Track;

constexpr quint32 kNone = 0xFFFFFFFF;

qint64 word(const Layout &layout, int k)
{
    return layout[size_t(k)];
}

// The image position of an area-table address.
qint64 at(const Layout &layout, int k)
{
    return word(layout, k) - word(layout, 42);
}

Track plannedTrack(int points)
{
    Track track;
    track.startLongitude = 8540000;
    track.startLatitude = 47370000;
    for (int i = 0; i < points; ++i)
        track.points.append(Point{qint16(10 * (i + 1)), qint16(-5), 0, 0});
    return track;
}

Route plannedRoute(const char *name, QVector<int> trackPoints)
{
    Route route{0xFFFFFFFF, name, 0x08, 0x01, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF, {}};
    for (int points : trackPoints)
        route.tracks.append(plannedTrack(points));
    return route;
}

// The sample, with the second workout's repeat going back to its own first interval (60 bytes
// into the interval area).
Content repeatingContent()
{
    Content content = PsfImage14Builder::sampleContent();
    content.workouts[1].intervals[1].repeatTarget = 60;
    return content;
}

struct CapacityCase
{
    const char *name;
    int sizeWord;
    qint32 size;
    int pois;
    int routes;
    int workouts;
    // A count beyond its area's capacity is cut when the image is read; the write pass then
    // finds everything fitting. Intervals and track bytes only the write pass can measure.
    bool cutWhenRead;
};

void PrintTo(const CapacityCase &c, std::ostream *os)
{
    *os << c.name;
}

// Each case leaves one area too small for the sample; the records that fit are written and
// the rest is not.
const CapacityCase kCapacityCases[] = {
    {"poiArea", 5, 2 * 148 + 100, 2, 4, 2, true},     {"workoutArea", 9, 152 + 10, 3, 4, 1, true},
    {"routeArea", 13, 2 * 156 + 20, 3, 2, 2, true},   {"intervalArea", 19, 3 * 20 + 10, 3, 4, 1, false},
    {"trackArea", 28, 110 + 64 + 57, 3, 2, 2, false},
};

class OrvoPSF14CapacityTest : public ::testing::TestWithParam<CapacityCase>
{};

TEST_P(OrvoPSF14CapacityTest, InputOverCapacityChangesNoBytePastItsArea)
{
    const CapacityCase &c = GetParam();
    const Layout imageLayout = PsfImage14Builder::layout(Model::Kavel35);
    Layout deviceLayout = imageLayout;
    deviceLayout[size_t(c.sizeWord)] = c.size;
    OrvoMessageCapture capture;
    Psf14TestDevice device(PsfImage14Builder::sampleContent(), imageLayout, deviceLayout);
    PsfImage14Builder::eraseRewrittenAreas(device.image(), deviceLayout);
    // Other data right behind the shrunken area.
    const int startWord = c.sizeWord == 28 ? 25 : c.sizeWord - 2;
    device.image().replace(at(deviceLayout, startWord) + c.size, 64, QByteArray(64, '\x5A'));
    const QByteArray before = device.image();
    EXPECT_EQ(device.psf().update(device.image()), c.cutWhenRead);
    EXPECT_TRUE(capture.contains(QtWarningMsg, c.cutWhenRead ? "fit their area" : "fit the device's areas"));

    // What the pass may write: its five areas and the counts of the three section headers.
    QVector<std::pair<qint64, qint64>> writable = {
        {at(deviceLayout, 10), 10}, {at(deviceLayout, 6), 10}, {at(deviceLayout, 2), 4}};
    for (const auto &[start, size] : {std::pair{3, 5}, {7, 9}, {11, 13}, {17, 19}, {25, 28}})
        writable.append({at(deviceLayout, start), word(deviceLayout, size)});
    QByteArray outside = device.image();
    QByteArray outsideBefore = before;
    for (const auto &[start, size] : writable) {
        outside.replace(start, size, QByteArray(size, '\0'));
        outsideBefore.replace(start, size, QByteArray(size, '\0'));
    }
    EXPECT_TRUE(outside == outsideBefore) << "a byte outside the areas changed";

    const OrvoPSF &written = device.reparse();
    EXPECT_EQ(written.poiFrame()->pois().size(), c.pois);
    EXPECT_EQ(written.routeFrame()->routes().size(), c.routes);
    EXPECT_EQ(written.workoutFrame()->workouts().size(), c.workouts);
}

INSTANTIATE_TEST_SUITE_P(OneAreaTooSmall, OrvoPSF14CapacityTest, ::testing::ValuesIn(kCapacityCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(OrvoPSF14PatchTest, TracksFollowEachOtherAndARouteWithoutTracksLinksToNone)
{
    Content content;
    content.routes = {plannedRoute("two", {2, 1}), plannedRoute("three", {1, 3, 2}), plannedRoute("none", {}),
                      plannedRoute("one", {4})};
    Psf14TestDevice device(content);
    ASSERT_TRUE(device.writeBack());

    const Layout &layout = device.layout();
    const qint64 routes = at(layout, 11);
    const qint64 tracks = at(layout, 25);
    const quint32 firstRouteTracks = (40 + 2 * 6) + (40 + 1 * 6);
    const quint32 secondRouteTracks = (40 + 1 * 6) + (40 + 3 * 6) + (40 + 2 * 6);
    EXPECT_EQ(getU32Le(device.image(), routes + 136), 0u);
    EXPECT_EQ(getU32Le(device.image(), routes + 156 + 136), firstRouteTracks);
    EXPECT_EQ(getU32Le(device.image(), routes + 2 * 156 + 136), kNone);
    EXPECT_EQ(getU32Le(device.image(), routes + 3 * 156 + 136), firstRouteTracks + secondRouteTracks);
    // The first route's second track is its last: its next link is none.
    EXPECT_EQ(getU32Le(device.image(), tracks + 40 + 2 * 6 + 28), kNone);

    const OrvoPSF &psf = device.reparse();
    const QVector<QPointer<OrvoPSFRoute>> &loaded = psf.routeFrame()->routes();
    ASSERT_EQ(loaded.size(), 4);
    EXPECT_EQ(loaded.at(0)->tracks().size(), 2);
    EXPECT_EQ(loaded.at(1)->tracks().size(), 3);
    EXPECT_TRUE(loaded.at(2)->tracks().isEmpty());
    ASSERT_EQ(loaded.at(3)->tracks().size(), 1);
    EXPECT_EQ(loaded.at(3)->tracks().first()->routePoints().size(), 4);
}

TEST(OrvoPSF14PatchTest, RouteNamesFillTheirFieldAndNoMore)
{
    Content content;
    content.routes = {plannedRoute("", {}), plannedRoute("", {}), plannedRoute("", {})};
    Psf14TestDevice device(content);
    const QByteArray names[] = {QByteArray(5, 'a'), QByteArray(128, 'b'), QByteArray(130, 'c')};
    for (int i = 0; i < 3; ++i)
        device.psf().routeFrame()->routes().at(i)->setName(names[i]);
    ASSERT_TRUE(device.writeBack());
    const qint64 routes = at(device.layout(), 11);
    EXPECT_EQ(device.image().mid(routes + 4, 128), QByteArray(5, 'a') + QByteArray(123, '\0'));
    EXPECT_EQ(device.image().mid(routes + 156 + 4, 128), QByteArray(128, 'b'));
    EXPECT_EQ(device.image().mid(routes + 2 * 156 + 4, 128), QByteArray(128, 'c'));
    EXPECT_EQ(quint8(device.image().at(routes + 2 * 156 + 132)), 0x08);
}

TEST(OrvoPSF14PatchTest, WorkoutsKeepTheirLogsAndAWorkoutWithoutIntervalsLinksToNone)
{
    Content content = PsfImage14Builder::sampleContent();
    content.workouts.prepend(
        PsfImage14Builder::Workout{1700200000, "Rest", 9, 0x00, 0x00, 0xFFFFFFFF, {}, 0xFFFFFFFF, {}});
    Psf14TestDevice device(content);
    ASSERT_TRUE(device.writeBack());

    const qint64 workouts = at(device.layout(), 7);
    EXPECT_EQ(getU32Le(device.image(), workouts + 136), kNone);
    EXPECT_EQ(getU32Le(device.image(), workouts + 152 + 136), 0u) << "the next workout's intervals start the area";
    EXPECT_EQ(getU32Le(device.image(), workouts + 2 * 152 + 136), 60u);
    EXPECT_EQ(device.image().mid(workouts + 146, 6), QByteArray(6, '\xFF'));

    const OrvoPSF &psf = device.reparse();
    ASSERT_EQ(psf.workoutFrame()->workouts().size(), 3);
    EXPECT_TRUE(psf.workoutFrame()->workouts().first()->intervals().isEmpty());
    EXPECT_EQ(psf.workoutOfRide(0), psf.workoutFrame()->workouts().at(1).data());
    ASSERT_TRUE(psf.workoutLogOfRide(0));
}

TEST(OrvoPSF14PatchTest, RepeatsFollowTheirIntervalWhenIntervalsMove)
{
    struct Case
    {
        const char *name;
        Content content;
        // Goto word and repeat count of the moved workout's second interval, once the first
        // workout is gone.
        quint32 gotoLink;
        quint8 repeatCount;
        bool repeatsItsOwnFirst;
    };
    const Case cases[] = {
        {"repeatInsideTheWorkout", repeatingContent(), 0, 4, true},
        {"repeatIntoTheRemovedWorkout", PsfImage14Builder::sampleContent(), kNone, 0xFF, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Psf14TestDevice device(c.content);
        ASSERT_TRUE(device.psf().removeWorkouts({0}));
        ASSERT_TRUE(device.writeBack());
        const qint64 second = at(device.layout(), 17) + 20;
        EXPECT_EQ(getU32Le(device.image(), second + 8), c.gotoLink);
        EXPECT_EQ(quint8(device.image().at(second + 12)), c.repeatCount);

        const OrvoPSF &psf = device.reparse();
        ASSERT_EQ(psf.workoutFrame()->workouts().size(), 1);
        const OrvoPSFWorkout &tempo = *psf.workoutFrame()->workouts().first();
        ASSERT_EQ(tempo.intervals().size(), 2);
        const OrvoPSFInterval *target = tempo.intervals().at(1)->repeatTargetInterval();
        EXPECT_EQ(target == tempo.intervals().at(0).data(), c.repeatsItsOwnFirst);
    }
}

TEST(OrvoPSF14PatchTest, AnIntervalWithoutRepeatReadsBackWithoutOneWhateverTheAreaHeld)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent());
    const qint64 intervals = at(device.layout(), 17);
    // Stale bytes where no erase went before the pass.
    device.image().replace(intervals, 100, QByteArray(100, '\0'));
    ASSERT_TRUE(device.psf().update(device.image()));
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const bool repeats = k == 4;
        EXPECT_EQ(getU32Le(device.image(), intervals + 20 * k + 8), repeats ? 0u : kNone);
    }
}

TEST(OrvoPSF14PatchTest, WithoutPoisTheCountIsZeroAndTheAreaStaysEmpty)
{
    Content content = PsfImage14Builder::sampleContent();
    Psf14TestDevice device(content);
    ASSERT_TRUE(device.psf().removePOIs({0, 1, 2}));
    ASSERT_TRUE(device.writeBack());
    const Layout &layout = device.layout();
    EXPECT_EQ(getU32Le(device.image(), at(layout, 2)), 0u);
    EXPECT_EQ(getU16Le(device.record(), 66), quint16(word(layout, 5)));
    EXPECT_EQ(getU32Le(device.record(), 72), quint32(word(layout, 3)));
    EXPECT_TRUE(device.reparse().poiFrame()->pois().isEmpty());
}

TEST(OrvoPSF14PatchTest, WritersWithoutTheirSectionWriteNothing)
{
    OrvoMessageCapture capture;
    QByteArray record(212, '\0');
    OrvoPSF psf(QByteArray(), &record);
    psf.init(PsfImage14Builder::layout(Model::Kavel35));
    QByteArray image(4096, '\x33');
    EXPECT_FALSE(psf.writeRoutes(image));
    EXPECT_FALSE(psf.writeWorkouts(image));
    EXPECT_FALSE(psf.writePOIs(image));
    EXPECT_EQ(image, QByteArray(4096, '\x33'));
    EXPECT_TRUE(capture.contains(QtWarningMsg, "no route section to write into"));
}

} // namespace
