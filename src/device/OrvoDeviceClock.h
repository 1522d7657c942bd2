#pragma once

#include <QtGlobal>

#include <functional>

// The clocks that device detection and the device manager read; tests hand in their own.
class OrvoDeviceClock
{
public:
    // Milliseconds of a monotonic clock, wrapping at 2^32 like a tick count.
    using Tick = std::function<quint32()>;
    // Seconds since 1970-01-01 UTC.
    using Seconds = std::function<quint32()>;

    OrvoDeviceClock() = delete;

    static quint32 systemTick();
    static quint32 systemSeconds();
};
