#pragma once

#include "device/OrvoDeviceImpl.h"
#include "devices/psf14/OrvoKavel30.h"

// The Kavel35: the PSF 1.4 flash device as the family base serves it.
class OrvoKavel35 : public OrvoDeviceImpl<OrvoKavel30>
{
    Q_OBJECT

public:
    OrvoKavel35();
    ~OrvoKavel35() override;
};
