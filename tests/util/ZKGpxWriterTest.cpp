#include "util/ZKGpxWriter.h"
#include "OrvoTestSupport.h"
#include "ZKGpxTestDocument.h"
#include "ZKLogCapture.h"
#include "util/ZKGpx2.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

QByteArray writeToBytes(ZKGpxExportable &source)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("out.gpx"));
    ZKGpxWriter writer(QStringLiteral("2.0"), source);
    if (!writer.write(path))
        return {};
    return OrvoTest::readFile(path);
}

// The lines inside the root, without their indentation.
QString body(const QByteArray &file)
{
    QStringList lines = QString::fromUtf8(file).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() < 3)
        return {};
    lines = lines.mid(2, lines.size() - 3);
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n'));
}

bool isWellFormed(const QByteArray &file)
{
    QXmlStreamReader reader(file);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// A training-course stand-in: writes one marker element and counts its deletion.
class FakeCourse
{
public:
    explicit FakeCourse(int &deletions)
        : m_deletions(deletions)
    {}
    ~FakeCourse() { ++m_deletions; }
    void writeWorkouts(QXmlStreamWriter &writer) { writer.writeEmptyElement(QStringLiteral("wrk")); }

private:
    int &m_deletions;
};

struct BodyCase
{
    const char *name;
    std::function<void(ZKGpx2 &)> build;
    const char *expectedBody;
};

ZKGpxRoutePoint routePoint(int i)
{
    return {QString::number(i), QString::number(-i), QString(), QString(), QString(), QString()};
}

const std::vector<BodyCase> kBodyCases = {
    {"EmptyDocumentHasOnlyTheRootExtensions", [](ZKGpx2 &) {}, "<extensions/>"},
    {"RouteWithoutPointsHasNoNumber",
     [](ZKGpx2 &doc) {
         doc.route.emplace();
         doc.route->name = QStringLiteral("r");
         doc.route->number = QStringLiteral("12");
     },
     "<rte>\n<name>r</name>\n</rte>\n<extensions/>"},
    {"RouteNumberIsThePointCount",
     [](ZKGpx2 &doc) {
         doc.route.emplace();
         doc.route->number = QStringLiteral("3");
         for (int i = 0; i < 12; ++i)
             doc.route->appendPoint(routePoint(i));
     },
     "<rte>\n<number>12</number>\n<rtept lat=\"0\" lon=\"0\"/>\n<rtept lat=\"1\" lon=\"-1\"/>\n"
     "<rtept lat=\"2\" lon=\"-2\"/>\n<rtept lat=\"3\" lon=\"-3\"/>\n<rtept lat=\"4\" lon=\"-4\"/>\n"
     "<rtept lat=\"5\" lon=\"-5\"/>\n<rtept lat=\"6\" lon=\"-6\"/>\n<rtept lat=\"7\" lon=\"-7\"/>\n"
     "<rtept lat=\"8\" lon=\"-8\"/>\n<rtept lat=\"9\" lon=\"-9\"/>\n<rtept lat=\"10\" lon=\"-10\"/>\n"
     "<rtept lat=\"11\" lon=\"-11\"/>\n</rte>\n<extensions/>"},
    {"BoundsNeedAllFourAndAuthorOnlyWhatIsSet",
     [](ZKGpx2 &doc) {
         doc.metadata.emplace();
         doc.metadata->minlat = QStringLiteral("1");
         doc.metadata->minlon = QStringLiteral("2");
         doc.metadata->maxlat = QStringLiteral("3");
         doc.metadata->authorLink = QStringLiteral("l");
         doc.metadata->shtname = QStringLiteral("never written");
         doc.metadata->rtetype = QStringLiteral("first dialect only");
         doc.metadata->deviceText1 = QStringLiteral("65");
     },
     "<metadata>\n<author>\n<link>l</link>\n</author>\n<extensions>\n<user/>\n</extensions>\n</metadata>\n"
     "<extensions/>"},
    {"SysWithoutVersionIsATextElementWithoutApps",
     [](ZKGpx2 &doc) {
         doc.metadata.emplace();
         doc.metadata->sys = QStringLiteral("K50");
         doc.metadata->appName = QStringLiteral("orvo");
         doc.metadata->acttype = QStringLiteral("run");
     },
     "<metadata>\n<extensions>\n<user/>\n<sys>K50</sys>\n<acttype>run</acttype>\n</extensions>\n</metadata>\n"
     "<extensions/>"},
    {"PairedAttributesAreBothWrittenWhenEitherIsSet",
     [](ZKGpx2 &doc) {
         doc.metadata.emplace();
         doc.metadata->sys = QStringLiteral("K50");
         doc.metadata->sysVersion = QStringLiteral("2");
         doc.metadata->appVersion = QStringLiteral("9");
         doc.metadata->user.sprint = QStringLiteral("5");
         doc.metadata->user.racedist = QStringLiteral("42");
         doc.metadata->user.bike.text = QStringLiteral("b");
     },
     "<metadata>\n<extensions>\n<user>\n<bike>b</bike>\n<stridelen longdist=\"\" sprint=\"5\"/>\n"
     "<runperf racetime=\"\" racedist=\"42\"/>\n</user>\n<sys version=\"2\">K50<apps>\n"
     "<app name=\"\" version=\"9\"/>\n</apps>\n</sys>\n</extensions>\n</metadata>\n<extensions/>"},
    {"ZonesEndWhereEitherBoundListEnds",
     [](ZKGpx2 &doc) {
         doc.metadata.emplace();
         doc.metadata->user.zoneDefs = {{QStringLiteral("hr"), {1, 2, 3}, {10, 20}},
                                        {QString(), {}, {5}},
                                        {QStringLiteral("pwr"), {-2147483647 - 1}, {2147483647, 9}}};
     },
     "<metadata>\n<extensions>\n<user>\n<zonedef type=\"hr\">\n<zone id=\"1\" low=\"1\" high=\"10\"/>\n"
     "<zone id=\"2\" low=\"2\" high=\"20\"/>\n</zonedef>\n<zonedef type=\"\"/>\n<zonedef type=\"pwr\">\n"
     "<zone id=\"1\" low=\"-2147483648\" high=\"2147483647\"/>\n</zonedef>\n</user>\n</extensions>\n</metadata>\n"
     "<extensions/>"},
    {"TrackSegmentExtensionsNeedMoreThanTheSubtype",
     [](ZKGpx2 &doc) {
         doc.trackList.emplace();
         ZKGpxTrack onlySubtype;
         onlySubtype.acttypeSubtype = QStringLiteral("road");
         onlySubtype.appendPoint({QStringLiteral("1"), QStringLiteral("2"), QString(), QString(), QString(), QString(),
                                  QString(), QStringLiteral("9.9")});
         doc.trackList->append(onlySubtype);
         ZKGpxTrack actType;
         actType.acttype = QStringLiteral("mtb");
         actType.itvSegEnd = QStringLiteral("5");
         doc.trackList->append(actType);
     },
     "<trk>\n<trkseg>\n<trkpt lat=\"1\" lon=\"2\"/>\n</trkseg>\n<trkseg>\n<extensions>\n"
     "<itvSeg start=\"\" end=\"5\"/>\n<acttype subtype=\"\">mtb</acttype>\n</extensions>\n</trkseg>\n</trk>\n"
     "<extensions/>"},
    {"EmptyTrackListStillWritesTrk",
     [](ZKGpx2 &doc) {
         doc.trackList.emplace();
         doc.logSegments.emplace();
     },
     "<trk/>\n<extensions>\n<ssrlog/>\n</extensions>"},
    {"WaypointTypeCarriesIsCalOnlyWhenSet",
     [](ZKGpx2 &doc) {
         ZKGpxWaypoint noType;
         noType.isCal = QStringLiteral("1");
         doc.waypoints.append(noType);
         ZKGpxWaypoint typed;
         typed.type = QStringLiteral("poi");
         doc.waypoints.append(typed);
     },
     "<wpt lat=\"\" lon=\"\"/>\n<wpt lat=\"\" lon=\"\">\n<type>poi</type>\n</wpt>\n<extensions/>"},
    {"LapPairsAndSummaryWithoutOrder",
     [](ZKGpx2 &doc) {
         doc.laps.emplace();
         ZKGpxLap lap;
         lap.speedMax = QStringLiteral("40");
         lap.pwrAvg = QStringLiteral("150");
         doc.laps->append(lap);
         ZKGpxLap summary;
         summary.order = QStringLiteral("not written");
         summary.hrmAvg = QStringLiteral("140");
         doc.laps->summary = summary;
     },
     "<extensions>\n<laps>\n<lap order=\"\" start=\"\" end=\"\">\n<speed max=\"40\" avg=\"\"/>\n"
     "<pwr max=\"\" avg=\"150\"/>\n</lap>\n<summary start=\"\" end=\"\">\n<hrm max=\"\" avg=\"140\"/>\n</summary>\n"
     "</laps>\n</extensions>"},
    {"FirstDialectTrainingLogIsNotWritten",
     [](ZKGpx2 &doc) {
         doc.trainingLog.emplace();
         doc.trainingLog->append({QStringLiteral("t"), QStringLiteral("1"), QString(), QString(), QString(), QString(),
                                  QString(), QStringLiteral("7"), QStringLiteral("8")});
     },
     "<extensions/>"},
    {"LogPointCarriesOnlySecondDialectValues",
     [](ZKGpx2 &doc) {
         doc.logSegments.emplace();
         doc.logSegments->append({{{QString(), QString(), QString(), QString(), QString(), QStringLiteral("250"),
                                    QString(), QStringLiteral("7"), QStringLiteral("8")}},
                                  QString()});
     },
     "<extensions>\n<ssrlog>\n<logseg>\n<logpt time=\"\">\n<pwr>250</pwr>\n</logpt>\n</logseg>\n</ssrlog>\n"
     "</extensions>"},
};

void PrintTo(const BodyCase &c, std::ostream *os)
{
    *os << c.name;
}

class ZKGpxWriterBodyTest : public ::testing::TestWithParam<BodyCase>
{};

} // namespace

TEST_P(ZKGpxWriterBodyTest, WritesOnlyWhatTheRulesAllow)
{
    ZKGpx2 doc;
    GetParam().build(doc);
    const QByteArray file = writeToBytes(doc);
    EXPECT_EQ(body(file), QString::fromUtf8(GetParam().expectedBody));
    EXPECT_TRUE(isWellFormed(file));
}

INSTANTIATE_TEST_SUITE_P(Documents, ZKGpxWriterBodyTest, ::testing::ValuesIn(kBodyCases),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(ZKGpxWriterTest, FullRideMatchesTheCheckedFile)
{
    std::unique_ptr<ZKGpx2> doc = ZKGpxTestDocument::fullRide();
    const QByteArray actual = writeToBytes(*doc);
    const QString goldenPath = OrvoTest::dataPath(QStringLiteral("util/full-ride.gpx"));
    if (qEnvironmentVariable("ORVO_UPDATE_GOLDEN") == QLatin1String("1"))
        OrvoTest::writeFile(goldenPath, actual);
    const QByteArray expected = OrvoTest::readFile(goldenPath);
    if (actual != expected) {
        OrvoTest::writeFile(goldenPath + QStringLiteral(".actual"), actual);
        ADD_FAILURE() << "written file differs; see " << goldenPath.toStdString() << ".actual";
    }
}

TEST(ZKGpxWriterTest, RootCarriesTheDialectWhateverTheWriterVersion)
{
    ZKGpx2 doc;
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("root.gpx"));
    ZKGpxWriter writer(QStringLiteral("9.9"), doc);
    ASSERT_TRUE(writer.write(path));
    EXPECT_EQ(OrvoTest::readFile(path),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"tarvex\" "
                         "version=\"2.2.0.3\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                         "xsi:schemaLocation=\"http://www.tarvex.com/xmlschemas/KRM/2/2 "
                         "http://www.tarvex.com/xmlschemas/KRM/2/2/KRM.xsd\">\n"
                         "  <extensions/>\n"
                         "</gpx>\n"));
}

TEST(ZKGpxWriterTest, TrainingCourseFollowsTheLapsOnlyWithAWorkoutLog)
{
    int deletions = 0;
    {
        ZKGpx2 doc;
        doc.laps.emplace();
        FakeCourse *course = doc.attachTrainingCourse(std::make_unique<FakeCourse>(deletions));
        EXPECT_NE(course, nullptr);
        EXPECT_TRUE(doc.hasTrainingCourse());
        EXPECT_EQ(body(writeToBytes(doc)), QStringLiteral("<extensions>\n<laps/>\n</extensions>"));

        doc.workoutLog.emplace();
        EXPECT_EQ(body(writeToBytes(doc)),
                  QStringLiteral("<extensions>\n<wrklog id=\"\" type=\"\" subtype=\"\"/>\n<laps/>\n<wrk/>\n"
                                 "</extensions>"));

        doc.attachTrainingCourse(std::make_unique<FakeCourse>(deletions));
        EXPECT_EQ(deletions, 1) << "a replaced course is deleted";
    }
    EXPECT_EQ(deletions, 2) << "the document deletes the course it owns";
}

TEST(ZKGpxWriterTest, ProfileFileReplacesTheUserBlockOnlyWhenWellFormed)
{
    struct Case
    {
        const char *name;
        const char *profile;
        bool userBlock;
        bool logged;
    };
    const std::vector<Case> cases = {
        {"WellFormed",
         "<?xml version=\"1.0\"?>\n<!-- saved by the device -->\n<settings>\n"
         "  <property name=\"User Sex\" value=\"1\"/>\n  <property name=\"User Weight\" value=\"55 &amp; up\"/>\n"
         "</settings>\n",
         false, false},
        {"Unclosed", "<settings>\n  <property name=\"User Sex\" value=\"1\">\n</settings>\n", true, true},
        {"Truncated", "<settings>\n  <property name=\"User Sex\" value=\"1\"/>\n", true, true},
        {"Empty", "", true, true},
        {"Missing", nullptr, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        const QString profilePath = dir.filePath(QStringLiteral("profile.xml"));
        if (c.profile) {
            ASSERT_TRUE(OrvoTest::writeFile(profilePath, c.profile));
        }
        ZKGpx2 doc;
        doc.metadata.emplace();
        doc.metadata->profileFile = profilePath;
        doc.metadata->user.name = QStringLiteral("aiko");
        doc.metadata->sharetype = QStringLiteral("ride");

        ZKLogCapture log;
        const QByteArray file = writeToBytes(doc);
        ASSERT_FALSE(file.isEmpty());
        EXPECT_TRUE(isWellFormed(file));
        const QString written = body(file);
        if (c.userBlock) {
            EXPECT_TRUE(written.startsWith(QStringLiteral("<metadata>\n<extensions>\n<user>\n<name>aiko</name>\n"
                                                          "</user>\n<sharetype>ride</sharetype>")))
                << written.toStdString();
        } else {
            EXPECT_TRUE(written.startsWith(QStringLiteral(
                "<metadata>\n<extensions>\n<settings>\n<property name=\"User Sex\" value=\"1\"/>\n"
                "<property name=\"User Weight\" value=\"55 &amp; up\"/>\n</settings>\n<sharetype>ride</sharetype>")))
                << written.toStdString();
        }
        EXPECT_EQ(log.all().contains(QStringLiteral("is not well-formed")), c.logged) << log.all().toStdString();
    }
}

TEST(ZKGpxWriterTest, UnwritableTargetAnswersFalseAndWritesNothing)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/folder/out.gpx"));
    ZKGpx2 doc;
    ZKGpxWriter writer(QStringLiteral("2.0"), doc);
    ZKLogCapture log;
    EXPECT_FALSE(writer.write(path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(log.all().contains(QStringLiteral("can't write ") + path)) << log.all().toStdString();
}

TEST(ZKGpxWriterTest, FailedWriteKeepsThePreviousFile)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("ride.gpx"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "previous"));
    std::unique_ptr<ZKGpx2> doc = ZKGpxTestDocument::fullRide();
    ZKGpxWriter writer(QStringLiteral("2.0"), *doc);

    // A file-size limit makes every write past 1 KiB fail the way a full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writer.write(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(OrvoTest::readFile(path), QByteArray("previous"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("ride.gpx")})
        << "no temporary file is left behind";
}

TEST(ZKGpxWriterTest, WritingAgainReplacesTheFile)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("ride.gpx"));
    std::unique_ptr<ZKGpx2> full = ZKGpxTestDocument::fullRide();
    ASSERT_TRUE(ZKGpxWriter(QStringLiteral("2.0"), *full).write(path));
    ZKGpx2 empty;
    ASSERT_TRUE(ZKGpxWriter(QStringLiteral("2.0"), empty).write(path));
    EXPECT_EQ(body(OrvoTest::readFile(path)), QStringLiteral("<extensions/>"));
}
