#include "env/OrvoEnvLogging.h"

Q_LOGGING_CATEGORY(lcOrvoEnv, "orvo.env")
