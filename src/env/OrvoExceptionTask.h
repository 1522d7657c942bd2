#pragma once

// A piece of work that the crash guard runs: execute does the work, handleException is told
// when execute was cut short by an exception or a processor fault.
class OrvoExceptionTask
{
public:
    virtual ~OrvoExceptionTask() = default;

    virtual bool execute() = 0;
    virtual void handleException() = 0;
};
