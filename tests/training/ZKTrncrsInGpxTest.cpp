#include "training/ZKTrncrs.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxWriter.h"

#include "OrvoTestSupport.h"
#include "TrainingSamples.h"

#include <gtest/gtest.h>

// A ride document carries the workout it followed: the course's workouts land in the GPX
// file's extensions, written by the course itself.
TEST(ZKTrncrsInGpxTest, AttachedCourseWritesItsWorkoutsIntoTheRide)
{
    OrvoTest::OutputDir out;
    ZKGpx2 gpx;
    gpx.workoutLog.emplace();
    ZKTrncrs *course = gpx.attachTrainingCourse(std::make_unique<ZKTrncrs>(TrainingSamples::fullDocument()));
    ASSERT_NE(course, nullptr);
    const QString path = out.filePath(QStringLiteral("ride.gpx"));
    ASSERT_TRUE(ZKGpxWriter(QStringLiteral("2.0"), gpx).write(path));

    const QByteArray bytes = OrvoTest::readFile(path);
    EXPECT_TRUE(bytes.contains("<wrk id=\"7\" orgid=\"3\" daily=\"1\" repeat=\"2\" type=\"1\" subtype=\"4\" "
                               "listOrder=\"0\">"));
    EXPECT_TRUE(bytes.contains("<target type=\"hr\" low=\"120\" high=\"140\" ishardcon=\"true\"/>"));
    EXPECT_TRUE(bytes.contains("<wrk id=\"8\""));
    EXPECT_FALSE(bytes.contains("<trncrs")) << "only the workouts, not a second document root";
}
