#pragma once

#include "device/OrvoDeviceWaits.h"

#include <QMutex>

// A clock that only moves when someone sleeps on it or a test moves it: every sleep returns at
// once and adds its milliseconds to the time. Safe to use from several threads.
class OrvoVirtualDeviceWaits : public OrvoDeviceWaits
{
public:
    // The clock starts at start (UTC).
    explicit OrvoVirtualDeviceWaits(const QDateTime &start = QDateTime::currentDateTimeUtc());

    void sleep(int milliseconds) override;
    QDateTime currentUtc() override;

    void advance(qint64 milliseconds);
    // Milliseconds slept so far, and the number of sleeps.
    qint64 sleptMilliseconds() const;
    int sleepCount() const;

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
    qint64 m_slept = 0;
    int m_sleeps = 0;
};
