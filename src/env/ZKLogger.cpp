#include "env/ZKLogger.h"

#include <chrono>

namespace {

constexpr int kProcessLevel = ZKLogger::Error;
// The composed line is cut to what a 512-character buffer with its terminating zero holds.
constexpr qsizetype kMaxLineLength = 511;
const char *const kLevelNames[] = {"NONE", "ERROR", "WARNING", "INFO", "DEBUG", "TRACE"};

quint64 steadyTicks()
{
    using namespace std::chrono;
    return quint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

ZKLogger::ZKLogger()
    : m_ticks(steadyTicks)
{
    setPattern(QStringLiteral("%F(%L): %t, %p, %m\n"));
}

ZKLogger::~ZKLogger() = default;

ZKLogger &ZKLogger::instance()
{
    static ZKLogger logger;
    return logger;
}

int ZKLogger::level()
{
    return kProcessLevel;
}

QString ZKLogger::levelName(int level)
{
    if (level < None || level > Trace)
        return {};
    return QLatin1String(kLevelNames[level]);
}

void ZKLogger::logError(const char *file, int line, const QString &format, const QVariantList &arguments)
{
    log(file, line, format, arguments, Error);
}

void ZKLogger::logDebug(const char *file, int line, const QString &format, const QVariantList &arguments)
{
    log(file, line, format, arguments, Debug);
}

void ZKLogger::log(const char *file, int line, const QString &format, const QVariantList &arguments, int level)
{
    QMutexLocker lock(&m_mutex);
    QString composed;
    for (const auto &appender : m_appenders) {
        if (appender->level() < level)
            continue;
        if (composed.isNull())
            composed = composeLine(file, line, format, level);
        appender->write(composed, arguments, level);
    }
}

QString ZKLogger::composeLine(const char *file, int line, const QString &format, int level) const
{
    // One pass, so that a "%" in the file name or the message is never taken for a field.
    return m_pattern
        .arg(QString::fromLocal8Bit(file), QString::number(line), levelName(level), QString::number(m_ticks()), format)
        .left(kMaxLineLength);
}

void ZKLogger::setPattern(const QString &pattern)
{
    QString stored = pattern;
    stored.replace(QLatin1String("%F"), QLatin1String("%1"))
        .replace(QLatin1String("%L"), QLatin1String("%2"))
        .replace(QLatin1String("%p"), QLatin1String("%3"))
        .replace(QLatin1String("%t"), QLatin1String("%4"))
        .replace(QLatin1String("%m"), QLatin1String("%5"));
    QMutexLocker lock(&m_mutex);
    m_pattern = stored;
}

QString ZKLogger::pattern() const
{
    QMutexLocker lock(&m_mutex);
    return m_pattern;
}

void ZKLogger::addAppender(std::unique_ptr<ZKLogAppender> appender)
{
    QMutexLocker lock(&m_mutex);
    m_appenders.push_back(std::move(appender));
}

void ZKLogger::clearAppenders()
{
    QMutexLocker lock(&m_mutex);
    m_appenders.clear();
}

void ZKLogger::setTickSource(TickSource ticks)
{
    QMutexLocker lock(&m_mutex);
    m_ticks = ticks ? std::move(ticks) : TickSource(steadyTicks);
}
