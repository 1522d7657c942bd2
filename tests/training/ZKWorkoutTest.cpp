#include "training/ZKWorkout.h"

#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "util/ZKTraceLog.h"

#include "OrvoTestSupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const QString kVersion = QStringLiteral("1.3.0.9");

struct Written
{
    QString text;
    ZKTrncrs read;
    bool ok = false;
};

// Writes the workout the way the device database exports it and reads the file back through
// the training-course reader.
void writeAndRead(ZKWorkout &workout, Written &out)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("workout.wrk"));
    out.ok = ZKTrnWriter(kVersion, workout).write(path) && ZKTrncrsReader(&out.read).readFile(path);
    out.text = QString::fromUtf8(OrvoTest::readFile(path));
}

class ZKWorkoutTest : public ::testing::Test
{
protected:
    void SetUp() override { ZKTraceLog::setModelName(QStringLiteral("Kavel60")); }
    void TearDown() override { ZKTraceLog::setModelName(QStringLiteral("Kavel50")); }
};

TEST_F(ZKWorkoutTest, NewWorkoutWritesItsDefaultsAndNoTime)
{
    ZKWorkout workout(7, QStringLiteral("Tempo"));
    Written out;
    writeAndRead(workout, out);
    ASSERT_TRUE(out.ok) << out.text.toStdString();

    EXPECT_TRUE(out.text.contains(QStringLiteral(
        "<wrk id=\"7\" orgid=\"7\" daily=\"false\" repeat=\"0\" type=\"0\" subtype=\"0\" listOrder=\"0\">\n"
        "    <acttype>0</acttype>\n    <name>Tempo</name>\n  </wrk>")))
        << out.text.toStdString();
    // The metadata always carries both, empty or not.
    EXPECT_TRUE(out.text.contains(QStringLiteral("<metadata>\n    <time></time>\n    <sys>Kavel60</sys>\n")))
        << out.text.toStdString();
    ASSERT_EQ(out.read.workouts().size(), 1);
    const ZKTrncrsWorkout &read = out.read.workouts().first();
    EXPECT_EQ(read.id, QStringLiteral("7"));
    EXPECT_EQ(read.orgid, QStringLiteral("7"));
    EXPECT_EQ(read.daily, QStringLiteral("false"));
    EXPECT_EQ(read.acttype, QStringLiteral("0"));
    EXPECT_TRUE(read.time.isEmpty());
    EXPECT_TRUE(read.intervals.isEmpty());
    ASSERT_TRUE(out.read.metadata().has_value());
    EXPECT_EQ(out.read.metadata()->sys, QStringLiteral("Kavel60"));
}

TEST_F(ZKWorkoutTest, FilledWorkoutReadsBackWithTheSameTexts)
{
    ZKWorkout workout(12, QStringLiteral("\\ENG Hills\\DEU Berge"));
    workout.setOrgid(9);
    workout.setDaily(true);
    workout.setRepeat(2);
    workout.setType(5);
    workout.setSubtype(3);
    workout.setListOrder(4);
    workout.setActtype(1);
    workout.setDesc(QStringLiteral("Climb & rest"));
    workout.setCreateTime(QStringLiteral("2013-01-01T08:00:00Z"));
    workout.setDateTime(QDateTime::fromSecsSinceEpoch(1357027200, Qt::UTC));
    ZKWorkoutInterval climb(1, QStringLiteral("Climb"));
    climb.setNeedLap(true);
    climb.setTarget({2, 150, 170, 1});
    climb.duration().set(3, 600);
    climb.duration().setSegmentIndex(4, 6);
    climb.setDurationIsManual(true);
    climb.setGoto(0, 3);
    climb.setLogResolution(1);
    workout.appendInterval(climb);

    Written out;
    writeAndRead(workout, out);
    ASSERT_TRUE(out.ok) << out.text.toStdString();
    ASSERT_EQ(out.read.workouts().size(), 1);
    const ZKTrncrsWorkout &read = out.read.workouts().first();
    EXPECT_EQ(read.id, QStringLiteral("12"));
    EXPECT_EQ(read.orgid, QStringLiteral("9"));
    EXPECT_EQ(read.daily, QStringLiteral("true"));
    EXPECT_EQ(read.repeat, QStringLiteral("2"));
    EXPECT_EQ(read.type, QStringLiteral("5"));
    EXPECT_EQ(read.subtype, QStringLiteral("3"));
    EXPECT_EQ(read.listOrder, QStringLiteral("4"));
    EXPECT_EQ(read.acttype, QStringLiteral("1"));
    EXPECT_EQ(read.name, QStringLiteral("\\ENG Hills\\DEU Berge"));
    EXPECT_EQ(read.desc, QStringLiteral("Climb & rest"));
    EXPECT_EQ(read.time, QStringLiteral("2013-01-01T08:00:00Z"));
    ASSERT_TRUE(out.read.metadata().has_value());
    EXPECT_EQ(out.read.metadata()->time, QStringLiteral("2013-01-01T08:00:00Z"));
    ASSERT_EQ(read.intervals.size(), 1);
    const ZKTrncrsInterval &itv = read.intervals.first();
    EXPECT_EQ(itv.id, QStringLiteral("1"));
    EXPECT_EQ(itv.needLap, QStringLiteral("true"));
    EXPECT_EQ(itv.name, QStringLiteral("Climb"));
    ASSERT_TRUE(itv.target.has_value());
    EXPECT_EQ(itv.target->type, QStringLiteral("2"));
    EXPECT_EQ(itv.target->low, QStringLiteral("150"));
    EXPECT_EQ(itv.target->high, QStringLiteral("170"));
    EXPECT_EQ(itv.target->ishardcon, QStringLiteral("true"));
    ASSERT_TRUE(itv.duration.has_value());
    EXPECT_EQ(itv.duration->type, QStringLiteral("3"));
    EXPECT_EQ(itv.duration->value, QStringLiteral("600"));
    EXPECT_EQ(itv.duration->ismanual, QStringLiteral("true"));
    EXPECT_EQ(itv.duration->segidxStart, QStringLiteral("4"));
    EXPECT_EQ(itv.duration->segidxEnd, QStringLiteral("6"));
    EXPECT_EQ(itv.gotoText, QStringLiteral("0"));
    EXPECT_EQ(itv.gotoRepeat, QStringLiteral("3"));
    EXPECT_EQ(itv.logreso, QStringLiteral("1"));
}

struct IntervalCase
{
    const char *name;
    std::function<void(ZKWorkoutInterval &)> setUp;
    const char *gotoText;
    const char *logreso;
    bool segment;
};

TEST_F(ZKWorkoutTest, IntervalWritesGotoLogResolutionAndSegmentOnlyWhenSet)
{
    const std::vector<IntervalCase> cases = {
        {"defaults", [](ZKWorkoutInterval &) {}, "", "", false},
        {"goto 0 is a jump", [](ZKWorkoutInterval &i) { i.setGoto(0, 2); }, "0", "", false},
        {"goto -1 is none", [](ZKWorkoutInterval &i) { i.setGoto(ZKWorkoutInterval::kNoGoto, 2); }, "", "", false},
        {"logreso 0", [](ZKWorkoutInterval &i) { i.setLogResolution(0); }, "", "", false},
        {"logreso 1", [](ZKWorkoutInterval &i) { i.setLogResolution(1); }, "", "1", false},
        {"segment", [](ZKWorkoutInterval &i) { i.duration().setSegmentIndex(0, 0); }, "", "", true},
        {"type clears the segment",
         [](ZKWorkoutInterval &i) {
             i.duration().setSegmentIndex(1, 2);
             i.duration().set(1, 60);
         },
         "", "", false},
    };
    for (const IntervalCase &c : cases) {
        SCOPED_TRACE(c.name);
        ZKWorkout workout(1, QStringLiteral("w"));
        ZKWorkoutInterval interval(3, QString());
        c.setUp(interval);
        workout.appendInterval(interval);
        Written out;
        writeAndRead(workout, out);
        ASSERT_TRUE(out.ok);
        ASSERT_EQ(out.read.workouts().size(), 1);
        ASSERT_EQ(out.read.workouts().first().intervals.size(), 1);
        const ZKTrncrsInterval &read = out.read.workouts().first().intervals.first();
        EXPECT_EQ(read.gotoText, QLatin1String(c.gotoText));
        EXPECT_EQ(read.logreso, QLatin1String(c.logreso));
        EXPECT_EQ(out.text.contains(QStringLiteral("<segidx")), c.segment);
        // Target and duration are always there; an empty name is left out.
        EXPECT_TRUE(read.target.has_value());
        EXPECT_TRUE(read.duration.has_value());
        EXPECT_EQ(read.needLap, QStringLiteral("false"));
        EXPECT_FALSE(out.text.contains(QStringLiteral("<name></name>")));
    }
}

} // namespace
