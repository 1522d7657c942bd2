#include "app/PythonCppBridge.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoHomePage.h"
#include "app/OrvoPython.h"
#include "app/OrvoWebToken.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSettingsKeys.h"

#include <QTimer>
#include <QUrl>
#include <QWebEngineSettings>

#include <functional>
#include <optional>

namespace py = pybind11;

namespace {

// Cleared while yieldToPython is inside Python, so that a nested event loop (a modal dialog
// opened from Python) does not re-enter the scheduler.
bool g_yieldAllowed = true;
// The callable bound to asynchronous results; an owned reference while set.
py::handle g_asyncCallback;

const QString kHomePageTitle = QStringLiteral("Tarvex Orvo 2-My Device Manager");
constexpr int kHomePageX = 20;
constexpr int kHomePageY = 92;
constexpr int kHomePageWidth = 360;
constexpr int kHomePageHeight = 525;
constexpr double kLooperSeconds = 0.01;

int intervalFromSetting()
{
    bool ok = false;
    const int value = OrvoEnv::instance()
                          ->getValue(QLatin1String(OrvoSettingsKeys::kTimer.name),
                                     QLatin1String(OrvoSettingsKeys::kTimer.defaultValue))
                          .toInt(&ok);
    if (!ok || value < PythonCppBridge::kMinInterval || value > PythonCppBridge::kMaxInterval)
        return PythonCppBridge::kDefaultInterval;
    return value;
}

void logPythonError(const char *where, const QString &call, py::error_already_set &error)
{
    ORVO_TRACE_CRITICAL(lcOrvoApp, where) << call << "raised" << QString::fromUtf8(error.what());
}

enum class MissingModule { Log, Quiet };

using Arguments = std::function<py::tuple()>;
// Looks at a call's answer, with the lock still held; false makes the call a failure.
using Answer = std::function<bool(const py::object &)>;

// Calls module.function(*arguments()) with the interpreter lock, from any thread. Every Python
// exception, SystemExit included, is logged and ends only this call. False when Python is not
// running, the module or the function is missing, the call raised or answer refused the result.
bool invokePython(const char *module, const char *function, const Arguments &arguments, MissingModule missing,
                  const Answer &answer)
{
    if (!isPythonRunning())
        return false;
    const QString call = QLatin1String(module) + QLatin1Char('.') + QLatin1String(function);
    py::gil_scoped_acquire gil;
    py::object imported;
    try {
        imported = py::module_::import(module);
    } catch (py::error_already_set &e) {
        if (missing == MissingModule::Log)
            ORVO_TRACE_CRITICAL(lcOrvoApp, "PythonCppBridge::callPython")
                << (QLatin1String(module) + QStringLiteral(" not imported")) << QString::fromUtf8(e.what());
        return false;
    }
    try {
        if (answer(imported.attr(function)(*arguments())))
            return true;
        ORVO_TRACE_WARNING(lcOrvoApp, "PythonCppBridge::callPython") << call << "answered failure";
    } catch (py::error_already_set &e) {
        logPythonError("PythonCppBridge::callPython", call, e);
    }
    return false;
}

Arguments texts(const QStringList &args)
{
    return [args] { return py::tuple(py::cast(args)); };
}

// The answer's truth; a value without one raises.
bool truthOf(const py::object &result)
{
    const int truth = PyObject_IsTrue(result.ptr());
    if (truth < 0)
        throw py::error_already_set();
    return truth == 1;
}

bool anyAnswer(const py::object &)
{
    return true;
}

// Answers the result's text when it is not None.
std::optional<QString> callPython(const char *module, const char *function, const QStringList &args,
                                  MissingModule missing)
{
    std::optional<QString> text;
    invokePython(module, function, texts(args), missing, [&text](const py::object &result) {
        if (!result.is_none())
            text = py::str(result).cast<QString>();
        return true;
    });
    return text;
}

} // namespace

PythonCppBridge::PythonCppBridge()
    : m_timer(new QTimer(this))
    , m_interval(intervalFromSetting())
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &PythonCppBridge::slotDoSchedule);
    connect(this, &PythonCppBridge::asyncResult, this, &PythonCppBridge::deliverAsyncResult);
    m_timer->start(1);
}

PythonCppBridge::~PythonCppBridge()
{
    m_timer->stop();
    delete m_homePage;
    if (g_asyncCallback && isPythonRunning()) {
        py::gil_scoped_acquire gil;
        g_asyncCallback.dec_ref();
    }
    g_asyncCallback = py::handle();
}

bool PythonCppBridge::yieldToPython()
{
    if (!g_yieldAllowed) {
        ORVO_TRACE_WARNING(lcOrvoApp, "PythonCppBridge::yieldToPython") << "re-enter, skip yield to python";
        return true;
    }
    if (!isPythonRunning())
        return false;
    g_yieldAllowed = false;
    bool yielded = false;
    {
        py::gil_scoped_acquire gil;
        try {
            const py::object mainModule = py::module_::import("__main__");
            if (py::hasattr(mainModule, "looper")) {
                const py::object result = mainModule.attr("looper")(kLooperSeconds);
                const int truth = PyObject_IsTrue(result.ptr());
                if (truth < 0)
                    throw py::error_already_set();
                yielded = truth == 1;
            }
        } catch (py::error_already_set &e) {
            logPythonError("PythonCppBridge::yieldToPython", QStringLiteral("looper"), e);
        }
    }
    g_yieldAllowed = true;
    return yielded;
}

bool PythonCppBridge::setAsyncCallback(const py::object &callable)
{
    if (g_asyncCallback)
        return true;
    ORVO_TRACE_DEBUG(lcOrvoApp, "PythonCppBridge::setAsyncCallback") << "set async callback";
    if (!callable || !PyCallable_Check(callable.ptr())) {
        ORVO_TRACE_CRITICAL(lcOrvoApp, "PythonCppBridge::setAsyncCallback") << "can't register python callback";
        return false;
    }
    g_asyncCallback = callable;
    g_asyncCallback.inc_ref();
    return true;
}

void PythonCppBridge::emitAsyncResult(const QVariantList &result)
{
    emit asyncResult(result);
}

void PythonCppBridge::deliverAsyncResult(const QVariantList &result)
{
    if (!g_asyncCallback || !isPythonRunning())
        return;
    py::gil_scoped_acquire gil;
    try {
        g_asyncCallback(py::cast(result));
    } catch (py::error_already_set &e) {
        logPythonError("PythonCppBridge::deliverAsyncResult", QStringLiteral("async callback"), e);
    }
}

void PythonCppBridge::showHomePage()
{
    if (!m_homePage) {
        const QString title =
            callPython("orvoweb.i18n", "UTF8", {kHomePageTitle}, MissingModule::Quiet).value_or(kHomePageTitle);
        m_homePage = new OrvoHomePage();
        m_homePage->setWindowTitle(title);
        m_homePage->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        m_homePage->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
        m_homePage->setGeometry(kHomePageX, kHomePageY, kHomePageWidth, kHomePageHeight);
        m_homePage->setFixedSize(kHomePageWidth, kHomePageHeight);
    }
    m_homePage->raise();
    m_homePage->show();
    m_homePage->activateWindow();
    m_homePage->load(homePageUrl());
}

QUrl PythonCppBridge::homePageUrl()
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(OrvoEnv::instance()->listenPort()));
    url.setQuery(QStringLiteral("token=") + OrvoWebToken::current());
    return url;
}

OrvoHomePage *PythonCppBridge::homePage() const
{
    return m_homePage;
}

void PythonCppBridge::updateDevice(const QString &drive)
{
    invokePython("serveree", "updatedevice", texts({drive, QStringLiteral("14d")}), MissingModule::Log, anyAnswer);
}

void PythonCppBridge::notifyUpdate(const QString &model)
{
    invokePython("orvoupdate", "update", texts({OrvoEnv::instance()->updateUrl(), model}), MissingModule::Log,
                 anyAnswer);
}

bool PythonCppBridge::exportKrm(const QString &folder, const QString &model, const QString &version,
                                const QString &profile, const QString &root, QStringList &files)
{
    return invokePython("galapi", "ExportKrm", texts({folder, model, version, profile, root}), MissingModule::Log,
                        [&files](const py::object &result) {
                            py::detail::make_caster<QStringList> list;
                            if (!list.load(result, false))
                                return false;
                            files = py::detail::cast_op<QStringList>(list);
                            return true;
                        });
}

bool PythonCppBridge::createProfileXml(const QString &ini, const QString &xml)
{
    return invokePython("galapi", "CreateProfileXml", texts({ini, xml}), MissingModule::Log, truthOf);
}

bool PythonCppBridge::createProfileIni(const QStringList &keys, const QStringList &values, const QString &ini)
{
    const Arguments arguments = [&] { return py::make_tuple(py::cast(keys), py::cast(values), py::cast(ini)); };
    return invokePython("galapi", "CreateProfileIni", arguments, MissingModule::Log, truthOf);
}

bool PythonCppBridge::galSetShareData(const QString &root, const QString &file)
{
    return invokePython("orvoweb.device", "galSetShareData", texts({root, file}), MissingModule::Log, truthOf);
}

int PythonCppBridge::normalInterval() const
{
    return m_interval;
}

int PythonCppBridge::pendingPause() const
{
    return m_timer->interval();
}

void PythonCppBridge::stopScheduler()
{
    m_timer->stop();
}

void PythonCppBridge::slotDoSchedule()
{
    int pause = m_interval;
    if (!yieldToPython()) {
        ORVO_TRACE_CRITICAL(lcOrvoApp, "PythonCppBridge::slotDoSchedule") << "can't yield";
        pause = kFailurePause;
    }
    m_timer->start(pause);
}

void PythonCppBridge::stdErr(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty())
        ORVO_TRACE_CRITICAL(lcOrvoApp, "PythonCppBridge::stdErr") << trimmed;
}
