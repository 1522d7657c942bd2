#pragma once

class OrvoExceptionTask;

// Runs a task so that a crash inside it ends in the task's handleException and a false answer
// instead of ending the process.
class OrvoIExceptionHandler
{
public:
    virtual ~OrvoIExceptionHandler() = default;

    // execute's answer when it returns; false after exactly one handleException when it fails.
    virtual bool runTask(OrvoExceptionTask *task) = 0;
};
