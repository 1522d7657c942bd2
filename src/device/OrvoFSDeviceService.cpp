#include "device/OrvoFSDeviceService.h"

#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QFileInfo>
#include <QMutexLocker>

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
    if (!readDeviceIdFromFile(m_deviceFilePath, id))
        return false;
    const QMutexLocker lock(&m_idMutex);
    if (m_knownId.isEmpty())
        m_knownId = id;
    return true;
}

bool OrvoFSDeviceService::holdsDevice()
{
    const char *function = "OrvoFSDeviceService::holdsDevice";
    OrvoDeviceIniFile file(m_deviceFilePath);
    if (m_deviceFilePath.isEmpty() || !QFileInfo(drivePath()).isDir() || !QFileInfo::exists(m_deviceFilePath) ||
        !file.load()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "no device file at" << m_deviceFilePath;
        return false;
    }
    const QString id = file.value(kIdGroup, kIdKey);
    const QMutexLocker lock(&m_idMutex);
    if (m_knownId.isEmpty())
        m_knownId = id;
    if (!id.isEmpty() && id == m_knownId)
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "the drive holds the device" << id << "instead of" << m_knownId;
    return false;
}

bool OrvoFSDeviceService::heldDrive(OrvoDeviceService *service, QString &drive)
{
    auto *fsService = dynamic_cast<OrvoFSDeviceService *>(service);
    if (fsService == nullptr || !fsService->holdsDevice())
        return false;
    drive = fsService->drivePath();
    return true;
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
