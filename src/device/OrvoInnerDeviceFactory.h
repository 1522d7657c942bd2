#pragma once

#include "device/OrvoClient.h"

#include <functional>
#include <memory>

// Where a device class gets the client of another family that it keeps inside itself: the
// Kavel60 is a file-system device whose identity, versions and capabilities are those of the
// GAL device it also is. The families do not reach each other; the program installs the maker
// of the GAL client (an OrvoDeviceServiceUser), and may do so from any thread.
class OrvoInnerDeviceFactory
{
public:
    using Maker = std::function<std::unique_ptr<OrvoClient>()>;

    OrvoInnerDeviceFactory() = delete;

    // An empty maker removes the installed one.
    static void setGalDeviceMaker(Maker maker);
    // Null when no maker is installed.
    static std::unique_ptr<OrvoClient> makeGalDevice();
};
