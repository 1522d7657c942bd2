#include "env/OrvoZKLogAppender.h"

#include "env/OrvoEnv.h"
#include "env/OrvoMessageHandler.h"
#include "env/ZKLogger.h"

#include <QDateTime>

namespace {

QtMsgType messageTypeOf(int level)
{
    if (level <= ZKLogger::Error)
        return QtCriticalMsg;
    return level == ZKLogger::Warning ? QtWarningMsg : QtDebugMsg;
}

// The log's own weight of a line: warnings and errors are written out at once.
int logFlagOf(QtMsgType type)
{
    switch (type) {
    case QtCriticalMsg:
        return 2;
    case QtWarningMsg:
        return 1;
    default:
        return 0;
    }
}

} // namespace

OrvoZKLogAppender::OrvoZKLogAppender(OrvoEnv &env)
    : ZKLogAppender(levelForDebugSetting(env.debugLevel()))
    , m_env(env)
{}

int OrvoZKLogAppender::levelForDebugSetting(int debugSetting)
{
    if (debugSetting <= 1)
        return ZKLogger::Trace;
    if (debugSetting == 2)
        return ZKLogger::Warning;
    return debugSetting == 3 ? ZKLogger::Error : ZKLogger::None;
}

void OrvoZKLogAppender::write(const QString &line, const QVariantList &arguments, int level)
{
    // The ZK pattern ends its lines itself; the log line brings its own end.
    QString text = applyArguments(line, arguments);
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    const QtMsgType type = messageTypeOf(level);
    m_env.writeLog(logFlagOf(type), orvoLogLine(type, text, QDateTime::currentDateTime()));
}
