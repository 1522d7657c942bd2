#pragma once

#include "OrvoFreePort.h"

#include <QProcess>

// Helpers of the tests that start the programs themselves.
namespace OrvoTest {

// How long a program may take to start, serve or end before a test gives up.
constexpr int kProgramTimeoutMs = 60000;

// The exit code, or -1 when the process did not end normally in time.
int waitForExit(QProcess &process);

// True once the program's termination handler is in place (its SIGTERM bit in SigCgt).
bool catchesTermination(const QProcess &process);

// Asks the program to end as a desktop session would, once it can take the request, and
// answers its exit code (-1 when it never could or did not end in time).
int terminate(QProcess &process);

} // namespace OrvoTest
