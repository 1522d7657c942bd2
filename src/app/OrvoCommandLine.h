#pragma once

#include <QString>
#include <QStringList>

// The programs' own options, --help and --version. They are read before the application object
// exists, so that answering them starts nothing: no display connection, no Python, no devices and
// no single-instance lock. Every other argument is left to Qt, or refused by a program that takes
// no other (refusal).
class OrvoCommandLine
{
public:
    OrvoCommandLine(const QString &programName, const QString &description);

    static QStringList arguments(int argc, char **argv);

    // True when the arguments ask for a text instead of a run; answer() is that text.
    bool asksForAnswer(const QStringList &arguments);
    QString answer() const;

    // Why the arguments are refused: the first one that is neither ours nor one of the options
    // Qt's application object takes, followed by the help text; empty when every one is known.
    QString refusal(const QStringList &arguments) const;

private:
    QString helpText() const;
    QString versionText() const;

    QString m_programName;
    QString m_description;
    QString m_answer;
};
