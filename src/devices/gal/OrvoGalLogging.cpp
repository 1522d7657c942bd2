#include "devices/gal/OrvoGalLogging.h"

Q_LOGGING_CATEGORY(lcOrvoGal, "orvo.gal")
