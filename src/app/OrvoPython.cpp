#include "app/OrvoPython.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoClientDataWrapper.h"
#include "app/OrvoCppFactory.h"
#include "app/OrvoPythonModule.h"
#include "app/OrvoWebToken.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClientDummy.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <memory>

namespace py = pybind11;

namespace {

bool g_started = false;
bool g_interpreterUp = false;
bool g_listenPortTaken = false;
// The GUI thread's Python state while it does not hold the interpreter lock.
PyThreadState *g_guiThreadState = nullptr;
PythonCppBridge *g_bridge = nullptr;
std::unique_ptr<OrvoClientDummy> g_placeholder;
std::unique_ptr<OrvoCppFactory> g_factory;

// Imports gevent, makes the standard library cooperative, defines the scheduler step that the
// host calls, and imports the web application.
const char *const kBootstrap = "import gevent\n"
                               "from gevent import monkey;monkey.patch_all()\n"
                               "def looper(t):\n"
                               "  gevent.sleep(t);\n"
                               "  return True;\n"
                               "import main\n";

const QStringList kBundledEggs = {QStringLiteral("setuptools"), QStringLiteral("lxml"), QStringLiteral("greenlet"),
                                  QStringLiteral("gevent")};

QStringList existing(const QStringList &paths)
{
    QStringList found;
    for (const QString &path : paths) {
        if (!path.isEmpty() && QFileInfo::exists(path))
            found << path;
    }
    return found;
}

// Debian's interpreter with nothing taken from the user's environment (another Python's
// PYTHONHOME or PYTHONPATH), no site module and no signal handlers of its own.
bool startInterpreter()
{
    // Python would ignore SIGPIPE among its own handlers. Without them a client that closes its
    // connection before reading the whole answer would end the program on the server's next write.
    std::signal(SIGPIPE, SIG_IGN);
    if (PyImport_AppendInittab("orvo", &createOrvoModule) == -1) {
        ORVO_TRACE_CRITICAL(lcOrvoApp, "initPython") << "module orvo not registered";
        return false;
    }
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    config.site_import = 0;
    config.install_signal_handlers = 0;
    config.write_bytecode = 0;
    PyStatus status = PyConfig_SetBytesString(&config, &config.home, ORVO_PYTHON_HOME);
    if (PyStatus_Exception(status)) {
        PyConfig_Clear(&config);
        ORVO_TRACE_CRITICAL(lcOrvoApp, "initPython") << "python home not set" << status.err_msg;
        return false;
    }
    try {
        py::initialize_interpreter(&config, 0, nullptr, false);
    } catch (const std::exception &e) {
        ORVO_TRACE_CRITICAL(lcOrvoApp, "initPython") << "python not started" << e.what();
        return false;
    }
    return true;
}

QStringList pythonList(const py::handle &items)
{
    QStringList texts;
    for (const py::handle item : items)
        texts << item.cast<QString>();
    return texts;
}

void setSearchPath(const QString &resourceDir)
{
    py::module_ sys = py::module_::import("sys");
    const QStringList systemPaths = pythonList(sys.attr("path"));
    const QStringList sitePackages = pythonList(py::module_::import("site").attr("getsitepackages")());
    py::list path;
    for (const QString &entry : pythonSearchPath(resourceDir, systemPaths, sitePackages))
        path.append(py::cast(entry));
    sys.attr("path") = path;
}

// The web application binds its port when it is imported; another program on that port is the
// one failure of the import that the user can mend (the setting "listen_port").
bool isAddressInUse(py::error_already_set &error)
{
    if (!error.matches(PyExc_OSError))
        return false;
    const py::object number = error.value().attr("errno");
    return !number.is_none() && number.cast<int>() == EADDRINUSE;
}

// Python's error output goes to the log while the bootstrap script runs. False when it failed.
bool runBootstrap(PythonCppBridge *bridge)
{
    py::module_ sys = py::module_::import("sys");
    const py::object stderrBefore = sys.attr("stderr");
    const auto write = [bridge](const QString &text) {
        bridge->stdErr(text);
        return text.size();
    };
    sys.attr("stderr") = py::module_::import("types").attr("SimpleNamespace")(
        py::arg("write") = py::cpp_function(write), py::arg("flush") = py::cpp_function([] {}));
    bool ran = true;
    try {
        py::exec(kBootstrap, py::module_::import("__main__").attr("__dict__"));
    } catch (py::error_already_set &e) {
        g_listenPortTaken = isAddressInUse(e);
        bridge->stdErr(QString::fromUtf8(e.what()));
        ran = false;
    }
    sys.attr("stderr") = stderrBefore;
    return ran;
}

} // namespace

void initPython()
{
    if (g_started)
        return;
    g_started = true;
    g_placeholder = std::make_unique<OrvoClientDummy>();
    g_interpreterUp = startInterpreter();
    g_factory = std::make_unique<OrvoCppFactory>();
    if (g_interpreterUp) {
        try {
            setSearchPath(QDir(OrvoEnv::instance()->resourceDir()).absolutePath());
        } catch (py::error_already_set &e) {
            ORVO_TRACE_CRITICAL(lcOrvoApp, "initPython") << "search path not set" << QString::fromUtf8(e.what());
        }
    }
    g_bridge = new PythonCppBridge();
    OrvoClient::setAsyncResultReceiver(g_bridge);
    // The web application reads the token when it starts serving. The file gets it only once
    // the application holds its port: the program that holds it keeps its own token otherwise.
    OrvoWebToken::issue();
    const bool serving = g_interpreterUp && runBootstrap(g_bridge);
    if (g_interpreterUp)
        g_guiThreadState = PyEval_SaveThread();
    const OrvoEnv *env = OrvoEnv::instance();
    QString tokenError;
    if (serving && !OrvoWebToken::publish(env->userFolder(), env->role(), tokenError))
        ORVO_TRACE_CRITICAL(lcOrvoApp, "initPython") << "web token not written:" << tokenError;
}

void finalizePython()
{
    OrvoClient::setAsyncResultReceiver(nullptr);
    delete g_bridge;
    g_bridge = nullptr;
    if (g_interpreterUp) {
        g_interpreterUp = false;
        PyEval_RestoreThread(g_guiThreadState);
        g_guiThreadState = nullptr;
        py::finalize_interpreter();
    }
    g_factory.reset();
    g_placeholder.reset();
}

OrvoClient *placeholderClient()
{
    return g_placeholder.get();
}

bool isPythonRunning()
{
    return g_interpreterUp;
}

bool isListenPortTaken()
{
    return g_listenPortTaken;
}

PythonCppBridge *pythonBridge()
{
    return g_bridge;
}

py::object wrapCppObject(const QByteArray &className, void *object)
{
    py::module_::import("orvo");
    QObject *wrapper = g_factory ? g_factory->create(className, object) : nullptr;
    if (!wrapper)
        return py::none();
    return py::cast(qobject_cast<OrvoClientDataWrapper *>(wrapper), py::return_value_policy::take_ownership);
}

QStringList pythonSearchPath(const QString &resourceDir, const QStringList &systemLibraryPaths,
                             const QStringList &sitePackages)
{
    const QDir resources(resourceDir);
    QStringList path = existing({resources.filePath(QStringLiteral("pystdlib.zip"))});
    path << existing(systemLibraryPaths);
    for (const QString &egg : kBundledEggs) {
        const QStringList found =
            resources.entryList({egg + QStringLiteral("-*.egg")}, QDir::Files | QDir::Dirs, QDir::Name);
        for (const QString &name : found)
            path << resources.filePath(name);
    }
    path << existing(sitePackages) << resources.path();
    return path;
}
