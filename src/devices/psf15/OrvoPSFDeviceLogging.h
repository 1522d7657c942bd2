#pragma once

#include <QLoggingCategory>

// The PSF 1.5 flash device, its flash-image model and its language image.
Q_DECLARE_LOGGING_CATEGORY(lcOrvoPsfDevice)
