#pragma once

#include "device/OrvoPlatformInterface.h"
#include "device/ScsiTransport.h"

#include <QString>

#include <functional>
#include <memory>

// The platform on Linux: removable drives from the mount table and sysfs, USB storage devices
// from sysfs, reached through their SCSI generic nodes.
class OrvoLinuxPlatform : public OrvoPlatformInterface
{
public:
    using ScsiOpener = std::function<std::unique_ptr<ScsiTransport>(const QString &nodePath)>;
    // Unmounts the mount folder; on failure answers false with a reason in error.
    using Unmounter = std::function<bool(const QString &mountPoint, QString &error)>;

    struct Config
    {
        QString sysfsRoot = QStringLiteral("/sys");
        QString mountInfoPath = QStringLiteral("/proc/self/mountinfo");
        // Folder of the SCSI generic nodes.
        QString deviceRoot = QStringLiteral("/dev");
        // SgIoTransport when empty.
        ScsiOpener openScsi;
        // umount2 when empty.
        Unmounter unmount;
    };

    OrvoLinuxPlatform();
    explicit OrvoLinuxPlatform(Config config);

    bool getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes) override;
    std::unique_ptr<OrvoEnvInterface> createEnv() override;
    QStringList getRemovableDrives(const QString &fileSystemType) override;
    QString getDriveVendorName(const QString &drive) override;
    // The label of the volume mounted at the drive, as udev publishes it under /dev/disk/by-label.
    QString getVolumeLabel(const QString &drive) override;
    // Writes back what is cached, unmounts every volume of the drive's disk and then stops
    // and ejects the medium; nothing is ejected while a volume of it is still mounted.
    bool ejectDevice(const QString &drive) override;
    DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &types) override;
    // Fed by udev (SCSI and block devices coming and going) and by the mount table (removable
    // volumes mounted and unmounted).
    std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                             const OrvoDeviceClock::Tick &tick) override;

private:
    bool unmountDisk(const QString &drive, const QString &diskFolder);
    bool sendEject(const QString &drive, const QString &diskFolder);

    Config m_config;
};
