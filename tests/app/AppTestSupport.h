#pragma once

#include "app/OrvoPybind.h"

#include <QString>
#include <QStringList>

#include <functional>

// One environment (role "user") and one interpreter per test process, shared by the suites that
// need them: the interpreter cannot start twice in a process.
namespace AppTest {

// OrvoEnv with role "user" in the process's own data folder, the web application's port set
// to a free one.
void initEnvironment();
int listenPort();

// initEnvironment, then the interpreter with the web application (once per process).
void startPython();

// curl's arguments that present the web application's token, as the tray program's requests do.
QStringList tokenArguments();

// Runs statements in the main module; an exception fails the test.
void runPython(const QString &code);
// str() of an expression evaluated in the main module.
QString evalPython(const QString &expression);

// Runs a program to its end while the event loop (and so the web application) keeps running.
struct ProcessResult
{
    int exitCode = -1;
    QByteArray output;
};
ProcessResult runProcess(const QString &program, const QStringList &arguments);

// What the log gained after this object was made.
class LogWatch
{
public:
    LogWatch();
    QString text() const;
    bool contains(const QString &needle) const;

private:
    qint64 m_start = 0;
};

} // namespace AppTest
