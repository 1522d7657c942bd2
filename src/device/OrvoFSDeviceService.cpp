#include "device/OrvoFSDeviceService.h"

#include "device/OrvoDeviceIniFile.h"

namespace {

const QString kIdGroup = QStringLiteral("UUID");
const QString kIdKey = QStringLiteral("UUID");
// Tells the device's firmware that this program has seen the device.
const QString kMarkerKey = QStringLiteral("ORVO");
const QString kMarkerValue = QStringLiteral("1");

} // namespace

OrvoFSDeviceService::OrvoFSDeviceService(const QString &drivePath, const OrvoDeviceInfo &info,
                                         const QString &deviceFilePath)
    : m_info(info)
    , m_deviceFilePath(deviceFilePath)
{
    setFirstText(drivePath);
}

bool OrvoFSDeviceService::readDeviceIdFromFile(const QString &deviceFilePath, QString &id)
{
    OrvoDeviceIniFile file(deviceFilePath);
    if (!file.load()) {
        id.clear();
        return false;
    }
    file.addMissingKey(kIdGroup, kMarkerKey, kMarkerValue);
    id = file.value(kIdGroup, kIdKey);
    return !id.isEmpty();
}

bool OrvoFSDeviceService::readDeviceId(QString &id)
{
    if (m_deviceFilePath.isEmpty())
        return false;
    return readDeviceIdFromFile(m_deviceFilePath, id);
}

OrvoDeviceInfo *OrvoFSDeviceService::deviceInfo()
{
    return &m_info;
}

int OrvoFSDeviceService::serviceType() const
{
    return FileSystemService;
}

QString OrvoFSDeviceService::drivePath() const
{
    return firstText();
}

QString OrvoFSDeviceService::secondDrive() const
{
    return secondText();
}

void OrvoFSDeviceService::setSecondDrive(const QString &drive)
{
    setSecondText(drive);
}
