#include "OrvoTestSupport.h"
#include "util/ZKGpx2.h"

#include <gtest/gtest.h>

namespace {

ZKGpxKeyMap keys(std::initializer_list<std::pair<const char *, const char *>> pairs)
{
    ZKGpxKeyMap map;
    for (const auto &[key, value] : pairs)
        map.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    return map;
}

const ZKGpxKeyMap kLogPointKeys = keys({{"logpt_time", "t"},
                                        {"hrm", "1"},
                                        {"cad", "2"},
                                        {"spd", "3"},
                                        {"tmp", "4"},
                                        {"pwr", "5"},
                                        {"brm", "6"},
                                        {"pdm", "7"},
                                        {"cps", "8"}});

const ZKGpxKeyMap kExtensionKeys = keys({{"sys", "K50"},
                                         {"sys_version", "1"},
                                         {"rtetype", "loop"},
                                         {"sharetype", "ride"},
                                         {"app_name", "orvo"},
                                         {"poollen", "25"}});

} // namespace

TEST(ZKGpxImportTest, SetOperationsOverwriteEveryFieldTheyName)
{
    ZKGpx2 doc;
    doc.newMetadata();
    doc.setMetadata(keys({{"name", "n"}, {"desc", "d"}, {"bounds_minlat", "1"}}));
    doc.metadata->profileFile = QStringLiteral("kept.xml");
    doc.setMetadata(keys({{"name", "n2"}}));
    EXPECT_EQ(doc.metadata->name, QStringLiteral("n2"));
    EXPECT_EQ(doc.metadata->desc, QString()) << "an absent key clears the field";
    EXPECT_EQ(doc.metadata->minlat, QString());
    EXPECT_EQ(doc.metadata->profileFile, QStringLiteral("kept.xml")) << "fields not named stay";

    doc.newTrackList();
    doc.newTrack();
    doc.trackList->current()->breaktype = QStringLiteral("pause");
    doc.setVersion(2);
    doc.setIntervalSegment(keys({{"itvSeg_start", "s"}, {"acttype_subtype", "road"}, {"breaktype", "x"}}));
    const ZKGpxTrack &track = doc.trackList->tracks.at(0);
    EXPECT_EQ(track.itvSegStart, QStringLiteral("s"));
    EXPECT_EQ(track.acttypeSubtype, QStringLiteral("road"));
    EXPECT_EQ(track.breaktype, QStringLiteral("pause"));

    doc.newLapList();
    doc.setSummary(keys({{"lap_order", "9"}, {"summary_start", "s"}, {"lap_start", "no"}, {"distance", "10"}}));
    ASSERT_TRUE(doc.laps->summary);
    EXPECT_EQ(doc.laps->summary->order, QString());
    EXPECT_EQ(doc.laps->summary->start, QStringLiteral("s"));
    EXPECT_EQ(doc.laps->summary->distance, QStringLiteral("10"));
}

TEST(ZKGpxImportTest, DialectChoosesTheMetadataExtensionsAndLogPoints)
{
    struct Case
    {
        const char *name;
        int major;
        const char *rtetype;
        const char *sys;
        const char *sharetype;
        int trainingPoints;
        int segmentPoints;
    };
    const std::vector<Case> cases = {
        {"NeverSet", 0, "old", "old", "old", 0, 0},
        {"First", 1, "loop", "old", "ride", 1, 0},
        {"Second", 2, "old", "K50", "ride", 0, 1},
        {"Unknown", 3, "old", "old", "old", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ZKGpx2 doc;
        doc.newMetadata();
        doc.metadata->rtetype = doc.metadata->sys = doc.metadata->sharetype = QStringLiteral("old");
        doc.newTrainingLog();
        doc.newLogSegmentList();
        doc.newLogSegment();
        if (c.major)
            doc.setVersion(c.major);
        doc.setMetadataExtensions(kExtensionKeys);
        doc.addLogPoint(kLogPointKeys);

        EXPECT_EQ(doc.majorVersion(), c.major);
        EXPECT_EQ(doc.metadata->rtetype, QLatin1String(c.rtetype));
        EXPECT_EQ(doc.metadata->sys, QLatin1String(c.sys));
        EXPECT_EQ(doc.metadata->sharetype, QLatin1String(c.sharetype));
        ASSERT_EQ(doc.trainingLog->size(), c.trainingPoints);
        ASSERT_EQ(doc.logSegments->items.at(0).points.size(), c.segmentPoints);
        if (c.trainingPoints) {
            const ZKGpxLogPoint &p = doc.trainingLog->at(0);
            EXPECT_EQ(p.pwr, QString());
            EXPECT_EQ(p.pdm, QStringLiteral("7"));
            EXPECT_EQ(p.cps, QStringLiteral("8"));
        }
        if (c.segmentPoints) {
            const ZKGpxLogPoint &p = doc.logSegments->items.at(0).points.at(0);
            EXPECT_EQ(p.pwr, QStringLiteral("5"));
            EXPECT_EQ(p.pdm, QString());
            EXPECT_EQ(p.cps, QString());
            EXPECT_EQ(doc.metadata->appName, QStringLiteral("orvo"));
            EXPECT_EQ(doc.metadata->poollen, QStringLiteral("25"));
        }
    }
}

TEST(ZKGpxImportTest, ValuesWithoutAnOpenPartAreDropped)
{
    ZKGpx2 doc;
    doc.setVersion(2);
    // Before any "new" operation: nothing to put them in, and nothing may break.
    doc.setMetadata(keys({{"name", "n"}}));
    doc.setMetadataExtensions(kExtensionKeys);
    doc.setRoute(keys({{"name", "r"}}));
    doc.addRoutePoint(keys({{"rtept_lat", "1"}}));
    doc.newTrack();
    doc.addTrackPoint(keys({{"trkpt_lat", "1"}}));
    doc.setIntervalSegment(keys({{"order", "1"}}));
    doc.newLogSegment();
    doc.addLogPoint(kLogPointKeys);
    doc.setWorkoutLog(keys({{"wrklog_id", "1"}}));
    doc.addWorkoutInterval(keys({{"interval_order", "1"}}));
    doc.addLap(keys({{"lap_order", "1"}}));
    doc.setSummary(keys({{"summary_start", "s"}}));
    EXPECT_EQ(doc.metadata, std::nullopt);
    EXPECT_EQ(doc.route, std::nullopt);
    EXPECT_EQ(doc.trackList, std::nullopt);
    EXPECT_EQ(doc.logSegments, std::nullopt);
    EXPECT_EQ(doc.workoutLog, std::nullopt);
    EXPECT_EQ(doc.laps, std::nullopt);

    // Opened lists without their current item.
    doc.newTrackList();
    doc.addTrackPoint(keys({{"trkpt_lat", "1"}}));
    doc.setIntervalSegment(keys({{"order", "1"}}));
    EXPECT_TRUE(doc.trackList->tracks.isEmpty());
    doc.newLogSegmentList();
    doc.addLogPoint(kLogPointKeys);
    EXPECT_TRUE(doc.logSegments->items.isEmpty());
    ZKGpxItemList<ZKGpxLogSegment> segments;
    segments.appendToCurrent(ZKGpxLogPoint());
    EXPECT_TRUE(segments.items.isEmpty());
}

TEST(ZKGpxImportTest, NewOperationsReplaceButWaypointsAppend)
{
    ZKGpx2 doc;
    doc.setVersion(2);
    doc.newWorkoutLog();
    doc.addWorkoutInterval(keys({{"interval_order", "1"}, {"start", "s"}}));
    doc.setWorkoutLog(keys({{"wrklog_id", "7"}}));
    ASSERT_EQ(doc.workoutLog->intervals.size(), 1);
    EXPECT_EQ(doc.workoutLog->intervals.at(0), (ZKGpxInterval{QStringLiteral("1"), QStringLiteral("s"), QString()}));
    doc.newWorkoutLog();
    EXPECT_EQ(doc.workoutLog, ZKGpxWorkoutLog());

    doc.newLapList();
    doc.addLap(keys({{"lap_order", "1"}}));
    doc.setSummary(keys({{"summary_start", "s"}}));
    doc.newLapList();
    EXPECT_TRUE(doc.laps->items.isEmpty());
    EXPECT_EQ(doc.laps->summary, std::nullopt);

    doc.newLogSegmentList();
    doc.newLogSegment();
    doc.newLogSegment();
    doc.addLogPoint(kLogPointKeys);
    ASSERT_EQ(doc.logSegments->items.size(), 2);
    EXPECT_TRUE(doc.logSegments->items.at(0).points.isEmpty());
    EXPECT_EQ(doc.logSegments->items.at(1).points.size(), 1) << "points go to the newest segment";
    doc.newLogSegmentList();
    EXPECT_TRUE(doc.logSegments->items.isEmpty());

    doc.newTrainingLog();
    doc.setVersion(1);
    doc.addLogPoint(kLogPointKeys);
    doc.newTrainingLog();
    EXPECT_TRUE(doc.trainingLog->isEmpty());

    doc.addWaypoint(keys({{"wpt_lat", "1"}}));
    doc.addWaypoint(keys({{"wpt_lat", "2"}, {"type_isCal", "1"}}));
    ASSERT_EQ(doc.waypoints.size(), 2);
    EXPECT_EQ(doc.waypoints.at(1).lat, QStringLiteral("2"));
    EXPECT_EQ(doc.waypoints.at(1).isCal, QStringLiteral("1"));
}
