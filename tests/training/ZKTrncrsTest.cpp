#include "training/ZKTrncrs.h"

#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

TEST(ZKTrncrsTest, MissingFlagsTakeTheirDefaults)
{
    ZKTrncrs doc;
    doc.newWorkout();
    doc.newInterval();
    doc.newTarget();
    doc.setTarget({});
    doc.newDuration();
    doc.setDuration({});
    doc.setInterval({});
    doc.setWorkout({});

    ASSERT_EQ(doc.workouts().size(), 1);
    ASSERT_EQ(doc.workouts()[0].intervals.size(), 1);
    const ZKTrncrsInterval &interval = doc.workouts()[0].intervals[0];
    EXPECT_EQ(interval.needLap, QStringLiteral("false"));
    EXPECT_EQ(interval.gotoRepeat, QStringLiteral("0"));
    EXPECT_EQ(interval.target->ishardcon, QStringLiteral("false"));
    EXPECT_EQ(interval.duration->ismanual, QStringLiteral("false"));
    EXPECT_EQ(interval.name, QString());

    // Present but empty keys stay empty: only a missing key takes the default.
    doc.newWorkout();
    doc.newInterval();
    doc.setInterval({{QStringLiteral("itv_needLap"), QString()}, {QStringLiteral("goto_repeat"), QString()}});
    doc.setWorkout({});
    EXPECT_EQ(doc.workouts()[1].intervals[0].needLap, QString());
    EXPECT_EQ(doc.workouts()[1].intervals[0].gotoRepeat, QString());
}

TEST(ZKTrncrsTest, RecordsJoinTheirParentOnlyWhenSet)
{
    ZKTrncrs doc;
    doc.newWorkout();
    doc.newInterval();
    doc.setInterval({{QStringLiteral("itv_id"), QStringLiteral("1")}});
    doc.newInterval();
    doc.newTarget();
    doc.setTarget({{QStringLiteral("target_type"), QStringLiteral("hr")}});
    doc.newTarget(); // replaces the first target with an empty one
    doc.setInterval({{QStringLiteral("itv_id"), QStringLiteral("2")}});
    EXPECT_TRUE(doc.workouts().isEmpty());
    doc.newInterval(); // never set: not part of the workout
    doc.setWorkout({{QStringLiteral("wrk_id"), QStringLiteral("7")}});

    ASSERT_EQ(doc.workouts().size(), 1);
    const ZKTrncrsWorkout &workout = doc.workouts()[0];
    EXPECT_EQ(workout.id, QStringLiteral("7"));
    ASSERT_EQ(workout.intervals.size(), 2);
    EXPECT_EQ(workout.intervals[0].id, QStringLiteral("1"));
    EXPECT_FALSE(workout.intervals[0].target);
    ASSERT_TRUE(workout.intervals[1].target);
    EXPECT_EQ(workout.intervals[1].target->type, QString());
}

TEST(ZKTrncrsTest, CallsOutOfOrderChangeNothing)
{
    ZKTrncrs doc;
    doc.setMetadata({{QStringLiteral("name"), QStringLiteral("x")}});
    doc.newTarget();
    doc.setTarget({});
    doc.newDuration();
    doc.setDuration({});
    doc.setInterval({});
    doc.setWorkout({});
    EXPECT_FALSE(doc.metadata());
    EXPECT_TRUE(doc.workouts().isEmpty());

    // An interval read outside any workout is dropped, not added to the next one.
    doc.newInterval();
    doc.setInterval({{QStringLiteral("itv_id"), QStringLiteral("orphan")}});
    doc.newWorkout();
    doc.setWorkout({});
    ASSERT_EQ(doc.workouts().size(), 1);
    EXPECT_TRUE(doc.workouts()[0].intervals.isEmpty());

    // A workout is listed once, however often it is set.
    doc.setWorkout({});
    EXPECT_EQ(doc.workouts().size(), 1);
}

TEST(ZKTrncrsTest, NewMetadataReplacesTheOldRecord)
{
    ZKTrncrs doc;
    doc.newMetadata();
    doc.setMetadata(
        {{QStringLiteral("name"), QStringLiteral("old")}, {QStringLiteral("sys_major"), QStringLiteral("1")}});
    doc.newMetadata();
    ASSERT_TRUE(doc.metadata());
    EXPECT_EQ(doc.metadata()->name, QString());
    EXPECT_EQ(doc.metadata()->sysMajor, QString());
}
