#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// Lets this process, and the programs it starts meanwhile, hold only so many open files, as a
// service's unit would. The previous limit comes back on destruction.
class OpenFileLimit
{
public:
    explicit OpenFileLimit(qint64 files)
    {
        getrlimit(RLIMIT_NOFILE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = rlim_t(files);
        m_ok = setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }
    ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &m_previous); }
    OpenFileLimit(const OpenFileLimit &) = delete;
    OpenFileLimit &operator=(const OpenFileLimit &) = delete;

    bool ok() const { return m_ok; }

private:
    rlimit m_previous{};
    bool m_ok = false;
};
