#include "device/OrvoDeviceScriptInterface.h"

OrvoDeviceScriptInterface::~OrvoDeviceScriptInterface() = default;
