#include "AppTestSupport.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "TestDeviceClient.h"

#include "app/OrvoClientWrapper.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoPython.h"
#include "device/OrvoDeviceDetector.h"
#include "device/OrvoDeviceVersionUtil.h"
#include "device/OrvoPlatform.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace AppTest;

namespace {

// The controller's side: which client is attached, if any.
class ControllerDouble
{
public:
    ControllerDouble()
    {
        OrvoControllerHooks::setCurrentClientHook([this] { return m_attached; });
    }
    ~ControllerDouble() { OrvoControllerHooks::setCurrentClientHook({}); }
    ControllerDouble(const ControllerDouble &) = delete;
    ControllerDouble &operator=(const ControllerDouble &) = delete;

    void attach(OrvoClient *client) { m_attached = client; }
    void detach() { m_attached = nullptr; }

private:
    OrvoClient *m_attached = nullptr;
};

OrvoClientData ride(int id, const QString &name)
{
    OrvoClientData item;
    item.id = id;
    item.name = name;
    item.kind = OrvoClientData::KindRide;
    return item;
}

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, kPatienceMs);
}

// A Python expression on a client handle and what repr() of its answer must be.
struct Call
{
    const char *expression;
    const char *answer;
};

QString evalOn(const QString &handle, const char *expression)
{
    return evalPython(QStringLiteral("repr(%1.%2)").arg(handle, QLatin1String(expression)));
}

class ClientWrapperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        runPython(QStringLiteral("import orvo\n"
                                 "results = []\n"
                                 "def on_result(r): results.append(r)\n"));
    }

    // Makes the client the attached one and hands Python a handle of it under the given name.
    void handOut(TestDeviceClient &client, const char *handle)
    {
        controller.attach(&client);
        runPython(QStringLiteral("%1 = orvo.OrvoClient()").arg(QLatin1String(handle)));
    }

    ControllerDouble controller;
};

// Every method and the answer it gives for a client that is not the current one. The
// asynchronous methods and setShareData say so in the log; the four that act on the client
// given find none, or the placeholder that has nothing to give.
const std::vector<Call> kDefaults = {
    {"getDrive()", "''"},
    {"getServiceType()", "-1"},
    {"asyncReadDeviceProfile('/tmp/p.xml', on_result)", "False"},
    {"asyncWriteDeviceProfile('/tmp/p.xml', on_result)", "False"},
    {"updateDevice('Total', '/tmp/t.bin', '0')", "-1"},
    {"ejectDevice()", "False"},
    {"makelanfile(['eng', 'deu'])", "True"},
    {"newSetShareData('/tmp/s.zip')", "True"},
    {"asyncPrepareUploadData(on_result)", "False"},
    {"asyncImportDownloadZip('/tmp/d.zip', on_result)", "False"},
    {"asyncFinalize(on_result)", "False"},
    {"asyncExportTrack('/tmp/out', on_result)", "False"},
    {"setShareData('/tmp/s.zip')", "False"},
    {"getUUID()", "''"},
    {"getMapEngine()", "''"},
    {"getMapData()", "''"},
    {"getVersions()", "[]"},
    {"getTotal()", "''"},
    {"getLaunchsec()", "''"},
    {"getAP()", "''"},
    {"getBootloader()", "''"},
    {"getOS()", "''"},
    {"isExist()", "False"},
    {"getName()", "''"},
    {"getState()", "2"},
    {"getError()", "False"},
    {"getProgress()", "-1.0"},
    {"getTracks()", "[]"},
    {"toPsfBitfont('Ride', 'eng', False, False)", "b''"},
    {"toPngString(b'\\x00\\x01')", "['', b'']"},
    {"getCapability()", "''"},
    {"deleteData('all')", "False"},
    {"deleteData('ALL')", "False"},
    {"deleteHistory(['Morning'])", "False"},
};

const char *skippedLine(const char *expression)
{
    const QString call = QLatin1String(expression);
    for (const char *method : {"asyncReadDeviceProfile", "asyncWriteDeviceProfile", "asyncPrepareUploadData",
                               "asyncImportDownloadZip", "asyncFinalize", "asyncExportTrack", "setShareData"}) {
        if (call.startsWith(QLatin1String(method) + QLatin1Char('(')))
            return method;
    }
    return nullptr;
}

void expectDefaults(const QString &handle)
{
    for (const Call &c : kDefaults) {
        SCOPED_TRACE(c.expression);
        OrvoMessageCapture log;
        EXPECT_EQ(evalOn(handle, c.expression), QLatin1String(c.answer));
        if (const char *method = skippedLine(c.expression)) {
            EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("OrvoClientWrapper::%1 skipped").arg(method)));
        }
    }
    EXPECT_EQ(evalPython(QStringLiteral("results")), QStringLiteral("[]"));
}

TEST_F(ClientWrapperTest, WithoutADeviceThePlaceholderAnswersEveryDefault)
{
    runPython(QStringLiteral("c = orvo.OrvoClient()"));
    expectDefaults(QStringLiteral("c"));
    ASSERT_NE(placeholderClient(), nullptr);
    EXPECT_FALSE(placeholderClient()->isRunning());
    EXPECT_EQ(placeholderClient()->getState(), OrvoClient::STATE_IN_SERVICE);
}

// The device manager deletes the client of a detached device while Python may still hold it.
TEST_F(ClientWrapperTest, AHandleKeptAfterItsClientIsDeletedAnswersDefaults)
{
    auto client = std::make_unique<TestDeviceClient>();
    client->setError(true);
    handOut(*client, "kept");
    ASSERT_EQ(evalOn(QStringLiteral("kept"), "isExist()"), QStringLiteral("True"));

    controller.detach();
    client.reset();
    EXPECT_EQ(evalPython(QStringLiteral("repr(orvo.OrvoClient().isExist())")), QStringLiteral("False"));
    expectDefaults(QStringLiteral("kept"));
}

// Only the last client handed out is current; the four methods that act on the client given
// still reach an older one, the rest answer their defaults.
TEST_F(ClientWrapperTest, AnOlderClientGetsDefaultsExceptFromTheMethodsThatActOnIt)
{
    TestDeviceClient older;
    TestDeviceClient newer;
    older.tracks = {ride(1, QStringLiteral("Morning"))};
    older.setError(true);
    handOut(older, "old");
    handOut(newer, "new");
    ASSERT_EQ(evalOn(QStringLiteral("new"), "isExist()"), QStringLiteral("True"));

    controller.detach();
    EXPECT_EQ(evalOn(QStringLiteral("orvo.OrvoClient()"), "isExist()"), QStringLiteral("False"));
    EXPECT_EQ(evalOn(QStringLiteral("new"), "isExist()"), QStringLiteral("True"));

    const std::vector<Call> calls = {
        {"isExist()", "False"},    {"getName()", "''"},           {"getState()", "2"},
        {"getTracks()", "[]"},     {"getError()", "True"},        {"getError()", "False"},
        {"ejectDevice()", "True"}, {"deleteData('all')", "True"}, {"deleteHistory(['Morning'])", "True"},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(evalOn(QStringLiteral("old"), c.expression), QLatin1String(c.answer));
    }
    OrvoMessageCapture log;
    EXPECT_EQ(evalOn(QStringLiteral("old"), "asyncFinalize(on_result)"), QStringLiteral("False"));
    EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("OrvoClientWrapper::asyncFinalize skipped")));
    EXPECT_EQ(older.calls(), (QStringList{QStringLiteral("eject"), QStringLiteral("deleteAll"),
                                          QStringLiteral("getTracks"), QStringLiteral("deleteTracks 1")}));
    EXPECT_TRUE(newer.calls().isEmpty());
}

TEST_F(ClientWrapperTest, TheCurrentClientAnswersFromItsDevice)
{
    TestDeviceClient client;
    handOut(client, "c");
    const std::vector<Call> calls = {
        {"getDrive()", "'/media/u/KAVEL'"},
        {"getServiceType()", "0"},
        {"getUUID()", "'0042-7'"},
        {"getVersions()", "['3.1.0', '3.1.2']"},
        {"getTotal()", "'3.1.0'"},
        {"getLaunchsec()", "'1.4'"},
        {"getAP()", "'3.1.2'"},
        {"getBootloader()", "'0.9.1'"},
        {"getOS()", "'3.1.0'"},
        {"isExist()", "True"},
        {"getName()", "'Kavel50'"},
        {"getState()", "0"},
        {"getCapability()", "'route,workout'"},
        {"setShareData('/tmp/s.zip')", "True"},
        {"ejectDevice()", "True"},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(evalOn(QStringLiteral("c"), c.expression), QLatin1String(c.answer));
    }
    EXPECT_EQ(client.calls(), (QStringList{QStringLiteral("setShareData /tmp/s.zip"), QStringLiteral("eject")}));

    client.uuid.clear();
    client.total.clear();
    EXPECT_EQ(evalOn(QStringLiteral("c"), "getUUID()"), QStringLiteral("''"));
    EXPECT_EQ(evalOn(QStringLiteral("c"), "getVersions()"), QStringLiteral("['3.1.2']"));

    client.setError(true);
    client.setErrorCode(5);
    EXPECT_EQ(evalOn(QStringLiteral("c"), "getError()"), QStringLiteral("True"));
    EXPECT_FALSE(client.error());
    EXPECT_EQ(client.errorCode(), 0);
    EXPECT_EQ(evalOn(QStringLiteral("c"), "getError()"), QStringLiteral("False"));
}

// A record too short to hold a string gives nothing, never a read beyond its bytes.
TEST_F(ClientWrapperTest, NamesBecomeBitFontRecordsAndPicturesForTheCurrentClient)
{
    TestDeviceClient client;
    handOut(client, "c");
    runPython(QStringLiteral("record = c.toPsfBitfont('Hill climb', 'deu', True, False)\n"
                             "lang, png = c.toPngString(record)\n"
                             "short_lang, short_png = c.toPngString(b'\\x00\\x01')\n"));
    EXPECT_EQ(evalPython(QStringLiteral("repr((lang, png[:4]))")), QStringLiteral("('deu', b'\\x89PNG')"));
    EXPECT_EQ(evalPython(QStringLiteral("repr((short_lang, short_png))")), QStringLiteral("('', b'')"));
}

struct UpdateCase
{
    const char *name;
    QString model;
    const char *component;
    int answer;
    // What the worker was asked to do; empty when nothing started.
    QString work;
    std::function<void(TestDeviceClient &)> prepare;
};

TEST_F(ClientWrapperTest, UpdateDeviceStartsTheComponentsUpdateOnlyOnAnIdleValidClient)
{
    const QString file = QStringLiteral("/tmp/f.bin");
    const std::vector<UpdateCase> cases = {
        {"application", "Kavel50", "DeviceAp", 0, "_updateAP " + file, {}},
        {"boot loader", "Kavel50", "BootLoader", 0, "_updateBootLoader " + file, {}},
        {"total with its language flag", "Kavel50", "Total", 0, "_updateTotal " + file + " 1", {}},
        {"engine of a drive model",
         "Kavel50CR",
         "GPST_ENGINE",
         0,
         "_updateComponent Kavel50CR 1 GPST_ENGINE " + file,
         {}},
        {"map data of a Kavel60", "Kavel60", "MapData", 0, "_updateComponent Kavel60 1 MapData " + file, {}},
        {"map data of a flash model", "Kavel35", "MapData", 1, {}, {}},
        {"launch code the client can't update", "Kavel50", "LaunchSEC", 1, {}, {}},
        {"component names are exact", "Kavel50", "total", 1, {}, {}},
        {"unknown component", "Kavel50", "Firmware", 1, {}, {}},
        {"client not valid", "Kavel50", "Total", -1, {}, [](TestDeviceClient &c) { c.valid = false; }},
        {"restart pending",
         "Kavel50",
         "Total",
         11,
         {},
         [](TestDeviceClient &c) { c.setStateWithMatch(OrvoClient::STATE_IN_SERVICE, 4); }},
    };
    for (const UpdateCase &c : cases) {
        SCOPED_TRACE(c.name);
        TestDeviceClient client;
        client.model = c.model;
        if (c.prepare)
            c.prepare(client);
        handOut(client, "c");
        EXPECT_EQ(evalOn(QStringLiteral("c"), QStringLiteral("updateDevice('%1', '%2', '1')")
                                                  .arg(QLatin1String(c.component), file)
                                                  .toUtf8()
                                                  .constData()),
                  QString::number(c.answer));
        ASSERT_TRUE(waitIdle(client));
        EXPECT_EQ(client.calls(), c.work.isEmpty() ? QStringList() : QStringList{c.work});
    }
}

TEST_F(ClientWrapperTest, UpdateDeviceIsRefusedWhileAnActionRuns)
{
    TestDeviceClient client;
    handOut(client, "c");
    client.gate.close();
    ASSERT_EQ(evalOn(QStringLiteral("c"), "asyncFinalize(on_result)"), QStringLiteral("True"));
    ASSERT_TRUE(client.gate.waitEntered());
    EXPECT_EQ(evalOn(QStringLiteral("c"), "updateDevice('DeviceAp', '/tmp/f.bin', '')"), QStringLiteral("11"));
    client.gate.open();
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("_finalize")});
}

TEST_F(ClientWrapperTest, TracksReachPythonAsRecordsAndTheClientIsFreeAgain)
{
    TestDeviceClient client;
    client.tracks = {ride(3, QStringLiteral("Morning")), ride(5, QStringLiteral("Évening"))};
    handOut(client, "c");
    EXPECT_EQ(evalPython(QStringLiteral("[(t.getID(), t.getName()) for t in c.getTracks()]")),
              QStringLiteral("[(3, 'Morning'), (5, 'Évening')]"));
    EXPECT_EQ(client.getState(), OrvoClient::STATE_IN_SERVICE);

    client.setStateWithMatch(OrvoClient::STATE_IN_SERVICE, 4);
    OrvoMessageCapture log;
    EXPECT_EQ(evalOn(QStringLiteral("c"), "getTracks()"), QStringLiteral("[]"));
    EXPECT_TRUE(log.contains(QtWarningMsg, QStringLiteral("can't getTrack 4")));
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("getTracks")});
    EXPECT_EQ(client.getState(), 4);
}

TEST_F(ClientWrapperTest, DeletionsPassEachRideOnce)
{
    const std::vector<Call> calls = {
        {"deleteData('all')", "deleteAll"},
        {"deleteData('history')", "getTracks|deleteTracks 1,2,3,4"},
        {"deleteData('ALL')", ""},
        {"deleteData('')", ""},
        {"deleteHistory(['Morning', 'Hill', 'Morning'])", "getTracks|deleteTracks 1,3,4"},
        {"deleteHistory(['Nobody'])", "getTracks|deleteTracks "},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.expression);
        TestDeviceClient client;
        client.tracks = {ride(1, QStringLiteral("Morning")), ride(2, QStringLiteral("Evening")),
                         ride(3, QStringLiteral("Morning")), ride(4, QStringLiteral("Hill"))};
        handOut(client, "c");
        const QString expected = QLatin1String(c.answer);
        EXPECT_EQ(evalOn(QStringLiteral("c"), c.expression),
                  expected.isEmpty() ? QStringLiteral("False") : QStringLiteral("True"));
        EXPECT_EQ(client.calls().join(QLatin1Char('|')), expected);
        EXPECT_EQ(client.getState(), OrvoClient::STATE_IN_SERVICE);
    }
}

// Deleting while a worker action changes the device would corrupt it: the deletions claim the
// client the way the track list does and decline while it is busy.
TEST_F(ClientWrapperTest, DeletionsAndImportsAreRefusedWhileTheClientIsBusy)
{
    TestDeviceClient client;
    client.tracks = {ride(1, QStringLiteral("Morning"))};
    handOut(client, "c");
    const std::vector<Call> calls = {
        {"deleteData('all')", "can't deleteData"},
        {"deleteData('history')", "can't deleteData"},
        {"deleteHistory(['Morning'])", "can't deleteHistory"},
        {"getTracks()", "can't getTrack"},
        {"setShareData('/tmp/s.zip')", "can't setShareData"},
    };
    const auto expectRefused = [&] {
        for (const Call &c : calls) {
            SCOPED_TRACE(c.expression);
            OrvoMessageCapture log;
            const QString answer = evalOn(QStringLiteral("c"), c.expression);
            EXPECT_TRUE(answer == QLatin1String("False") || answer == QLatin1String("[]")) << answer.toStdString();
            EXPECT_TRUE(log.contains(QtWarningMsg, QLatin1String(c.answer)));
        }
    };

    client.gate.close();
    ASSERT_EQ(evalOn(QStringLiteral("c"), "asyncFinalize(on_result)"), QStringLiteral("True"));
    ASSERT_TRUE(client.gate.waitEntered());
    {
        SCOPED_TRACE("action running");
        expectRefused();
    }
    client.gate.open();
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("_finalize")});

    client.setStateWithMatch(OrvoClient::STATE_IN_SERVICE, 4);
    {
        SCOPED_TRACE("restart pending");
        expectRefused();
    }
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("_finalize")});

    client.setStateWithMatch(4, OrvoClient::STATE_IN_SERVICE);
    EXPECT_EQ(evalOn(QStringLiteral("c"), "deleteData('all')"), QStringLiteral("True"));
}

// The callable is bound once per process, so binding, delivery and refusals are one story.
TEST_F(ClientWrapperTest, AsyncActionsOfTheCurrentClientDeliverToTheBoundCallable)
{
    TestDeviceClient client;
    client.exportedFiles = {QStringLiteral("/tmp/out/a.gpx"), QStringLiteral("/tmp/out/b.gpx")};
    handOut(client, "c");

    {
        OrvoMessageCapture log;
        EXPECT_EQ(evalOn(QStringLiteral("c"), "asyncFinalize(42)"), QStringLiteral("False"));
        EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("can't register python callback")));
        EXPECT_FALSE(client.isBusy());
    }

    EXPECT_EQ(evalOn(QStringLiteral("c"), "asyncExportTrack('/tmp/out', on_result)"), QStringLiteral("True"));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(evalPython(QStringLiteral("results")), QStringLiteral("[['/tmp/out/a.gpx', '/tmp/out/b.gpx']]"));

    client.gate.close();
    EXPECT_EQ(evalOn(QStringLiteral("c"), "asyncReadDeviceProfile('/tmp/p.xml', on_result)"), QStringLiteral("True"));
    ASSERT_TRUE(client.gate.waitEntered());
    {
        OrvoMessageCapture log;
        EXPECT_EQ(evalOn(QStringLiteral("c"), "asyncPrepareUploadData(on_result)"), QStringLiteral("False"));
        EXPECT_TRUE(log.contains(QtWarningMsg, QStringLiteral("Busy when Action_MakeUploadZip 20")));
    }
    client.gate.open();
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(evalPython(QStringLiteral("results[1:]")), QStringLiteral("[[True]]"));
    // The export counts the rides before it writes them.
    EXPECT_EQ(client.calls(), (QStringList{QStringLiteral("getTracks"), QStringLiteral("_exportTrack /tmp/out"),
                                           QStringLiteral("prepareUploadProfile /tmp/p.xml")}));
}

// Drives of the maker as the platform lists them: the device's own drive and two map cards.
class DrivePlatform : public OrvoPlatformInterface
{
public:
    explicit DrivePlatform(QStringList drives)
        : m_drives(std::move(drives))
    {}

    bool getDiskSpace(const QString &, quint64 &, quint64 &) override { return false; }
    std::unique_ptr<OrvoEnvInterface> createEnv() override { return nullptr; }
    QStringList getRemovableDrives(const QString &) override { return m_drives; }
    QString getDriveVendorName(const QString &) override { return QStringLiteral("Tarvex  Kavel"); }
    bool ejectDevice(const QString &) override { return false; }
    DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &) override { return {}; }
    std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &,
                                                             const OrvoDeviceClock::Tick &) override
    {
        return nullptr;
    }

private:
    QStringList m_drives;
};

struct MapVersionCase
{
    const char *name;
    QString model;
    // Files on the drives "own", "card" and "card2", by their path below the drive.
    std::vector<std::pair<const char *, const char *>> files;
    QString mapEngine;
    QString mapData;
};

const char *const kOwnIni = "own/morvia/applications/cycling/data/version.ini";

TEST(ClientWrapperMapVersionTest, LowestVersionsOverTheDevicesDrives)
{
    const std::vector<MapVersionCase> cases = {
        {"Kavel50 with only its own drive", "Kavel50", {{"own/data/version.ini", "version=9.9.9\n"}}, "", ""},
        {"Kavel50 compares numerically",
         "Kavel50",
         {{"card/data/version.ini", "version=1.10.0\n"}, {"card2/data/version.ini", "version=1.2.3\n"}},
         "1.2.3",
         ""},
        {"card without a data folder is left out",
         "Kavel50CR",
         {{"card/data/version.ini", "version=2.0.0\n"}, {"card2/other.txt", "x"}},
         "2.0.0",
         ""},
        {"card with data but no version file",
         "Kavel50",
         {{"card/data/version.ini", "version=2.0.0.1\n"}, {"card2/data/map.dat", "x"}},
         "0.0.0.0",
         ""},
        {"versions of different shapes can't be ordered",
         "Kavel50",
         {{"card/data/version.ini", "version=2.0.0\n"}, {"card2/data/map.dat", "x"}},
         "",
         ""},
        {"Kavel60 reads its own cycling folder",
         "Kavel60",
         {{kOwnIni, "version=1.10.0\n"}, {"card/data/version.ini", "version=1.2.3\ndat=0.9\n"}},
         "1.2.3",
         "1.2.3^0.9"},
        {"Kavel60 without version files", "Kavel60", {{"card/data/map.dat", "x"}}, "0.0.0.0", "0.0.0.0^0.0.0.0"},
        {"Kavel60 alone", "Kavel60", {{kOwnIni, "version=3.0\n"}}, "3.0", "3.0^"},
        {"flash model", "Kavel35", {{"card/data/version.ini", "version=1.0\n"}}, "", ""},
    };
    for (const MapVersionCase &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir root;
        const QStringList drives = {root.filePath(QStringLiteral("own")), root.filePath(QStringLiteral("card")),
                                    root.filePath(QStringLiteral("card2"))};
        for (const QString &drive : drives)
            ASSERT_TRUE(QDir().mkpath(drive));
        for (const auto &[path, content] : c.files)
            ASSERT_TRUE(OrvoTest::writeFile(root.filePath(QLatin1String(path)), content));
        auto platform = std::make_shared<DrivePlatform>(drives);
        OrvoPlatform::setImplementationFactory([platform] { return platform; });

        ControllerDouble controller;
        TestDeviceClient client;
        client.model = c.model;
        client.drive = drives.first();
        controller.attach(&client);
        OrvoClientWrapper wrapper;
        OrvoClient *current = wrapper.new_OrvoClient();
        OrvoMessageCapture log;
        EXPECT_EQ(wrapper.getMapEngine(current), c.mapEngine);
        EXPECT_EQ(wrapper.getMapData(current), c.mapData);
        if (OrvoDeviceVersionUtil::isDriveModel(c.model)) {
            EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("mapdll version list is:")));
        }
        OrvoPlatform::setImplementationFactory({});
    }
}

} // namespace
