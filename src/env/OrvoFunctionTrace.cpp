#include "env/OrvoFunctionTrace.h"

OrvoFunctionTrace::OrvoFunctionTrace(const QString &functionName)
    : m_functionName(functionName)
{}

OrvoFunctionTrace::~OrvoFunctionTrace() = default;

QString OrvoFunctionTrace::functionName() const
{
    return m_functionName;
}
