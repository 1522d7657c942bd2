#include "env/OrvoMessageHandler.h"

#include "env/OrvoEnv.h"

#include <QDateTime>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<OrvoEnv *> g_logEnv{nullptr};
std::atomic_int g_cachedDebugLevel{-1};
QtMessageHandler g_previousHandler = nullptr;

// A message raised while a line is being written (by the settings read, say) is dropped
// instead of recursing into the handler.
thread_local bool t_inHandler = false;

class HandlerGuard
{
public:
    HandlerGuard() { t_inHandler = true; }
    ~HandlerGuard() { t_inHandler = false; }
};

// Debug 0, warning 1, critical 2, fatal 3; Qt's info level counts as debug.
int levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
    case QtInfoMsg:
        return 0;
    case QtWarningMsg:
        return 1;
    case QtCriticalMsg:
        return 2;
    case QtFatalMsg:
        return 3;
    }
    return 0;
}

const char *tagOf(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg:
        return " [Warning]\t";
    case QtCriticalMsg:
        return " [Critical]\t";
    default:
        return " [Debug]\t";
    }
}

} // namespace

QString orvoLogLine(QtMsgType type, const QString &message, const QDateTime &localTime)
{
    if (type == QtFatalMsg)
        return {};
    return localTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss,zzz")) + QLatin1String(tagOf(type)) + message +
           QLatin1Char('\n');
}

void orvoMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (t_inHandler)
        return;
    OrvoEnv *env = g_logEnv.load();
    if (!env)
        return;
    HandlerGuard guard;

    int cached = g_cachedDebugLevel.load();
    if (cached < 0) {
        cached = env->debugLevel();
        g_cachedDebugLevel.store(cached);
    }
    const int level = levelOf(type);
    if (level < cached - 1)
        return;
    if (type == QtFatalMsg)
        std::abort();
    env->writeLog(level, orvoLogLine(type, message, QDateTime::currentDateTime()));
}

void installOrvoMessageHandler(OrvoEnv *env)
{
    g_logEnv.store(env);
    g_cachedDebugLevel.store(-1);
    const QtMessageHandler previous = qInstallMessageHandler(orvoMessageHandler);
    if (previous != orvoMessageHandler)
        g_previousHandler = previous;
}

void restoreOrvoMessageHandler(OrvoEnv *env)
{
    if (g_logEnv.compare_exchange_strong(env, nullptr))
        qInstallMessageHandler(g_previousHandler);
}

void resetDebugLevelCache()
{
    g_cachedDebugLevel.store(-1);
}
