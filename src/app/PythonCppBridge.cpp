#include "app/PythonCppBridge.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoHomePage.h"
#include "app/OrvoPython.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSettingsKeys.h"

#include <QTimer>
#include <QUrl>
#include <QWebEngineSettings>

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

// Calls module.function(*args) with the lock held. Every Python exception, SystemExit included,
// is logged and ends only this call. Answers the result's text when it is not None.
std::optional<QString> callPython(const QString &module, const char *function, const QStringList &args,
                                  MissingModule missing)
{
    if (!isPythonRunning())
        return std::nullopt;
    py::gil_scoped_acquire gil;
    py::object imported;
    try {
        imported = py::module_::import(module.toUtf8().constData());
    } catch (py::error_already_set &e) {
        if (missing == MissingModule::Log)
            ORVO_TRACE_CRITICAL(lcOrvoApp, "PythonCppBridge::callPython")
                << (module + QStringLiteral(" not imported")) << QString::fromUtf8(e.what());
        return std::nullopt;
    }
    const QString call = module + QLatin1Char('.') + QLatin1String(function);
    try {
        py::tuple arguments(args.size());
        for (qsizetype i = 0; i < args.size(); ++i)
            arguments[i] = py::cast(args.at(i));
        const py::object result = imported.attr(function)(*arguments);
        if (result.is_none())
            return std::nullopt;
        return py::str(result).cast<QString>();
    } catch (py::error_already_set &e) {
        logPythonError("PythonCppBridge::callPython", call, e);
    }
    return std::nullopt;
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
        const QString title = callPython(QStringLiteral("orvoweb.i18n"), "UTF8", {kHomePageTitle}, MissingModule::Quiet)
                                  .value_or(kHomePageTitle);
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
    m_homePage->load(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(OrvoEnv::instance()->listenPort())));
}

OrvoHomePage *PythonCppBridge::homePage() const
{
    return m_homePage;
}

void PythonCppBridge::updateDevice(const QString &drive)
{
    callPython(QStringLiteral("serveree"), "updatedevice", {drive, QStringLiteral("14d")}, MissingModule::Log);
}

void PythonCppBridge::notifyUpdate(const QString &model)
{
    callPython(QStringLiteral("orvoupdate"), "update", {OrvoEnv::instance()->updateUrl(), model}, MissingModule::Log);
}

void PythonCppBridge::galSetShareData(const QString &drive, const QString &zipFile)
{
    callPython(QStringLiteral("orvoweb.device"), "galSetShareData", {drive, zipFile}, MissingModule::Log);
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
