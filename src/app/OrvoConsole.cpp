#include "app/OrvoConsole.h"

#include <QByteArray>

#include <cstdio>

namespace {

void writeTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

OrvoConsole::OrvoConsole(const QString &programName)
    : m_programName(programName)
{}

void OrvoConsole::error(const QString &text) const
{
    writeTo(stderr, line(text));
}

void OrvoConsole::info(const QString &text) const
{
    writeTo(stdout, line(text));
}

void OrvoConsole::print(const QString &text)
{
    writeTo(stdout, text);
}

QString OrvoConsole::line(const QString &text) const
{
    return m_programName + QStringLiteral(": ") + text + QLatin1Char('\n');
}
