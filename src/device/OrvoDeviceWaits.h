#pragma once

#include <QDateTime>

// The waits of the device classes and the time they read: a flash that is still erasing, a
// device that restarts, a file the device stages, the date a profile counts ages from. The
// programs install the system's clock; tests and the emulated platform install a virtual one,
// so that nothing sleeps for real.
class OrvoDeviceWaits
{
public:
    OrvoDeviceWaits() = default;
    OrvoDeviceWaits(const OrvoDeviceWaits &) = delete;
    OrvoDeviceWaits &operator=(const OrvoDeviceWaits &) = delete;
    virtual ~OrvoDeviceWaits() = default;

    // Lets the milliseconds pass on the calling thread.
    virtual void sleep(int milliseconds) = 0;
    // Now, in UTC.
    virtual QDateTime currentUtc() = 0;
    // Now, in the computer's local time.
    QDateTime currentLocal();

    // The installed waits; the system's while none is installed.
    static OrvoDeviceWaits &current();
    // Null returns to the system's. The caller keeps the waits alive while they are installed.
    static void install(OrvoDeviceWaits *waits);
};
