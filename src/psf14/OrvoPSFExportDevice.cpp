#include "psf14/OrvoPSFExportDevice.h"

#include "env/OrvoEnv.h"

QString OrvoPSFExportDevice::systemVersion() const
{
    return QStringLiteral("1.0.0.") + firmwareVersion + QStringLiteral(" Orvo") + OrvoEnv::version();
}
