#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackPoint.h"

#include "OrvoTestSupport.h"
#include "Psf14TestDevice.h"
#include "PsfImage14Builder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <ostream>

namespace PsfImage14Builder {

// Names the layout where GoogleTest would print its bytes.
static void PrintTo(Model model, std::ostream *os)
{
    *os << (model == Model::Kavel35 ? "Kavel35" : "Pulmor30");
}

} // namespace PsfImage14Builder

namespace {

using PsfImage14Builder::Content;
using PsfImage14Builder::Model;

struct Position
{
    qint32 longitude;
    qint32 latitude;
    bool operator==(const Position &) const = default;
};

void PrintTo(const Position &p, std::ostream *os)
{
    *os << "(" << p.longitude << ", " << p.latitude << ")";
}

// A track's positions: its start, then each point's changes added one after the other.
QVector<Position> positionsOf(const OrvoPSFTrack &track)
{
    QVector<Position> positions{{track.startLongitude(), track.startLatitude()}};
    auto step = [&](qint16 longitude, qint16 latitude) {
        positions.append({positions.last().longitude + longitude, positions.last().latitude + latitude});
    };
    for (const OrvoPSFTrackPoint *point : track.trackPoints())
        step(point->longitudeDelta(), point->latitudeDelta());
    for (const OrvoPSFRoutePoint *point : track.routePoints())
        step(point->longitudeDelta(), point->latitudeDelta());
    return positions;
}

// The sample, with the second workout's repeat going back to its own first interval (the
// third interval of the area, 60 bytes from its start).
Content repeatingContent()
{
    Content content = PsfImage14Builder::sampleContent();
    content.workouts[1].intervals[1].repeatTarget = 60;
    return content;
}

// The sample with the planned "Lake loop" first, so that removing it moves every ride; the
// workout log follows "Morning ride" to its place.
Content plannedRouteFirst()
{
    Content content = PsfImage14Builder::sampleContent();
    content.routes.move(2, 0);
    content.workouts[0].logs[0].rideOffset = 156;
    return content;
}

void expectSameFiles(const QString &firstDir, const QString &secondDir, const QStringList &names)
{
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray first = OrvoTest::readFile(QDir(firstDir).filePath(name));
        EXPECT_FALSE(first.isEmpty());
        EXPECT_EQ(first, OrvoTest::readFile(QDir(secondDir).filePath(name)));
        EXPECT_TRUE(isWellFormedXml(QDir(firstDir).filePath(name)));
    }
}

class OrvoPSF14RoundTripTest : public ::testing::TestWithParam<Model>
{};

TEST_P(OrvoPSF14RoundTripTest, RidesExportTheSameAfterTheContainerWroteItselfBack)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent(), GetParam());
    device.psf().setFlag2(1);
    OrvoTest::OutputDir before;
    const QStringList files = device.psf().trackToXML(before.path(), testExportDevice());
    ASSERT_EQ(files, QStringList({"Morningride0.gpx", "Eveningride0.gpx"}));
    // The ride that followed a workout carries the workout's log and the workout itself.
    const QByteArray morning = OrvoTest::readFile(before.filePath(files.first()));
    EXPECT_TRUE(morning.contains("<wrklog id=\"7\""));
    EXPECT_TRUE(morning.contains("<wrk id=\"7\""));

    ASSERT_TRUE(device.writeBack());
    device.reparse();
    OrvoTest::OutputDir unmarked;
    EXPECT_TRUE(device.psf().trackToXML(unmarked.path(), testExportDevice()).isEmpty())
        << "the export marks reach the image";
    device.psf().setFlag2(1);
    OrvoTest::OutputDir after;
    EXPECT_EQ(device.psf().trackToXML(after.path(), testExportDevice()), files);
    expectSameFiles(before.path(), after.path(), files);
}

TEST_P(OrvoPSF14RoundTripTest, AnExportedRideImportsAsARouteThroughTheSamePositions)
{
    Psf14TestDevice device(PsfImage14Builder::sampleContent(), GetParam());
    device.psf().setFlag2(1);
    OrvoTest::OutputDir dir;
    const QStringList files = device.psf().trackToXML(dir.path(), testExportDevice());
    ASSERT_FALSE(files.isEmpty());
    ASSERT_TRUE(device.psf().importGpx(dir.filePath(files.first())));
    ASSERT_TRUE(device.writeBack());

    const OrvoPSF &psf = device.reparse();
    const QVector<QPointer<OrvoPSFRoute>> &routes = psf.routeFrame()->routes();
    ASSERT_EQ(routes.size(), 5);
    const OrvoPSFRoute &ride = *routes.first();
    const OrvoPSFRoute &route = *routes.last();
    EXPECT_FALSE(route.isTrack());
    EXPECT_TRUE(route.routeFlag3());
    EXPECT_EQ(route.name(), QByteArray("Morning ride").leftJustified(128, '\0'));
    ASSERT_EQ(route.tracks().size(), ride.tracks().size());
    for (qsizetype k = 0; k < ride.tracks().size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(positionsOf(*route.tracks().at(k)), positionsOf(*ride.tracks().at(k)));
    }
}

TEST_P(OrvoPSF14RoundTripTest, PoisAndWorkoutsSurviveExportImportAndExport)
{
    Psf14TestDevice source(repeatingContent(), GetParam());
    source.psf().setFlag2(1);
    OrvoTest::OutputDir before;
    const QStringList pois = source.psf().poisToGpx(before.path(), testExportDevice());
    const QStringList workouts = source.psf().workoutsToFile(before.path(), testExportDevice());
    ASSERT_EQ(pois.size(), 3);
    ASSERT_EQ(workouts, QStringList({"Intervals0.wrk", "Tempo0.wrk"}));
    EXPECT_TRUE(OrvoTest::readFile(before.filePath("Tempo0.wrk")).contains("<goto repeat=\"4\">1</goto>"));

    Psf14TestDevice target(Content{}, GetParam());
    for (const QString &poi : pois)
        EXPECT_TRUE(target.psf().importGpx(before.filePath(poi))) << poi.toStdString();
    for (const QString &workout : workouts)
        EXPECT_TRUE(target.psf().importXml(before.filePath(workout))) << workout.toStdString();
    ASSERT_TRUE(target.writeBack());
    target.reparse().setFlag2(1);

    OrvoTest::OutputDir after;
    EXPECT_EQ(target.psf().poisToGpx(after.path(), testExportDevice()), pois);
    EXPECT_EQ(target.psf().workoutsToFile(after.path(), testExportDevice()), workouts);
    expectSameFiles(before.path(), after.path(), pois + workouts);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OrvoPSF14RoundTripTest, ::testing::Values(Model::Kavel35, Model::Pulmor30),
                         [](const auto &i) { return i.param == Model::Kavel35 ? "Kavel35" : "Pulmor30"; });

struct RemovalCase
{
    const char *name;
    Content content;
    int plannedRoute;
};

TEST(OrvoPSF14RoundTripTest, RemovingAPlannedRouteLeavesTheRidesAsTheyWere)
{
    const RemovalCase cases[] = {
        {"plannedRouteAfterTheRides", PsfImage14Builder::sampleContent(), 2},
        {"plannedRouteBeforeTheRides", plannedRouteFirst(), 0},
    };
    for (const RemovalCase &c : cases) {
        SCOPED_TRACE(c.name);
        Psf14TestDevice device(c.content);
        device.psf().setFlag2(1);
        OrvoTest::OutputDir before;
        const QStringList files = device.psf().trackToXML(before.path(), testExportDevice());
        ASSERT_EQ(files.size(), 2);
        ASSERT_TRUE(device.psf().removeRoutes({c.plannedRoute}));
        ASSERT_TRUE(device.writeBack());
        device.reparse().setFlag2(1);
        EXPECT_EQ(device.psf().routeFrame()->routes().size(), 3);
        OrvoTest::OutputDir after;
        EXPECT_EQ(device.psf().trackToXML(after.path(), testExportDevice()), files);
        expectSameFiles(before.path(), after.path(), files);
    }
}

} // namespace
