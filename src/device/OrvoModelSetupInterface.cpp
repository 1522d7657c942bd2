#include "device/OrvoModelSetupInterface.h"

OrvoModelSetupInterface::~OrvoModelSetupInterface() = default;
