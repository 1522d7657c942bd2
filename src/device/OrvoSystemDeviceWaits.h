#pragma once

#include "device/OrvoDeviceWaits.h"

// The computer's clock: sleeps block the calling thread.
class OrvoSystemDeviceWaits : public OrvoDeviceWaits
{
public:
    void sleep(int milliseconds) override;
    QDateTime currentUtc() override;
};
