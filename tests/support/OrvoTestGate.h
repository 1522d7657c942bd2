#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

namespace OrvoTest {

// How long a test waits for a worker before it gives up; never reached when the code works.
constexpr int kPatienceMs = 10000;

// Holds the worker inside an operation. The test waits until the worker has entered, checks
// what it wants while the action runs, then opens the gate.
class Gate
{
public:
    void close()
    {
        QMutexLocker lock(&m_mutex);
        m_open = false;
        m_entered = false;
    }

    void open()
    {
        QMutexLocker lock(&m_mutex);
        m_open = true;
        m_changed.wakeAll();
    }

    // Worker side: tells the test it arrived, then waits for the gate to open.
    void pass()
    {
        QMutexLocker lock(&m_mutex);
        m_entered = true;
        m_changed.wakeAll();
        while (!m_open) {
            if (!m_changed.wait(&m_mutex, kPatienceMs))
                return;
        }
    }

    bool waitEntered()
    {
        QMutexLocker lock(&m_mutex);
        while (!m_entered) {
            if (!m_changed.wait(&m_mutex, kPatienceMs))
                return false;
        }
        return true;
    }

private:
    QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_open = true;
    bool m_entered = false;
};

} // namespace OrvoTest
