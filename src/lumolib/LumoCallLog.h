#pragma once

#include <QStringList>

// The trail of library calls that tests read: when the environment variable LUMOLIB_CALL_LOG
// names a file, each call appends "<function>\t<argument>...\t=<result>" to it.
class LumoCallLog
{
public:
    static constexpr char kVariable[] = "LUMOLIB_CALL_LOG";

    static void append(const char *function, const QStringList &arguments, qint64 result);
};
