#pragma once

#include <QLoggingCategory>

// The PSF 1.4 flash devices: their transfers, the header record and the image write-back.
Q_DECLARE_LOGGING_CATEGORY(lcOrvoKavel30)
