#include "env/ZKLogAppender.h"

namespace {

bool isConversionLetter(QChar c)
{
    return QStringLiteral("diouxXeEfgGcspS").contains(c);
}

bool isConversionModifier(QChar c)
{
    return c.isDigit() || QStringLiteral("-+ #.lhzjtLq").contains(c);
}

} // namespace

ZKLogAppender::ZKLogAppender(int level)
    : m_level(level)
{}

ZKLogAppender::~ZKLogAppender() = default;

int ZKLogAppender::level() const
{
    return m_level;
}

QString ZKLogAppender::applyArguments(const QString &line, const QVariantList &arguments)
{
    QString result;
    qsizetype next = 0;
    qsizetype i = 0;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c != QLatin1Char('%') || i + 1 >= line.size()) {
            result += c;
            ++i;
            continue;
        }
        if (line.at(i + 1) == QLatin1Char('%')) {
            result += QLatin1Char('%');
            i += 2;
            continue;
        }
        qsizetype end = i + 1;
        while (end < line.size() && isConversionModifier(line.at(end)))
            ++end;
        if (end < line.size() && isConversionLetter(line.at(end)) && next < arguments.size()) {
            result += arguments.at(next++).toString();
            i = end + 1;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}
