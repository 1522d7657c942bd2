#include "psf15/OrvoPSFRouteFrame_1_5.h"

#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"
#include "psf15/OrvoPSFTrackCursor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Area = OrvoPSFFlashLayout::Area;
using Psf15::Session;

constexpr qsizetype kRouteSection = 0x80000;
constexpr qsizetype kRouteRecords = 0x80018;
constexpr qsizetype kRouteCapacity = 0x82D8;
constexpr qsizetype kLapArea = 0x89000;
// Counters of the first management record: free and end of the routes (the standard image's
// current record is the third, at 512).
constexpr qsizetype kRouteFree = 88;
constexpr qsizetype kRouteEnd = 96;

// The route record that adding a route named "Ride" in English writes, laid out by hand.
const char *const kRideRecord = "FFFFFFFF 00 00 0000" // start time none; planned, text names
                                "FFFFFFFF FFFFFFFF"   // no segment, no summary lap
                                "FFFFFFFF FFFFFFFF"   // no first lap, no user-info log
                                "00 FF 0000"          // no laps, byte 25, no distance
                                "FFFFFFFF 24000000"   // last route; names at 36
                                "00 00 0400 656E6700" // last string, 4 bytes, "eng"
                                "0000 0000 52696465"; // no image size; "Ride"

TEST(OrvoPSFRouteFrame_1_5Test, LoadsRoutesWithNamesAndLaps)
{
    const PsfImage15Builder::Image built = Psf15::standardBuilder().build();
    Session session(built.bytes);
    const auto frame = session.routes();
    ASSERT_EQ(frame->count(), 3);
    ASSERT_EQ(frame->routes().size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frame->routeOffset(*frame->routes()[size_t(i)]), built.routeOffsets[i]);
    EXPECT_EQ(frame->endOffset(), 77 + 57 + 60);

    const OrvoPSFRoute_1_5 &morning = *frame->routes()[0];
    EXPECT_TRUE(morning.isRecorded());
    EXPECT_EQ(morning.name(QString()), QStringLiteral("Morning ride"));
    EXPECT_EQ(morning.name(QStringLiteral("FRA")), QStringLiteral("Matin"));
    EXPECT_EQ(morning.startTime(), 1700000000u);
    EXPECT_EQ(morning.travelDistance(), 2500);
    ASSERT_EQ(morning.laps().size(), 2u);
    EXPECT_EQ(morning.laps()[1]->distance(), 2100u);
    EXPECT_EQ(morning.laps()[0]->averageSpeed().value(), 36.0);
    EXPECT_EQ(morning.laps()[0]->averageHeartRate().value(), 140.0);
    EXPECT_FALSE(morning.laps()[0]->maximumSpeed().isValid());
    EXPECT_EQ(morning.laps()[1]->ridingTime(), 400u);
    ASSERT_NE(morning.summaryLap(), nullptr);
    EXPECT_EQ(morning.summaryLap()->distance(), 3600u);

    const OrvoPSFRoute_1_5 &lake = *frame->routes()[1];
    EXPECT_FALSE(lake.isRecorded());
    EXPECT_EQ(lake.lapCount(), 0) << "a lap count of 0xFF counts as none";
    EXPECT_TRUE(lake.laps().empty());
    EXPECT_EQ(lake.summaryLap(), nullptr);
    EXPECT_EQ(frame->routes()[2]->laps().size(), 1u);
}

TEST(OrvoPSFRouteFrame_1_5Test, AddRouteWritesTheRecordAndLinksThePreviousOne)
{
    Session session(PsfImage15Builder().build().bytes);
    const auto frame = session.routes();
    ASSERT_TRUE(frame->routes().empty());

    const OrvoPSFRoute_1_5 *ride =
        frame->addRoute({QStringLiteral("Ride")}, {QStringLiteral("eng")}, false, session.layout());
    ASSERT_NE(ride, nullptr);
    QByteArray image = session.image();
    EXPECT_EQ(image.mid(kRouteRecords, 53), QByteArray::fromHex(kRideRecord) + '\xFF');
    EXPECT_EQ(Psf15::u16At(image, kRouteSection + 8), 1);
    EXPECT_EQ(Psf15::u32At(image, kRouteFree), quint32(kRouteCapacity - 52));
    EXPECT_EQ(Psf15::u32At(image, kRouteEnd), quint32(kRouteRecords + 52));

    const OrvoPSFRoute_1_5 *lake =
        frame->addRoute({QStringLiteral("Lake"), QStringLiteral("See")}, {QStringLiteral("eng"), QStringLiteral("deu")},
                        false, session.layout());
    ASSERT_NE(lake, nullptr);
    image = session.image();
    EXPECT_EQ(image.mid(kRouteRecords + 28, 4), QByteArray::fromHex("34000000")) << "the first route links the second";
    EXPECT_EQ(Psf15::u32At(image, kRouteRecords + 52 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(image.mid(kRouteRecords + 52 + 36, 31), PsfImage15Builder::nameString({"eng", "Lake"}, true) +
                                                          PsfImage15Builder::nameString({"deu", "See"}, false));
    EXPECT_EQ(Psf15::u16At(image, kRouteSection + 8), 2);
    EXPECT_EQ(Psf15::u32At(image, kRouteFree), quint32(kRouteCapacity - 52 - 67));

    // Another frame over the same image reads both back.
    const auto again = session.routes();
    ASSERT_EQ(again->routes().size(), 2u);
    EXPECT_EQ(again->routes()[1]->name(QStringLiteral("deu")), QStringLiteral("See"));
}

struct RoomCase
{
    const char *name;
    quint32 routeFree;
    bool added;
};

const RoomCase kRoom[] = {
    {"exactlyEnough", 52, true},
    {"oneByteShort", 51, false},
    {"noRoomForTheFixedPart", 20, false},
    {"erasedFreeCount", 0xFFFFFFFF, false},
};

TEST(OrvoPSFRouteFrame_1_5Test, AddRouteChecksTheFreeCountFirst)
{
    for (const RoomCase &c : kRoom) {
        SCOPED_TRACE(c.name);
        QByteArray image = PsfImage15Builder().build().bytes;
        Psf15::putU32(image, kRouteFree, c.routeFree);
        Session session(image);
        const auto frame = session.routes();
        const OrvoPSFRoute_1_5 *ride =
            frame->addRoute({QStringLiteral("Ride")}, {QStringLiteral("eng")}, false, session.layout());
        EXPECT_EQ(ride != nullptr, c.added);
        if (!c.added) {
            EXPECT_EQ(session.image(), image) << "a route that does not fit changes nothing";
            EXPECT_TRUE(frame->routes().empty());
        } else {
            EXPECT_EQ(Psf15::u32At(session.image(), kRouteFree), 0u);
        }
    }
}

TEST(OrvoPSFRouteFrame_1_5Test, AddRouteStaysInsideTheRouteArea)
{
    // A free count that claims more than the area holds does not let a route spill over.
    PsfImage15Builder builder;
    PsfImage15Builder::Route route;
    route.names = {{"eng", QByteArray(kRouteCapacity - 36 - 12 - 20, 'x')}};
    builder.addRoute(route);
    QByteArray image = builder.build().bytes;
    Psf15::putU32(image, kRouteFree, 0x10000);
    Session session(image);
    const auto frame = session.routes();
    ASSERT_EQ(frame->routes().size(), 1u);
    EXPECT_EQ(frame->addRoute({QStringLiteral("Ride")}, {QStringLiteral("eng")}, false, session.layout()), nullptr);
    EXPECT_EQ(session.image(), image);
}

TEST(OrvoPSFRouteFrame_1_5Test, NameChainEndsAtErasedFlashAndAtTheAreaEnd)
{
    // The last route's only name gets a stray has-next bit. After it lies erased flash, or a
    // string header whose length runs past the route area (but not past the image).
    const PsfImage15Builder::Image built = Psf15::standardBuilder().build();
    const qsizetype last = kRouteRecords + built.routeOffsets.last();
    const qsizetype name = last + qFromLittleEndian<quint32>(built.bytes.constData() + last + 32);
    const qsizetype behind = name + 12 + qFromLittleEndian<quint16>(built.bytes.constData() + name + 2);
    struct Case
    {
        const char *name;
        QByteArray behindName;
    };
    const std::vector<Case> cases = {
        {"erasedFlash", {}},
        {"stringPastTheArea", QByteArray::fromHex("0000FFFF656E6700")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray image = built.bytes;
        image[name] = char(image[name] | 0x02);
        image.replace(behind, c.behindName.size(), c.behindName);
        ASSERT_LT(behind + 12 + 0xFFFF, image.size());
        ASSERT_GT(behind + 12 + 0xFFFF, kRouteRecords + kRouteCapacity);
        Session session(image);
        const auto frame = session.routes();
        ASSERT_EQ(frame->routes().size(), size_t(built.routeOffsets.size()));
        const OrvoPSFRoute_1_5 &route = *frame->routes().back();
        EXPECT_EQ(route.names().size(), 1u);
        EXPECT_EQ(route.size(), behind - last);
        EXPECT_NE(frame->addRoute({QStringLiteral("Ride")}, {QStringLiteral("eng")}, false, session.layout()), nullptr);
    }
}

struct ChainCase
{
    const char *name;
    quint16 count;
    // The word at 28 of the second route.
    quint32 secondNext;
    size_t loaded;
};

const ChainCase kChains[] = {
    {"absentCount", 0xFFFF, 0xFFFFFFFF, 0},
    {"zeroCount", 0, 0xFFFFFFFF, 0},
    {"countBelowTheChain", 1, 0xFFFFFFFF, 1},
    {"countBeyondTheChainStopsAtItsEnd", 9, 0xFFFFFFFF, 2},
    {"cycleBackToTheFirst", 9, 0, 2},
    {"nextOutsideTheImage", 9, 0x7FFFFFF0, 2},
    {"nextIntoTheLastBytes", 9, quint32(PsfImage15Builder::kImageSize - kRouteRecords - 10), 2},
};

TEST(OrvoPSFRouteFrame_1_5Test, RouteChainEndsAtCountsCyclesAndBounds)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route route;
    route.names = {{"eng", "One"}};
    builder.addRoute(route);
    route.names = {{"eng", "Two"}};
    builder.addRoute(route);
    const PsfImage15Builder::Image built = builder.build();
    for (const ChainCase &c : kChains) {
        SCOPED_TRACE(c.name);
        QByteArray image = built.bytes;
        Psf15::putU16(image, kRouteSection + 8, c.count);
        Psf15::putU32(image, kRouteRecords + built.routeOffsets[1] + 28, c.secondNext);
        Session session(image);
        EXPECT_EQ(session.routes()->routes().size(), c.loaded);
    }
}

TEST(OrvoPSFRouteFrame_1_5Test, LapsOutsideTheImageAreNotRead)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route route;
    route.recorded = true;
    route.laps = {{1, 2, 3, 0xFF, 0xFF, 0}, {4, 5, 6, 0xFF, 0xFF, 0}};
    builder.addRoute(route);
    QByteArray image = builder.build().bytes;
    // The lap area pointer runs to the last 60 bytes of the image: one lap fits, not two.
    Psf15::putU32(image, kRouteSection + 4, quint32(PsfImage15Builder::kImageSize - 60 - kRouteSection));
    Session session(image);
    const auto frame = session.routes();
    ASSERT_EQ(frame->routes().size(), 1u);
    EXPECT_EQ(frame->routes()[0]->laps().size(), 1u);
}

TEST(OrvoPSFRouteFrame_1_5Test, RemovingRidesKeepsThePlannedRoutesAndErasesTheLaps)
{
    const PsfImage15Builder::Image built = Psf15::standardBuilder().build();
    Session session(built.bytes);
    const auto frame = session.routes();
    ASSERT_TRUE(frame->removeRoutes(true, session.layout()));

    ASSERT_EQ(frame->routes().size(), 1u);
    EXPECT_EQ(frame->routes()[0]->name(QString()), QStringLiteral("Lake loop"));
    const QByteArray image = session.image();
    QByteArray lake = built.bytes.mid(kRouteRecords + 77, 57);
    Psf15::putU32(lake, 28, 0xFFFFFFFF);
    EXPECT_EQ(image.mid(kRouteRecords, 57), lake) << "the planned route, now the last one";
    EXPECT_EQ(image.mid(kRouteRecords + 57, kRouteCapacity - 57), QByteArray(kRouteCapacity - 57, '\xFF'));
    EXPECT_EQ(Psf15::u16At(image, kRouteSection + 8), 1);
    EXPECT_EQ(Psf15::u32At(image, 512 + kRouteFree), quint32(kRouteCapacity - 57));
    EXPECT_EQ(Psf15::u32At(image, 512 + kRouteEnd), quint32(kRouteRecords + 57));
    EXPECT_EQ(image.mid(kLapArea, 0x1C000), QByteArray(0x1C000, '\xFF'));
    EXPECT_EQ(Psf15::u32At(image, 512 + 100), 0x1C000u);
    EXPECT_EQ(Psf15::u32At(image, 512 + 108), quint32(kLapArea));

    ASSERT_TRUE(frame->removeRoutes(false, session.layout()));
    EXPECT_TRUE(frame->routes().empty());
    EXPECT_EQ(Psf15::u16At(session.image(), kRouteSection + 8), 0) << "removing the last route clears the section";
    EXPECT_EQ(session.image().mid(kRouteRecords, 57), QByteArray(57, '\xFF'));
}

TEST(OrvoPSFRouteFrame_1_5Test, RemovalRefusesRecordsAwayFromTheAreaTable)
{
    QByteArray image = Psf15::standardBuilder().build().bytes;
    Psf15::putU32(image, kRouteSection, 0x30);
    Session session(image);
    const auto frame = session.routes();
    EXPECT_FALSE(frame->removeRoutes(false, session.layout()));
    EXPECT_EQ(session.image(), image);
}

TEST(OrvoPSFRouteFrame_1_5Test, RemovingPlannedRoutesKeepsTheRidesWhole)
{
    const PsfImage15Builder::Image built = Psf15::standardBuilder().build();
    const PsfImage15Builder::Areas areas = PsfImage15Builder::areas("1510");
    Session session(built.bytes);
    const auto routes = session.routes();
    const auto tracks = session.tracks();
    const auto workouts = session.workouts();
    const auto workoutLogs = session.logs(OrvoPSFSectionTable_1_5::WorkoutLog);
    workoutLogs->linkWorkoutLogs(*routes, *workouts);
    ASSERT_EQ(routes->routes()[2]->workoutLogs().size(), 1u);

    ASSERT_TRUE(routes->removeRoutes(false, session.layout()));
    ASSERT_TRUE(tracks->rebuild(routes->routes(), session.layout()));
    const QByteArray image = session.image();

    // The rides are packed and chained: the evening ride moved from 134 to 77.
    ASSERT_EQ(routes->routes().size(), 2u);
    EXPECT_EQ(Psf15::u16At(image, kRouteSection + 8), 2);
    EXPECT_EQ(Psf15::u32At(image, kRouteRecords + 28), 77u);
    EXPECT_EQ(Psf15::u32At(image, kRouteRecords + 77 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(routes->routes()[1]->name(QString()), QStringLiteral("Evening ride"));
    EXPECT_EQ(Psf15::u32At(image, 512 + kRouteEnd), quint32(kRouteRecords + 137));
    EXPECT_EQ(Psf15::u32At(image, 512 + kRouteFree), quint32(kRouteCapacity - 137));

    // Their laps stay where they were.
    EXPECT_EQ(image.mid(kLapArea, 280), built.bytes.mid(kLapArea, 280));
    EXPECT_EQ(routes->routes()[0]->laps().size(), 2u);
    ASSERT_EQ(routes->routes()[1]->laps().size(), 1u);
    EXPECT_EQ(routes->routes()[1]->laps()[0]->distance(), 8000u);

    // The workout logs name the rides' new offsets.
    const qsizetype logs = areas.workoutLogs.first;
    EXPECT_EQ(Psf15::u32At(image, logs + built.workoutLogOffsets[0] + 12), 0u);
    EXPECT_EQ(Psf15::u32At(image, logs + built.workoutLogOffsets[1] + 12), 77u);
    ASSERT_EQ(routes->routes()[1]->workoutLogs().size(), 1u);
    workoutLogs->linkWorkoutLogs(*routes, *workouts);
    EXPECT_EQ(routes->routes()[0]->workoutLogs().size(), 1u);
    ASSERT_EQ(routes->routes()[1]->workoutLogs().size(), 1u);
    EXPECT_EQ(routes->routes()[1]->workoutLogs()[0]->entry(0), QByteArray::fromHex("2122232425262728"));

    // The segments of the planned route are gone; the evening ride's follow the morning's.
    const qsizetype segments = areas.tracks.first;
    EXPECT_EQ(Psf15::u32At(image, kRouteRecords + 8), 0u);
    EXPECT_EQ(Psf15::u32At(image, kRouteRecords + 77 + 8), 126u);
    EXPECT_EQ(Psf15::u32At(image, segments + 28), 74u);
    EXPECT_EQ(Psf15::u32At(image, segments + 74 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(Psf15::u32At(image, segments + 126 + 28), 176u);
    EXPECT_EQ(Psf15::u32At(image, segments + 176 + 28), 0xFFFFFFFFu);
    EXPECT_EQ(image.mid(segments + 126 + 32, 104 - 32), built.bytes.mid(segments + 184 + 32, 104 - 32));
    EXPECT_EQ(image.mid(segments + 230, 64), QByteArray(64, '\xFF'));
    EXPECT_EQ(Psf15::u32At(image, 512 + 144), quint32(segments + 230));
    EXPECT_EQ(session.layout().trackAreaFree(), quint64(0x9DFE8 - 230));
    ASSERT_EQ(routes->routes()[1]->segments().size(), 2u);
    EXPECT_EQ(routes->routes()[1]->segments()[1]->points().size(), 2u);

    // The first segment of the morning ride replays all four point types exactly.
    ASSERT_EQ(routes->routes()[0]->segments().size(), 2u);
    OrvoPSFTrackCursor cursor = routes->routes()[0]->segments()[0]->cursor();
    struct Step
    {
        qint32 lon;
        qint32 lat;
        double altitude;
        qint64 time;
    };
    const Step steps[] = {
        {139700100, 35599800, 101.5, 1700000002},
        {139667332, 35632567, 71.5, 1700000006},
        {140667332, 35132567, 70.5, 1700000012},
        {139667332, 35632567, 193.9, 1700000138},
    };
    for (const Step &step : steps) {
        ASSERT_TRUE(cursor.next());
        EXPECT_EQ(cursor.position().lonE6(), step.lon);
        EXPECT_EQ(cursor.position().latE6(), step.lat);
        EXPECT_NEAR(cursor.altitude().value(), step.altitude, 1e-9);
        EXPECT_EQ(cursor.time(), step.time);
    }
    EXPECT_FALSE(cursor.next());
    EXPECT_TRUE(cursor.position().isNull());
    EXPECT_FALSE(cursor.altitude().isValid());
    EXPECT_EQ(cursor.time(), 0);
}

} // namespace
