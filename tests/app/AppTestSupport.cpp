#include "AppTestSupport.h"

#include "OrvoFreePort.h"
#include "app/OrvoPython.h"
#include "app/OrvoWebToken.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace py = pybind11;

namespace AppTest {

namespace {

int g_listenPort = 0;
constexpr int kProcessTimeoutMs = 60000;

// The program's own shutdown order, run before the test main's application object goes away.
class ShutdownEnvironment : public ::testing::Environment
{
public:
    void TearDown() override
    {
        finalizePython();
        if (g_listenPort != 0)
            OrvoEnv::instance()->shutdown();
    }
};

[[maybe_unused]] const ::testing::Environment *const g_shutdown =
    ::testing::AddGlobalTestEnvironment(new ShutdownEnvironment);

// How far below the test's own frames the interpreter starts, in frames of kPadBytes.
constexpr int kStartFrames = 64;
constexpr int kPadBytes = 4096;

// Greenlets share the C stack: switching to one copies aside the frames that lie where it runs,
// and AddressSanitizer takes that copy of instrumented frames for a read out of bounds. gevent's
// hub keeps the stack position of its first start, which the interpreter's start reaches (the
// server resolves its address through the hub). Started far below any frame the tests reach, it
// never runs where a test's frames lie, so no switch to it copies them.
[[gnu::noinline]] void initPythonDeepInTheStack(int frames)
{
    volatile char pad[kPadBytes];
    pad[0] = 0;
    if (frames > 0)
        initPythonDeepInTheStack(frames - 1);
    else
        initPython();
    pad[kPadBytes - 1] = pad[0];
}

} // namespace

void initEnvironment()
{
    if (g_listenPort != 0)
        return;
    OrvoEnv::instance()->init(QStringLiteral("user"), QString());
    g_listenPort = OrvoTest::freePort();
    OrvoEnv::instance()->setValue(QStringLiteral("listen_port"), QString::number(g_listenPort));
}

int listenPort()
{
    return g_listenPort;
}

void startPython()
{
    initEnvironment();
    initPythonDeepInTheStack(kStartFrames);
    ASSERT_TRUE(isPythonRunning());
}

QStringList tokenArguments()
{
    return {QStringLiteral("-H"), QStringLiteral("Authorization: Token ") + OrvoWebToken::current()};
}

void runPython(const QString &code)
{
    py::gil_scoped_acquire gil;
    try {
        py::exec(code.toStdString(), py::module_::import("__main__").attr("__dict__"));
    } catch (py::error_already_set &e) {
        ADD_FAILURE() << e.what();
    }
}

QString evalPython(const QString &expression)
{
    py::gil_scoped_acquire gil;
    try {
        return py::str(py::eval(expression.toStdString(), py::module_::import("__main__").attr("__dict__")))
            .cast<QString>();
    } catch (py::error_already_set &e) {
        ADD_FAILURE() << e.what();
    }
    return {};
}

ProcessResult runProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    ProcessResult result;
    if (!finished.wait(kProcessTimeoutMs)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    return result;
}

LogWatch::LogWatch()
{
    OrvoEnv::instance()->writeLog(1, QString());
    m_start = QFile(OrvoEnv::instance()->logFilePath()).size();
}

QString LogWatch::text() const
{
    OrvoEnv::instance()->writeLog(1, QString());
    QFile log(OrvoEnv::instance()->logFilePath());
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_start))
        return {};
    return QString::fromUtf8(log.readAll());
}

bool LogWatch::contains(const QString &needle) const
{
    return text().contains(needle);
}

} // namespace AppTest
