#include "ClientTestDoubles.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "env/OrvoEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

#include <pthread.h>
#include <stdexcept>

#include <memory>

using namespace ClientTest;

namespace {

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, kPatienceMs);
}

// Every done signal of the client, so a test can tell which one came and that no other did.
struct DoneSignals
{
    explicit DoneSignals(OrvoClient &c)
        : updateTotal(&c, &OrvoClient::updateTotalDone)
        , updateBootLoader(&c, &OrvoClient::updateBootLoaderDone)
        , updateAP(&c, &OrvoClient::updateAPDone)
        , importMap(&c, &OrvoClient::importMapDone)
        , deleteMap(&c, &OrvoClient::deleteMapDone)
        , finalize(&c, &OrvoClient::finalizeDone)
        , readData(&c, &OrvoClient::readDataDone)
        , shareDataList(&c, &OrvoClient::getShareDataListDone)
        , shareData(&c, &OrvoClient::getShareDataDone)
        , updateComponent(&c, &OrvoClient::updateComponentDone)
        , batch(&c, &OrvoClient::batchDone)
    {}

    int total() const
    {
        int n = 0;
        for (const QSignalSpy *spy : all())
            n += int(spy->count());
        return n;
    }

    QVector<const QSignalSpy *> all() const
    {
        return {&updateTotal, &updateBootLoader, &updateAP,  &importMap,       &deleteMap, &finalize,
                &readData,    &shareDataList,    &shareData, &updateComponent, &batch};
    }

    QSignalSpy updateTotal;
    QSignalSpy updateBootLoader;
    QSignalSpy updateAP;
    QSignalSpy importMap;
    QSignalSpy deleteMap;
    QSignalSpy finalize;
    QSignalSpy readData;
    QSignalSpy shareDataList;
    QSignalSpy shareData;
    QSignalSpy updateComponent;
    QSignalSpy batch;
};

using Starter = std::function<bool(OrvoClient &)>;

struct StarterCase
{
    const char *name;
    Starter start;
    // The warning a busy client gives for this starter; null when it refuses silently.
    const char *busyWarning;
};

const std::vector<StarterCase> &allStarters()
{
    static const std::vector<StarterCase> cases = {
        {"updateTotal", [](OrvoClient &c) { return c.updateTotal("t.zip", "1"); }, nullptr},
        {"updateAP", [](OrvoClient &c) { return c.updateAP("ap.bin"); }, nullptr},
        {"updateBootLoader", [](OrvoClient &c) { return c.updateBootLoader("boot.bin"); }, nullptr},
        {"importMap", [](OrvoClient &c) { return c.importMap(3); }, nullptr},
        {"deleteMap", [](OrvoClient &c) { return c.deleteMap(4); }, nullptr},
        {"finalize", [](OrvoClient &c) { return c.finalize(); }, nullptr},
        {"readData", [](OrvoClient &c) { return c.readData(); }, nullptr},
        {"getShareDataList",
         [](OrvoClient &c) {
             return c.getShareDataList({"l.xml", "b", "c"});
         },
         nullptr},
        {"getShareData",
         [](OrvoClient &c) {
             return c.getShareData({"d.zip", "b", "c"});
         },
         nullptr},
        {"updateComponent", [](OrvoClient &c) { return c.updateComponent("f", "m", "GPST_ENGINE", "x"); }, nullptr},
        {"batch",
         [](OrvoClient &c) {
             return c.batch({"o.xml", "b", "c"});
         },
         nullptr},
        {"exportTrack", [](OrvoClient &c) { return c.exportTrack("/out"); }, "Busy when Action_ExportTrack"},
        {"makeUploadZip", [](OrvoClient &c) { return c.makeUploadZip(); }, "Busy when Action_MakeUploadZip"},
        {"importDownloadZip", [](OrvoClient &c) { return c.importDownloadZip("in.zip"); },
         "Busy when Action_ImportDownloadZip"},
        {"readProfile", [](OrvoClient &c) { return c.readProfile("p.xml"); }, "Busy when Action_ReadProfile"},
        {"writeProfile", [](OrvoClient &c) { return c.writeProfile("p.xml"); }, "Busy when Action_WriteProfile"},
        {"restoreFactory", [](OrvoClient &c) { return c.restoreFactory("/r"); }, nullptr},
        {"updateMapData", [](OrvoClient &c) { return c.updateMapData("m"); }, nullptr},
        {"updateAlp", [](OrvoClient &c) { return c.updateAlp("alp.bin", 7); }, nullptr},
    };
    return cases;
}

class OrvoClientTest : public ::testing::Test
{
protected:
    ResultRecorder results;
    ActionRecorder actions;
};

TEST_F(OrvoClientTest, RefusesEveryStarterWhileAnActionRunsAndKeepsTheFirstArguments)
{
    RecordingClient client;
    client.gate.close();
    ASSERT_TRUE(client.updateAP("first.bin"));
    ASSERT_TRUE(client.gate.waitEntered());
    EXPECT_TRUE(client.isBusy());

    OrvoMessageCapture log;
    for (const StarterCase &c : allStarters()) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.start(client));
        if (c.busyWarning != nullptr) {
            // The running action's number follows the message.
            EXPECT_TRUE(log.contains(QtWarningMsg, QStringLiteral("%1 2").arg(QLatin1String(c.busyWarning))));
        }
    }
    EXPECT_EQ(log.count(QtWarningMsg, QStringLiteral("Busy when Action_")), 5);

    client.gate.open();
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.calls(), QStringList{"_updateAP first.bin"});
    EXPECT_FALSE(client.error());

    // Once the action is over the next one starts, with its own arguments.
    QSignalSpy done(&client, &OrvoClient::updateAPDone);
    ASSERT_TRUE(client.updateAP("second.bin"));
    ASSERT_TRUE(done.wait(kPatienceMs));
    EXPECT_EQ(client.calls().last(), QStringLiteral("_updateAP second.bin"));
}

TEST_F(OrvoClientTest, BusyStartersThatLogOrClearFlagsDoSoBeforeTheBusyTest)
{
    RecordingClient client;
    client.gate.close();
    ASSERT_TRUE(client.readData());
    ASSERT_TRUE(client.gate.waitEntered());

    OrvoMessageCapture log;
    EXPECT_FALSE(client.updateTotal("busy.zip", "0"));
    EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("update total: file= \"busy.zip\" , changedLang= \"0\"")));
    EXPECT_FALSE(client.updateAlp("alp.bin", 1));
    EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("updateAlp: file= \"alp.bin\"")));

    OrvoEnv::instance()->setForceDeviceUpdate(true);
    EXPECT_FALSE(client.restoreFactory("/r"));
    EXPECT_FALSE(OrvoEnv::instance()->isForceDeviceUpdate());

    client.gate.open();
    ASSERT_TRUE(waitIdle(client));
}

struct DoneCase
{
    const char *name;
    Starter start;
    // The spy that must fire once; null when the action emits no done signal.
    QSignalSpy DoneSignals::*spy;
    int action;
    const char *workerCall;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const DoneCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoClientDoneTest : public OrvoClientTest, public ::testing::WithParamInterface<DoneCase>
{};

TEST_P(OrvoClientDoneTest, EmitsItsOwnDoneSignalThenTellsTheListener)
{
    const DoneCase &c = GetParam();
    RecordingClient client;
    DoneSignals spies(client);

    ASSERT_TRUE(c.start(client));
    ASSERT_TRUE(waitIdle(client));

    EXPECT_EQ(client.calls(), QStringList{QString::fromUtf8(c.workerCall)});
    if (c.spy != nullptr) {
        EXPECT_EQ((spies.*c.spy).count(), 1);
        EXPECT_EQ(spies.total(), 1);
    } else {
        EXPECT_EQ(spies.total(), 0);
    }
    ASSERT_EQ(actions.notices.size(), 1);
    EXPECT_EQ(actions.notices[0].client, &client);
    EXPECT_EQ(actions.notices[0].action, c.action);
    EXPECT_EQ(client.getState(), OrvoClient::STATE_IN_SERVICE);
    EXPECT_FALSE(client.error());
    EXPECT_EQ(client.progress(), -1.0f);
}

const DoneCase kDoneCases[] = {
    {"UpdateTotal", [](OrvoClient &c) { return c.updateTotal("t.zip", "1"); }, &DoneSignals::updateTotal, 0,
     "_updateTotal t.zip 1"},
    {"UpdateAP", [](OrvoClient &c) { return c.updateAP("ap.bin"); }, &DoneSignals::updateAP, 2, "_updateAP ap.bin"},
    {"UpdateBootLoader", [](OrvoClient &c) { return c.updateBootLoader("b.bin"); }, &DoneSignals::updateBootLoader, 3,
     "_updateBootLoader b.bin"},
    {"ImportMap", [](OrvoClient &c) { return c.importMap(3); }, &DoneSignals::importMap, 4, "_importMap 3"},
    {"DeleteMap", [](OrvoClient &c) { return c.deleteMap(4); }, &DoneSignals::deleteMap, 5, "_deleteMap 4"},
    {"Finalize", [](OrvoClient &c) { return c.finalize(); }, &DoneSignals::finalize, 6, "_finalize"},
    {"ReadData", [](OrvoClient &c) { return c.readData(); }, &DoneSignals::readData, 7, "_readData"},
    {"GetShareDataList",
     [](OrvoClient &c) {
         return c.getShareDataList({"l.xml", "b", "c"});
     },
     &DoneSignals::shareDataList, 8, "_getShareDataList"},
    {"GetShareData",
     [](OrvoClient &c) {
         return c.getShareData({"d.zip", "b", "c"});
     },
     &DoneSignals::shareData, 9, "prepareUploadData 0"},
    {"UpdateComponent", [](OrvoClient &c) { return c.updateComponent("pkg.zip", "Kavel60", "MapData", "x"); },
     &DoneSignals::updateComponent, 10, "_updateComponent Kavel60 x MapData pkg.zip"},
    {"Batch",
     [](OrvoClient &c) {
         return c.batch({"o.xml", "b", "c"});
     },
     &DoneSignals::batch, 16, "_batch"},
    {"RestoreFactory", [](OrvoClient &c) { return c.restoreFactory("/r"); }, nullptr, 22, "_restoreFactory /r"},
    {"UpdateMapData", [](OrvoClient &c) { return c.updateMapData("m"); }, nullptr, 24, "_updateMapData m"},
    {"UpdateAlp", [](OrvoClient &c) { return c.updateAlp("alp.bin", 7); }, nullptr, 25, "_updateAlp alp.bin 7"},
};

INSTANTIATE_TEST_SUITE_P(Actions, OrvoClientDoneTest, ::testing::ValuesIn(kDoneCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoClientTest, HandsBackTheStoredRequestsAndEmptiesTheComponentRequest)
{
    RecordingClient client;
    QSignalSpy list(&client, &OrvoClient::getShareDataListDone);
    ASSERT_TRUE(client.getShareDataList({"list.xml", "two", "three"}));
    ASSERT_TRUE(list.wait(kPatienceMs));
    EXPECT_EQ(list.at(0).at(0).value<OrvoClientShareDataList>(), (OrvoClientShareDataList{"list.xml", "two", "three"}));

    QSignalSpy batch(&client, &OrvoClient::batchDone);
    ASSERT_TRUE(client.batch({"overview.xml", "b2", "b3"}));
    ASSERT_TRUE(batch.wait(kPatienceMs));
    EXPECT_EQ(batch.at(0).at(0).value<OrvoClientShareData>(), (OrvoClientShareData{"overview.xml", "b2", "b3"}));

    QSignalSpy component(&client, &OrvoClient::updateComponentDone);
    bool emptyAtSignal = false;
    QObject::connect(&client, &OrvoClient::updateComponentDone,
                     [&] { emptyAtSignal = client.componentRequest() == OrvoComponentRequest(); });
    ASSERT_TRUE(client.updateComponent("pkg.zip", "Kavel60", "GPST_ENGINE", "extra"));
    ASSERT_TRUE(component.wait(kPatienceMs));
    EXPECT_TRUE(emptyAtSignal);
}

TEST_F(OrvoClientTest, ShareDataActionPassesTheRequestPathAndTheModelsUploadCheck)
{
    const UserFolderScope settings;
    OrvoEnv::instance()->setGroupValue("TestModel", "dontcheckuploaded", "1");
    RecordingClient client;
    QSignalSpy done(&client, &OrvoClient::getShareDataDone);
    ASSERT_TRUE(client.getShareData({"share.zip", "b", "c"}));
    ASSERT_TRUE(done.wait(kPatienceMs));
    EXPECT_EQ(client.calls(), QStringList{"prepareUploadData 1"});
    // The device class may set the path it produced; the signal carries the request as it ends.
    EXPECT_EQ(done.at(0).at(0).value<OrvoClientShareData>().path, client.uploadPath);
}

struct AsyncCase
{
    const char *name;
    Starter start;
    std::function<void(RecordingClient &)> arrange;
    QVariantList expected;
    bool error;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const AsyncCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoClientAsyncTest : public OrvoClientTest, public ::testing::WithParamInterface<AsyncCase>
{};

TEST_P(OrvoClientAsyncTest, HandsTheResultListToTheReceiverAndSetsTheErrorFromTheOutcome)
{
    const AsyncCase &c = GetParam();
    RecordingClient client;
    if (c.arrange)
        c.arrange(client);
    DoneSignals spies(client);

    ASSERT_TRUE(c.start(client));
    ASSERT_TRUE(waitIdle(client));

    ASSERT_EQ(results.results.size(), 1);
    EXPECT_EQ(results.results[0], c.expected);
    EXPECT_EQ(client.error(), c.error);
    EXPECT_EQ(actions.notices.size(), 1);
    // Of the asynchronous actions only finalize has a done signal as well.
    EXPECT_EQ(spies.total(), c.name == std::string("Finalize") ? 1 : 0);
}

void failing(RecordingClient &c)
{
    c.result = false;
}

const AsyncCase kAsyncCases[] = {
    {"ExportTrackFiles",
     [](OrvoClient &c) { return c.exportTrack("/out"); },
     [](RecordingClient &c) {
         c.exportedFiles = {"/out/a.gpx", "/out/b.gpx"};
     },
     {"/out/a.gpx", "/out/b.gpx"},
     false},
    {"ExportTrackNothing", [](OrvoClient &c) { return c.exportTrack("/out"); }, nullptr, {}, false},
    {"ExportTrackFewerFilesThanRides",
     [](OrvoClient &c) { return c.exportTrack("/out"); },
     [](RecordingClient &c) {
         c.rides.resize(3);
         c.exportedFiles = {"/out/a.gpx"};
     },
     {"/out/a.gpx"},
     true},
    {"ExportTrackNoFileOfAnyRide",
     [](OrvoClient &c) { return c.exportTrack("/out"); },
     [](RecordingClient &c) { c.rides.resize(2); },
     {},
     true},
    {"ExportTrackEveryRide",
     [](OrvoClient &c) { return c.exportTrack("/out"); },
     [](RecordingClient &c) {
         c.rides.resize(2);
         c.exportedFiles = {"/out/a.gpx", "/out/b.gpx"};
     },
     {"/out/a.gpx", "/out/b.gpx"},
     false},
    {"ExportTrackFails", [](OrvoClient &c) { return c.exportTrack("/out"); }, failing, {}, true},
    {"MakeUploadZip", [](OrvoClient &c) { return c.makeUploadZip(); }, nullptr, {"/tmp/upload.zip"}, false},
    {"MakeUploadZipFails", [](OrvoClient &c) { return c.makeUploadZip(); }, failing, {QString()}, true},
    {"ImportDownloadZip", [](OrvoClient &c) { return c.importDownloadZip("in.zip"); }, nullptr, {}, false},
    {"ImportDownloadZipFails", [](OrvoClient &c) { return c.importDownloadZip("in.zip"); }, failing, {}, true},
    {"ReadProfile", [](OrvoClient &c) { return c.readProfile("p.xml"); }, nullptr, {true}, false},
    {"ReadProfileFails", [](OrvoClient &c) { return c.readProfile("p.xml"); }, failing, {false}, true},
    {"Finalize", [](OrvoClient &c) { return c.finalize(); }, nullptr, {}, false},
};

INSTANTIATE_TEST_SUITE_P(Actions, OrvoClientAsyncTest, ::testing::ValuesIn(kAsyncCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoClientTest, ExportTrackGivesTheFolderToTheDeviceClass)
{
    RecordingClient client;
    ASSERT_TRUE(client.exportTrack("/media/rides"));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.calls(), QStringList{"_exportTrack /media/rides"});
    ASSERT_EQ(actions.notices.size(), 1);
    EXPECT_EQ(actions.notices[0].action, OrvoClient::Action_ExportTrack);
}

class OrvoClientWriteProfileTest : public OrvoClientTest
{
protected:
    QString writeProfileFile(const QString &name, const QByteArray &xml)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, xml));
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(OrvoClientWriteProfileTest, SavesTheValuesOfTheNamedFileWhateverCharactersItsPathHolds)
{
    const QString path = writeProfileFile(QStringLiteral("プロフィール ü.xml"),
                                          R"(<?xml version="1.0"?><settings><property name="User Sex" value="1"/>)"
                                          R"(<property name="User MHR" value="190"/></settings>)");
    RecordingClient client;
    ASSERT_TRUE(client.writeProfile(path));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.savedProfile, (QMap<QString, QString>{{"User Sex", "1"}, {"User MHR", "190"}}));
    ASSERT_EQ(results.results.size(), 1);
    EXPECT_EQ(results.results[0], QVariantList{true});
    EXPECT_FALSE(client.error());
}

TEST_F(OrvoClientWriteProfileTest, ReportsARefusedSave)
{
    const QString path =
        writeProfileFile("p.xml", R"(<?xml version="1.0"?><settings><property name="User Sex" value="1"/></settings>)");
    RecordingClient client;
    client.result = false;
    ASSERT_TRUE(client.writeProfile(path));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.saveProfileCalls, 1);
    EXPECT_EQ(results.results.value(0), QVariantList{false});
    EXPECT_TRUE(client.error());
}

TEST_F(OrvoClientWriteProfileTest, NeverSavesAnEmptyProfileFromAFileItCouldNotRead)
{
    RecordingClient client;
    ASSERT_TRUE(client.writeProfile(m_dir.filePath("missing.xml")));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.saveProfileCalls, 0);
    EXPECT_EQ(results.results.value(0), QVariantList{false});
    EXPECT_TRUE(client.error());
}

struct ResumeCase
{
    const char *name;
    int state;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const ResumeCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoClientResumeTest : public OrvoClientTest, public ::testing::WithParamInterface<ResumeCase>
{};

// A firmware update or a factory restore that restarts the device leaves the client in its
// state 1 or 3: the action ends without a done signal or notice, and the next start (when the
// device is back) runs without claiming the state; the device class moves it to 2 to go on.
TEST_P(OrvoClientResumeTest, AnActionThatWaitsForItsDeviceEndsSilentlyAndTheNextStartResumes)
{
    const int waitingState = GetParam().state;
    RecordingClient client;
    DoneSignals spies(client);
    client.behaviour = [&client, waitingState] {
        if (!client.setStateWithMatch(OrvoClient::STATE_OUT_OF_SERVICE, waitingState))
            client.setStateWithMatch(waitingState, OrvoClient::STATE_OUT_OF_SERVICE);
    };

    OrvoMessageCapture log;
    ASSERT_TRUE(client.updateTotal("total.zip", "0"));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.getState(), waitingState);
    EXPECT_EQ(spies.total(), 0);
    EXPECT_TRUE(actions.notices.isEmpty());
    EXPECT_TRUE(results.results.isEmpty());
    EXPECT_EQ(client.currentAction(), OrvoClient::Action_None);
    EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("reset in service failed, action= 0")));

    ASSERT_TRUE(client.updateTotal("", ""));
    ASSERT_TRUE(spies.updateTotal.wait(kPatienceMs));
    EXPECT_EQ(client.calls(), (QStringList{"_updateTotal total.zip 0", "_updateTotal  "}));
    EXPECT_EQ(client.getState(), OrvoClient::STATE_IN_SERVICE);
    ASSERT_EQ(actions.notices.size(), 1);
    EXPECT_EQ(actions.notices[0].action, OrvoClient::Action_UpdateTotal);
}

const ResumeCase kResumeCases[] = {{"TotalUpdate", OrvoClient::STATE_TOTAL_UPDATE},
                                   {"FactoryRestore", OrvoClient::STATE_FACTORY_RESTORE}};

INSTANTIATE_TEST_SUITE_P(States, OrvoClientResumeTest, ::testing::ValuesIn(kResumeCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoClientTest, AClientInAnotherStateRefusesToRunButStillReports)
{
    RecordingClient client;
    client.exportedFiles = {"/stale.gpx"};
    ASSERT_TRUE(client.exportTrack("/out"));
    ASSERT_TRUE(waitIdle(client));
    results.results.clear();
    actions.notices.clear();

    // A formatting restart keeps the state at 4 until the device is back.
    ASSERT_TRUE(client.setStateWithMatch(OrvoClient::STATE_IN_SERVICE, 4));
    OrvoMessageCapture log;

    QSignalSpy readDone(&client, &OrvoClient::readDataDone);
    ASSERT_TRUE(client.readData());
    ASSERT_TRUE(readDone.wait(kPatienceMs));
    EXPECT_TRUE(client.error());
    EXPECT_TRUE(log.contains(QtCriticalMsg, QStringLiteral("OrvoClient::run() : device is busy in action= 7")));

    ASSERT_TRUE(client.exportTrack("/out"));
    ASSERT_TRUE(waitIdle(client));
    EXPECT_TRUE(client.error());
    // No worker operation ran, and no earlier result is handed on as this one's.
    EXPECT_EQ(client.calls(), QStringList{"_exportTrack /out"});
    ASSERT_EQ(results.results.size(), 1);
    EXPECT_EQ(results.results[0], QVariantList());
    ASSERT_EQ(actions.notices.size(), 2);
    EXPECT_EQ(actions.notices[1].action, OrvoClient::Action_ExportTrack);
    EXPECT_EQ(client.getState(), 4);
}

struct CrashCase
{
    const char *name;
    Starter start;
    QVariantList result;
    QSignalSpy DoneSignals::*spy;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const CrashCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoClientCrashTest : public OrvoClientTest, public ::testing::WithParamInterface<CrashCase>
{};

TEST_P(OrvoClientCrashTest, AThrowingActionEndsInHandleExceptionWithTheErrorFlag)
{
    const CrashCase &c = GetParam();
    RecordingClient client;
    client.behaviour = [] { throw std::runtime_error("corrupt record"); };
    DoneSignals spies(client);

    OrvoMessageCapture log;
    ASSERT_TRUE(c.start(client));
    ASSERT_TRUE(waitIdle(client));

    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("wrong data exception")), 1);
    EXPECT_TRUE(client.error());
    EXPECT_EQ(client.getState(), OrvoClient::STATE_IN_SERVICE);
    if (c.spy != nullptr) {
        EXPECT_EQ((spies.*c.spy).count(), 1);
    } else {
        ASSERT_EQ(results.results.size(), 1);
        EXPECT_EQ(results.results[0], c.result);
    }
    EXPECT_EQ(actions.notices.size(), 1);

    // The client is usable again.
    client.behaviour = nullptr;
    QSignalSpy readDone(&client, &OrvoClient::readDataDone);
    ASSERT_TRUE(client.readData());
    ASSERT_TRUE(readDone.wait(kPatienceMs));
    EXPECT_FALSE(client.error());
}

const CrashCase kCrashCases[] = {
    {"ReadData", [](OrvoClient &c) { return c.readData(); }, {}, &DoneSignals::readData},
    {"MakeUploadZip", [](OrvoClient &c) { return c.makeUploadZip(); }, {QString()}, nullptr},
    {"ReadProfile", [](OrvoClient &c) { return c.readProfile("p.xml"); }, {false}, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Actions, OrvoClientCrashTest, ::testing::ValuesIn(kCrashCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoClientTest, ProgressRunsFromZeroWhileAnActionRunsAndStopsAtMinusOne)
{
    RecordingClient client;
    EXPECT_EQ(client.progress(), -1.0f);
    Gate reported;
    reported.close();
    client.behaviour = [&client, &reported] {
        {
            // A loop that reports through the shared value holds the mutex around each write.
            QMutexLocker lock(client.progressMutex());
            *client.progressValue() = 0.5f;
        }
        reported.pass();
    };
    client.gate.close();
    ASSERT_TRUE(client.readData());
    ASSERT_TRUE(client.gate.waitEntered());
    EXPECT_EQ(client.progress(), 0.0f);
    client.gate.open();
    ASSERT_TRUE(reported.waitEntered());
    EXPECT_EQ(client.progress(), 0.5f);
    reported.open();
    ASSERT_TRUE(waitIdle(client));
    EXPECT_EQ(client.progress(), -1.0f);
}

TEST_F(OrvoClientTest, WithoutAReceiverAResultIsDroppedWithAWarning)
{
    OrvoClient::setAsyncResultReceiver(nullptr);
    RecordingClient client;
    OrvoMessageCapture log;
    ASSERT_TRUE(client.makeUploadZip());
    ASSERT_TRUE(waitIdle(client));
    EXPECT_TRUE(log.contains(QtWarningMsg, QStringLiteral("no receiver for the result of action 18")));
    EXPECT_EQ(actions.notices.size(), 1);
}

// Holds its worker until the destructor has given up waiting and asked for termination: the
// warning that comes with the request lets the worker go. The worker does not take the
// termination itself, because unwinding a cancelled thread trips the address sanitizer's own
// stack bookkeeping; that termination ends a thread is the thread library's business.
class StuckClient : public RecordingClient
{
public:
    StuckClient()
    {
        behaviour = [] {
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
            s_released.pass();
        };
        s_released.close();
        s_previous = qInstallMessageHandler(&StuckClient::watch);
    }

    ~StuckClient() override
    {
        stopWorker();
        qInstallMessageHandler(s_previous);
    }

    static bool terminationAsked() { return s_terminationAsked; }

private:
    static void watch(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (text.contains(QStringLiteral("Client thread stop in time and  terminate"))) {
            s_terminationAsked = true;
            s_released.open();
        }
        if (s_previous != nullptr)
            s_previous(type, context, text);
    }

    inline static Gate s_released;
    inline static QtMessageHandler s_previous = nullptr;
    inline static bool s_terminationAsked = false;
};

TEST_F(OrvoClientTest, DestroyingAClientWaitsForItsActionThenTerminatesIt)
{
    constexpr int kStopTimeoutMs = 100;
    auto client = std::make_unique<StuckClient>();
    client->setStopTimeout(kStopTimeoutMs);
    ASSERT_TRUE(client->readData());
    ASSERT_TRUE(client->gate.waitEntered());

    QElapsedTimer elapsed;
    elapsed.start();
    client.reset();
    EXPECT_GE(elapsed.elapsed(), kStopTimeoutMs);
    EXPECT_TRUE(StuckClient::terminationAsked());
    EXPECT_TRUE(actions.notices.isEmpty());
}

TEST_F(OrvoClientTest, DestroyingAClientWhoseActionEndsInTimeDoesNotTerminate)
{
    auto client = std::make_unique<RecordingClient>();
    client->gate.close();
    ASSERT_TRUE(client->readData());
    ASSERT_TRUE(client->gate.waitEntered());

    OrvoMessageCapture log;
    client->gate.open();
    client.reset();
    EXPECT_FALSE(log.contains(QtWarningMsg, QStringLiteral("terminate")));
}

} // namespace
