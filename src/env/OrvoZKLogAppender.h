#pragma once

#include "env/ZKLogAppender.h"

class OrvoEnv;

// Writes the ZK layer's lines (GPX, training courses, binary and trace logs) into the program's
// log, tagged like the program's own messages, so that their errors reach a file. It takes the
// messages that the "debug" setting lets into the log.
class OrvoZKLogAppender : public ZKLogAppender
{
public:
    explicit OrvoZKLogAppender(OrvoEnv &env);

    // The ZK level that lets through what the log keeps at this "debug" setting: everything at
    // 0 and 1, warnings and errors at 2, errors at 3, nothing above.
    static int levelForDebugSetting(int debugSetting);

    void write(const QString &line, const QVariantList &arguments, int level) override;

private:
    OrvoEnv &m_env;
};
