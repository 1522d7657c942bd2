#pragma once

#include "device/OrvoDeviceClock.h"
#include "device/OrvoDeviceDetector.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceService.h"
#include "env/OrvoEnvInterface.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class OrvoDeviceDetectorHost;

// Everything the device framework needs from the operating system. Callers reach it through
// an OrvoPlatform made on the stack; every object an operation answers is owned by the caller.
class OrvoPlatformInterface
{
public:
    using DeviceServices = std::vector<std::unique_ptr<OrvoDeviceService>>;

    OrvoPlatformInterface() = default;
    OrvoPlatformInterface(const OrvoPlatformInterface &) = delete;
    OrvoPlatformInterface &operator=(const OrvoPlatformInterface &) = delete;
    virtual ~OrvoPlatformInterface() = default;

    // Total size and the bytes free for the caller of the volume that holds path; false with
    // the outputs untouched when the volume cannot be queried.
    virtual bool getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes) = 0;
    virtual std::unique_ptr<OrvoEnvInterface> createEnv() = 0;
    // Mount folders of the removable drives holding a file system of the given type ("msdos"
    // for FAT; empty for any type).
    virtual QStringList getRemovableDrives(const QString &fileSystemType) = 0;
    // The drive's vendor text followed directly by its product text; empty when unknown.
    virtual QString getDriveVendorName(const QString &drive) = 0;
    // The volume label of the drive, trimmed; empty when it has none or it cannot be read.
    virtual QString getVolumeLabel(const QString &) { return QString(); }
    virtual bool ejectDevice(const QString &drive) = 0;
    // The first USB storage device whose INQUIRY answer holds the match string of a device
    // type, as a SCSI service for that type; empty when there is none.
    virtual DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &types) = 0;
    // A detector fed by this platform's device-change notices, reading the tick clock for its
    // debounce; the host must outlive it.
    virtual std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                                     const OrvoDeviceClock::Tick &tick) = 0;
};
