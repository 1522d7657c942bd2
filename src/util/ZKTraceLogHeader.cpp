#include "util/ZKTraceLogHeader.h"

#include "env/OrvoVersion.h"

QString ZKTraceLogHeader::versionText() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(version[0]).arg(version[1]).arg(version[2]).arg(version[3]);
}

bool ZKTraceLogHeader::isVersionAtLeast(const QString &other) const
{
    return !OrvoVersion::isLower(versionText(), other);
}

bool ZKTraceLogHeader::hasExtendedTrainRecords() const
{
    return version[2] > 1 || version[3] > 8;
}
