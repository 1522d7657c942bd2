#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

class OrvoEnv;

// The Qt message handler: filters by the "debug" setting and appends one time-stamped,
// tagged line per message to the log of the environment it was installed for.
void orvoMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Routes messages to the given environment's log (nullptr stops logging) and installs the handler.
void installOrvoMessageHandler(OrvoEnv *env);
// Puts Qt's previous handler back and stops logging, when the handler still logs for env.
void restoreOrvoMessageHandler(OrvoEnv *env);

// Forget the cached "debug" level, so that the next message reads the setting again.
void resetDebugLevelCache();

// The line the handler writes for a message at the given local time; empty for a fatal message.
QString orvoLogLine(QtMsgType type, const QString &message, const QDateTime &localTime);
