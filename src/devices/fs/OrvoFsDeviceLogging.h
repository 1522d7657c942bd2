#pragma once

#include <QLoggingCategory>

// The file-system devices: their flag files, file operations, lists and profile.
Q_DECLARE_LOGGING_CATEGORY(lcOrvoFsDevice)
