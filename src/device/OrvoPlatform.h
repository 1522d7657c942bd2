#pragma once

#include "device/OrvoPlatformInterface.h"

#include <functional>
#include <memory>

// The value through which callers reach the platform: make one on the stack, use it, drop it.
// It forwards to the Linux implementation unless another one was installed (the emulated
// platform of tests and demonstrations).
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
    bool ejectDevice(const QString &drive);
    OrvoPlatformInterface::DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &types);

private:
    std::shared_ptr<OrvoPlatformInterface> m_platform;
};
