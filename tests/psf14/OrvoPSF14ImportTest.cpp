#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFNameField.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFPOIHeader.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRouteHeader.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "training/ZKTrncrs.h"

#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "Psf14TestDevice.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

namespace {

using PsfImage14Builder::Content;
using PsfImage14Builder::Layout;
using PsfImage14Builder::Model;

constexpr quint32 kNone = 0xFFFFFFFF;

QByteArray gpx(const QByteArray &version, const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"" +
           version + "\">\n" + body + "</gpx>\n";
}

QString writeGpx(const OrvoTest::OutputDir &dir, const QString &name, const QByteArray &version, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(OrvoTest::writeFile(path, gpx(version, body)));
    return path;
}

// A planned route in two kinds of segment that need splitting (a 30 m climb, a step of 0.05
// degrees), one segment of a single point, one with a position that is no number, and a
// plain one.
const QByteArray kRouteBody = R"(<metadata>
  <name>Hill climb</name>
  <extensions><sharetype>1</sharetype><acttype subtype="3">2</acttype></extensions>
</metadata>
<rte>
  <rtept lat="35.0" lon="139.0"><type>12</type></rtept>
  <rtept lat="35.05" lon="139.0"><type>20</type></rtept>
</rte>
<trk>
  <trkseg>
    <trkpt lat="35.000000" lon="139.000000"><ele>100</ele></trkpt>
    <trkpt lat="35.0000015" lon="139.0000104"><ele>130.00</ele><type>1,8</type></trkpt>
    <trkpt lat="35.050000" lon="139.000000"><ele>130</ele></trkpt>
  </trkseg>
  <trkseg><trkpt lat="1.0" lon="2.0"/></trkseg>
  <trkseg><trkpt lat="north" lon="2.0"/><trkpt lat="1.0" lon="2.0"/></trkseg>
  <trkseg><trkpt lat="-33.4567895" lon="-70.1234565"/><trkpt lat="-33.456700" lon="-70.123400"/></trkseg>
</trk>
)";

struct Position
{
    qint32 latitude;
    qint32 longitude;
    bool operator==(const Position &) const = default;
};

void PrintTo(const Position &p, std::ostream *os)
{
    *os << "(" << p.latitude << ", " << p.longitude << ")";
}

QVector<Position> positionsOf(const OrvoPSFTrack &track)
{
    QVector<Position> positions{{track.startLatitude(), track.startLongitude()}};
    for (const OrvoPSFRoutePoint *point : track.routePoints())
        positions.append(
            {positions.last().latitude + point->latitudeDelta(), positions.last().longitude + point->longitudeDelta()});
    return positions;
}

TEST(OrvoPSF14ImportTest, ARouteKeepsEveryPositionExactlyAndSplitsStepsAPointCannotHold)
{
    Psf14TestDevice device(Content{});
    OrvoTest::OutputDir dir;
    OrvoMessageCapture capture;
    ASSERT_TRUE(device.psf().importGpx(writeGpx(dir, "route.gpx", "2.2.0.3", kRouteBody)));
    EXPECT_TRUE(capture.contains(QtWarningMsg, "has no position"));

    ASSERT_EQ(device.psf().routeFrame()->routes().size(), 1);
    EXPECT_EQ(device.psf().routeFrame()->header()->routeCount(), 1);
    const OrvoPSFRoute &route = *device.psf().routeFrame()->routes().first();
    EXPECT_EQ(route.name(), QByteArray("Hill climb"));
    EXPECT_FALSE(route.routeFlag1());
    EXPECT_FALSE(route.isTrack());
    EXPECT_TRUE(route.routeFlag3());
    EXPECT_EQ(route.routeStartTime(), kNone);
    EXPECT_EQ(route.lapOffset(), kNone);
    EXPECT_EQ(route.routeNibbleLow(), 2);
    EXPECT_EQ(route.routeNibbleHigh(), 3);
    EXPECT_EQ(route.routeBits2_3(), 0);
    EXPECT_EQ(route.value(), 0);
    // The single point and the unreadable position add no track.
    ASSERT_EQ(route.tracks().size(), 2);

    const OrvoPSFTrack &climb = *route.tracks().first();
    // Three points halve the 30 m climb into steps of 7.5 m, one halves the 0.05 degrees.
    const QVector<Position> expected = {{35000000, 139000000}, {35000000, 139000002}, {35000001, 139000005},
                                        {35000001, 139000007}, {35000002, 139000010}, {35025001, 139000005},
                                        {35050000, 139000000}};
    EXPECT_EQ(positionsOf(climb), expected);
    EXPECT_EQ(climb.pointCount(), 6u);
    QVector<int> altitudeTenths;
    QVector<int> marked;
    for (const OrvoPSFRoutePoint *point : climb.routePoints()) {
        altitudeTenths.append(point->value());
        marked.append(point->pointFlag0() << 0 | point->pointFlag1() << 1 | point->pointFlag2() << 2);
    }
    EXPECT_EQ(altitudeTenths, QVector<int>({75, 75, 75, 75, 0, 0}));
    EXPECT_EQ(marked, QVector<int>({0, 0, 0, 0b101, 0, 0}));
    EXPECT_EQ(climb.trackAltitude(), 4400);
    EXPECT_EQ(climb.endAltitude(), 4520);
    EXPECT_EQ(climb.endLatitude(), 35050000);
    EXPECT_EQ(climb.endLongitude(), 139000000);
    EXPECT_EQ(climb.secondsPerTick(), 4);
    EXPECT_EQ(climb.firstSensorLog(), kNone);
    EXPECT_EQ(climb.trackStartTime(), quint32(quint64(Psf14TestDevice::kNow)));
    // The route points at its ends: 12 at the start, 20 at the end.
    const bool flags[] = {false, true, true, true, true};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(climb.trackFlag(i), flags[i]) << i;

    // Decimals beyond the sixth round to the nearest micro-degree.
    const OrvoPSFTrack &plain = *route.tracks().last();
    EXPECT_EQ(positionsOf(plain), QVector<Position>({{-33456790, -70123457}, {-33456700, -70123400}}));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(plain.trackFlag(i)) << i;
}

TEST(OrvoPSF14ImportTest, NamesAreStoredAsTextOrAsRenderedImages)
{
    struct Case
    {
        const char *name;
        bool bitFont;
        QByteArray metadata;
        QByteArray stored;
    };
    const Case cases[] = {
        {"textForm", false, "<name>Hill climb<extensions><shtname>HC</shtname></extensions></name>", "Hill climb"},
        {"textFormWithoutName", false, "", ""},
        {"bitFontShortName", true, "<name>Hill climb<extensions><shtname>HC</shtname></extensions></name>",
         OrvoPSFNameField::stored("HC", true)},
        {"bitFontName", true, "<name>Hill climb</name>", OrvoPSFNameField::stored("Hill climb", true)},
        {"bitFontWithoutName", true, "", OrvoPSFNameField::stored("no name", true)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Psf14TestDevice device(Content{});
        device.psf().setFlag(c.bitFont);
        OrvoTest::OutputDir dir;
        const QByteArray body = "<metadata>" + c.metadata +
                                "</metadata><rte/><trk><trkseg>"
                                "<trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"1.5\" lon=\"2\"/>"
                                "</trkseg></trk>";
        ASSERT_TRUE(device.psf().importGpx(writeGpx(dir, "named.gpx", "2.0", body)));
        const OrvoPSFRoute &route = *device.psf().routeFrame()->routes().last();
        EXPECT_EQ(route.name(), c.stored);
        EXPECT_EQ(route.routeFlag1(), c.bitFont);
    }
    EXPECT_NE(OrvoPSFNameField::stored("HC", true), QByteArray(128, '\0')) << "the name is drawn";
}

TEST(OrvoPSF14ImportTest, APoiComesFromTheFirstWaypointAndIsNamedAfterTheFile)
{
    Psf14TestDevice device(Content{});
    OrvoTest::OutputDir dir;
    const QByteArray body =
        R"(<metadata><name>Viewpoint</name><extensions><sharetype>0</sharetype></extensions></metadata>
<wpt lat="-33.4567895" lon="139.7671254"><name>first</name></wpt>
<wpt lat="1" lon="1"><name>second</name></wpt>
<wpt lat="2" lon="2"><name>third</name></wpt>
)";
    ASSERT_TRUE(device.psf().importGpx(writeGpx(dir, "poi.gpx", "2.0", body)));
    ASSERT_EQ(device.psf().poiFrame()->pois().size(), 1);
    const OrvoPSFPOI &poi = *device.psf().poiFrame()->pois().first();
    EXPECT_EQ(poi.latitude(), -33456790);
    EXPECT_EQ(poi.longitude(), 139767125);
    EXPECT_EQ(poi.name(), QByteArray("Viewpoint"));
    EXPECT_FALSE(poi.poiFlag0());
    EXPECT_FALSE(poi.poiFlag1());
    EXPECT_TRUE(poi.poiFlag2());
    EXPECT_EQ(device.psf().poiFrame()->header()->poiCount(), 1u);
}

TEST(OrvoPSF14ImportTest, FilesThatCannotBeImportedAddNothing)
{
    struct Case
    {
        const char *name;
        QByteArray version;
        QByteArray body;
    };
    const Case cases[] = {
        {"firstDialect", "1.1", "<metadata><name>Old</name></metadata><rte/><trk/>"},
        {"poiWithoutWaypoint", "2.0", "<metadata><extensions><sharetype>0</sharetype></extensions></metadata>"},
        {"poiWithoutPosition", "2.0",
         "<metadata><extensions><sharetype>0</sharetype></extensions></metadata><wpt lat=\"\" lon=\"1\"/>"},
        {"routeWithoutTracks", "2.0", "<metadata><name>Lost</name></metadata><rte/>"},
        {"routeWithoutRoute", "2.0", "<metadata><name>Lost</name></metadata><trk/>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture capture;
        Psf14TestDevice device(PsfImage14Builder::sampleContent());
        OrvoTest::OutputDir dir;
        EXPECT_FALSE(device.psf().importGpx(writeGpx(dir, "file.gpx", c.version, c.body)));
        EXPECT_FALSE(device.psf().importGpx(dir.filePath("missing.gpx")));
        EXPECT_EQ(device.psf().routeFrame()->routes().size(), 4);
        EXPECT_EQ(device.psf().poiFrame()->pois().size(), 3);
    }
}

ZKTrncrsInterval interval(const char *id, const char *name, const char *gotoText = "", bool complete = true)
{
    ZKTrncrsInterval added;
    added.id = QLatin1String(id);
    added.name = QLatin1String(name);
    added.gotoText = QLatin1String(gotoText);
    added.gotoRepeat = QStringLiteral("3");
    if (complete) {
        added.target = ZKTrncrsTarget{"2", "100", "140", "false"};
        added.duration = ZKTrncrsDuration{"3", "40000", "false", {}, {}, {}, {}};
    }
    return added;
}

TEST(OrvoPSF14ImportTest, WorkoutsAreNamedAfterTheDocumentAndKeepTheirIntervalsAndRepeats)
{
    ZKTrncrs document;
    document.metadata() = ZKTrncrsMetadata{"Plan", {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    ZKTrncrsWorkout first;
    first.id = "41";
    first.daily = "1";
    first.acttype = "3";
    first.repeat = "5";
    first.type = "2";
    first.time = "2023-11-16T02:00:00Z";
    first.name = "Ignored";
    first.intervals = {interval("1", "cool-down"), interval("2", "Cooldown"), interval("3", "Work", "", false),
                       interval("4", "Sprint", "2"), interval("5", "Walk", "9")};
    ZKTrncrsWorkout second;
    second.id = "42";
    document.workouts() = {first, second};

    Psf14TestDevice device(Content{});
    ASSERT_TRUE(device.psf().addWorkout(document));
    const QVector<QPointer<OrvoPSFWorkout>> &workouts = device.psf().workoutFrame()->workouts();
    ASSERT_EQ(workouts.size(), 2);
    EXPECT_EQ(device.psf().workoutFrame()->workoutCount(), 2);
    for (const OrvoPSFWorkout *workout : workouts) {
        EXPECT_EQ(workout->name(), QByteArray("Plan"));
        EXPECT_TRUE(workout->workoutFlag6());
        EXPECT_EQ(workout->value148(), kNone);
    }
    const OrvoPSFWorkout &added = *workouts.first();
    EXPECT_EQ(added.workoutId(), 41u);
    EXPECT_TRUE(added.daily());
    EXPECT_EQ(added.activityType(), 3);
    EXPECT_EQ(added.repeatCount(), 5);
    EXPECT_EQ(added.workoutType(), 2);
    EXPECT_EQ(added.workoutTime(), 1700100000u);
    EXPECT_EQ(workouts.last()->workoutTime(), kNone);
    EXPECT_FALSE(workouts.last()->daily());

    // The interval without target and duration is left out.
    ASSERT_EQ(added.intervals().size(), 4);
    const int steps[] = {4, 0, 6, 7};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const OrvoPSFInterval &stored = *added.intervals().at(k);
        EXPECT_EQ(stored.stepType(), steps[k]);
        EXPECT_EQ(stored.targetType(), 2);
        EXPECT_EQ(stored.targetLow(), 100);
        EXPECT_EQ(stored.targetHigh(), 140);
        EXPECT_EQ(stored.durationType(), 3);
        EXPECT_EQ(stored.durationValue(), 40000);
        EXPECT_EQ(stored.repeatCount(), 3);
        EXPECT_EQ(stored.repeatTarget(), kNone);
    }
    EXPECT_EQ(added.intervals().at(2)->repeatTargetInterval(), added.intervals().at(1).data());
    EXPECT_EQ(added.intervals().at(3)->repeatTargetInterval(), nullptr) << "no interval carries id 9";
}

TEST(OrvoPSF14ImportTest, WorkoutIdsKeepTheirWholeUnsignedRange)
{
    // The id is an unsigned 32-bit field and the export writes it so; ids from 2^31 on must come
    // back as they went out.
    const QStringList ids = {"0", "41", "2147483647", "2147483648", "4294967295"};
    ZKTrncrs document;
    for (const QString &id : ids) {
        ZKTrncrsWorkout workout;
        workout.id = id;
        document.workouts().append(workout);
    }
    Psf14TestDevice device(Content{});
    ASSERT_TRUE(device.psf().addWorkout(document));
    const QVector<QPointer<OrvoPSFWorkout>> &workouts = device.psf().workoutFrame()->workouts();
    ASSERT_EQ(workouts.size(), ids.size());
    for (int k = 0; k < ids.size(); ++k) {
        SCOPED_TRACE(ids.at(k).toStdString());
        EXPECT_EQ(QString::number(workouts.at(k)->workoutId()), ids.at(k));
    }
}

Content manyOfEach()
{
    Content content;
    for (int i = 0; i < 10; ++i) {
        const QByteArray name = "item" + QByteArray::number(i);
        content.pois.append({i, i, 0, 0, name});
        content.routes.append({0xFFFFFFFF, name, 0x08, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF, {}});
        content.workouts.append({0xFFFFFFFF, name, quint32(i), 0, 0, 0xFFFFFFFF, {}, 0xFFFFFFFF, {}});
    }
    return content;
}

template<typename Record>
QByteArrayList namesOf(const QVector<QPointer<Record>> &records)
{
    QByteArrayList names;
    for (const Record *record : records)
        names.append(record->name().left(record->name().indexOf('\0')));
    return names;
}

TEST(OrvoPSF14ImportTest, RemovingIgnoresRepeatedAndOutOfRangeIndicesAndSetsTheCount)
{
    const QByteArrayList kept = {"item0", "item1", "item2", "item3", "item4", "item6", "item7", "item8", "item9"};
    Psf14TestDevice device(manyOfEach());
    OrvoPSF &psf = device.psf();
    EXPECT_TRUE(psf.removePOIs({5, 5, 99, -1}));
    EXPECT_TRUE(psf.removeRoutes({5, 5, 99, -1}));
    EXPECT_TRUE(psf.removeWorkouts({5, 5, 99, -1}));
    EXPECT_EQ(namesOf(psf.poiFrame()->pois()), kept);
    EXPECT_EQ(namesOf(psf.routeFrame()->routes()), kept);
    EXPECT_EQ(namesOf(psf.workoutFrame()->workouts()), kept);
    EXPECT_EQ(psf.poiFrame()->header()->poiCount(), 9u);
    EXPECT_EQ(psf.routeFrame()->header()->routeCount(), 9);
    EXPECT_EQ(psf.workoutFrame()->workoutCount(), 9);

    EXPECT_TRUE(psf.removeRoutes({0, 8}));
    EXPECT_EQ(namesOf(psf.routeFrame()->routes()),
              QByteArrayList({"item1", "item2", "item3", "item4", "item6", "item7", "item8"}));
}

TEST(OrvoPSF14ImportTest, TrimKeepsTheFirstTenPois)
{
    Content content = manyOfEach();
    Psf14TestDevice ten(content);
    EXPECT_FALSE(ten.psf().trimPOIs());
    EXPECT_EQ(ten.psf().poiFrame()->pois().size(), 10);

    content.pois.append({10, 10, 0, 0, "item10"});
    content.pois.append({11, 11, 0, 0, "item11"});
    Psf14TestDevice twelve(content);
    EXPECT_TRUE(twelve.psf().trimPOIs());
    EXPECT_EQ(namesOf(twelve.psf().poiFrame()->pois()), namesOf(ten.psf().poiFrame()->pois()));
    EXPECT_EQ(twelve.psf().poiFrame()->header()->poiCount(), 10u);
}

struct CutCase
{
    const char *name;
    int word;
    qint32 size;
    bool routesCut;
    int routes;
    bool workoutsCut;
    int workouts;
};

TEST(OrvoPSF14ImportTest, CutsKeepWhatTheAreasHoldWithTrackHeadersCounted)
{
    // The sample's tracks take 110, 64 and 58 bytes with their headers, 72 in points alone.
    // Records beyond an area's capacity do not load at all, so only the track and interval
    // limits are left for the cuts.
    const CutCase cases[] = {
        {"everythingFits", 0, 0x6000, false, 4, false, 2},
        {"twoRoutes", 13, 2 * 156 + 155, false, 2, false, 2},
        {"trackHeadersOverflow", 28, 110 + 64 + 57, true, 2, false, 2},
        {"tracksJustFit", 28, 110 + 64 + 58, false, 4, false, 2},
        {"oneWorkout", 9, 152 + 151, false, 4, false, 1},
        {"intervalsOverflow", 19, 4 * 20, false, 4, true, 1},
    };
    for (const CutCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Layout imageLayout = PsfImage14Builder::layout(Model::Kavel35);
        Layout deviceLayout = imageLayout;
        if (c.word != 0)
            deviceLayout[size_t(c.word)] = c.size;
        Psf14TestDevice device(PsfImage14Builder::sampleContent(), imageLayout, deviceLayout);
        EXPECT_EQ(device.psf().dropExcessRoutes(), c.routesCut);
        EXPECT_EQ(device.psf().dropExcessWorkouts(), c.workoutsCut);
        EXPECT_EQ(device.psf().routeFrame()->routes().size(), c.routes);
        EXPECT_EQ(device.psf().routeFrame()->header()->routeCount(), c.routes);
        EXPECT_EQ(device.psf().workoutFrame()->workouts().size(), c.workouts);
        EXPECT_EQ(device.psf().workoutFrame()->workoutCount(), c.workouts);
        // What is left fits its areas whole.
        EXPECT_TRUE(device.writeBack());
    }
}

} // namespace
