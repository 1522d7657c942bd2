#include "devices/gal/OrvoFitDevice.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "devices/gal/GalVerifiedWrite.h"
#include "devices/gal/OrvoGalLogging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoUtility.h"
#include "env/OrvoVersion.h"
#include "env/OrvoZipUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>
#include <QtEndian>

namespace {

const QString kDateFile = QStringLiteral("date.txt");
const QString kUpdateTrigger = QStringLiteral("/update.ini");
const QString kReleaseFile = QStringLiteral("/release.ini");
const QString kWorkoutPackage = QStringLiteral("/workout.zip");
const QString kModelGroup = QStringLiteral("MODEL");
const QString kWatchType = QStringLiteral("Watch");
const QString kInstallWorkouts = QStringLiteral("1");
// The workout set's folders below "System" that the device reads.
const QString kWorkoutFolders[] = {QStringLiteral("/Tarvexwrk"), QStringLiteral("/Test")};
// A new assistance file waits under this suffix until it read back whole.
const QString kStagedSuffix = QStringLiteral(".new");
constexpr qint64 kDateLength = 4;
// Files are read back in pieces: a workout file of the device need not fit in memory whole.
constexpr qint64 kReadBackChunk = 64 * 1024;

// The version tails that the OS version text carries after the boot loader's.
constexpr qsizetype kDeviceLangTail = 4;
constexpr qsizetype kBluetoothTail = 2;
constexpr qsizetype kTimeZoneTail = 3;
constexpr qsizetype kNotificationLangTail = 3;

QString tail(const QString &text, qsizetype length)
{
    return text.size() > length ? text.right(length) : text;
}

// Names from packages and device files become paths on the drive and in the temporary folder:
// only a name without folders stays where it is meant to.
bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

bool copyFound(const QString &source, const QString &target, const char *function)
{
    if (!QFileInfo::exists(source)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << QStringLiteral(" file %1 is not found").arg(source);
        return false;
    }
    return GalVerifiedWrite::copy(source, target);
}

bool unzip(const QString &package, const QString &folder, const char *function)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, function) << "unzip " << package << " to " << folder;
    return OrvoZipUtil().decompress(package, folder);
}

} // namespace

const QString OrvoFitDevice::kSystemFolder = QStringLiteral("System");
const QString OrvoFitDevice::kAssistanceFile = QStringLiteral("AssitOff.alp");

OrvoFitDevice::OrvoFitDevice() = default;

OrvoFitDevice::~OrvoFitDevice()
{
    // The worker reads the device values and the date: it ends first.
    stopWorker();
}

bool OrvoFitDevice::getDrive(QString &drive)
{
    const auto *service = dynamic_cast<OrvoFSDeviceService *>(deviceService());
    if (service == nullptr)
        return false;
    drive = service->drivePath();
    return true;
}

bool OrvoFitDevice::presentDrive(QString &drive, const char *function)
{
    if (OrvoFSDeviceService::heldDrive(deviceService(), drive))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "the device is no longer on its drive";
    return false;
}

bool OrvoFitDevice::rootPath(const QString &relative, QString &path)
{
    QString root;
    if (!getDrive(root))
        return false;
    path = root + relative;
    return true;
}

bool OrvoFitDevice::loadDeviceInfo()
{
    QMutexLocker lock(&m_mutex);
    return loadInfoLocked();
}

bool OrvoFitDevice::loadInfoLocked()
{
    // Read once: a device without its file is not asked again.
    m_infoLoaded = true;
    QString drive;
    if (!getDrive(drive))
        return false;
    const QString path = OrvoUtility::findDeviceTxt(drive);
    OrvoDeviceIniFile file(path);
    if (path.isEmpty() || !file.load()) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoFitDevice::loadDeviceInfo") << "no device.txt on" << drive;
        return false;
    }
    const QString version = QStringLiteral("Version");
    m_info.uuid = file.value(QStringLiteral("UUID"), QStringLiteral("UUID"));
    m_info.osVersion = file.value(QStringLiteral("OS"), version);
    m_info.bootLoaderVersion = file.value(QStringLiteral("BootLoader"), version);
    m_info.deviceLangVersion = file.value(QStringLiteral("DeviceLang"), version);
    m_info.notificationLangVersion = file.value(QStringLiteral("NotificationLang"), version);
    m_info.timeZoneVersion = file.value(QStringLiteral("TimeZone"), version);
    m_info.bluetoothVersion = file.value(QStringLiteral("Bluetooth"), version);
    m_info.capability = file.value(QStringLiteral("CAP"), QStringLiteral("COM"));
    const QString type = file.value(QStringLiteral("Product"), QStringLiteral("Type"));
    if (!type.isEmpty())
        m_info.productType = type == kWatchType ? 0 : 1;
    return true;
}

OrvoFitDevice::DeviceInfo OrvoFitDevice::deviceInfo()
{
    QMutexLocker lock(&m_mutex);
    if (!m_infoLoaded)
        loadInfoLocked();
    return m_info;
}

int OrvoFitDevice::productType()
{
    return deviceInfo().productType;
}

bool OrvoFitDevice::getUUID(QString &uuid)
{
    uuid = deviceInfo().uuid;
    return true;
}

bool OrvoFitDevice::getOS(QString &version)
{
    const DeviceInfo info = deviceInfo();
    version = info.osVersion;
    if (info.bootLoaderVersion.isEmpty())
        return false;
    const QChar dot = QLatin1Char('.');
    version += dot + info.bootLoaderVersion.mid(1);
    version += dot + tail(info.deviceLangVersion, kDeviceLangTail);
    version += dot + tail(info.bluetoothVersion, kBluetoothTail);
    version += dot + tail(info.timeZoneVersion, kTimeZoneTail);
    version += dot + tail(info.notificationLangVersion, kNotificationLangTail);
    return true;
}

bool OrvoFitDevice::getBootloader(QString &version)
{
    version = deviceInfo().bootLoaderVersion;
    return !version.isEmpty();
}

bool OrvoFitDevice::getTotal(QString &version)
{
    version = deviceInfo().osVersion;
    return true;
}

QString OrvoFitDevice::deviceLangVersion()
{
    return deviceInfo().deviceLangVersion;
}

QString OrvoFitDevice::notificationLangVersion()
{
    return deviceInfo().notificationLangVersion;
}

QString OrvoFitDevice::timeZoneVersion()
{
    return deviceInfo().timeZoneVersion;
}

QString OrvoFitDevice::bluetoothVersion()
{
    return deviceInfo().bluetoothVersion;
}

int OrvoFitDevice::getAlpDate()
{
    QMutexLocker lock(&m_mutex);
    if (m_alpDate != 0)
        return m_alpDate;
    const QString system = QLatin1Char('/') + kSystemFolder + QLatin1Char('/');
    QString alp;
    QString datePath;
    // A date without its file dates nothing.
    if (!rootPath(system + kAssistanceFile, alp) || !rootPath(system + kDateFile, datePath) || !QFileInfo::exists(alp))
        return 0;
    QFile file(datePath);
    if (!file.open(QIODevice::ReadOnly))
        return m_alpDate;
    // One byte more than a date, so that a longer file shows.
    const QByteArray bytes = file.read(kDateLength + 1);
    if (bytes.size() != kDateLength) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoFitDevice::getAlpDate") << datePath << "is not" << kDateLength << "bytes";
        return m_alpDate;
    }
    OrvoByteReader reader(bytes);
    m_alpDate = qint32(reader.readU32Be());
    return m_alpDate;
}

bool OrvoFitDevice::getName(QString &model)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    model = info ? info->modelName : QString();
    return info != nullptr;
}

QString OrvoFitDevice::getCapability()
{
    QMutexLocker lock(&m_mutex);
    if (!m_infoLoaded)
        loadInfoLocked();
    if (m_info.capability.isEmpty())
        m_info.capability = OrvoClient::getCapability();
    return m_info.capability;
}

bool OrvoFitDevice::prepareUploadData(QString &, bool)
{
    return false;
}

QStringList OrvoFitDevice::_exportTrack(const QString &)
{
    return {};
}

bool OrvoFitDevice::eject()
{
    QString drive;
    if (!getDrive(drive))
        return false;
    return OrvoPlatform().ejectDevice(drive);
}

bool OrvoFitDevice::isNewVersion(const QString &component, const QString &name, const QString &version)
{
    const DeviceInfo info = deviceInfo();
    const QMap<QString, QString> versions = {
        {QStringLiteral("OS"), info.osVersion},
        {QStringLiteral("BootLoader"), info.bootLoaderVersion},
        {QStringLiteral("DeviceLang"), info.deviceLangVersion},
        {QStringLiteral("NotificationLang"), info.notificationLangVersion},
        {QStringLiteral("TimeZone"), info.timeZoneVersion},
        {QStringLiteral("Bluetooth"), info.bluetoothVersion},
    };
    const QString device = versions.value(component);
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoFitDevice::isNewVersion")
        << "update version=" + version + ", device version=" + device << name;
    if (version.isEmpty())
        return false;
    // Part by part, so that 1.10 stays newer than 1.9.
    return device.isEmpty() || OrvoVersion::isLower(device, version);
}

QVector<OrvoFitDevice::Component> OrvoFitDevice::readImageInfo(const QString &releaseIni)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoFitDevice::readImageInfo") << "getImageMetaInfo from " << releaseIni;
    if (!QFileInfo::exists(releaseIni))
        return {};
    QSettings ini(releaseIni, QSettings::IniFormat);
    const QStringList groups = ini.childGroups();
    QVector<Component> components;
    components.reserve(groups.size());
    for (const QString &group : groups) {
        if (group == kModelGroup)
            continue;
        ini.beginGroup(group);
        components.append(
            {group, ini.value(QStringLiteral("Name")).toString(), ini.value(QStringLiteral("Version")).toString()});
        ini.endGroup();
    }
    return components;
}

bool OrvoFitDevice::isStorageSpaceEnough(const QString &folder, const QVector<Component> &components)
{
    qint64 needed = 0;
    for (const Component &c : components) {
        if (isNewVersion(c.group, c.name, c.version))
            needed += QFileInfo(folder + QLatin1Char('/') + c.name).size();
    }
    QString drive;
    quint64 total = 0;
    quint64 free = 0;
    if (!getDrive(drive) || !OrvoPlatform().getDiskSpace(drive, total, free))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoFitDevice::isStorageSpaceEnough")
        << QStringLiteral("copied file size=%1, free size=%2").arg(needed).arg(free);
    return free >= quint64(needed);
}

bool OrvoFitDevice::holdsComponents(const QString &folder, const QVector<Component> &components)
{
    for (const Component &c : components) {
        if (isNewVersion(c.group, c.name, c.version) &&
            (!isPlainFileName(c.name) || !QFileInfo(folder + QLatin1Char('/') + c.name).isFile())) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoFitDevice::_updateTotal") << "the package lacks" << c.name;
            return false;
        }
    }
    return true;
}

bool OrvoFitDevice::copyBinFile(const QString &folder, const QString &name, const QString &subfolder)
{
    QString root;
    if (!isPlainFileName(name) || !getDrive(root)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoFitDevice::copyBinFile") << "not copied:" << name;
        return false;
    }
    const QString into = subfolder.isEmpty() ? root : root + QLatin1Char('/') + subfolder;
    return copyFound(folder + QLatin1Char('/') + name, into + QLatin1Char('/') + name, "OrvoFitDevice::copyBinFile");
}

void OrvoFitDevice::readBackTree(const QString &folder)
{
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::Hidden | QDir::NoDotAndDotDot);
    QStringList folders;
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            // A link could lead back up the tree.
            if (!entry.isSymLink())
                folders.append(entry.absoluteFilePath());
            continue;
        }
        QFile file(entry.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.read(kReadBackChunk).isEmpty()) {
        }
    }
    for (const QString &sub : std::as_const(folders))
        readBackTree(sub);
}

bool OrvoFitDevice::writeAlpDate(const QString &path, int date)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoFitDevice::_updateAlp") << "write date.txt";
    QByteArray bytes(kDateLength, '\0');
    qToBigEndian<qint32>(date, bytes.data());
    QString error;
    if (saveFileBytes(path, bytes, error))
        return true;
    // A date that does not belong to the file must not stay: without one the file is offered again.
    ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoFitDevice::_updateAlp") << path << "not written:" << error;
    QFile::remove(path);
    return false;
}

bool OrvoFitDevice::_updateAlp(const QString &file, int date)
{
    const char *function = "OrvoFitDevice::_updateAlp";
    setErrorCode(NoError);
    QString model;
    QString system;
    if (!getName(model) || !rootPath(QLatin1Char('/') + kSystemFolder, system) || !isPlainFileName(file)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "no drive or no plain file name:" << file;
        return false;
    }
    const QString source = OrvoEnv::instance()->userFolder() + QStringLiteral("/updates/") + model;
    ORVO_TRACE_DEBUG(lcOrvoGal, function) << QStringLiteral("copy file=%1 from sourceDir=%2").arg(file, source);
    // The device keeps its old data until the new file read back whole.
    const QString target = system + QLatin1Char('/') + file;
    const QString staged = target + kStagedSuffix;
    if (!copyFound(source + QLatin1Char('/') + file, staged, function)) {
        QFile::remove(staged);
        return false;
    }
    if (!OrvoUtility::deleteFile(target) || !QFile::rename(staged, target)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "can not replace" << target;
        QFile::remove(staged);
        return false;
    }
    if (!writeAlpDate(system + QLatin1Char('/') + kDateFile, date))
        return false;
    QMutexLocker lock(&m_mutex);
    m_alpDate = date;
    return true;
}

bool OrvoFitDevice::prepareWorkFolder(QString &folder)
{
    QString model;
    if (!getName(model) || !isPlainFileName(model)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoFitDevice::prepareWorkFolder") << "no usable model name:" << model;
        return false;
    }
    folder = OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + model;
    QDir().mkpath(folder);
    OrvoUtility::removeFolder(folder);
    return true;
}

bool OrvoFitDevice::_updateTotal(const QString &file, const QString &)
{
    const char *function = "OrvoFitDevice::_updateTotal";
    setErrorCode(NoError);
    QString work;
    QString root;
    if (!prepareWorkFolder(work) || !presentDrive(root, function))
        return false;
    if (!unzip(file, work, function)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "unzip file to temporary directory failed";
        return false;
    }
    const QString releaseIni = work + kReleaseFile;
    if (!QFileInfo::exists(releaseIni)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << releaseIni << " not exist";
        return false;
    }
    const QVector<Component> components = readImageInfo(releaseIni);
    if (!holdsComponents(work, components) || !isStorageSpaceEnough(work, components)) {
        setErrorCode(NoSpaceOrBadPackage);
        return false;
    }
    bool copied = true;
    QStringList staged;
    for (const Component &c : components) {
        if (!isNewVersion(c.group, c.name, c.version))
            continue;
        ORVO_TRACE_DEBUG(lcOrvoGal, function) << QStringLiteral("write %1, version=%2").arg(c.name, c.version);
        if (copyBinFile(work, c.name, QString())) {
            staged.append(root + QLatin1Char('/') + c.name);
        } else {
            setErrorCode(WriteFailed);
            copied = false;
        }
    }
    // The device updates from what lies beside the trigger: a missing component must not start it.
    if (staged.isEmpty() && copied)
        return true;
    if (copied) {
        ORVO_TRACE_DEBUG(lcOrvoGal, function) << "write update.ini ";
        QString error;
        if (saveFileBytes(root + kUpdateTrigger, QByteArray(), error))
            return true;
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "update.ini not written:" << error;
        setErrorCode(WriteFailed);
    }
    // Components without their trigger would only take the drive's space.
    for (const QString &path : std::as_const(staged))
        QFile::remove(path);
    return false;
}

bool OrvoFitDevice::unpackWorkout(const QString &package, const QString &root)
{
    const QString system = root + QLatin1Char('/') + kSystemFolder;
    // Made inside the drive only: a drive that went must not be made anew where it was mounted.
    if (!QFileInfo(system).isDir() && !QDir(root).mkdir(kSystemFolder)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoFitDevice::_updateComponent") << "no folder" << system;
        return false;
    }
    if (!unzip(package, system, "OrvoFitDevice::_updateComponent"))
        return false;
    for (const QString &folder : kWorkoutFolders)
        readBackTree(system + folder);
    return true;
}

bool OrvoFitDevice::_updateComponent(const OrvoComponentRequest &request)
{
    const char *function = "OrvoFitDevice::_updateComponent";
    setErrorCode(NoError);
    QString work;
    if (!prepareWorkFolder(work))
        return false;
    QString root;
    if (!presentDrive(root, function)) {
        setErrorCode(NoDrive);
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "can not get mounted drive";
        return false;
    }
    if (!unzip(request.file, work, function)) {
        setErrorCode(NoSpaceOrBadPackage);
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "unzip file to temporary directory failed";
        return false;
    }
    const QString workout = work + kWorkoutPackage;
    if (!QFileInfo::exists(workout)) {
        setErrorCode(NoWorkoutPackage);
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << workout << " not exist";
        return false;
    }
    if (request.extra != kInstallWorkouts)
        return true;
    if (!unpackWorkout(workout, root)) {
        setErrorCode(WriteFailed);
        ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "unzip workout.zip to device failed";
        return false;
    }
    return true;
}
