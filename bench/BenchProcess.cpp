#include "BenchProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

extern char **environ;

BenchProcess BenchProcess::run(const QString &program, const QStringList &arguments)
{
    BenchProcess result;
    QTemporaryFile output;
    if (!output.open())
        return result;
    std::vector<QByteArray> texts{program.toLocal8Bit()};
    for (const QString &argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output.handle(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return result;
    result.wallMs = double(timer.nsecsElapsed()) / 1e6;
    // Linux gives the peak in KiB.
    result.peakMiB = double(usage.ru_maxrss) / 1024.0;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    QFile read(output.fileName());
    if (read.open(QIODevice::ReadOnly))
        result.output = QString::fromLocal8Bit(read.readAll()).trimmed();
    return result;
}
