#pragma once

#include <memory>

class OrvoExceptionTask;
class OrvoIExceptionHandler;

// The crash guard as callers use it: made on the stack around one guarded call, it holds the
// platform's guard and forwards to it.
class OrvoExceptionHandler
{
public:
    OrvoExceptionHandler();
    ~OrvoExceptionHandler();
    OrvoExceptionHandler(const OrvoExceptionHandler &) = delete;
    OrvoExceptionHandler &operator=(const OrvoExceptionHandler &) = delete;

    bool runTask(OrvoExceptionTask *task);

private:
    std::unique_ptr<OrvoIExceptionHandler> m_handler;
};
