#include "OrvoTestProcess.h"

#include "OrvoTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace OrvoTest {

int waitForExit(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(kProgramTimeoutMs))
            return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool catchesTermination(const QProcess &process)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(process.processId()));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

int terminate(QProcess &process)
{
    if (!QTest::qWaitFor([&process] { return catchesTermination(process); }, kProgramTimeoutMs))
        return -1;
    ::kill(pid_t(process.processId()), SIGTERM);
    return waitForExit(process);
}

} // namespace OrvoTest
