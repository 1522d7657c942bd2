#include "device/OrvoCapabilityInterface.h"

OrvoCapabilityInterface::~OrvoCapabilityInterface() = default;
