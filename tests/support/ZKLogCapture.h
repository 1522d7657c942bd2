#pragma once

#include "env/ZKLogger.h"

#include <QStringList>

#include <memory>

// Collects the messages the ZK code logs while it lives, with their arguments filled in.
class ZKLogCapture
{
public:
    ZKLogCapture()
    {
        // Every field must stay in the pattern; the message comes last, after the fourth tab.
        ZKLogger::instance().setPattern(QStringLiteral("%F\t%L\t%t\t%p\t%m"));
        ZKLogger::instance().addAppender(std::make_unique<Appender>(m_messages));
    }
    ~ZKLogCapture()
    {
        ZKLogger::instance().clearAppenders();
        ZKLogger::instance().setPattern(QStringLiteral("%F(%L): %t, %p, %m\n"));
    }
    ZKLogCapture(const ZKLogCapture &) = delete;
    ZKLogCapture &operator=(const ZKLogCapture &) = delete;

    const QStringList &messages() const { return m_messages; }
    // Every message, a line each, for a contains() check and its failure text.
    QString all() const { return m_messages.join(QLatin1Char('\n')); }

private:
    class Appender : public ZKLogAppender
    {
    public:
        explicit Appender(QStringList &sink)
            : ZKLogAppender(ZKLogger::Trace)
            , m_sink(sink)
        {}
        void write(const QString &line, const QVariantList &arguments, int) override
        {
            m_sink.append(applyArguments(line, arguments).section(QLatin1Char('\t'), 4));
        }

    private:
        QStringList &m_sink;
    };

    QStringList m_messages;
};
