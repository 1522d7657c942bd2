#include "devices/psf15/OrvoPSFDeviceLogging.h"

Q_LOGGING_CATEGORY(lcOrvoPsfDevice, "orvo.psfdevice")
