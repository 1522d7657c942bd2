#pragma once

#include <QString>
#include <QVariantList>

// A sink of ZK log lines. It accepts messages up to its own level and receives the composed
// line with the message's printf-style conversions still in it, plus the caller's arguments.
class ZKLogAppender
{
public:
    explicit ZKLogAppender(int level);
    virtual ~ZKLogAppender();

    int level() const;
    virtual void write(const QString &line, const QVariantList &arguments, int level) = 0;

    // The line with each printf-style conversion ("%s", "%d", "%ls", "%5.2f", ...) replaced by the
    // next argument's text and "%%" by "%"; conversions without an argument stay as they are.
    static QString applyArguments(const QString &line, const QVariantList &arguments);

private:
    int m_level;
};
