#include "app/OrvoAppLogging.h"

Q_LOGGING_CATEGORY(lcOrvoApp, "orvo.app")
