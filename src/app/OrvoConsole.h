#pragma once

#include <QString>

// What a program tells the person who started it from a terminal, each line prefixed with the
// program's name: why it refused to start (standard error) or what it did instead of starting
// (standard output). Start-up only; everything later goes to the log.
class OrvoConsole
{
public:
    explicit OrvoConsole(const QString &programName);

    void error(const QString &text) const;
    void info(const QString &text) const;
    // A ready text, such as the answer to --help, as it is.
    static void print(const QString &text);

private:
    QString line(const QString &text) const;

    QString m_programName;
};
