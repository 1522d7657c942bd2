#pragma once

#include <QString>
#include <QStringList>

// One run of a program in a process of its own: its wall time from start to exit, its peak
// resident memory, and what it printed.
struct BenchProcess
{
    bool ok = false;
    double wallMs = 0;
    double peakMiB = 0;
    QString output;

    // Runs program with arguments and waits for it; ok when it exited with 0.
    static BenchProcess run(const QString &program, const QStringList &arguments);
};
