#include "env/OrvoExceptionHandler.h"

#include "env/OrvoLinuxExceptionHandler.h"

OrvoExceptionHandler::OrvoExceptionHandler()
    : m_handler(std::make_unique<OrvoLinuxExceptionHandler>())
{}

OrvoExceptionHandler::~OrvoExceptionHandler() = default;

bool OrvoExceptionHandler::runTask(OrvoExceptionTask *task)
{
    return m_handler->runTask(task);
}
