#include "device/OrvoDeviceVersionUtil.h"

#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoPlatform.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoVersion.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kFatFileSystem = QStringLiteral("msdos");
const QString kMakerVendor = QStringLiteral("tarvex");
const QString kUnknownVersion = QStringLiteral("0.0.0.0");

bool sameDrive(const QString &a, const QString &b)
{
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

int partCount(const QString &version)
{
    return int(version.count(QLatin1Char('.'))) + 1;
}

} // namespace

bool OrvoDeviceVersionUtil::isDriveModel(const QString &model)
{
    return model.startsWith(QLatin1String("Kavel50")) || model == QLatin1String("Kavel60");
}

QStringList OrvoDeviceVersionUtil::GetDriveDisks(const QString &model, const QString &ownDrive)
{
    QStringList disks;
    if (isDriveModel(model)) {
        if (!ownDrive.isEmpty())
            disks.append(ownDrive);
        OrvoPlatform platform;
        const QStringList drives = platform.getRemovableDrives(kFatFileSystem);
        for (const QString &drive : drives) {
            if (sameDrive(drive, ownDrive))
                continue;
            if (platform.getDriveVendorName(drive).toLower().contains(kMakerVendor))
                disks.append(drive);
        }
    }
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoDeviceVersionUtil::GetDriveDisks") << "Tarvex Disks are:" << disks;
    return disks;
}

QString OrvoDeviceVersionUtil::GetGPSENGINEVersion(const QString &key, const QString &folder)
{
    const QString path = folder + QStringLiteral("/data/version.ini");
    OrvoDeviceIniFile ini(path);
    const bool known = QFileInfo::exists(path) && ini.load() && ini.containsSetting(key);
    const QString value = known ? ini.settingValue(key) : kUnknownVersion;
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoDeviceVersionUtil::GetGPSENGINEVersion")
        << QStringLiteral("get %1=%2").arg(key, value);
    return value;
}

QString OrvoDeviceVersionUtil::lowestVersion(const QStringList &versions)
{
    if (versions.isEmpty())
        return QString();
    QString lowest = versions.first();
    for (const QString &version : versions) {
        if (version == lowest)
            continue;
        if (partCount(version) != partCount(lowest))
            return QString();
        if (OrvoVersion::isLower(version, lowest))
            lowest = version;
    }
    return lowest;
}
