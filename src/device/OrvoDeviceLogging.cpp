#include "device/OrvoDeviceLogging.h"

Q_LOGGING_CATEGORY(lcOrvoDevice, "orvo.device")
Q_LOGGING_CATEGORY(lcOrvoScsi, "orvo.scsi")
