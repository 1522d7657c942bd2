#include "devices/psf14/OrvoKavel30Logging.h"

Q_LOGGING_CATEGORY(lcOrvoKavel30, "orvo.kavel30")
