#pragma once

#include "env/OrvoIExceptionHandler.h"

// The crash guard on Linux. Any C++ exception leaving execute ends in handleException and a
// false answer; the forced unwinding of a thread cancellation passes on untouched. A processor
// fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL) raised on a thread while it runs a guarded task jumps
// back to the innermost guard of that thread and ends the same way; a fault on a thread that
// runs no guarded task keeps its usual outcome, so a crash elsewhere still ends the process.
class OrvoLinuxExceptionHandler : public OrvoIExceptionHandler
{
public:
    bool runTask(OrvoExceptionTask *task) override;
};
