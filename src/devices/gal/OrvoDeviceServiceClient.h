#pragma once

#include "device/OrvoClient.h"

// The client base of the devices that a device service alone serves, with no further state of
// its own: the GAL devices derive from it.
class OrvoDeviceServiceClient : public OrvoClient
{};
