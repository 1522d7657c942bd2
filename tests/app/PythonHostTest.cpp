#include "AppTestSupport.h"
#include "OrvoTestSupport.h"
#include "TestDeviceClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoPython.h"
#include "app/OrvoWebToken.h"
#include "app/PythonCppBridge.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace AppTest;

namespace {

int g_nestedYields = 0;
bool g_nestedResult = false;

} // namespace

// Lets a test's looper call back into the scheduler, the way a modal dialog opened from Python does.
PYBIND11_EMBEDDED_MODULE(orvotest, module)
{
    module.def("yield_now", [] {
        ++g_nestedYields;
        g_nestedResult = PythonCppBridge::yieldToPython();
        return g_nestedResult;
    });
}

namespace {

class PythonHostTest : public ::testing::Test
{
protected:
    void SetUp() override { startPython(); }
    void TearDown() override { OrvoControllerHooks::setExportLogHook({}); }

    static QString url(const QString &path)
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(listenPort()).arg(path);
    }
};

TEST_F(PythonHostTest, ServesTheApplicationWhileLooperRuns)
{
    const ProcessResult result =
        runProcess(QStringLiteral("curl"), QStringList{QStringLiteral("-sS"), QStringLiteral("--max-time"),
                                                       QStringLiteral("30"), url(QStringLiteral("/"))} +
                                               tokenArguments());
    ASSERT_EQ(result.exitCode, 0);
    const QString page = QString::fromUtf8(result.output);
    EXPECT_TRUE(page.contains(QStringLiteral("<title>Tarvex Orvo 2-My Device Manager</title>"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("2.8.0.20")));
    EXPECT_TRUE(page.contains(QStringLiteral("No device connected")));
}

// The HTTP status curl got for the request its arguments make.
QString statusOf(QStringList arguments)
{
    arguments.prepend(QStringLiteral("%{http_code}"));
    arguments.prepend(QStringLiteral("-w"));
    arguments << QStringLiteral("--max-time") << QStringLiteral("30") << QStringLiteral("-s");
    if (!arguments.contains(QStringLiteral("-o")))
        arguments << QStringLiteral("-o") << QStringLiteral("/dev/null");
    return QString::fromUtf8(runProcess(QStringLiteral("curl"), arguments).output);
}

// Any local user can reach the port, and a page of another site can make the browser send to
// it: every route answers only requests that carry the token of the user the program runs for,
// and that name this server. A page whose name was made to answer with 127.0.0.1 is
// same-origin to the browser; only the Host it sends tells it apart.
TEST_F(PythonHostTest, EveryRouteAnswersOnlyRequestsWithTheTokenThatNameThisServer)
{
    int exports = 0;
    OrvoControllerHooks::setExportLogHook([&exports](const QString &, QString &) {
        ++exports;
        return true;
    });
    QTemporaryDir folder;
    const QString port = QString::number(listenPort());
    const QString token = OrvoWebToken::current();
    ASSERT_EQ(token.size(), 64);
    const QString header = QStringLiteral("Authorization: Token ") + token;
    const QString dest = QStringLiteral("dest=") + folder.filePath(QStringLiteral("orvoexport.zip"));
    struct Route
    {
        const char *path;
        QStringList post;
        const char *served;
    };
    // No device is attached: an action is refused only after the checks.
    const std::vector<Route> routes = {{"/", {}, "200"},
                                       {"/export_log", {"--data-urlencode", dest}, "200"},
                                       {"/export", {"--data", "folder=rides"}, "409"},
                                       {"/no/such/page", {}, "404"}};
    struct Case
    {
        const char *name;
        QStringList headers;
        bool served;
    };
    const std::vector<Case> cases = {
        {"with the token", {header}, true},
        {"named localhost", {header, "Host: localhost:" + port}, true},
        {"named by the IPv6 loopback", {header, "Host: [::1]:" + port}, true},
        {"without a token", {}, false},
        {"with another token", {QStringLiteral("Authorization: Token ") + QString(64, QLatin1Char('0'))}, false},
        {"with the token cut short", {header.chopped(1)}, false},
        {"with the token in a cookie of another port", {"Cookie: orvo_token_1=" + token}, false},
        {"another site's name rebound to this computer",
         {header, "Host: attacker.example:" + port, "Origin: http://attacker.example:" + port,
          "Sec-Fetch-Site: same-origin"},
         false},
        {"loopback name with another port", {header, QStringLiteral("Host: 127.0.0.1:1")}, false},
        {"loopback name without port", {header, QStringLiteral("Host: 127.0.0.1")}, false},
        {"no Host", {header, QStringLiteral("Host:")}, false},
    };
    int served = 0;
    for (const Route &route : routes) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(route.path) + ", " + c.name);
            QStringList arguments = route.post;
            for (const QString &h : c.headers)
                arguments << QStringLiteral("-H") << h;
            EXPECT_EQ(statusOf(arguments << url(QLatin1String(route.path))),
                      c.served ? QLatin1String(route.served) : QLatin1String("403"));
            served += c.served && QLatin1String(route.path) == QLatin1String("/export_log") ? 1 : 0;
        }
    }
    EXPECT_EQ(exports, served);
}

// A browser opens the address with the token once; the answer keeps it in a cookie that only
// this server's own pages send, and leads to the address without it.
TEST_F(PythonHostTest, TheTokenInTheAddressBecomesACookieForTheFollowingRequests)
{
    QTemporaryDir folder;
    const QString jar = folder.filePath(QStringLiteral("cookies"));
    const QString headers = folder.filePath(QStringLiteral("headers"));
    const QString token = OrvoWebToken::current();
    EXPECT_EQ(
        statusOf({QStringLiteral("-D"), headers, QStringLiteral("-c"), jar, url(QStringLiteral("/?token=") + token)}),
        QStringLiteral("303"));
    const QString answer = QString::fromUtf8(OrvoTest::readFile(headers));
    EXPECT_TRUE(answer.contains(QStringLiteral("\r\nLocation: /\r\n"))) << answer.toStdString();
    EXPECT_TRUE(answer.contains(
        QStringLiteral("Set-Cookie: orvo_token_%1=%2; Path=/; HttpOnly; SameSite=Strict").arg(listenPort()).arg(token)))
        << answer.toStdString();
    EXPECT_EQ(statusOf({QStringLiteral("-b"), jar, url(QStringLiteral("/"))}), QStringLiteral("200"));
    EXPECT_EQ(statusOf({url(QStringLiteral("/"))}), QStringLiteral("403"));
    EXPECT_EQ(statusOf({url(QStringLiteral("/?token=") + QString(64, QLatin1Char('f')))}), QStringLiteral("403"));
}

// The export writes a new file of an existing folder, never one in place of a file or link that
// is there (the request could otherwise remove any file of the user), and only for a posted
// request of the application's own pages.
TEST_F(PythonHostTest, ExportLogWritesOnlyANewFileOfAnExistingFolder)
{
    QStringList exported;
    OrvoControllerHooks::setExportLogHook([&exported](const QString &dest, QString &) {
        exported << dest;
        return true;
    });
    QTemporaryDir folder;
    const QString inFolder = folder.filePath(QStringLiteral("orvo export.zip"));
    const QString existing = folder.filePath(QStringLiteral("private.key"));
    ASSERT_TRUE(OrvoTest::writeFile(existing, "secret"));
    const QString link = folder.filePath(QStringLiteral("link.zip"));
    ASSERT_TRUE(QFile::link(existing, link));
    const QString dangling = folder.filePath(QStringLiteral("dangling.zip"));
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("nothing")), dangling));
    const QString own = QStringLiteral("http://127.0.0.1:%1").arg(listenPort());
    struct Case
    {
        const char *name;
        QString dest;
        QStringList arguments;
        const char *status;
    };
    const std::vector<Case> cases = {
        {"file in an existing folder", inFolder, {}, "200"},
        {"from the application's own page",
         inFolder,
         {"-H", "Sec-Fetch-Site: same-origin", "-H", "Origin: " + own},
         "200"},
        {"an existing file", existing, {}, "409"},
        {"a link to a file", link, {}, "409"},
        {"a link to nothing", dangling, {}, "409"},
        {"a folder itself", folder.path(), {}, "409"},
        {"missing folder", folder.filePath(QStringLiteral("missing/orvoexport.zip")), {}, "400"},
        {"relative path", QStringLiteral("orvoexport.zip"), {}, "400"},
        {"no destination", QString(), {}, "400"},
        {"asked for by a GET", inFolder, {"--get"}, "405"},
        {"from another site", inFolder, {"-H", "Sec-Fetch-Site: cross-site"}, "403"},
        {"from another site's script", inFolder, {"-H", "Origin: http://example.com"}, "403"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList arguments =
            c.arguments + QStringList{QStringLiteral("--data-urlencode"), QStringLiteral("dest=") + c.dest} +
            tokenArguments() + QStringList{url(QStringLiteral("/export_log"))};
        EXPECT_EQ(statusOf(arguments), QLatin1String(c.status));
    }
    EXPECT_EQ(exported, (QStringList{inFolder, inFolder}));
    EXPECT_EQ(OrvoTest::readFile(existing), QByteArray("secret"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST_F(PythonHostTest, EnvironmentReadsTheSettingsFileFromPython)
{
    QSettings(OrvoEnv::instance()->iniFilePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("TarvexOrvo/probe"), QStringLiteral("from the file"));
    runPython(QStringLiteral("import orvo\nenv = orvo.OrvoEnv()"));
    EXPECT_EQ(evalPython(QStringLiteral("env.getValue('probe', 'fallback')")), QStringLiteral("from the file"));
    EXPECT_EQ(evalPython(QStringLiteral("env.getValue('absent', 'fallback')")), QStringLiteral("fallback"));
    EXPECT_EQ(evalPython(QStringLiteral("env.getVersion()")), QStringLiteral("2.8.0.20"));
    EXPECT_EQ(evalPython(QStringLiteral("env.getRole()")), QStringLiteral("user"));
}

// The callable is bound once per process, so binding, delivery and failures are one story.
TEST_F(PythonHostTest, AsyncResultsReachTheFirstBoundCallable)
{
    runPython(QStringLiteral("results = []\n"
                             "def first(r):\n"
                             "    results.append(('first', r))\n"
                             "    if r == ['bad']: raise ValueError('cannot take it')\n"
                             "def second(r): results.append(('second', r))\n"));
    PythonCppBridge *bridge = pythonBridge();
    LogWatch log;
    {
        py::gil_scoped_acquire gil;
        const py::object mainModule = py::module_::import("__main__");
        EXPECT_FALSE(bridge->setAsyncCallback(py::int_(42)));
        EXPECT_TRUE(bridge->setAsyncCallback(mainModule.attr("first")));
        EXPECT_TRUE(bridge->setAsyncCallback(mainModule.attr("second")));
    }
    EXPECT_TRUE(log.contains(QStringLiteral("can't register python callback")));

    bridge->emitAsyncResult(
        {QStringLiteral("track.gpx"), 3, true, QVariant(), 2.5, QStringList{QStringLiteral("a"), QStringLiteral("b")}});
    bridge->emitAsyncResult({QStringLiteral("bad")});
    bridge->emitAsyncResult({});
    EXPECT_EQ(evalPython(QStringLiteral("results")),
              QStringLiteral("[('first', ['track.gpx', 3, True, None, 2.5, ['a', 'b']]), ('first', ['bad']), "
                             "('first', [])]"));
    const QString logged = log.text();
    EXPECT_TRUE(logged.contains(QStringLiteral("[Critical]")));
    EXPECT_TRUE(logged.contains(QStringLiteral("cannot take it")));
}

// The host object is the device clients' receiver: each asynchronous action's result list
// arrives at the bound callable in the shape the web application reads.
TEST_F(PythonHostTest, DeviceResultListsReachTheBoundCallable)
{
    runPython(QStringLiteral("device_results = []"));
    {
        py::gil_scoped_acquire gil;
        ASSERT_TRUE(
            pythonBridge()->setAsyncCallback(py::module_::import("__main__").attr("device_results").attr("append")));
    }
    TestDeviceClient client;
    client.exportedFiles = {QStringLiteral("/tmp/out/a.gpx"), QStringLiteral("/tmp/out/b.gpx")};
    struct Case
    {
        const char *name;
        std::function<bool(TestDeviceClient &)> start;
        bool result;
        const char *received;
    };
    const std::vector<Case> cases = {
        {"export track", [](TestDeviceClient &c) { return c.exportTrack(QStringLiteral("/tmp/out")); }, true,
         "['/tmp/out/a.gpx', '/tmp/out/b.gpx']"},
        {"upload zip", [](TestDeviceClient &c) { return c.makeUploadZip(); }, true, "['/tmp/upload.zip']"},
        {"upload zip failed", [](TestDeviceClient &c) { return c.makeUploadZip(); }, false, "['']"},
        {"import download zip", [](TestDeviceClient &c) { return c.importDownloadZip(QStringLiteral("/tmp/d.zip")); },
         true, "[]"},
        {"read profile failed", [](TestDeviceClient &c) { return c.readProfile(QStringLiteral("/tmp/p.xml")); }, false,
         "[False]"},
        {"finalize", [](TestDeviceClient &c) { return c.finalize(); }, true, "[]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        runPython(QStringLiteral("device_results.clear()"));
        client.result = c.result;
        ASSERT_TRUE(c.start(client));
        ASSERT_TRUE(QTest::qWaitFor([&client] { return !client.isBusy(); }, kPatienceMs));
        EXPECT_EQ(evalPython(QStringLiteral("device_results")), QStringLiteral("[%1]").arg(QLatin1String(c.received)));
    }
}

TEST(PythonCppBridgeTest, IntervalFollowsTheTimerSetting)
{
    initEnvironment();
    struct Case
    {
        const char *value;
        int interval;
    };
    const std::vector<Case> cases = {{"5", 10},   {"9", 10},   {"10", 10},  {"250", 250}, {"500", 500},
                                     {"501", 10}, {"600", 10}, {"abc", 10}, {"", 10},     {"-20", 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        OrvoEnv::instance()->setValue(QStringLiteral("timer"), QLatin1String(c.value));
        PythonCppBridge bridge;
        EXPECT_EQ(bridge.normalInterval(), c.interval);
    }
    QSettings(OrvoEnv::instance()->iniFilePath(), QSettings::IniFormat).remove(QStringLiteral("TarvexOrvo/timer"));
    EXPECT_EQ(PythonCppBridge().normalInterval(), 10);
}

TEST_F(PythonHostTest, FailingLooperSlowsTheTimerOnceThenItRecovers)
{
    PythonCppBridge *bridge = pythonBridge();
    runPython(QStringLiteral("good_looper = looper"));
    struct Case
    {
        const char *name;
        const char *looper;
        const char *logged;
    };
    const std::vector<Case> cases = {
        {"raises", "def looper(t): raise RuntimeError('hub gone')", "hub gone"},
        {"exits", "def looper(t): raise SystemExit(3)", "SystemExit"},
        {"answers false", "def looper(t): return False", "can't yield"},
        {"missing", "del looper", "can't yield"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        runPython(QLatin1String(c.looper));
        LogWatch log;
        bridge->slotDoSchedule();
        EXPECT_EQ(bridge->pendingPause(), PythonCppBridge::kFailurePause);
        EXPECT_TRUE(log.contains(QStringLiteral("can't yield")));
        EXPECT_TRUE(log.contains(QLatin1String(c.logged)));

        runPython(QStringLiteral("looper = good_looper"));
        bridge->slotDoSchedule();
        EXPECT_EQ(bridge->pendingPause(), bridge->normalInterval());
    }
}

TEST_F(PythonHostTest, SchedulerCallFromInsidePythonIsSkipped)
{
    runPython(QStringLiteral("good_looper = looper\n"
                             "def looper(t):\n"
                             "    import orvotest\n"
                             "    return orvotest.yield_now()\n"));
    LogWatch log;
    g_nestedYields = 0;
    EXPECT_TRUE(PythonCppBridge::yieldToPython());
    runPython(QStringLiteral("looper = good_looper"));
    EXPECT_EQ(g_nestedYields, 1);
    EXPECT_TRUE(g_nestedResult);
    EXPECT_TRUE(log.contains(QStringLiteral("re-enter, skip yield to python")));
    EXPECT_TRUE(PythonCppBridge::yieldToPython());
}

TEST_F(PythonHostTest, ProgramCallsReachTheApplicationWithTheirArguments)
{
    PythonCppBridge *bridge = pythonBridge();
    bridge->updateDevice(QStringLiteral("/media/kavel"));
    bridge->notifyUpdate(QStringLiteral("Kavel50"));
    runPython(QStringLiteral("import serveree, orvoupdate"));
    EXPECT_EQ(evalPython(QStringLiteral("serveree.announced")), QStringLiteral("('/media/kavel', '14d')"));
    EXPECT_EQ(evalPython(QStringLiteral("orvoupdate.requested")),
              QStringLiteral("('%1', 'Kavel50')").arg(OrvoEnv::instance()->updateUrl()));
}

TEST_F(PythonHostTest, FailingProgramCallsAreLoggedAndTheProgramGoesOn)
{
    runPython(QStringLiteral("import sys, serveree\n"
                             "saved_serveree = serveree\n"
                             "saved_updatedevice = serveree.updatedevice\n"));
    struct Case
    {
        const char *name;
        const char *setup;
        const char *logged;
    };
    const std::vector<Case> cases = {
        {"module missing", "sys.modules['serveree'] = None", "serveree not imported"},
        {"function missing", "del serveree.updatedevice", "AttributeError"},
        {"function raises", "def broken(d, p): raise ValueError('bad drive')\nserveree.updatedevice = broken",
         "bad drive"},
        {"function exits", "def leave(d, p): sys.exit(5)\nserveree.updatedevice = leave", "SystemExit"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        runPython(QLatin1String(c.setup));
        LogWatch log;
        pythonBridge()->updateDevice(QStringLiteral("/media/kavel"));
        const QString logged = log.text();
        EXPECT_TRUE(logged.contains(QStringLiteral("[Critical]"))) << logged.toStdString();
        EXPECT_TRUE(logged.contains(QLatin1String(c.logged))) << logged.toStdString();
        runPython(QStringLiteral("sys.modules['serveree'] = saved_serveree\n"
                                 "serveree = saved_serveree\n"
                                 "serveree.updatedevice = saved_updatedevice\n"));
    }
    EXPECT_TRUE(PythonCppBridge::yieldToPython());
}

TEST(PythonSearchPathTest, KeepsWhatExistsAndEndsWithTheResourceFolder)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    const QString resources = dir.filePath(QStringLiteral("Resources"));
    const QString stdlib = dir.filePath(QStringLiteral("lib/python3"));
    const QString dynload = dir.filePath(QStringLiteral("lib/python3/lib-dynload"));
    const QString site = dir.filePath(QStringLiteral("dist-packages"));
    for (const QString &folder : {resources, dynload, site})
        ASSERT_TRUE(QDir().mkpath(folder));
    const QString missing = dir.filePath(QStringLiteral("lib/python311.zip"));
    const QStringList system = {missing, stdlib, dynload, QString()};
    const QStringList sites = {dir.filePath(QStringLiteral("local/dist-packages")), site};

    EXPECT_EQ(pythonSearchPath(resources, system, sites), (QStringList{stdlib, dynload, site, resources}));

    const QString archive = resources + QStringLiteral("/pystdlib.zip");
    const QString gevent = resources + QStringLiteral("/gevent-22.10-py3.11.egg");
    const QString greenlet = resources + QStringLiteral("/greenlet-2.0-py3.11.egg");
    ASSERT_TRUE(OrvoTest::writeFile(archive, "zip"));
    ASSERT_TRUE(QDir().mkpath(gevent));
    ASSERT_TRUE(OrvoTest::writeFile(greenlet, "egg"));
    ASSERT_TRUE(OrvoTest::writeFile(resources + QStringLiteral("/geventwebsocket-0.1.egg"), "other"));
    EXPECT_EQ(pythonSearchPath(resources, system, sites),
              (QStringList{archive, stdlib, dynload, greenlet, gevent, site, resources}));
}

} // namespace
