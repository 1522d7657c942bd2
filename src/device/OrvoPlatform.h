#pragma once

#include "device/OrvoPlatformInterface.h"

class OrvoDeviceRegistry;

#include <functional>
#include <memory>
#include <optional>

// The value through which callers reach the platform: make one on the stack, use it, drop it.
// It forwards to the Linux implementation unless another one was installed (the emulated
// platform of tests and demonstrations), and adds the search for file-system devices on top.
class OrvoPlatform
{
public:
    using ImplementationFactory = std::function<std::shared_ptr<OrvoPlatformInterface>()>;

    OrvoPlatform();
    OrvoPlatform(const OrvoPlatform &) = delete;
    OrvoPlatform &operator=(const OrvoPlatform &) = delete;
    ~OrvoPlatform();

    // Every OrvoPlatform made afterwards forwards to what the factory answers; an empty factory
    // brings the Linux implementation back.
    static void setImplementationFactory(ImplementationFactory factory);

    bool getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes);
    std::unique_ptr<OrvoEnvInterface> createEnv();
    QStringList getRemovableDrives(const QString &fileSystemType);
    QString getDriveVendorName(const QString &drive);
    QString getVolumeLabel(const QString &drive);
    bool ejectDevice(const QString &drive);
    OrvoPlatformInterface::DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &types);
    std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                             const OrvoDeviceClock::Tick &tick);

    // The first removable FAT drive whose device file names a registered type by its device id,
    // or registers the type that the device file describes; the service carries the device's
    // second volume when one is found. At most one service. A drive with no device ini but a
    // "System/device.txt" is a Fit device, whatever the id-source flags.
    OrvoPlatformInterface::DeviceServices findFSDevices(OrvoDeviceRegistry &registry);
    // Registers a GAL (or Kavel60) row for the model and 16-character id of the device file;
    // null when the file names no model or the id is not 16 characters long.
    static std::optional<OrvoDeviceInfo> findGalDeviceInfo(OrvoDeviceRegistry &registry, const QString &deviceFilePath);
    // Registers a Fit row for the model of the device file, or answers the row registered for
    // it before; null when the file names no model.
    static std::optional<OrvoDeviceInfo> findFitDeviceInfo(OrvoDeviceRegistry &registry, const QString &deviceFilePath);

private:
    std::shared_ptr<OrvoPlatformInterface> m_platform;
};
