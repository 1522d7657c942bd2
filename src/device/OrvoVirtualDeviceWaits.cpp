#include "device/OrvoVirtualDeviceWaits.h"

#include <QMutexLocker>

OrvoVirtualDeviceWaits::OrvoVirtualDeviceWaits(const QDateTime &start)
    : m_now(start.toUTC())
{}

void OrvoVirtualDeviceWaits::sleep(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    if (milliseconds <= 0)
        return;
    m_now = m_now.addMSecs(milliseconds);
    m_slept += milliseconds;
    ++m_sleeps;
}

QDateTime OrvoVirtualDeviceWaits::currentUtc()
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

void OrvoVirtualDeviceWaits::advance(qint64 milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_now = m_now.addMSecs(milliseconds);
}

qint64 OrvoVirtualDeviceWaits::sleptMilliseconds() const
{
    QMutexLocker lock(&m_mutex);
    return m_slept;
}

int OrvoVirtualDeviceWaits::sleepCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_sleeps;
}
