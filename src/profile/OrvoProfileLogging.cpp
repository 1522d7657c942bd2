#include "profile/OrvoProfileLogging.h"

Q_LOGGING_CATEGORY(lcOrvoProfile, "orvo.profile")
