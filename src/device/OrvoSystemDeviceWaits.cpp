#include "device/OrvoSystemDeviceWaits.h"

#include <QThread>

void OrvoSystemDeviceWaits::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(ulong(milliseconds));
}

QDateTime OrvoSystemDeviceWaits::currentUtc()
{
    return QDateTime::currentDateTimeUtc();
}
