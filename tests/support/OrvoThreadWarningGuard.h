#pragma once

#include <QString>
#include <QtGlobal>

// Qt answers the use of an object from a thread it does not belong to with a warning and goes on
// without doing what was asked: a refused parent leaves its child to leak, a timer never runs.
// Every test program installs the guard in its main; from then on such a warning fails the
// running test, whichever handler the test or the program installed after it.
//
// A test that means to provoke one of these warnings says so: while an OrvoThreadWarningGuard
// made with a part of the text lives, warnings holding that text are counted, not failures.
class OrvoThreadWarningGuard
{
public:
    explicit OrvoThreadWarningGuard(const QString &expected);
    ~OrvoThreadWarningGuard();
    OrvoThreadWarningGuard(const OrvoThreadWarningGuard &) = delete;
    OrvoThreadWarningGuard &operator=(const OrvoThreadWarningGuard &) = delete;

    // The expected warnings seen while the guard lived.
    int seen() const;

    // Puts the guard in front of every message handler the process installs later.
    static void install();
    // Whether the message is one of Qt's warnings about an object used from the wrong thread.
    static bool isThreadMisuse(const QString &message);
    // The guard's handler: fails the running test on an unexpected misuse warning and passes
    // every message on to the handler installed last.
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

private:
    static bool takeExpected(const QString &message);

    QString m_expected;
    int m_seen = 0;
};
