#include "Kavel40Emulator.h"
#include "OrvoTestSupport.h"
#include "PsfImage15Builder.h"

#include "device/OrvoLanguageImage.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "env/OrvoEnv.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"
#include "psf15/OrvoPSFInterval_1_5.h"
#include "psf15/OrvoPSFRoute_1_5.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "psf15/OrvoPSFWorkout_1_5.h"
#include "training/ZKTrncrs.h"
#include "util/ZKGpx2.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace Kavel40;

namespace {

// Counters of the current management record (area order: workouts, routes, laps, intervals,
// workout logs, tracks, ...): the free count of an area at 76 + 12 × its index.
constexpr qsizetype kFreeCounters = 76;
constexpr qsizetype kCounterStride = 12;
constexpr int kRouteArea = 1;
constexpr int kIntervalArea = 3;
constexpr int kTrackArea = 5;

// A language area whose directory lists the codes, laid out by hand.
QByteArray languageArea(const QList<QByteArray> &codes)
{
    QByteArray area(OrvoPSFDevice::kLanguageAreaSize, '\xFF');
    QByteArray header(OrvoLanguageImage::kHeaderSize, '\0');
    qToLittleEndian<quint32>(OrvoLanguageImage::kMagic, header.data());
    header[8] = char(codes.size());
    for (int slot = 0; slot < OrvoLanguageImage::kMaxLanguages; ++slot)
        header.replace(9 + 3 * slot, 3, slot < codes.size() ? codes.at(slot) : QByteArray(3, '\xFF'));
    area.replace(0, header.size(), header);
    return area;
}

ZKGpxTrackPoint gpxPoint(const char *lat, const char *lon, const char *ele)
{
    ZKGpxTrackPoint point;
    point.lat = QString::fromLatin1(lat);
    point.lon = QString::fromLatin1(lon);
    point.ele = QString::fromLatin1(ele);
    return point;
}

ZKGpx2 routeDocument(const QList<ZKGpxTrackPoint> &points)
{
    ZKGpx2 document;
    document.metadata.emplace();
    document.route.emplace();
    document.trackList.emplace();
    ZKGpxTrack track;
    track.points = points;
    document.trackList->append(track);
    return document;
}

ZKTrncrsInterval interval(const char *id, const char *durationType, const char *duration, const char *low = "0",
                          const char *gotoText = "")
{
    ZKTrncrsInterval result;
    result.id = QString::fromLatin1(id);
    result.name = QStringLiteral("Work");
    result.gotoText = QString::fromLatin1(gotoText);
    result.target =
        ZKTrncrsTarget{QStringLiteral("2"), QString::fromLatin1(low), QStringLiteral("170"), QStringLiteral("TRUE")};
    ZKTrncrsDuration length;
    length.type = QString::fromLatin1(durationType);
    length.value = QString::fromLatin1(duration);
    result.duration = length;
    return result;
}

QStringList namesOf(const OrvoPSFNamedObject &record)
{
    QStringList names;
    for (const auto &name : record.names())
        names << QString::fromLatin1(name->code().constData()) + QLatin1Char('=') +
                     record.name(QString::fromLatin1(name->code().constData()));
    return names;
}

class OrvoPSFDeviceConversionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        setSetting(QStringLiteral("psflanguagefilter"), QStringLiteral("1"));
    }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    static void setSetting(const QString &key, const QString &value)
    {
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel40"), key, value);
    }

    std::unique_ptr<OrvoPSFDevice> start(const PsfImage15Builder &builder = PsfImage15Builder(),
                                         const QList<QByteArray> &languages = {"ENG"})
    {
        m_device = makeDevice(builder.build().bytes);
        m_device->loadMemory(kLanguage, languageArea(languages));
        auto client = makeClient(m_device);
        EXPECT_TRUE(client->initial());
        return client;
    }

    static void setFree(OrvoPSFDevice &client, int area, quint32 free)
    {
        const std::span<uchar> record = client.layout().lastUsedRecord();
        ASSERT_FALSE(record.empty());
        qToLittleEndian<quint32>(free, record.data() + kFreeCounters + kCounterStride * area);
    }

    static std::vector<OrvoPSFRoute_1_5 *> routes(OrvoPSFDevice &client)
    {
        std::vector<OrvoPSFRoute_1_5 *> list;
        EXPECT_TRUE(client.flashImage()->routes(false, list));
        return list;
    }

    static std::vector<OrvoPSFWorkout_1_5 *> workouts(OrvoPSFDevice &client)
    {
        std::vector<OrvoPSFWorkout_1_5 *> list;
        EXPECT_TRUE(client.flashImage()->workouts(list));
        return list;
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    std::shared_ptr<OrvoEmulatedFlashDevice> m_device;
};

} // namespace

TEST_F(OrvoPSFDeviceConversionTest, RouteIsStoredUnderItsShortNameAndMetadataFields)
{
    struct Case
    {
        const char *name;
        QString metadataName;
        QString shortName;
        QString stored;
    };
    const std::vector<Case> cases = {
        {"neither name", QString(), QString(), QStringLiteral("no name")},
        {"name only", QStringLiteral("Loop"), QString(), QStringLiteral("Loop")},
        {"short name first", QStringLiteral("Loop"), QStringLiteral("L"), QStringLiteral("L")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start();
        ZKGpx2 document = routeDocument({gpxPoint("48.0", "11.0", "500"), gpxPoint("48.001", "11.001", "505")});
        document.metadata->name = c.metadataName;
        document.metadata->shtname = c.shortName;
        document.metadata->deviceText1 = QStringLiteral("5");
        document.metadata->deviceText2 = QStringLiteral("1");
        document.metadata->acttype = QStringLiteral("3");
        document.metadata->acttypeSubtype = QStringLiteral("2");
        document.metadata->trvdist = QStringLiteral("12345.6");
        ASSERT_TRUE(client->addRoute(document));
        const auto stored = routes(*client);
        ASSERT_EQ(stored.size(), 1u);
        const OrvoPSFRoute_1_5 &route = *stored[0];
        EXPECT_EQ(namesOf(route), QStringList{QStringLiteral("ENG=") + c.stored});
        EXPECT_EQ(route.startTime(), 0xFFFFFFFFu);
        EXPECT_FALSE(route.isRecorded());
        EXPECT_EQ(route.deviceAttribute(), 3) << "the text's bit and the added mark";
        EXPECT_EQ(route.activityType(), 3);
        EXPECT_EQ(route.activitySubtype(), 2);
        EXPECT_EQ(route.deviceValue(), 500);
        EXPECT_EQ(route.travelDistance(), 1234);
        EXPECT_EQ(route.segments().size(), 1u);
    }
}

TEST_F(OrvoPSFDeviceConversionTest, SteepStepsAreSmoothedIntoStepsOfAtMost12_7Metres)
{
    struct Case
    {
        const char *name;
        const char *from;
        const char *to;
        size_t records;
    };
    const std::vector<Case> cases = {
        {"30 m: halved twice", "100", "130", 4},
        {"exactly 12.7 m", "100", "112.7", 1},
        {"down 30 m", "130", "100", 4},
        {"an endless elevation counts as absent", "inf", "5", 1},
        {"no number counts as absent", "nan", "30", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start();
        ZKGpx2 document = routeDocument({gpxPoint("48.0", "11.0", c.from), gpxPoint("48.0", "11.0004", c.to)});
        ASSERT_TRUE(client->addRoute(document));
        const auto stored = routes(*client);
        ASSERT_EQ(stored.size(), 1u);
        const auto *segments = client->flashImage()->trackSegmentsOfRoute(*stored[0]);
        ASSERT_EQ(segments->size(), 1u);
        EXPECT_EQ(segments->front()->points().size(), c.records);
    }
}

TEST_F(OrvoPSFDeviceConversionTest, OnlySharedFilesOfTheSecondDialectAreImported)
{
    struct Case
    {
        const char *name;
        QByteArray root;
        QByteArray sharetype;
        size_t routes;
    };
    const std::vector<Case> cases = {
        {"second dialect", R"(<gpx creator="tarvex" version="2.2.0.3">)", "2", 1},
        {"first dialect", R"(<gpx creator="tarvex" version="1.1">)", "2", 0},
        {"not for sharing", R"(<gpx creator="tarvex" version="2.2.0.3">)", "0", 0},
    };
    OrvoTest::OutputDir output;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start();
        const QString path = output.filePath(QStringLiteral("route.gpx"));
        ASSERT_TRUE(OrvoTest::writeFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + c.root +
                                                  "<metadata><name>Loop</name><extensions><sharetype>" + c.sharetype +
                                                  "</sharetype></extensions></metadata>"
                                                  "<rte><rtept lat=\"48.0\" lon=\"11.0\"/></rte>"
                                                  "<trk><trkseg><trkpt lat=\"48.0\" lon=\"11.0\"><ele>500</ele></trkpt>"
                                                  "<trkpt lat=\"48.001\" lon=\"11.001\"><ele>501</ele></trkpt>"
                                                  "</trkseg></trk></gpx>\n"));
        EXPECT_TRUE(client->importGpxFile(path));
        EXPECT_EQ(routes(*client).size(), c.routes);
    }
}

TEST_F(OrvoPSFDeviceConversionTest, RouteThatDoesNotFitLeavesTheImageUnchanged)
{
    struct Case
    {
        const char *name;
        int area;
        quint32 free;
    };
    const std::vector<Case> cases = {
        {"track area", kTrackArea, 50},
        {"route area", kRouteArea, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start();
        setFree(*client, c.area, c.free);
        const quint32 trackEnd = client->layout().areaEnd(OrvoPSFFlashLayout::Area::Track);
        const quint32 routeEnd = client->layout().areaEnd(OrvoPSFFlashLayout::Area::Route);
        ZKGpx2 document = routeDocument({gpxPoint("48.0", "11.0", "0"), gpxPoint("48.0", "11.1", "0")});
        EXPECT_FALSE(client->addRoute(document));
        EXPECT_TRUE(routes(*client).empty());
        EXPECT_EQ(client->layout().areaEnd(OrvoPSFFlashLayout::Area::Track), trackEnd);
        EXPECT_EQ(client->layout().areaEnd(OrvoPSFFlashLayout::Area::Route), routeEnd);
    }
    auto client = start();
    ZKGpx2 document;
    EXPECT_FALSE(client->addRoute(document)) << "no route and no track list";
}

TEST_F(OrvoPSFDeviceConversionTest, WorkoutNamesKeepTheDevicesLanguages)
{
    struct Case
    {
        const char *name;
        QList<QByteArray> languages;
        bool allLanguages;
        QString names;
        QString shortNames;
        QStringList stored;
    };
    const QString twoLanguages = QStringLiteral("\\ENG Ride\\DEU Fahrt");
    const std::vector<Case> cases = {
        {"all languages in code order", {"ENG"}, true, twoLanguages, QString(), {"DEU=Fahrt", "ENG=Ride"}},
        {"the device's languages", {"ENG"}, false, twoLanguages, QString(), {"ENG=Ride"}},
        {"short names first", {"ENG"}, false, twoLanguages, QStringLiteral("\\ENG R"), {"ENG=R"}},
        {"none left: the short name", {"FRA"}, false, twoLanguages, QStringLiteral("Short"), {"UNK=Short"}},
        {"none left: the name", {"FRA"}, false, twoLanguages, QString(), {QStringLiteral("UNK=") + twoLanguages}},
        {"a plain name", {"ENG"}, true, QStringLiteral("Tempo"), QString(), {"UNK=Tempo"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start(PsfImage15Builder(), c.languages);
        ZKTrncrs course;
        ZKTrncrsWorkout workout;
        workout.id = QStringLiteral("7");
        workout.name = c.names;
        workout.nameShtname = c.shortNames;
        course.workouts().append(workout);
        ASSERT_TRUE(c.allLanguages ? client->addWorkoutsAllLanguages(course) : client->addWorkouts(course));
        const auto stored = workouts(*client);
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(namesOf(*stored[0]), c.stored);
    }
}

TEST_F(OrvoPSFDeviceConversionTest, WorkoutFieldsAreStoredOnceById)
{
    auto client = start();
    ZKTrncrs course;
    ZKTrncrsWorkout workout;
    workout.id = QStringLiteral("42");
    workout.name = QStringLiteral("Tempo");
    workout.time = QStringLiteral("2024-01-02T03:04:05Z");
    workout.daily = QStringLiteral("1");
    workout.acttype = QStringLiteral("2");
    workout.repeat = QStringLiteral("3");
    workout.type = QStringLiteral("5");
    workout.subtype = QStringLiteral("6");
    workout.desc = QStringLiteral("Hard");
    workout.intervals = {interval("a", "1", "100"), ZKTrncrsInterval(), interval("b", "2", "60")};
    course.workouts() = {workout, workout};
    ASSERT_TRUE(client->addWorkouts(course));
    const auto stored = workouts(*client);
    ASSERT_EQ(stored.size(), 1u) << "the second workout of the same id is skipped";
    const OrvoPSFWorkout_1_5 &w = *stored[0];
    EXPECT_EQ(w.creationTime(), QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC).toSecsSinceEpoch());
    EXPECT_EQ(w.number(), 42u);
    EXPECT_TRUE(w.isDaily());
    EXPECT_EQ(w.activityType(), 2);
    EXPECT_EQ(w.repeat(), 3);
    EXPECT_EQ(w.workoutType(), 5);
    EXPECT_EQ(w.subtype(), 6);
    ASSERT_EQ(w.descriptions().size(), 1u);
    EXPECT_STREQ(w.descriptions()[0]->code().constData(), "UNK");
    EXPECT_EQ(w.intervals().size(), 2u) << "the interval without target and duration is left out";
    EXPECT_TRUE(client->hasWorkoutId(42));
    EXPECT_FALSE(client->hasWorkoutId(43));
}

TEST_F(OrvoPSFDeviceConversionTest, IntervalDurationsTargetsAndGotosAreEncoded)
{
    struct Case
    {
        const char *name;
        ZKTrncrsInterval interval;
        quint16 duration;
        quint8 byte0;
        quint8 low;
        quint8 nibbles;
        quint32 gotoWord;
    };
    const std::vector<Case> cases = {
        {"a time too long for a signed word", interval("x", "2", "40000"), 666, 0x2A, 0, 0x00, 0xFFFFFFFF},
        {"a time that fits", interval("x", "2", "30000"), 30000, 0x22, 0, 0x00, 0xFFFFFFFF},
        {"a distance too long", interval("x", "1", "400000"), 4000, 0x2A, 0, 0x00, 0xFFFFFFFF},
        {"manual always sets bit 3", interval("x", "14", "5"), 5, 0x2A, 0, 0x00, 0xFFFFFFFF},
        {"target low above a byte", interval("x", "0", "0", "300"), 0, 0x22, 44, 0x01, 0xFFFFFFFF},
        {"negative target low", interval("x", "0", "0", "-1"), 0, 0x22, 0xFF, 0x0F, 0xFFFFFFFF},
        {"goto of an unknown id", interval("x", "0", "0", "0", "nope"), 0, 0x22, 0, 0x00, 0xFFFFFFFF},
        {"goto of the first interval", interval("x", "0", "0", "0", "first"), 0, 0x22, 0, 0x00, 0},
        {"goto of itself", interval("x", "0", "0", "0", "x"), 0, 0x22, 0, 0x00, 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = start();
        OrvoPSFWorkout_1_5 *workout = client->flashImage()->addWorkout({"w"}, {"ENG"}, {}, {}, false);
        ASSERT_NE(workout, nullptr);
        ASSERT_TRUE(client->addInterval(interval("first", "0", "0"), *workout));
        ASSERT_TRUE(client->addInterval(c.interval, *workout));
        ASSERT_EQ(workout->intervals().size(), 2u);
        const OrvoPSFInterval_1_5 &stored = *workout->intervals()[1];
        EXPECT_EQ(stored.durationValue(), c.duration);
        EXPECT_EQ(stored.u8(0), c.byte0) << "step Work, bit 3, target type 2";
        EXPECT_EQ(stored.targetLow(), c.low);
        EXPECT_EQ(stored.targetHigh(), 170);
        EXPECT_EQ(stored.u8(18), c.nibbles);
        EXPECT_EQ(stored.u32(8), c.gotoWord);
        EXPECT_EQ(stored.u8(17), 0x73) << "fixed bits and the hard target";
    }

    auto client = start();
    OrvoPSFWorkout_1_5 *workout = client->flashImage()->addWorkout({"w"}, {"ENG"}, {}, {}, false);
    ASSERT_NE(workout, nullptr);
    ZKTrncrsInterval blank = interval("b", "0", "0");
    blank.target.reset();
    EXPECT_FALSE(client->addInterval(blank, *workout));
    EXPECT_TRUE(workout->intervals().empty()) << "nothing is appended without a target";
}

TEST_F(OrvoPSFDeviceConversionTest, WorkoutWhoseIntervalsDoNotFitIsNotStored)
{
    auto client = start();
    setFree(*client, kIntervalArea, OrvoPSFInterval_1_5::kSize);
    ZKTrncrs course;
    ZKTrncrsWorkout workout;
    workout.id = QStringLiteral("1");
    workout.name = QStringLiteral("Long");
    workout.intervals = {interval("a", "0", "0"), interval("b", "0", "0")};
    course.workouts().append(workout);
    EXPECT_FALSE(client->addWorkouts(course));
    EXPECT_TRUE(workouts(*client).empty());
}
