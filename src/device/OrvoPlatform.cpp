#include "device/OrvoPlatform.h"

#include "device/OrvoLinuxPlatform.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct InstalledFactory
{
    QMutex mutex;
    OrvoPlatform::ImplementationFactory factory;
};

InstalledFactory &installedFactory()
{
    static InstalledFactory installed;
    return installed;
}

std::shared_ptr<OrvoPlatformInterface> makeImplementation()
{
    InstalledFactory &installed = installedFactory();
    QMutexLocker locker(&installed.mutex);
    if (installed.factory) {
        if (auto platform = installed.factory())
            return platform;
    }
    return std::make_shared<OrvoLinuxPlatform>();
}

} // namespace

OrvoPlatform::OrvoPlatform()
    : m_platform(makeImplementation())
{}

OrvoPlatform::~OrvoPlatform() = default;

void OrvoPlatform::setImplementationFactory(ImplementationFactory factory)
{
    InstalledFactory &installed = installedFactory();
    QMutexLocker locker(&installed.mutex);
    installed.factory = std::move(factory);
}

bool OrvoPlatform::getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes)
{
    return m_platform->getDiskSpace(path, totalBytes, freeBytes);
}

std::unique_ptr<OrvoEnvInterface> OrvoPlatform::createEnv()
{
    return m_platform->createEnv();
}

QStringList OrvoPlatform::getRemovableDrives(const QString &fileSystemType)
{
    return m_platform->getRemovableDrives(fileSystemType);
}

QString OrvoPlatform::getDriveVendorName(const QString &drive)
{
    return m_platform->getDriveVendorName(drive);
}

bool OrvoPlatform::ejectDevice(const QString &drive)
{
    return m_platform->ejectDevice(drive);
}

OrvoPlatformInterface::DeviceServices OrvoPlatform::findSCSIDevices(const QVector<OrvoDeviceInfo> &types)
{
    return m_platform->findSCSIDevices(types);
}
