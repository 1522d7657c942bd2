#include "device/OrvoPlatform.h"

#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoDeviceRegistry.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoLinuxPlatform.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoUtility.h"

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

// The match string of the rows registered from a device file: the vendor texts of the
// family's file-system devices.
const QString kFileDeviceMatch = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kKavel60 = QStringLiteral("Kavel60");
const QString kFatType = QStringLiteral("msdos");
constexpr qsizetype kDeviceIdLength = 16;
constexpr qsizetype kProductIdLength = 4;

struct DeviceFileModel
{
    QString model;
    QString uuid;
};

// False when the device file names no model.
bool readDeviceFileModel(const QString &deviceFilePath, DeviceFileModel &read)
{
    OrvoDeviceIniFile file(deviceFilePath);
    const QString group = QStringLiteral("MODEL");
    const QString key = QStringLiteral("Model");
    if (!file.load() || !file.contains(group, key))
        return false;
    read.model = file.value(group, key).trimmed();
    read.uuid = file.value(QStringLiteral("UUID"), QStringLiteral("UUID"));
    return true;
}

// The first row whose product id starts the device id. A row without a product id names no
// device.
std::optional<OrvoDeviceInfo> rowOfDeviceId(const QVector<OrvoDeviceInfo> &types, const QString &id)
{
    for (const OrvoDeviceInfo &type : types) {
        if (!type.productId.isEmpty() && id.left(kProductIdLength) == type.productId)
            return type;
    }
    return std::nullopt;
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

QString OrvoPlatform::getVolumeLabel(const QString &drive)
{
    return m_platform->getVolumeLabel(drive);
}

bool OrvoPlatform::ejectDevice(const QString &drive)
{
    return m_platform->ejectDevice(drive);
}

OrvoPlatformInterface::DeviceServices OrvoPlatform::findSCSIDevices(const QVector<OrvoDeviceInfo> &types)
{
    return m_platform->findSCSIDevices(types);
}

std::unique_ptr<OrvoDeviceDetector> OrvoPlatform::createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                                       const OrvoDeviceClock::Tick &tick)
{
    return m_platform->createDeviceDetector(host, tick);
}

OrvoPlatformInterface::DeviceServices OrvoPlatform::findFSDevices(OrvoDeviceRegistry &registry)
{
    const bool deviceTxtIds = (registry.fsIdSource() & OrvoDeviceRegistry::kDeviceTxtIds) != 0;
    const QStringList drives = getRemovableDrives(kFatType);
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findFSDevices") << QStringLiteral("get drives=%1").arg(drives.size());
    std::unique_ptr<OrvoFSDeviceService> found;
    QString secondDrive;
    for (const QString &drive : drives) {
        const QString vendor = getDriveVendorName(drive);
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findFSDevices") << QStringLiteral("vendorname=%1").arg(vendor);
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findFSDevices") << "to find device.ini on " << drive;
        const QString deviceIni = deviceTxtIds ? QString() : OrvoUtility::findDeviceIni(drive);
        // A watch has no device ini, only its "System/device.txt": it is served as a Fit device.
        const bool fitDevice = deviceIni.isEmpty();
        const QString deviceFile = fitDevice ? OrvoUtility::findDeviceTxt(drive) : deviceIni;
        if (!deviceFile.isEmpty()) {
            // Every device file read gets the marker key, also when a service was found before.
            QString id;
            OrvoFSDeviceService::readDeviceIdFromFile(deviceFile, id);
            std::optional<OrvoDeviceInfo> row = found ? std::nullopt : rowOfDeviceId(registry.deviceTypes(), id);
            if (row)
                ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findFSDevices") << "device id matched";
            else if (!found)
                row = fitDevice ? findFitDeviceInfo(registry, deviceFile) : findGalDeviceInfo(registry, deviceFile);
            if (row)
                found = std::make_unique<OrvoFSDeviceService>(drive, *row, deviceFile);
        } else if (!OrvoDeviceRegistry::matchDeviceInfos(vendor, registry.deviceTypes()).isEmpty()) {
            secondDrive = drive;
        }
        if (found && !secondDrive.isEmpty()) {
            found->setSecondDrive(secondDrive);
            break;
        }
    }
    OrvoPlatformInterface::DeviceServices services;
    if (found)
        services.push_back(std::move(found));
    return services;
}

std::optional<OrvoDeviceInfo> OrvoPlatform::findGalDeviceInfo(OrvoDeviceRegistry &registry,
                                                              const QString &deviceFilePath)
{
    DeviceFileModel read;
    if (!readDeviceFileModel(deviceFilePath, read) || read.uuid.size() != kDeviceIdLength)
        return std::nullopt;
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findGalDeviceInfo") << "register GAL deviceInfo for " << read.model;
    const OrvoDeviceRegistry::FileDeviceFactories &factories = registry.fileDeviceFactories();
    const OrvoDeviceInfo row{read.uuid.left(kProductIdLength), read.model, kFileDeviceMatch,
                             read.model == kKavel60 ? factories.kavel60 : factories.galDevice};
    return registry.registerDevice(row, false);
}

std::optional<OrvoDeviceInfo> OrvoPlatform::findFitDeviceInfo(OrvoDeviceRegistry &registry,
                                                              const QString &deviceFilePath)
{
    DeviceFileModel read;
    if (!readDeviceFileModel(deviceFilePath, read))
        return std::nullopt;
    ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoPlatform::findFitDeviceInfo") << "register fit deviceInfo for " << read.model;
    const QString productId = read.uuid.size() == kDeviceIdLength ? read.uuid.left(kProductIdLength) : QString();
    // A device whose id names no product is not found by its id the next time: serve it by the
    // row registered for it then, instead of adding one more.
    const QVector<OrvoDeviceInfo> types = registry.deviceTypes();
    for (const OrvoDeviceInfo &type : types) {
        if (type.productId == productId && type.modelName == read.model && type.matchString == kFileDeviceMatch)
            return type;
    }
    const OrvoDeviceInfo row{productId, read.model, kFileDeviceMatch, registry.fileDeviceFactories().fitDevice};
    return registry.registerDevice(row, false);
}
