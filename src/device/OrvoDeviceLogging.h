#pragma once

#include <QLoggingCategory>

// Platform access and device services log under "orvo.device"; the command blocks and sense
// data of the pass-through go to "orvo.scsi", so that their debug trace can be switched alone.
Q_DECLARE_LOGGING_CATEGORY(lcOrvoDevice)
Q_DECLARE_LOGGING_CATEGORY(lcOrvoScsi)
