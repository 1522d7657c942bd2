#include "device/OrvoDeviceClock.h"

#include <QDateTime>

#include <chrono>

quint32 OrvoDeviceClock::systemTick()
{
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

quint32 OrvoDeviceClock::systemSeconds()
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}
