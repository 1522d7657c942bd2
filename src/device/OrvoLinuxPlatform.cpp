#include "device/OrvoLinuxPlatform.h"

#include "device/OrvoDeviceEventDetector.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoLinuxDeviceEventSource.h"
#include "device/OrvoLinuxSCSIService.h"
#include "device/OrvoMountInfo.h"
#include "device/OrvoSysfs.h"
#include "device/ScsiCommand.h"
#include "device/ScsiResult.h"
#include "device/SgIoTransport.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoLinuxEnv.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QStringList kFatTypes = {QStringLiteral("vfat"), QStringLiteral("msdos")};
// Starting and stopping a medium can take the device a while.
constexpr std::chrono::milliseconds kEjectTimeout{30000};

bool typeMatches(const QString &wanted, const QString &mounted)
{
    if (wanted.isEmpty())
        return true;
    if (kFatTypes.contains(wanted))
        return kFatTypes.contains(mounted);
    return wanted == mounted;
}

// The visible mount of a folder is the last one mounted on it.
const OrvoMountInfo::Entry *mountOf(const QVector<OrvoMountInfo::Entry> &mounts, const QString &drive)
{
    const QString wanted = QDir::cleanPath(drive);
    const OrvoMountInfo::Entry *found = nullptr;
    for (const OrvoMountInfo::Entry &entry : mounts) {
        if (QDir::cleanPath(entry.mountPoint) == wanted)
            found = &entry;
    }
    return found;
}

void syncVolume(const QString &mountPoint)
{
    const QByteArray path = QFile::encodeName(mountPoint);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLinuxPlatform::ejectDevice")
            << "cannot write back" << mountPoint << ":" << std::strerror(errno);
    }
    if (fd >= 0)
        ::close(fd);
}

bool systemUnmount(const QString &mountPoint, QString &error)
{
    const QByteArray path = QFile::encodeName(mountPoint);
    if (::umount2(path.constData(), 0) == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

OrvoLinuxPlatform::OrvoLinuxPlatform()
    : OrvoLinuxPlatform(Config())
{}

OrvoLinuxPlatform::OrvoLinuxPlatform(Config config)
    : m_config(std::move(config))
{
    if (!m_config.openScsi)
        m_config.openScsi = [](const QString &node) { return SgIoTransport::openNode(node); };
    if (!m_config.unmount)
        m_config.unmount = systemUnmount;
}

bool OrvoLinuxPlatform::getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes)
{
    struct statvfs volume = {};
    if (::statvfs(QFile::encodeName(path).constData(), &volume) != 0) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLinuxPlatform::getDiskSpace")
            << "cannot query" << path << ":" << std::strerror(errno);
        return false;
    }
    totalBytes = quint64(volume.f_blocks) * volume.f_frsize;
    freeBytes = quint64(volume.f_bavail) * volume.f_frsize;
    return true;
}

std::unique_ptr<OrvoEnvInterface> OrvoLinuxPlatform::createEnv()
{
    return std::make_unique<OrvoLinuxEnv>();
}

QStringList OrvoLinuxPlatform::getRemovableDrives(const QString &fileSystemType)
{
    const OrvoSysfs sysfs(m_config.sysfsRoot);
    QStringList drives;
    QSet<QString> seenDevices;
    for (const OrvoMountInfo::Entry &entry : OrvoMountInfo::read(m_config.mountInfoPath)) {
        if (!typeMatches(fileSystemType, entry.fileSystemType) || seenDevices.contains(entry.device))
            continue;
        const QString disk = sysfs.diskOf(entry.device);
        if (disk.isEmpty() || !sysfs.isRemovable(disk))
            continue;
        seenDevices.insert(entry.device);
        drives.append(entry.mountPoint);
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoLinuxPlatform::getRemovableDrives")
            << "find removable drive  " << entry.mountPoint;
    }
    return drives;
}

QString OrvoLinuxPlatform::getDriveVendorName(const QString &drive)
{
    const QVector<OrvoMountInfo::Entry> mounts = OrvoMountInfo::read(m_config.mountInfoPath);
    const OrvoMountInfo::Entry *mount = mountOf(mounts, drive);
    const OrvoSysfs sysfs(m_config.sysfsRoot);
    const QString disk = mount ? sysfs.diskOf(mount->device) : QString();
    if (disk.isEmpty())
        return QString();
    const QString vendor = sysfs.vendor(disk);
    const QString product = sysfs.model(disk);
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoLinuxPlatform::getDriveVendorName")
        << "vendor" << vendor << "product" << product;
    return vendor + product;
}

QString OrvoLinuxPlatform::getVolumeLabel(const QString &drive)
{
    // Only a drive's own mount counts: a folder below another volume would answer that
    // volume's label.
    const QVector<OrvoMountInfo::Entry> mounts = OrvoMountInfo::read(m_config.mountInfoPath);
    if (mountOf(mounts, drive) == nullptr)
        return QString();
    const QStorageInfo volume(drive);
    return volume.isValid() ? volume.name().trimmed() : QString();
}

bool OrvoLinuxPlatform::ejectDevice(const QString &drive)
{
    const QVector<OrvoMountInfo::Entry> mounts = OrvoMountInfo::read(m_config.mountInfoPath);
    const OrvoMountInfo::Entry *mount = mountOf(mounts, drive);
    const QString disk = mount ? OrvoSysfs(m_config.sysfsRoot).diskOf(mount->device) : QString();
    if (disk.isEmpty()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoLinuxPlatform::ejectDevice")
            << "open handle for ejection failed: drive=" << drive;
        return false;
    }
    return unmountDisk(drive, disk) && sendEject(drive, disk);
}

bool OrvoLinuxPlatform::unmountDisk(const QString &drive, const QString &diskFolder)
{
    const OrvoSysfs sysfs(m_config.sysfsRoot);
    const QVector<OrvoMountInfo::Entry> mounts = OrvoMountInfo::read(m_config.mountInfoPath);
    // Newest first, so that a volume mounted over another one comes off before it.
    for (auto it = mounts.crbegin(); it != mounts.crend(); ++it) {
        const OrvoMountInfo::Entry &entry = *it;
        if (sysfs.diskOf(entry.device) != diskFolder)
            continue;
        syncVolume(entry.mountPoint);
        QString error;
        if (!m_config.unmount(entry.mountPoint, error)) {
            ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoLinuxPlatform::ejectDevice")
                << "unmount failed: drive=" << drive << "volume=" << entry.mountPoint << ":" << error;
            return false;
        }
    }
    return true;
}

bool OrvoLinuxPlatform::sendEject(const QString &drive, const QString &diskFolder)
{
    const QString node = OrvoSysfs(m_config.sysfsRoot).genericNodeOfDisk(diskFolder);
    std::unique_ptr<ScsiTransport> transport =
        node.isEmpty() ? nullptr : m_config.openScsi(m_config.deviceRoot + QLatin1Char('/') + node);
    if (!transport) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoLinuxPlatform::ejectDevice")
            << "open handle for ejection failed: drive=" << drive;
        return false;
    }
    const auto cdb = ScsiCommand::ejectMedium();
    ScsiTransport::Request request;
    request.cdb = cdb;
    request.timeout = kEjectTimeout;
    const ScsiResult result = ScsiResult::check(transport->execute(request), 0);
    if (!result.ok()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, "OrvoLinuxPlatform::ejectDevice")
            << "eject failed: drive=" << drive << ":" << result.describe();
    }
    return result.ok();
}

OrvoPlatformInterface::DeviceServices OrvoLinuxPlatform::findSCSIDevices(const QVector<OrvoDeviceInfo> &types)
{
    const OrvoSysfs sysfs(m_config.sysfsRoot);
    DeviceServices services;
    for (const QString &node : sysfs.genericNodes()) {
        const QString nodePath = m_config.deviceRoot + QLatin1Char('/') + node;
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoLinuxPlatform::findSCSIDevices") << "find SCSI interface: " << nodePath;
        if (!sysfs.isUsbStorage(node))
            continue;
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoLinuxPlatform::findSCSIDevices") << "find usbstor";
        if (auto service = OrvoLinuxSCSIService::probe(m_config.openScsi(nodePath), types)) {
            services.push_back(std::move(service));
            break;
        }
    }
    return services;
}

std::unique_ptr<OrvoDeviceDetector> OrvoLinuxPlatform::createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                                            const OrvoDeviceClock::Tick &tick)
{
    OrvoLinuxDeviceEventSource::Config config;
    config.sysfsRoot = m_config.sysfsRoot;
    config.mountInfoPath = m_config.mountInfoPath;
    return std::make_unique<OrvoDeviceEventDetector>(host, std::make_unique<OrvoLinuxDeviceEventSource>(config), tick);
}
