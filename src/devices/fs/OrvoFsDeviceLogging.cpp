#include "devices/fs/OrvoFsDeviceLogging.h"

Q_LOGGING_CATEGORY(lcOrvoFsDevice, "orvo.fsdevice")
