#include "lumolib/LumoLogging.h"

Q_LOGGING_CATEGORY(lcLumo, "lumolib")
