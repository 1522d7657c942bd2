#include "psf/OrvoPSFLogging.h"

Q_LOGGING_CATEGORY(lcOrvoPsf, "orvo.psf")
