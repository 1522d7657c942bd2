#pragma once

#include "env/ZKLogAppender.h"

#include <QMutex>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

// The exchange-format and database code logs through this logger rather than the Qt handler.
// The process-wide level stays at ERROR; the programs register an OrvoZKLogAppender at start-up,
// which writes the lines into the program's log.
class ZKLogger
{
public:
    enum Level { None = 0, Error = 1, Warning = 2, Info = 3, Debug = 4, Trace = 5 };
    using TickSource = std::function<quint64()>;

    ZKLogger();
    ~ZKLogger();

    static ZKLogger &instance();
    static int level();
    static QString levelName(int level);

    void logError(const char *file, int line, const QString &format, const QVariantList &arguments = {});
    void logDebug(const char *file, int line, const QString &format, const QVariantList &arguments = {});
    void log(const char *file, int line, const QString &format, const QVariantList &arguments, int level);

    void setPattern(const QString &pattern);
    QString pattern() const;
    void addAppender(std::unique_ptr<ZKLogAppender> appender);
    void clearAppenders();
    // Milliseconds since the system started, unless a test puts a fixed clock in.
    void setTickSource(TickSource ticks);

private:
    QString composeLine(const char *file, int line, const QString &format, int level) const;

    mutable QMutex m_mutex;
    QString m_pattern;
    std::vector<std::unique_ptr<ZKLogAppender>> m_appenders;
    TickSource m_ticks;
};

// Logs only when the process-wide level lets the message through.
#define ZK_LOG_ERROR(format, ...)                                                                                      \
    do {                                                                                                               \
        if (ZKLogger::level() >= ZKLogger::Error)                                                                      \
            ZKLogger::instance().logError(__FILE__, __LINE__, format, {__VA_ARGS__});                                  \
    } while (false)
#define ZK_LOG_DEBUG(format, ...)                                                                                      \
    do {                                                                                                               \
        if (ZKLogger::level() >= ZKLogger::Debug)                                                                      \
            ZKLogger::instance().logDebug(__FILE__, __LINE__, format, {__VA_ARGS__});                                  \
    } while (false)
