#include "env/OrvoTimeText.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFDistHeader.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFIntervalLog.h"
#include "psf14/OrvoPSFLap.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFSensorLog.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFSensorLogPoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFTrackPoint.h"
#include "psf14/OrvoPSFValues.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLog.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"

#include "OrvoTestSupport.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

using PsfImage14Builder::Model;

struct ModelCase
{
    const char *name;
    Model model;
};

void PrintTo(const ModelCase &c, std::ostream *os)
{
    *os << c.name;
}

const ModelCase kModels[] = {{"Kavel35", Model::Kavel35}, {"Pulmor30", Model::Pulmor30}};

class OrvoPSF14ParseTest : public ::testing::TestWithParam<ModelCase>
{
protected:
    std::unique_ptr<OrvoPSF> parseSample()
    {
        const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(GetParam().model);
        m_image = PsfImage14Builder::psfImage(layout, PsfImage14Builder::sampleContent());
        return OrvoPSF::parse(m_image, &m_record, layout, QStringLiteral("1.4.x.x"));
    }

    QByteArray m_image;
    QByteArray m_record = QByteArray(212, '\0');
};

// A track's positions from its start through every point's changes, as "lon,lat" texts.
QStringList trackPositions(const OrvoPSFTrack &track)
{
    qint32 longitude = track.startLongitude();
    qint32 latitude = track.startLatitude();
    QStringList positions{coordinateText(longitude) + ',' + coordinateText(latitude)};
    auto step = [&](qint16 dLon, qint16 dLat) {
        longitude += dLon;
        latitude += dLat;
        positions << coordinateText(longitude) + ',' + coordinateText(latitude);
    };
    for (const OrvoPSFTrackPoint *point : track.trackPoints())
        step(point->longitudeDelta(), point->latitudeDelta());
    for (const OrvoPSFRoutePoint *point : track.routePoints())
        step(point->longitudeDelta(), point->latitudeDelta());
    return positions;
}

struct RouteRow
{
    QByteArray name;
    quint32 startTime;
    bool isTrack;
    bool bitFontName;
    quint8 bits2_3;
    bool exported;
    quint8 activity;
    quint8 subType;
    QVector<QStringList> tracks;
    QVector<int> sensorLogsPerTrack;
    quint32 summaryLapStart;
    QVector<quint32> lapStarts;
};

const RouteRow kRoutes[] = {
    {"Morning ride",
     1700000000,
     true,
     false,
     0,
     false,
     1,
     2,
     {{"139.767125,35.681236", "139.767245,35.681156", "139.767375,35.681096", "139.767485,35.681006"},
      {"139.768485,35.681506", "139.735717,35.714273", "139.735967,35.714523"}},
     {2, 0},
     1700000000,
     {1700000000, 1700000300}},
    {"Evening ride",
     1700050000,
     true,
     false,
     2,
     true,
     0,
     1,
     {{"-122.419416,37.774929", "-122.419406,37.774939", "-122.419386,37.774959", "-122.419356,37.774989",
       "-122.419316,37.775029"}},
     {1},
     1700050000,
     {1700050000}},
    {"Lake loop",
     0xFFFFFFFF,
     false,
     false,
     2,
     true,
     1,
     0,
     {{"8.540000,47.370000", "8.541000,47.370000", "8.541000,47.371000", "8.540000,47.370000"}},
     {0},
     0,
     {}},
};

TEST_P(OrvoPSF14ParseTest, RoutesTracksAndLapsComeOutAsStored)
{
    const std::unique_ptr<OrvoPSF> psf = parseSample();
    ASSERT_TRUE(psf);
    const OrvoPSFRouteFrame *frame = psf->routeFrame();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->routes().size(), 4);
    EXPECT_EQ(frame->laps().size(), OrvoPSFRouteFrame::kLapTableSize);
    for (qsizetype i = 0; i < qsizetype(std::size(kRoutes)); ++i) {
        const RouteRow &row = kRoutes[i];
        SCOPED_TRACE(row.name.toStdString());
        const OrvoPSFRoute &route = *frame->routes().at(i);
        EXPECT_EQ(route.name(), row.name.leftJustified(128, '\0'));
        EXPECT_EQ(route.routeStartTime(), row.startTime);
        EXPECT_EQ(route.isTrack(), row.isTrack);
        EXPECT_EQ(route.routeFlag1(), row.bitFontName);
        EXPECT_EQ(route.routeBits2_3(), row.bits2_3);
        EXPECT_EQ(route.routeFlag3(), row.exported);
        EXPECT_EQ(route.routeNibbleLow(), row.activity);
        EXPECT_EQ(route.routeNibbleHigh(), row.subType);
        ASSERT_EQ(route.tracks().size(), row.tracks.size());
        for (qsizetype t = 0; t < row.tracks.size(); ++t) {
            const OrvoPSFTrack &track = *route.tracks().at(t);
            EXPECT_EQ(trackPositions(track), row.tracks.at(t)) << "track " << t;
            // The stored end position is where the points lead.
            EXPECT_EQ(trackPositions(track).last(),
                      coordinateText(track.endLongitude()) + ',' + coordinateText(track.endLatitude()));
            EXPECT_EQ(track.pointCount(), quint32(row.tracks.at(t).size() - 1));
            EXPECT_EQ(track.sensorLogs().size(), row.sensorLogsPerTrack.at(t));
        }
        const OrvoPSFLap *summary = frame->lapOf(route);
        EXPECT_EQ(summary ? summary->lapStartTime() : 0, row.summaryLapStart);
        QVector<quint32> lapStarts;
        for (const OrvoPSFLap *lap : frame->lapsOf(route))
            lapStarts << lap->lapStartTime();
        EXPECT_EQ(lapStarts, row.lapStarts);
    }

    const OrvoPSFRoute &drawn = *frame->routes().at(3);
    EXPECT_TRUE(drawn.routeFlag1());
    EXPECT_TRUE(drawn.tracks().isEmpty());
    const QImage name = decodeBitFontImage(drawn.name(), 64, 64, 16);
    ASSERT_EQ(name.size(), QSize(64, 16));
    EXPECT_EQ(qGray(name.pixel(1, 1)), 0);
    EXPECT_EQ(qGray(name.pixel(62, 14)), 0);
    EXPECT_EQ(qGray(name.pixel(0, 0)), 255);
    EXPECT_EQ(qGray(name.pixel(30, 8)), 255);
}

TEST_P(OrvoPSF14ParseTest, RideDetailsKeepEveryStoredField)
{
    const std::unique_ptr<OrvoPSF> psf = parseSample();
    ASSERT_TRUE(psf && psf->routeFrame());
    const OrvoPSFRoute &morning = *psf->routeFrame()->routes().at(0);
    const OrvoPSFTrack &first = *morning.tracks().at(0);
    EXPECT_EQ(first.trackStartTime(), 1700000000u);
    EXPECT_EQ(altitudeText(0, first.trackAltitude(), true), "40.00");
    EXPECT_EQ(first.endAltitude(), 4162);
    EXPECT_TRUE(first.trackFlag(0));
    EXPECT_TRUE(first.trackFlag(1));
    EXPECT_FALSE(first.trackFlag(2));
    EXPECT_EQ(first.secondsPerTick(), 2);
    ASSERT_EQ(first.trackPoints().size(), 3);
    EXPECT_EQ(first.trackPoints().at(0)->altitudeDelta(), 5);
    EXPECT_EQ(first.trackPoints().at(1)->altitudeDelta(), -3);
    EXPECT_EQ(first.trackPoints().at(1)->ticks(), 2);
    EXPECT_EQ(morning.tracks().at(1)->trackFlag(4), true);

    const OrvoPSFSensorLog &speeds = *first.sensorLogs().at(0);
    EXPECT_EQ(speeds.logStartTime(), 1700000000u);
    EXPECT_EQ(speeds.channels(), 0x07);
    ASSERT_EQ(speeds.points().size(), 3);
    EXPECT_EQ(speedText(speeds.points().at(0)->speed()), "36.00");
    EXPECT_EQ(speeds.points().at(2)->heartRate(), 0x8E);
    EXPECT_FALSE(speeds.points().at(0)->hasChannel(OrvoPSFSensorLogPoint::Power));

    const OrvoPSFSensorLog &all = *first.sensorLogs().at(1);
    EXPECT_EQ(all.channels(), 0x3F);
    EXPECT_TRUE(all.logFlag7());
    EXPECT_EQ(all.logInterval(), 2);
    ASSERT_EQ(all.points().size(), 2);
    EXPECT_EQ(all.points().at(0)->power(), 200);
    EXPECT_EQ(tenthsText(all.points().at(0)->temperature()), "25.0");
    EXPECT_EQ(tenthsText(all.points().at(1)->temperature()), "-1.0");
    EXPECT_EQ(doubledText(all.points().at(1)->channel5()), "34");

    const OrvoPSFRoute &lake = *psf->routeFrame()->routes().at(2);
    const OrvoPSFTrack &loop = *lake.tracks().at(0);
    ASSERT_EQ(loop.routePoints().size(), 3);
    EXPECT_TRUE(loop.routePoints().at(0)->pointFlag0());
    EXPECT_TRUE(loop.routePoints().at(1)->pointFlag1());
    EXPECT_TRUE(loop.routePoints().at(2)->pointFlag2());
    EXPECT_FALSE(loop.routePoints().at(2)->pointFlag0());
    // 75.308 m east, 111.194 m north and 134.296 m back: 320.798 m.
    EXPECT_EQ(routeDistance(lake), 320);

    const OrvoPSFLap &summary = *psf->routeFrame()->lapOf(morning);
    EXPECT_EQ(summary.endTime(), 1700000700u);
    EXPECT_EQ(summary.distance(), 12345u);
    EXPECT_EQ(summary.maximumHeartRate(), 175);
    EXPECT_EQ(summary.calories(), 512);
    EXPECT_EQ(summary.ridingTime(), 690u);
}

TEST_P(OrvoPSF14ParseTest, PointsOfInterestKeepTheirCoordinatesToTheMicroDegree)
{
    const std::unique_ptr<OrvoPSF> psf = parseSample();
    ASSERT_TRUE(psf && psf->poiFrame());
    struct Row
    {
        QByteArray name;
        QString longitude;
        QString latitude;
        bool exported;
    };
    const Row rows[] = {{"Home", "139.767125", "35.681236", false},
                        {"Cafe", "-122.419416", "37.774929", true},
                        {"Summit", "-70.123456", "-33.456789", false}};
    const auto &pois = psf->poiFrame()->pois();
    ASSERT_EQ(pois.size(), 3);
    for (qsizetype i = 0; i < pois.size(); ++i) {
        SCOPED_TRACE(rows[i].name.toStdString());
        EXPECT_EQ(pois.at(i)->name(), rows[i].name.leftJustified(128, '\0'));
        EXPECT_EQ(coordinateText(pois.at(i)->longitude()), rows[i].longitude);
        EXPECT_EQ(coordinateText(pois.at(i)->latitude()), rows[i].latitude);
        EXPECT_EQ(pois.at(i)->poiFlag2(), rows[i].exported);
    }
    EXPECT_TRUE(pois.at(2)->poiFlag1());
    EXPECT_EQ(pois.at(2)->value(), 0xFFFF);
}

TEST_P(OrvoPSF14ParseTest, WorkoutsLoadTheirIntervalsAndLogs)
{
    const std::unique_ptr<OrvoPSF> psf = parseSample();
    ASSERT_TRUE(psf && psf->workoutFrame());
    const auto &workouts = psf->workoutFrame()->workouts();
    ASSERT_EQ(workouts.size(), 2);

    const OrvoPSFWorkout &intervals = *workouts.at(0);
    EXPECT_EQ(intervals.name(), QByteArray("Intervals").leftJustified(128, '\0'));
    EXPECT_EQ(psfTimeText(intervals.workoutTime()), "2023-11-16T02:00:00Z");
    EXPECT_EQ(intervals.workoutId(), 7u);
    EXPECT_EQ(intervals.activityType(), 2);
    EXPECT_TRUE(intervals.daily());
    EXPECT_FALSE(intervals.nameIsBitfont());
    EXPECT_TRUE(intervals.workoutFlag6());
    EXPECT_EQ(intervals.repeatCount(), 3);
    EXPECT_EQ(intervals.workoutType(), 1);
    QStringList steps;
    for (const OrvoPSFInterval *interval : intervals.intervals())
        steps << stepTypeName(interval->stepType());
    EXPECT_EQ(steps, QStringList({"Warmup", "Work", "Cool-down"}));
    EXPECT_EQ(intervals.intervals().at(1)->targetType(), 3);
    EXPECT_EQ(intervals.intervals().at(1)->durationValue(), 5000);
    EXPECT_EQ(intervals.intervals().at(1)->targetHigh(), 170);
    ASSERT_EQ(intervals.workoutLogs().size(), 1);
    const OrvoPSFWorkoutLog &log = *intervals.workoutLogs().at(0);
    EXPECT_EQ(log.rideOffset(), 0u);
    EXPECT_EQ(log.value4(), 0x22222222u);
    ASSERT_EQ(log.intervalLogs().size(), 2);
    EXPECT_EQ(log.intervalLogs().at(1)->endTime(), 1700000700u);

    // Its interval chain ends in 0xCDCDCDCD.
    const OrvoPSFWorkout &tempo = *workouts.at(1);
    EXPECT_EQ(tempo.workoutTime(), 0xFFFFFFFFu);
    EXPECT_EQ(tempo.value148(), 0x12345678u);
    ASSERT_EQ(tempo.intervals().size(), 2);
    EXPECT_EQ(stepTypeName(tempo.intervals().at(1)->stepType()), "Walk");
    EXPECT_TRUE(tempo.intervals().at(1)->flag3());
    EXPECT_EQ(tempo.intervals().at(1)->durationValue(), 40000);
    EXPECT_EQ(tempo.intervals().at(1)->repeatCount(), 4);
    EXPECT_TRUE(tempo.workoutLogs().isEmpty());
}

TEST_P(OrvoPSF14ParseTest, TheFullFlashImageParsesFromItsDataPart)
{
    const QByteArray flash =
        PsfImage14Builder::flashImage(GetParam().model, PsfImage14Builder::sampleContent(),
                                      ProfileFixtures::UserRecord{1, 40, 0, 175, 69, 70, 154, 180});
    ASSERT_EQ(flash.size(), 0x100000);
    // The journal: an older record, the current one, then free steps; the image marker.
    EXPECT_EQ(flash.mid(0, 2), QByteArray("\x55\xAA"));
    EXPECT_EQ(flash.mid(256, 2), QByteArray("\x55\xAA"));
    EXPECT_EQ(flash.mid(512, 2), QByteArray("\xFF\xFF"));
    EXPECT_EQ(flash.mid(4096, 4), QByteArray("\x11\x22\x33\x44"));
    // The current record counts the sample's three POIs: 0xB90 - 3 × 148 bytes free.
    EXPECT_EQ(flash.mid(256 + 66, 2), QByteArray("\xD4\x09"));
    // The user record sits where the model's profile reader looks: sex 1, age 40.
    const qsizetype user = 0xF8000 + PsfImage14Builder::profileRecordOffset(GetParam().model);
    EXPECT_EQ(flash.mid(user, 2), QByteArray("\x01\x28"));
    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(GetParam().model);
    const std::unique_ptr<OrvoPSF> psf = OrvoPSF::parse(flash.mid(layout[42]), &m_record, layout, "1.4.x.x");
    ASSERT_TRUE(psf);
    EXPECT_EQ(psf->routeFrame()->routes().size(), 4);
    EXPECT_EQ(psf->workoutFrame()->workouts().size(), 2);
    EXPECT_EQ(psf->poiFrame()->pois().size(), 3);
    EXPECT_EQ(psf->distHeader()->headerWord1(), 0x0000ABCDu);
    EXPECT_EQ(psf->flashHeaderRecord(), &m_record);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OrvoPSF14ParseTest, ::testing::ValuesIn(kModels),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(OrvoPSF14VersionTest, OnlyTheExactVersionTextGivesAContainer)
{
    struct Case
    {
        const char *version;
        bool accepted;
    };
    const Case cases[] = {{"1.4.x.x", true},  {"1.4.x.y", false},  {"1.4.X.x", false}, {"", false},
                          {"1.5.x.x", false}, {"1.4.x.x ", false}, {"1.4.0.0", false}};
    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(Model::Kavel35);
    const QByteArray image = PsfImage14Builder::psfImage(layout, PsfImage14Builder::sampleContent());
    QByteArray record(212, '\0');
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        const std::unique_ptr<OrvoPSF> psf = OrvoPSF::parse(image, &record, layout, QString::fromLatin1(c.version));
        ASSERT_EQ(psf != nullptr, c.accepted);
        if (psf) {
            EXPECT_TRUE(psf->distHeader() && psf->poiFrame() && psf->routeFrame() && psf->trackFrame() &&
                        psf->sensorLogFrame() && psf->workoutFrame() && psf->workoutLogFrame());
        }
    }
}

} // namespace
