#include "emulator/OrvoEmulatedPlatform.h"

#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceEventDetector.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoLinuxPlatform.h"
#include "device/OrvoLinuxSCSIService.h"
#include "emulator/OrvoEmulatedEventSource.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedIapReturn.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "emulator/OrvoEmulatorLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoLinuxEnv.h"

#include <QDir>
#include <QMutexLocker>

#include <algorithm>

namespace {

quint32 code(OrvoDeviceEvent event)
{
    return static_cast<quint32>(event);
}

} // namespace

OrvoEmulatedPlatform::OrvoEmulatedPlatform(QObject *parent)
    : QObject(parent)
    , m_iapReturn(std::make_unique<OrvoEmulatedIapReturn>(*this))
{}

OrvoEmulatedPlatform::~OrvoEmulatedPlatform()
{
    for (const auto &device : m_devices)
        device->setPresenceListener(nullptr);
}

void OrvoEmulatedPlatform::plugDrive(const QString &folder, const QString &vendorText, const QString &label)
{
    {
        QMutexLocker lock(&m_mutex);
        m_drives.append(Drive{QDir::cleanPath(folder), vendorText, label});
    }
    emit deviceChange(code(OrvoDeviceEvent::Arrival));
}

bool OrvoEmulatedPlatform::unplugDrive(const QString &folder)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto drive = findDrive(folder);
        if (drive == m_drives.end())
            return false;
        m_drives.erase(drive);
    }
    emit deviceChange(code(OrvoDeviceEvent::RemoveComplete));
    return true;
}

void OrvoEmulatedPlatform::plugScsiDevice(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    {
        QMutexLocker lock(&m_mutex);
        m_devices.append(device);
    }
    device->setPresenceListener([this] { emit deviceChange(code(OrvoDeviceEvent::NodesChanged)); });
    emit deviceChange(code(OrvoDeviceEvent::NodesChanged));
}

bool OrvoEmulatedPlatform::unplugScsiDevice(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_devices.removeOne(device))
            return false;
    }
    device->setPresenceListener(nullptr);
    device->unplug();
    emit deviceChange(code(OrvoDeviceEvent::NodesChanged));
    return true;
}

bool OrvoEmulatedPlatform::getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes)
{
    return OrvoLinuxPlatform().getDiskSpace(path, totalBytes, freeBytes);
}

std::unique_ptr<OrvoEnvInterface> OrvoEmulatedPlatform::createEnv()
{
    return std::make_unique<OrvoLinuxEnv>();
}

QStringList OrvoEmulatedPlatform::getRemovableDrives(const QString &)
{
    QMutexLocker lock(&m_mutex);
    QStringList drives;
    for (const Drive &drive : std::as_const(m_drives)) {
        drives.append(drive.folder);
        ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedPlatform::getRemovableDrives")
            << "find removable drive  " << drive.folder;
    }
    return drives;
}

QString OrvoEmulatedPlatform::getDriveVendorName(const QString &drive)
{
    QMutexLocker lock(&m_mutex);
    const auto found = findDrive(drive);
    return found == m_drives.end() ? QString() : found->vendorText;
}

QString OrvoEmulatedPlatform::getVolumeLabel(const QString &drive)
{
    QMutexLocker lock(&m_mutex);
    const auto found = findDrive(drive);
    return found == m_drives.end() ? QString() : found->label;
}

bool OrvoEmulatedPlatform::ejectDevice(const QString &drive)
{
    const QString vendorText = getDriveVendorName(drive);
    const QString label = getVolumeLabel(drive);
    if (unplugDrive(drive)) {
        m_iapReturn->driveEjected(drive, vendorText, label);
        return true;
    }
    ORVO_TRACE_CRITICAL(lcOrvoEmulator, "OrvoEmulatedPlatform::ejectDevice")
        << "open handle for ejection failed: drive=" << drive;
    return false;
}

OrvoEmulatedIapReturn &OrvoEmulatedPlatform::iapReturn()
{
    return *m_iapReturn;
}

OrvoPlatformInterface::DeviceServices OrvoEmulatedPlatform::findSCSIDevices(const QVector<OrvoDeviceInfo> &types)
{
    QVector<std::shared_ptr<OrvoEmulatedFlashDevice>> devices;
    {
        QMutexLocker lock(&m_mutex);
        devices = m_devices;
    }
    DeviceServices services;
    for (const auto &device : std::as_const(devices)) {
        ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedPlatform::findSCSIDevices")
            << "find SCSI interface: " << device->targetName();
        if (auto service = OrvoLinuxSCSIService::probe(OrvoEmulatedScsiHandle::open(device), types)) {
            services.push_back(std::move(service));
            break;
        }
    }
    return services;
}

std::unique_ptr<OrvoDeviceDetector> OrvoEmulatedPlatform::createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                                               const OrvoDeviceClock::Tick &tick)
{
    // Emulated devices come and go on the clock of the installed waits, so the debounce reads it
    // too: a swap that lets virtual time pass is no bounce.
    OrvoDeviceClock::Tick ticks =
        tick ? tick : [] { return quint32(OrvoDeviceWaits::current().currentUtc().toMSecsSinceEpoch()); };
    return std::make_unique<OrvoDeviceEventDetector>(host, std::make_unique<OrvoEmulatedEventSource>(this),
                                                     std::move(ticks));
}

QVector<OrvoEmulatedPlatform::Drive>::iterator OrvoEmulatedPlatform::findDrive(const QString &folder)
{
    const QString wanted = QDir::cleanPath(folder);
    return std::find_if(m_drives.begin(), m_drives.end(), [&](const Drive &d) { return d.folder == wanted; });
}
