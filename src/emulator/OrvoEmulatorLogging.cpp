#include "emulator/OrvoEmulatorLogging.h"

Q_LOGGING_CATEGORY(lcOrvoEmulator, "orvo.emulator")
