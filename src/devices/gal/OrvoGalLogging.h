#pragma once

#include <QLoggingCategory>

// The GAL device family logs under "orvo.gal".
Q_DECLARE_LOGGING_CATEGORY(lcOrvoGal)
