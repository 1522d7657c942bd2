#pragma once

#include <QLoggingCategory>

// The device library logs under "lumolib": warnings for device files it refuses.
Q_DECLARE_LOGGING_CATEGORY(lcLumo)
