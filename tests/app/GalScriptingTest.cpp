#include "AppTestSupport.h"
#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "GalFolderBuilder.h"
#include "OrvoTestSupport.h"
#include "RecordingClient.h"

#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "profile/OrvoProfileReaderXML.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace AppTest;

namespace {

using Name = PsfImage15Builder::Name;

const QString kWeightKey = QStringLiteral("User Weight.Metric");
const QString kLanguageKey = QStringLiteral("Sys-langCode");

// A path as a Python string literal.
QString pythonText(const QString &path)
{
    return QStringLiteral("r'%1'").arg(path);
}

// A GAL device folder served by the device library, and the scripting host's GAL functions.
class GalScriptingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        qputenv("LUMOLIB_CALL_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("calls.log"))));
        m_root = m_dir.filePath(QStringLiteral("device"));
        ASSERT_TRUE(QDir().mkpath(m_root));
    }
    void TearDown() override { qunsetenv("LUMOLIB_CALL_LOG"); }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    OrvoTest::OutputDir m_dir;
    QString m_root;
    OrvoGalLibrary m_library;
};

// Keys with a blank and a dot go from Python through the library's INI reader and writer and
// back to Python and the profile XML unchanged.
TEST_F(GalScriptingTest, ProfileTravelsThroughTheLibraryWithItsKeysAsGiven)
{
    ASSERT_TRUE(GalFolderBuilder(m_root).setProfile(
        {{kWeightKey, QStringLiteral("70")}, {kLanguageKey, QStringLiteral("eng")}}));
    PythonCppBridge *bridge = pythonBridge();
    const QString write = path(QStringLiteral("pfwrite.ini"));
    const QString read = path(QStringLiteral("pfread.ini"));
    const QString xml = path(QStringLiteral("profile.xml"));

    ASSERT_TRUE(
        bridge->createProfileIni({kWeightKey, kLanguageKey}, {QStringLiteral("71"), QStringLiteral("deu")}, write));
    ASSERT_TRUE(m_library.refreshProfile(m_root, write));
    ASSERT_TRUE(m_library.getProfile(m_root, read));
    runPython(QStringLiteral("import galapi"));
    EXPECT_EQ(evalPython(QStringLiteral("sorted(galapi._profile_items(%1))").arg(QLatin1String("'") + read + "'")),
              QStringLiteral("[('Sys-langCode', 'deu'), ('User Weight.Metric', '71')]"));
    EXPECT_EQ(QSettings(read, QSettings::IniFormat).value(kLanguageKey).toString(), QStringLiteral("deu"))
        << "the device code reads the language as a top-level key";

    ASSERT_TRUE(bridge->createProfileXml(read, xml));
    OrvoProfileReaderXML reader;
    OrvoProfileMap map;
    ASSERT_TRUE(reader.read(xml.toUtf8(), map));
    EXPECT_EQ(map, (OrvoProfileMap{{kLanguageKey, QStringLiteral("deu")}, {kWeightKey, QStringLiteral("71")}}));
}

TEST_F(GalScriptingTest, ExportWritesOneGpxFilePerActivityWithItsStartTime)
{
    const GalFolderBuilder device(m_root);
    ASSERT_TRUE(device.addActivity(
        {.fileName = QStringLiteral("240131120000.gal"),
         .name = "Morning",
         .start = 1706702400,
         .end = 1706706000,
         .distance = 30500,
         .points = {{1706702400, 35681236, 139767125, 40, 120, 80}, {1706702460, 35682000, 139768000, 42, 125, 82}}}));
    ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("231224083000.gal"), .start = 1703406600}));
    ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240202000000.gal"), .cutTo = 100}));
    ASSERT_TRUE(device.setProfile({{kWeightKey, QStringLiteral("71")}}));
    const QString read = path(QStringLiteral("pfread.ini"));
    ASSERT_TRUE(m_library.getProfile(m_root, read));
    const QString folder = path(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(folder));

    QStringList files;
    ASSERT_TRUE(pythonBridge()->exportKrm(folder, QStringLiteral("Kavel21"), QStringLiteral("1.0.0.1.05 Orvo2.8.0.20"),
                                          read, m_root + QLatin1Char('/'), files));
    ASSERT_EQ(files,
              (QStringList{folder + QStringLiteral("/231224083000.krm"), folder + QStringLiteral("/240131120000.krm")}))
        << "the activity too short for its lap is left out";

    const std::vector<QString> startTimes = {QStringLiteral("2023-12-24T08:30:00Z"),
                                             QStringLiteral("2024-01-31T12:00:00Z")};
    for (qsizetype i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files.at(i).toStdString());
        ZKGpx2 document;
        ZKGpxReader reader(document);
        ASSERT_TRUE(reader.readFile(files.at(i))) << reader.errorString().toStdString();
        EXPECT_EQ(reader.majorVersion(), 2);
        ASSERT_TRUE(document.metadata.has_value());
        EXPECT_EQ(document.metadata->time, startTimes.at(size_t(i)));
    }
    const QString ride = QString::fromUtf8(OrvoTest::readFile(files.last()));
    EXPECT_TRUE(ride.contains(QStringLiteral("lat=\"35.681236\" lon=\"139.767125\""))) << ride.toStdString();
    EXPECT_TRUE(ride.contains(QStringLiteral("<weight>71</weight>"))) << ride.toStdString();
}

// A device writes what it likes into an activity's name; the GPX file is well-formed all the
// same, the characters XML does not allow left out.
TEST_F(GalScriptingTest, ExportLeavesOutTheCharactersXmlDoesNotAllow)
{
    struct Case
    {
        const char *name;
        QByteArray activityName;
        QString exported;
    };
    const Case cases[] = {
        {"control characters",
         QByteArray("Ri\x01"
                    "de\x1f\x0b"),
         QStringLiteral("Ride")},
        {"a letter beyond ASCII kept", QByteArray("Caf\xE9"), QStringLiteral("Caf\u00E9")},
        {"markup escaped", QByteArray("<a&b>"), QStringLiteral("<a&b>")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString device = path(QStringLiteral("device-%1").arg(c.name));
        ASSERT_TRUE(GalFolderBuilder(device).addActivity(
            {.fileName = QStringLiteral("240131120000.gal"), .name = c.activityName, .start = 1706702400}));
        const QString folder = path(QStringLiteral("export-%1").arg(c.name));
        QStringList files;
        ASSERT_TRUE(pythonBridge()->exportKrm(folder, QStringLiteral("Kavel21\x02"), QStringLiteral("1.0\x03"),
                                              QString(), device + QLatin1Char('/'), files));
        ASSERT_EQ(files.size(), 1);
        ZKGpx2 document;
        ZKGpxReader reader(document);
        ASSERT_TRUE(reader.readFile(files.first())) << reader.errorString().toStdString();
        ASSERT_TRUE(document.metadata.has_value());
        EXPECT_EQ(document.metadata->name, c.exported);
    }
}

// "Done" only when a workout was stored and none failed: a package of nothing the device takes
// is no import.
TEST_F(GalScriptingTest, ShareImportAnswersDoneOnlyWhenItsWorkoutsWereStored)
{
    const QByteArray course = "<trncrs>\n  <wrk id=\"1704067200\" type=\"0\" subtype=\"0\">\n"
                              "    <acttype>1</acttype>\n    <name>Tempo</name>\n"
                              "    <time>2024-01-01T06:00:00Z</time>\n  </wrk>\n</trncrs>\n";
    struct Case
    {
        const char *name;
        QList<FixtureZip::Entry> entries;
        bool done;
        quint32 stored;
    };
    const Case cases[] = {
        {"a workout and a ride", {{"plan.wrk", course}, {"ride.krm", "<gpx/>"}}, true, 1},
        {"a bad workout file among good ones", {{"plan.wrk", course}, {"bad.wrk", "<trncrs><wrk"}}, false, 1},
        {"a workout file holding no workout", {{"plan.wrk", "<trncrs/>"}}, false, 0},
        {"only a ride", {{"ride.krm", "<gpx/>"}}, false, 0},
        {"only a text file", {{"readme.txt", "text"}}, false, 0},
        {"no entry at all", {}, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(m_root + QStringLiteral("/Workout")).removeRecursively());
        const QString package = path(QStringLiteral("share.zip"));
        ASSERT_TRUE(OrvoTest::writeFile(package, FixtureZip::storedArchive(c.entries)));
        const LogWatch log;

        EXPECT_EQ(pythonBridge()->galSetShareData(m_root, package), c.done);

        quint32 count = 0;
        ASSERT_TRUE(m_library.workoutCount(m_root, {}, count));
        EXPECT_EQ(count, c.stored);
        if (c.stored == 0) {
            EXPECT_TRUE(log.contains(QStringLiteral("holds no workout"))) << log.text().toStdString();
        }
    }
}

// The points are read from the file and written as they come: the export of a ride of 50,000
// points needs no more memory than one of a few, and reading them a few at a time gives the
// same bytes as reading them in large blocks.
TEST_F(GalScriptingTest, ExportMemoryDoesNotGrowWithTheRide)
{
    QVector<GalFolderBuilder::Point> points;
    for (quint32 i = 0; i < 50000; ++i)
        points.append({1706702400 + i, qint32(35681236 + i), 139767125, 40, 120, 80});
    ASSERT_TRUE(GalFolderBuilder(m_root).addActivity(
        {.fileName = QStringLiteral("240131120000.gal"), .start = 1706702400, .end = 1706752400, .points = points}));
    const QString folder = path(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(folder));
    runPython(QStringLiteral("import galapi, tracemalloc\n"
                             "tracemalloc.start()\n"
                             "written = galapi.ExportKrm(%1, 'Kavel21', '1.0', '', %2)\n"
                             "peak = tracemalloc.get_traced_memory()[1]\n"
                             "tracemalloc.stop()\n")
                  .arg(pythonText(folder), pythonText(m_root)));
    ASSERT_EQ(evalPython(QStringLiteral("len(written)")), QStringLiteral("1"));
    EXPECT_LT(evalPython(QStringLiteral("peak")).toLongLong(), 1 << 20);
    const QByteArray large = OrvoTest::readFile(folder + QStringLiteral("/240131120000.krm"));
    EXPECT_EQ(large.count("<trkpt "), 50000);
    EXPECT_TRUE(large.contains("<trkpt lat=\"35.731235\" lon=\"139.767125\"><ele>40</ele>"
                               "<time>2024-02-01T01:53:19Z</time></trkpt>"));

    runPython(QStringLiteral("saved_block = galapi.POINTS_PER_READ\n"
                             "galapi.POINTS_PER_READ = 7\n"
                             "try:\n"
                             "    galapi.ExportKrm(%1, 'Kavel21', '1.0', '', %2)\n"
                             "finally:\n"
                             "    galapi.POINTS_PER_READ = saved_block\n")
                  .arg(pythonText(folder), pythonText(m_root)));
    EXPECT_EQ(OrvoTest::readFile(folder + QStringLiteral("/240131120000.krm")), large);
}

// No device writes an activity of more than MAX_ACTIVITY_SIZE bytes; a larger file is refused
// with a log line and the others are exported.
TEST_F(GalScriptingTest, ExportRefusesAnActivityLargerThanADeviceWrites)
{
    const GalFolderBuilder device(m_root);
    ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240131120000.gal"),
                                    .start = 1706702400,
                                    .points = QVector<GalFolderBuilder::Point>(100)}));
    ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("240201120000.gal"),
                                    .start = 1706788800,
                                    .points = QVector<GalFolderBuilder::Point>(2)}));
    const QString folder = path(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const LogWatch log;
    runPython(QStringLiteral("import galapi\n"
                             "saved_bound = galapi.MAX_ACTIVITY_SIZE\n"
                             "galapi.MAX_ACTIVITY_SIZE = 1024\n"
                             "try:\n"
                             "    written = galapi.ExportKrm(%1, 'Kavel21', '1.0', '', %2)\n"
                             "finally:\n"
                             "    galapi.MAX_ACTIVITY_SIZE = saved_bound\n")
                  .arg(pythonText(folder), pythonText(m_root)));
    EXPECT_EQ(evalPython(QStringLiteral("[p.rsplit('/', 1)[-1] for p in written]")),
              QStringLiteral("['240201120000.krm']"));
    EXPECT_TRUE(log.contains(QStringLiteral("240131120000.gal refused"))) << log.text().toStdString();
}

TEST_F(GalScriptingTest, ExportMakesItsFolderAndItsFilesFollowTheUmask)
{
    const GalFolderBuilder device(m_root);
    ASSERT_TRUE(device.addActivity({.fileName = QStringLiteral("231224083000.gal"), .start = 1703406600}));
    for (const mode_t mask : {mode_t(022), mode_t(077), mode_t(002)}) {
        SCOPED_TRACE(mask);
        const QString folder = path(QStringLiteral("export-%1/rides").arg(mask, 0, 8));
        const mode_t previous = ::umask(mask);
        QStringList files;
        const bool exported =
            pythonBridge()->exportKrm(folder, QStringLiteral("Kavel21"), QStringLiteral("1.0.0.1.05 Orvo2.8.0.20"),
                                      QString(), m_root + QLatin1Char('/'), files);
        ::umask(previous);
        ASSERT_TRUE(exported);
        ASSERT_EQ(files, QStringList{folder + QStringLiteral("/231224083000.krm")});
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(files.first()).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
}

TEST_F(GalScriptingTest, ShareImportStoresTheWorkoutForTheLibraryToRead)
{
    const QByteArray course = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\" creator=\"tarvex\" "
                              "version=\"1.3.0.9\">\n"
                              "  <wrk id=\"1704067200\" orgid=\"\" daily=\"\" repeat=\"\" type=\"2\" subtype=\"3\" "
                              "listOrder=\"\">\n"
                              "    <acttype>1</acttype>\n"
                              "    <name>\\eng|Tempo\\deu|Tempolauf</name>\n"
                              "    <time>2024-01-01T06:00:00Z</time>\n"
                              "  </wrk>\n"
                              "</trncrs>\n";
    const QString package = path(QStringLiteral("share.zip"));
    ASSERT_TRUE(
        OrvoTest::writeFile(package, FixtureZip::storedArchive({{"plans/tempo.WRK", course}, {"ride.krm", "<gpx/>"}})));

    ASSERT_TRUE(pythonBridge()->galSetShareData(m_root, package));

    quint32 count = 0;
    QString name;
    QByteArray workoutTemplate;
    QByteArray record;
    ASSERT_TRUE(m_library.workoutCount(m_root, {}, count));
    ASSERT_EQ(count, 1u);
    ASSERT_TRUE(m_library.workoutFileName(m_root, 1, {}, name));
    EXPECT_EQ(name, QStringLiteral("240101000000.wkt"));
    ASSERT_TRUE(m_library.readTemplate(m_root, name, {}, workoutTemplate));
    EXPECT_EQ(FixtureBytes::getU32Le(workoutTemplate, 4), 1704067200u);
    EXPECT_EQ(FixtureBytes::getU32Le(workoutTemplate, 0), 1704088800u);
    EXPECT_EQ(quint8(workoutTemplate.at(12)), 1);
    EXPECT_EQ(quint8(workoutTemplate.at(13)) >> 5, 2);
    EXPECT_EQ(quint8(workoutTemplate.at(14)), 3);
    ASSERT_TRUE(m_library.readWorkoutName(m_root, name, {}, QStringLiteral("deu"), record));
    EXPECT_EQ(record, PsfImage15Builder::nameString(Name{"deu", "Tempolauf"}, false));
}

TEST_F(GalScriptingTest, ShareImportOfAnUnreadablePackageOrWorkoutFails)
{
    const QString broken = path(QStringLiteral("broken.zip"));
    const QString badWorkout = path(QStringLiteral("bad.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(broken, "not a zip"));
    ASSERT_TRUE(OrvoTest::writeFile(badWorkout, FixtureZip::storedArchive({{"a.wrk", "<trncrs><wrk id=\"x\"/>"}})));
    EXPECT_FALSE(pythonBridge()->galSetShareData(m_root, broken));
    EXPECT_FALSE(pythonBridge()->galSetShareData(m_root, badWorkout));
    EXPECT_FALSE(pythonBridge()->galSetShareData(m_root, path(QStringLiteral("missing.zip"))));
}

// A workout the device cannot date (before 1970, or at the 32-bit "none" value and beyond) is
// skipped with a log line; the others of its file and of the package are stored, and the answer
// says that not everything was.
TEST_F(GalScriptingTest, ShareImportSkipsAWorkoutItCannotDateAndStoresTheOthers)
{
    const auto workout = [](const char *id, const char *when) {
        return QByteArray("  <wrk id=\"") + id + "\" type=\"0\" subtype=\"0\">\n    <acttype>1</acttype>\n" +
               "    <name>Tempo</name>\n    <time>" + when + "</time>\n  </wrk>\n";
    };
    const QByteArray first = "<trncrs>\n" + workout("1704067200", "1969-12-31T23:59:59Z") +
                             workout("1704153600", "2024-01-02T06:00:00Z") +
                             workout("1704326400", "2106-02-07T06:28:15Z") + "</trncrs>\n";
    const QByteArray second = "<trncrs>\n" + workout("1704240000", "2024-01-03T06:00:00Z") + "</trncrs>\n";
    const QString package = path(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(package, FixtureZip::storedArchive({{"a.wrk", first}, {"b.wrk", second}})));
    const LogWatch log;

    EXPECT_FALSE(pythonBridge()->galSetShareData(m_root, package));

    QStringList names;
    quint32 count = 0;
    ASSERT_TRUE(m_library.workoutCount(m_root, {}, count));
    for (quint32 i = 1; i <= count; ++i) {
        QString name;
        ASSERT_TRUE(m_library.workoutFileName(m_root, i, {}, name));
        names.append(name);
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("240102000000.wkt"), QStringLiteral("240103000000.wkt")}));
    EXPECT_TRUE(log.contains(QStringLiteral("shared workout 1704067200 skipped"))) << log.text().toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("shared workout 1704326400 skipped"))) << log.text().toStdString();
}

// Device workers call these; each call must tell a failure of the scripting side from success.
TEST_F(GalScriptingTest, CallsFromAWorkerReportEveryKindOfFailure)
{
    runPython(QStringLiteral("import sys, galapi\n"
                             "saved_galapi = galapi\n"
                             "saved_xml = galapi.CreateProfileXml\n"
                             "saved_export = galapi.ExportKrm\n"));
    struct Case
    {
        const char *name;
        const char *setup;
        bool succeeds;
    };
    const std::vector<Case> cases = {
        {"module missing", "sys.modules['galapi'] = None", false},
        {"function missing", "del galapi.CreateProfileXml\ndel galapi.ExportKrm", false},
        {"function raises", "galapi.CreateProfileXml = lambda i, x: 1 / 0\ngalapi.ExportKrm = lambda *a: 1 / 0", false},
        {"false answer", "galapi.CreateProfileXml = lambda i, x: False\ngalapi.ExportKrm = lambda *a: ['a', 3]", false},
        {"good answer", "galapi.CreateProfileXml = lambda i, x: True\ngalapi.ExportKrm = lambda *a: ['a.krm']", true},
    };
    PythonCppBridge *bridge = pythonBridge();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        runPython(QLatin1String(c.setup));
        bool converted = !c.succeeds;
        bool exported = !c.succeeds;
        QStringList files;
        std::thread worker([&] {
            converted = bridge->createProfileXml(QStringLiteral("in.ini"), QStringLiteral("out.xml"));
            exported = bridge->exportKrm(QString(), QString(), QString(), QString(), QString(), files);
        });
        worker.join();
        EXPECT_EQ(converted, c.succeeds);
        EXPECT_EQ(exported, c.succeeds);
        EXPECT_EQ(files, c.succeeds ? QStringList{QStringLiteral("a.krm")} : QStringList());
        runPython(QStringLiteral("sys.modules['galapi'] = saved_galapi\n"
                                 "galapi = saved_galapi\n"
                                 "galapi.CreateProfileXml = saved_xml\n"
                                 "galapi.ExportKrm = saved_export\n"));
    }
    EXPECT_TRUE(PythonCppBridge::yieldToPython());
}

TEST_F(GalScriptingTest, AttachingAClientTellsTheLibraryItsModel)
{
    initEnvironment();
    OrvoDaemon daemon;
    daemon.setModelSetup(&m_library);
    RecordingClient client;
    client.model = QStringLiteral("Kavel21");
    client.total = QStringLiteral("A01");
    client.bootLoader = QStringLiteral("B2");
    client.drive = m_root;

    daemon.onDeviceConnected(&client);

    const QString log = QString::fromUtf8(OrvoTest::readFile(path(QStringLiteral("calls.log"))));
    EXPECT_TRUE(log.contains(QStringLiteral("SetModelName\tKavel21\t=1\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("SetModelIMG\tA01\t=1\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("SetModelIAP\tB2\t=1\n"))) << log.toStdString();
}

} // namespace
