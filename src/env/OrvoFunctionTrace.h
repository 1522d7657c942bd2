#pragma once

#include <QDebug>
#include <QObject>
#include <QString>

// Trace lines name the function and the source line: "[ Class::method ]\t[ 42 ]\t message".
#define ORVO_TRACE_DEBUG(category, function) qCDebug(category) << "[" << function << "]\t[" << __LINE__ << "]\t"
#define ORVO_TRACE_WARNING(category, function) qCWarning(category) << "[" << function << "]\t[" << __LINE__ << "]\t"
#define ORVO_TRACE_CRITICAL(category, function) qCCritical(category) << "[" << function << "]\t[" << __LINE__ << "]\t"

// Scoped marker that traced functions create on entry; it holds the function's name and
// writes nothing itself.
class OrvoFunctionTrace : public QObject
{
    Q_OBJECT

public:
    explicit OrvoFunctionTrace(const QString &functionName);
    ~OrvoFunctionTrace() override;

    QString functionName() const;

private:
    QString m_functionName;
};
