#include "AppTestSupport.h"
#include "DemoDevicesFolder.h"
#include "FixtureZip.h"
#include "Kavel50Drive.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "emulator/OrvoEmulatedPlugControl.h"
#include "emulator/OrvoPlatformSelection.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using namespace AppTest;

namespace {

// The web application's way through a device: wait until the device of the model is served,
// then list, export, build the upload package, import a share package, write the profile, write
// a flash device back and read the profile. Results reach the one callback registered first.
// Every wait returns at once to the loop that called it, which looks again later: nothing blocks
// while it holds the interpreter.
const char *const kScript = R"(
import json
import orvo

demo = {}

def on_result(result):
    demo['results'].append([str(item) for item in result])

def wait_until(ready):
    while not ready():
        yield

def act(name, start):
    count = len(demo['results'])
    if not start(on_result):
        raise RuntimeError(name + ' did not start')
    yield from wait_until(lambda: len(demo['results']) > count)
    demo['steps'][name] = demo['results'][count]

def exercise(model, folder, share, profile_in, profile_out, flash):
    yield from wait_until(lambda: orvo.OrvoClient().getName() == model)
    client = orvo.OrvoClient()
    demo['tracks'] = [track.getName() for track in client.getTracks()]
    yield from act('export', lambda done: client.asyncExportTrack(folder, done))
    yield from act('upload', lambda done: client.asyncPrepareUploadData(done))
    yield from act('import', lambda done: client.asyncImportDownloadZip(share, done))
    yield from act('write profile', lambda done: client.asyncWriteDeviceProfile(profile_in, done))
    if flash:
        yield from act('finalize', lambda done: client.asyncFinalize(done))
    yield from act('read profile', lambda done: client.asyncReadDeviceProfile(profile_out, done))

def start(*arguments):
    demo.clear()
    demo.update(results=[], steps={}, tracks=[], error='', done=False)
    demo['steps_left'] = exercise(*arguments)

# One look: takes the next step when it is ready and returns at once; True when all is done.
def look():
    if demo['done']:
        return True
    try:
        next(demo['steps_left'])
        return False
    except StopIteration:
        pass
    except Exception as error:
        demo['error'] = repr(error)
    demo['done'] = True
    return True

def report():
    return json.dumps({key: value for key, value in demo.items() if key != 'steps_left'})
)";

const QByteArray kProfile = "<settings><property name=\"User Weight.Metric\" value=\"64\"/>"
                            "<property name=\"Sys-langCode\" value=\"eng\"/></settings>";

// What each family takes in and lists afterwards.
struct Family
{
    QString entry;
    bool flash;
    QByteArray share;
    // The route or workout the share package adds, and whether it is a route.
    QString imported;
    bool route;
};

std::vector<Family> families()
{
    const QByteArray krm = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" "
                           "version=\"2.2.0.3\">\n<metadata><name>River path</name>"
                           "<extensions><sharetype>1</sharetype></extensions></metadata>\n"
                           "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
                           "<trk><trkseg><trkpt lat=\"35.0\" lon=\"139.0\"/><trkpt lat=\"35.01\" lon=\"139.0\"/>"
                           "</trkseg></trk>\n</gpx>\n";
    const QByteArray wrk = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\" creator=\"tarvex\" "
                           "version=\"1.3.0.9\">\n"
                           "  <wrk id=\"1704067200\" type=\"2\" subtype=\"3\">\n"
                           "    <acttype>1</acttype>\n"
                           "    <name>\\eng|Threshold</name>\n"
                           "  </wrk>\n"
                           "</trncrs>\n";
    return {
        {DemoDevicesFolder::kKavel50, false, Kavel50Drive::sharePackage(), QStringLiteral("Shared loop"), true},
        {DemoDevicesFolder::kKavel40, true, FixtureZip::storedArchive({{"River.krm", krm}}),
         QStringLiteral("River path"), true},
        {DemoDevicesFolder::kKavel35, true, FixtureZip::storedArchive({{"route.KRM", krm}}),
         QStringLiteral("River path"), true},
        {DemoDevicesFolder::kKavel21, false, FixtureZip::storedArchive({{"plans/threshold.wrk", wrk}}),
         QStringLiteral("Threshold"), false},
    };
}

QString pythonText(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString utcText(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ"));
}

QStringList texts(const QJsonValue &list)
{
    QStringList values;
    for (const QJsonValue &value : list.toArray())
        values.append(value.toString());
    return values;
}

QStringList names(const QVector<OrvoClientData> &items)
{
    QStringList found;
    found.reserve(items.size());
    for (const OrvoClientData &item : items)
        found.append(item.name);
    return found;
}

// The demo folder served as the daemon serves it: the emulated platform on its virtual clock,
// the controller with every row of the table, the web application's loop running.
class OrvoDemoDevicesEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        // The test's wait takes the place of the web application's loop, as in the GAL device's
        // test: greenlet's stack copies, made at another depth of the stack than the program's
        // loop makes them, trip AddressSanitizer inside greenlet. The results and the device
        // library's calls reach Python without the loop.
        pythonBridge()->stopScheduler();
        QString error;
        ASSERT_TRUE(DemoDevicesFolder::write(m_folder, error)) << error.toStdString();
        m_selection = std::make_unique<OrvoPlatformSelection>(QStringLiteral("emulator:") + m_folder);
        OrvoDeviceWaits::install(m_selection->deviceWaits());
        OrvoClient::setCapabilitySource(&m_library);
        OrvoClient::setDeviceScripts(pythonBridge());
        m_daemon.setModelSetup(&m_library);
        OrvoControllerHooks::setCurrentClientHook([this] { return m_daemon.currentClient(); });
        runPython(QString::fromUtf8(kScript));
    }
    void TearDown() override
    {
        OrvoControllerHooks::setCurrentClientHook({});
        OrvoClient::setDeviceScripts(nullptr);
        m_daemon.deviceManager()->releaseCurrentDevice();
        OrvoClient::setCapabilitySource(nullptr);
        OrvoDeviceWaits::install(nullptr);
        QTimer::singleShot(0, pythonBridge(), &PythonCppBridge::slotDoSchedule);
    }

    void plug(const QString &entry)
    {
        ASSERT_TRUE(OrvoTest::writeFile(m_folder + QStringLiteral("/plugged"), entry.toUtf8() + '\n'));
    }

    // Runs the script over the device of the entry; its report, or an empty object.
    QJsonObject exercise(const Family &family)
    {
        const QString base = m_dir.filePath(family.entry);
        const QString share = base + QStringLiteral("-share.zip");
        const QString profileIn = base + QStringLiteral("-profile-in.xml");
        if (!QDir().mkpath(base) || !OrvoTest::writeFile(share, family.share) ||
            !OrvoTest::writeFile(profileIn, kProfile)) {
            ADD_FAILURE() << "no input files";
            return {};
        }
        runPython(QStringLiteral("start(%1, %2, %3, %4, %5, %6)")
                      .arg(pythonText(DemoDevicesFolder::device(family.entry).model), pythonText(base),
                           pythonText(share), pythonText(profileIn), pythonText(base + QStringLiteral("-profile.xml")),
                           family.flash ? QStringLiteral("True") : QStringLiteral("False")));
        const bool done = QTest::qWaitFor([] { return evalPython(QStringLiteral("look()")) == QLatin1String("True"); },
                                          6 * OrvoTest::kPatienceMs);
        const QJsonObject report = QJsonDocument::fromJson(evalPython(QStringLiteral("report()")).toUtf8()).object();
        EXPECT_TRUE(done) << "the script is still waiting";
        EXPECT_EQ(report.value(QStringLiteral("error")).toString(), QString());
        return report;
    }

    // The routes or the workouts of the device, read afresh: for a flash device by a new client
    // over the emulator's image, which holds what the finalize wrote.
    QStringList listed(const Family &family)
    {
        OrvoClient *current = m_daemon.currentClient();
        std::unique_ptr<OrvoClient> fresh;
        if (family.flash) {
            OrvoPlatformInterface::DeviceServices services =
                OrvoPlatform().findSCSIDevices(m_daemon.deviceManager()->deviceTypes());
            if (services.empty())
                return {QStringLiteral("<no flash device>")};
            const OrvoDeviceInfo::Factory factory = services.front()->deviceInfo()->factory;
            fresh = factory(std::move(services.front()));
            if (!fresh)
                return {QStringLiteral("<no fresh client>")};
            current = fresh.get();
        }
        QVector<OrvoClientData> items;
        if (family.route)
            current->getRoutes(items);
        else
            current->getWorkouts(items);
        return names(items);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    const QString m_folder = m_dir.filePath(QStringLiteral("demo-devices"));
    std::unique_ptr<OrvoPlatformSelection> m_selection;
    OrvoGalLibrary m_library;
    OrvoDaemon m_daemon;
};

} // namespace

TEST_F(OrvoDemoDevicesEndToEndTest, EachFamilyIsServedInTurnThroughTheWebApplicationsNames)
{
    ASSERT_TRUE(m_daemon.registerDevices(true));
    for (const Family &family : families()) {
        SCOPED_TRACE(family.entry.toStdString());
        const DemoDevicesFolder::Device demo = DemoDevicesFolder::device(family.entry);
        plug(family.entry);
        const QJsonObject report = exercise(family);
        const QJsonObject steps = report.value(QStringLiteral("steps")).toObject();

        QStringList tracks = texts(report.value(QStringLiteral("tracks")));
        QStringList rides = DemoDevicesFolder::rideNames(family.entry);
        tracks.sort();
        rides.sort();
        EXPECT_EQ(tracks, rides);

        QByteArray gpx;
        for (const QString &file : texts(steps.value(QStringLiteral("export")))) {
            if (!file.endsWith(QLatin1String(".gpx"), Qt::CaseInsensitive) &&
                !file.endsWith(QLatin1String(".krm"), Qt::CaseInsensitive))
                continue;
            const ProcessResult lint = runProcess(QStringLiteral("xmllint"), {QStringLiteral("--noout"), file});
            EXPECT_EQ(lint.exitCode, 0) << file.toStdString();
            gpx += OrvoTest::readFile(file);
        }
        for (const DemoDevicesFolder::Ride &ride : demo.rides)
            EXPECT_TRUE(gpx.contains(utcText(ride.startTime).toLatin1())) << ride.name.toStdString();

        QStringList zips = {m_dir.filePath(family.entry) + QStringLiteral("-share.zip")};
        for (const QString &file : texts(steps.value(QStringLiteral("upload")))) {
            if (file.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
                zips.append(file);
        }
        EXPECT_EQ(zips.size(), 2) << "the upload package is a zip";
        for (const QString &zip : std::as_const(zips))
            EXPECT_EQ(runProcess(QStringLiteral("unzip"), {QStringLiteral("-l"), zip}).exitCode, 0)
                << zip.toStdString();

        EXPECT_TRUE(listed(family).contains(family.imported)) << listed(family).join(u',').toStdString();
        const QByteArray profile = OrvoTest::readFile(m_dir.filePath(family.entry) + QStringLiteral("-profile.xml"));
        EXPECT_TRUE(profile.contains("name=\"User Weight.Metric\" value=\"64\"")) << profile.toStdString();
        EXPECT_NE(demo.weight, QStringLiteral("64")) << "the value read back is the one written";
    }
    // The swaps and the flash devices' waits passed on the emulated devices' clock.
    auto *waits = dynamic_cast<OrvoVirtualDeviceWaits *>(m_selection->deviceWaits());
    ASSERT_NE(waits, nullptr);
    EXPECT_GE(waits->sleptMilliseconds(), 3 * 2 * OrvoEmulatedPlugControl::kHandlingMs);
}
