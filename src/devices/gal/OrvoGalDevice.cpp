#include "devices/gal/OrvoGalDevice.h"

#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceRowRegistration.h"
#include "device/OrvoDeviceScriptInterface.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoSCSIDeviceService.h"
#include "devices/gal/GalActivityContent.h"
#include "devices/gal/GalFirmwareImage.h"
#include "devices/gal/GalSummaryLap.h"
#include "devices/gal/GalVerifiedWrite.h"
#include "devices/gal/GalWorkoutTemplate.h"
#include "devices/gal/OrvoGalLogging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"
#include "profile/OrvoLanguageMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTimeZone>

#include <array>
#include <limits>

namespace {

using WorkoutType = OrvoGalLibrary::WorkoutType;

// Every workout type the device knows, in the order the lists go through them.
constexpr std::array<WorkoutType, 12> kWorkoutTypes = {{
    {0, 0, 0},
    {0, 0, 1},
    {0, 5, 0},
    {0, 5, 1},
    {0, 6, 0},
    {0, 6, 1},
    {1, 0, 0},
    {1, 0, 1},
    {1, 5, 0},
    {1, 5, 1},
    {1, 6, 0},
    {1, 6, 1},
}};

constexpr int kDeleteActivity = 30;
constexpr int kDeleteWorkout = 21;
constexpr int kDeleteWorkoutType5 = 36;
constexpr int kDeleteWorkoutType6 = 35;

// No device folder holds more files than this; a larger count from the library is cut here
// rather than asked for name by name.
constexpr quint32 kMaxListedFiles = 65535;

const QString kActivitySuffix = QStringLiteral(".gal");
const QString kWorkoutSuffix = QStringLiteral(".wkt");
// File names start with the time as "yyMMddHHmmss": the ids are the time read with the century.
const QString kFileTimeFormat = QStringLiteral("yyyyMMddHHmmss");
const QString kCentury = QStringLiteral("20");
constexpr qsizetype kFileTimeLength = 12;

const QString kKavel20plus = QStringLiteral("Kavel20plus");
const QString kKavel21 = QStringLiteral("Kavel21");
// The image size a firmware package without its release file is taken to have (962 KiB).
constexpr int kDefaultImageSize = 962 * 1024;
constexpr int kKiB = 1024;
const QString kNoLaunchSecVersion = QStringLiteral("0.0.0.0");
// A language version "01020304" adds ".1234" to the OS version.
constexpr qsizetype kLanguageVersionLength = 8;
constexpr qsizetype kLanguageVersionPiece = 2;

const QString kReadProfileFile = QStringLiteral("pfread.ini");
const QString kWriteProfileFile = QStringLiteral("pfwrite.ini");
const QString kProfileGroup = QStringLiteral("General");
const QString kLanguageKey = QStringLiteral("Sys-langCode");
const QString kDefaultLanguage = QStringLiteral("eng");
const QString kUnknownLanguage = QStringLiteral("UNK");
const QString kNoWorkoutName = QStringLiteral("workout");

// The answer of the library's profile update that makes the device synchronise its profile.
constexpr int kProfileMustSync = 2;
constexpr int kProfileSyncStarted = 1;

// [IMG] UpdateMethod: the device takes its image from the drive, or restarts into its updater.
constexpr int kUpdateByFile = 1;
constexpr int kUpdateOnDevice = 2;
const QString kUpdateTrigger = QStringLiteral("update.ini");
const QString kIapFile = QStringLiteral("iap.bin");
const QString kLangFolder = QStringLiteral("Lang");
const QString kReleaseFile = QStringLiteral("/release.ini");
// A Kavel20plus with this boot loader takes only the boot loader from a package.
const QString kBootLoaderOnlyIap = QStringLiteral("Z417");
constexpr int kProductIdLength = 4;

// The updater's flash: the external flash in 4096-byte blocks numbered by 16 bits, the
// internal one in 2048-byte blocks.
constexpr int kFlashBlockSize = 4096;
constexpr int kMaxFlashBlock = 0xFFFF;
constexpr quint8 kExternalFlashRegion = 15;
constexpr int kInternalFlashRegion = 12;
constexpr int kInternalFlashBlockSize = 2048;
// The vendor command that starts the updater on what was written.
constexpr std::array<quint8, 10> kNotifyIapUpdate = {0x28, 0, 0, 0, 0, 0, 0x1A, 0, 0x01, 0};
constexpr qsizetype kNotifyAnswerLength = 512;

// The flash block of a release file's start address; false, logged, for an address that no
// release file gave, that is not at a block start or beyond the blocks the updater numbers.
bool startBlockOf(int address, bool known, const char *what, int &block)
{
    block = address / kFlashBlockSize;
    if (known && address % kFlashBlockSize == 0 && block <= kMaxFlashBlock)
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode")
        << "no usable" << what << "start address" << Qt::hex << address << "known" << known;
    return false;
}
// A font file's first bytes tell whether the device holds the same one.
constexpr qint64 kFontIdLength = 4;

int deleteKindOf(WorkoutType type)
{
    switch (type.byte1) {
    case 5:
        return kDeleteWorkoutType5;
    case 6:
        return kDeleteWorkoutType6;
    default:
        return kDeleteWorkout;
    }
}

QDateTime utcTime(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc());
}

// The file name of an item id, as the device named the file when it stored it.
QString fileNameOfId(int id, const QString &suffix)
{
    return OrvoUtility::timeToString(qint64(quint32(id)), kFileTimeFormat).mid(kCentury.size()) + suffix;
}

QString tmpFile(const QString &name)
{
    return QDir::toNativeSeparators(OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + name);
}

// Removes a file left from an earlier call; false when it stays.
bool removeStale(const QString &path, const char *function)
{
    if (!QFileInfo::exists(path) || QFile::remove(path))
        return true;
    ORVO_TRACE_WARNING(lcOrvoGal, function) << "can not remove the earlier" << path;
    return false;
}

// A hexadecimal address of a release file; unknown when the text is none.
void readAddress(const QString &text, int &address, bool &known)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    known = ok && value <= uint(std::numeric_limits<int>::max());
    address = known ? int(value) : 0;
}

// The release file gives KiB. An image larger than the external flash it is written to is
// none: 0, which no image fits.
int imageSizeOf(const QString &text)
{
    constexpr uint kFlashKiB = uint(kMaxFlashBlock + 1) * (kFlashBlockSize / kKiB);
    bool ok = false;
    const uint kib = text.toUInt(&ok);
    if (!ok || kib > kFlashKiB) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::getImageMetaInfo") << "image size refused:" << text << "KiB";
        return 0;
    }
    return int(kib) * kKiB;
}

OrvoDeviceScriptInterface *scriptsFor(const char *function, const char *call)
{
    OrvoDeviceScriptInterface *scripts = OrvoClient::deviceScripts();
    if (scripts == nullptr)
        ORVO_TRACE_WARNING(lcOrvoGal, function) << "no scripting host for" << call;
    return scripts;
}

} // namespace

OrvoGalDevice::OrvoGalDevice() = default;

OrvoGalDevice::~OrvoGalDevice()
{
    // The worker uses the library home, the caches and the device service: it ends first.
    stopWorker();
}

OrvoDeviceService *OrvoGalDevice::deviceService()
{
    OrvoDeviceService *used = m_usedService.load();
    return used != nullptr ? used : OrvoDeviceImpl::deviceService();
}

void OrvoGalDevice::useDeviceService(OrvoDeviceService *service)
{
    m_usedService.store(service);
}

bool OrvoGalDevice::isIapMode()
{
    return deviceServiceType() == OrvoDeviceService::ScsiPassThroughService;
}

bool OrvoGalDevice::getDrive(QString &drive)
{
    if (isIapMode())
        return false;
    const auto *service = dynamic_cast<OrvoFSDeviceService *>(deviceService());
    if (service == nullptr)
        return false;
    drive = service->drivePath();
    return true;
}

bool OrvoGalDevice::deviceRoot(QString &root)
{
    QString drive;
    if (!getDrive(drive) || drive.isEmpty())
        return false;
    root = OrvoUtility::appendChar(drive, QDir::separator());
    return true;
}

bool OrvoGalDevice::presentDrive(QString &drive, const char *function)
{
    if (!isIapMode() && OrvoFSDeviceService::heldDrive(deviceService(), drive))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoGal, function) << "the device is no longer on its drive";
    return false;
}

bool OrvoGalDevice::loadDeviceInfo()
{
    QMutexLocker lock(&m_mutex);
    return loadInfoLocked();
}

bool OrvoGalDevice::loadInfoLocked()
{
    if (isIapMode())
        return false;
    // Read once: a device without its file is not asked again.
    m_infoLoaded = true;
    QString drive;
    if (!getDrive(drive))
        return false;
    const QString path = OrvoUtility::findDeviceIni(drive);
    if (path.isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::loadDeviceInfo") << "no device.ini on" << drive;
        return false;
    }
    return readDeviceIni(path);
}

bool OrvoGalDevice::readDeviceIni(const QString &path)
{
    OrvoDeviceIniFile file(path);
    if (!file.load())
        return false;
    const QString version = QStringLiteral("Version");
    m_info.uuid = file.value(QStringLiteral("UUID"), QStringLiteral("UUID"));
    m_info.osVersion = file.value(QStringLiteral("OS"), version);
    m_info.minOrvoVersion = file.value(QStringLiteral("Orvo"), version);
    m_info.bootLoaderVersion = file.value(QStringLiteral("BootLoader"), version);
    const QString img = QStringLiteral("IMG");
    const QString updateMethod = QStringLiteral("UpdateMethod");
    if (file.contains(img, updateMethod))
        m_info.updateMethod = int(file.value(img, updateMethod).toUInt());
    m_info.languageVersion = file.value(img, QStringLiteral("LangVersion"));
    m_info.capability = file.value(QStringLiteral("CAP"), QStringLiteral("COM"));
    m_info.launchSecVersion = file.value(QStringLiteral("LaunchSec"), version);
    if (m_info.launchSecVersion.isEmpty())
        m_info.launchSecVersion = kNoLaunchSecVersion;
    m_info.iapName = file.value(QStringLiteral("IAP"), QStringLiteral("NAME")).trimmed();
    return true;
}

OrvoGalDevice::DeviceInfo OrvoGalDevice::deviceInfo()
{
    QMutexLocker lock(&m_mutex);
    if (!m_infoLoaded)
        loadInfoLocked();
    return m_info;
}

bool OrvoGalDevice::getUUID(QString &uuid)
{
    uuid = deviceInfo().uuid;
    return true;
}

bool OrvoGalDevice::getInternalStorage(qint64 &total, qint64 &free)
{
    QString drive;
    if (!getDrive(drive))
        return false;
    quint64 totalBytes = 0;
    quint64 freeBytes = 0;
    if (!OrvoPlatform().getDiskSpace(drive, totalBytes, freeBytes))
        return false;
    total = qint64(totalBytes);
    free = qint64(freeBytes);
    return true;
}

bool OrvoGalDevice::getOS(QString &version)
{
    const DeviceInfo info = deviceInfo();
    version = info.osVersion;
    if (info.bootLoaderVersion.isEmpty())
        return false;
    version += QLatin1Char('.') + info.bootLoaderVersion.mid(1);
    if (info.languageVersion.size() == kLanguageVersionLength) {
        QString numbers;
        for (qsizetype at = 0; at < kLanguageVersionLength; at += kLanguageVersionPiece)
            numbers += QString::number(info.languageVersion.mid(at, kLanguageVersionPiece).toInt());
        version += QLatin1Char('.') + numbers;
    }
    return true;
}

bool OrvoGalDevice::getBootloader(QString &version)
{
    version = deviceInfo().bootLoaderVersion;
    return !version.isEmpty();
}

bool OrvoGalDevice::getTotal(QString &version)
{
    version = deviceInfo().osVersion;
    return true;
}

bool OrvoGalDevice::getLaunchsec(QString &version)
{
    version = deviceInfo().launchSecVersion;
    return true;
}

bool OrvoGalDevice::getAP(QString &version)
{
    // The device has no application image of its own.
    version.clear();
    return true;
}

QString OrvoGalDevice::getMinOrvoVer()
{
    QMutexLocker lock(&m_mutex);
    // The settings file speaks for a device whose own file names no version, once.
    if (!m_infoLoaded) {
        loadInfoLocked();
        if (m_info.minOrvoVersion.isEmpty())
            m_info.minOrvoVersion = OrvoClient::getMinOrvoVer();
    }
    return m_info.minOrvoVersion;
}

bool OrvoGalDevice::getName(QString &model)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    model = info ? info->modelName : QString();
    return info != nullptr;
}

QString OrvoGalDevice::getComponentVersion(const QString &)
{
    return QString();
}

QString OrvoGalDevice::getCapability()
{
    QMutexLocker lock(&m_mutex);
    if (!m_infoLoaded)
        loadInfoLocked();
    if (m_info.capability.isEmpty())
        m_info.capability = OrvoClient::getCapability();
    return m_info.capability;
}

OrvoImageMetaInfo OrvoGalDevice::getImageMetaInfo(const QString &releaseIni)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::getImageMetaInfo") << "getImageMetaInfo from " << releaseIni;
    QString model;
    getName(model);
    QMutexLocker lock(&m_mutex);
    if (QFileInfo(releaseIni).isFile()) {
        OrvoDeviceIniFile file(releaseIni);
        if (!file.load())
            ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::getImageMetaInfo") << "release file not read:" << releaseIni;
        const QString img = QStringLiteral("IMG");
        const QString version = QStringLiteral("Version");
        m_imageMeta.imageName = file.value(img, QStringLiteral("Name"));
        m_imageMeta.imageSize = imageSizeOf(file.value(img, QStringLiteral("Size")));
        readAddress(file.value(img, QStringLiteral("Ext_FlashImageStartAddr")), m_imageMeta.extFlashImageStart,
                    m_imageMeta.extFlashImageStartKnown);
        readAddress(file.value(img, QStringLiteral("Ext_FlashLangStartAddr")), m_imageMeta.extFlashLanguageStart,
                    m_imageMeta.extFlashLanguageStartKnown);
        m_imageMeta.languageVersion = file.value(img, QStringLiteral("LangVersion"));
        m_imageMeta.osVersion = file.value(QStringLiteral("OS"), version);
        m_imageMeta.bootLoaderVersion = file.value(QStringLiteral("BootLoader"), version);
        return m_imageMeta;
    }
    // The start addresses stay those of the last release file read, or unknown.
    m_imageMeta.imageSize = kDefaultImageSize;
    m_imageMeta.languageVersion.clear();
    if (model == kKavel20plus)
        m_imageMeta.imageName = QStringLiteral("TrevanisPlus");
    else if (model == kKavel21)
        m_imageMeta.imageName = QStringLiteral("TrevanisBR");
    return m_imageMeta;
}

QString OrvoGalDevice::langVersion()
{
    return deviceInfo().languageVersion;
}

int OrvoGalDevice::updateMethod()
{
    return deviceInfo().updateMethod;
}

void OrvoGalDevice::setLibraryHome(const QString &root)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::setLibraryHome") << "library home" << root;
    m_libraryHome = root;
}

std::optional<QStringList> OrvoGalDevice::listActivityFiles()
{
    quint32 count = 0;
    if (!m_library.activityCount(m_libraryHome, count))
        return std::nullopt;
    if (count > kMaxListedFiles) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::listActivityFiles")
            << "library counts" << count << "activities; the first" << kMaxListedFiles << "are listed";
        count = kMaxListedFiles;
    }
    QStringList names;
    names.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        if (m_library.activityFileName(m_libraryHome, i + 1, name))
            names.append(name);
        else
            ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::listActivityFiles")
                << "error get #" << i << "activity file name";
    }
    return names;
}

std::optional<QStringList> OrvoGalDevice::listWorkoutFiles(WorkoutType type)
{
    quint32 count = 0;
    if (!m_library.workoutCount(m_libraryHome, type, count))
        return std::nullopt;
    if (count > kMaxListedFiles) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::listWorkoutFiles")
            << "library counts" << count << "workouts; the first" << kMaxListedFiles << "are listed";
        count = kMaxListedFiles;
    }
    QStringList names;
    names.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        if (m_library.workoutFileName(m_libraryHome, i + 1, type, name))
            names.append(name);
        else
            ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::listWorkoutFiles")
                << "error get #" << i << "workout file name";
    }
    return names;
}

bool OrvoGalDevice::readActivity(const QString &name, OrvoClientData &record)
{
    QByteArray header;
    if (!m_library.activityContent(m_libraryHome, name, header))
        return false;
    OrvoByteReader reader(header);
    GalActivityContent content;
    if (!parseGalActivityContent(reader, content)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::readActivity")
            << name << ": header of" << header.size() << "bytes, expected" << GalActivityContent::kSize;
        return false;
    }
    record.id = int(OrvoUtility::stringToTime(kCentury + name.left(kFileTimeLength), kFileTimeFormat));
    if (content.hasName() && content.storedNameLength > GalActivityContent::kNameCapacity)
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::readActivity")
            << name << ": name length" << content.storedNameLength << "at offset 62 runs past the header; cut to"
            << GalActivityContent::kNameCapacity;
    record.name = QString::fromLatin1(content.name);
    record.uploaded = content.uploaded();
    record.activityType = content.activityType;

    QByteArray lapBytes;
    if (!m_library.summaryLapContent(m_libraryHome, name, lapBytes))
        return true;
    OrvoByteReader lapReader(lapBytes);
    GalSummaryLap lap;
    if (parseGalSummaryLap(lapReader, lap)) {
        record.startTime = utcTime(lap.start);
        record.endTime = utcTime(lap.end);
        record.totalLength = lap.distance;
    }
    return true;
}

bool OrvoGalDevice::readWorkout(WorkoutType type, const QString &name, const QString &language, OrvoClientData &record)
{
    QByteArray bytes;
    if (!m_library.readTemplate(m_libraryHome, name, type, bytes)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::readWorkout") << "ReadTemplateWKT failed" << name;
        return false;
    }
    OrvoByteReader reader(bytes);
    GalWorkoutTemplate workoutTemplate;
    if (!parseGalWorkoutTemplate(reader, workoutTemplate)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::readWorkout")
            << name << ": template of" << bytes.size() << "bytes, expected" << GalWorkoutTemplate::kSize;
        return false;
    }
    QByteArray blob;
    if (m_library.readWorkoutName(m_libraryHome, name, type, language, blob)) {
        ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::readWorkout")
            << "bitfont size :" << workoutTemplate.nameIsImage() << blob.size();
        QString code;
        if (workoutTemplate.nameIsImage()) {
            record.nameImage = QImage::fromData(bitfontToPng(blob, code), "PNG");
        } else {
            record.name = bitfontToText(blob, code);
            ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::readWorkout") << "workout name" << record.name << "|";
        }
    } else {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::readWorkout") << "ReadWKTName failed" << name;
        record.name = kNoWorkoutName;
    }
    record.id = int(workoutTemplate.id);
    record.itemId = record.id;
    if (workoutTemplate.hasTime())
        record.startTime = utcTime(workoutTemplate.time);
    record.activityType = workoutTemplate.activityType();
    record.workoutType = workoutTemplate.workoutType();
    record.subType = workoutTemplate.subType();
    return true;
}

void OrvoGalDevice::getTracks(QVector<OrvoClientData> &items)
{
    QString drive;
    getDrive(drive);
    setLibraryHome(drive);
    const QStringList names = listActivityFiles().value_or(QStringList());
    for (const QString &name : names) {
        if (!name.toLower().endsWith(kActivitySuffix))
            continue;
        OrvoClientData record;
        if (!readActivity(name, record))
            continue;
        record.kind = OrvoClientData::KindRide;
        items.append(record);
    }
}

void OrvoGalDevice::getWorkouts(QVector<OrvoClientData> &items)
{
    QString drive;
    getDrive(drive);
    setLibraryHome(drive);
    // The names are asked for in the device's language; one profile read serves the whole list.
    QStringList languages;
    const QString language =
        getLanguageOnDevice(languages) && !languages.isEmpty() ? languages.first() : kUnknownLanguage;
    for (const WorkoutType type : kWorkoutTypes) {
        const QStringList names = listWorkoutFiles(type).value_or(QStringList());
        for (const QString &name : names) {
            if (!name.toLower().endsWith(kWorkoutSuffix))
                continue;
            OrvoClientData record;
            if (!readWorkout(type, name, language, record))
                continue;
            record.kind = OrvoClientData::KindWorkout;
            items.append(record);
        }
    }
}

bool OrvoGalDevice::deletePOIs(const QVector<int> &)
{
    return true;
}

bool OrvoGalDevice::deleteRoutes(const QVector<int> &)
{
    return true;
}

bool OrvoGalDevice::deleteNamed(const QVector<int> &ids, const QString &suffix, int kind)
{
    QString drive;
    getDrive(drive);
    setLibraryHome(drive);
    bool deletedAll = true;
    for (const int id : ids) {
        const QString name = fileNameOfId(id, suffix);
        if (!m_library.deleteFile(m_libraryHome, kind, name)) {
            ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::delete") << "DeleteGALFile failed for" << name;
            deletedAll = false;
        }
    }
    return deletedAll;
}

bool OrvoGalDevice::deleteTracks(const QVector<int> &ids)
{
    return deleteNamed(ids, kActivitySuffix, kDeleteActivity);
}

bool OrvoGalDevice::deleteWorkouts(const QVector<int> &ids)
{
    return deleteNamed(ids, kWorkoutSuffix, kDeleteWorkout);
}

bool OrvoGalDevice::deleteAll()
{
    QString drive;
    getDrive(drive);
    setLibraryHome(drive);
    bool deletedAll = true;
    const auto remove = [this, &deletedAll](int kind, const QString &name) {
        if (m_library.deleteFile(m_libraryHome, kind, name))
            return;
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::deleteAll") << "DeleteGALFile failed for" << name;
        deletedAll = false;
    };
    // A folder that could not be listed was not emptied: a drive that went is not an empty one.
    const std::optional<QStringList> activities = listActivityFiles();
    deletedAll = deletedAll && activities.has_value();
    for (const QString &name : activities.value_or(QStringList()))
        remove(kDeleteActivity, name);
    for (const WorkoutType type : kWorkoutTypes) {
        const std::optional<QStringList> workouts = listWorkoutFiles(type);
        deletedAll = deletedAll && workouts.has_value();
        for (const QString &name : workouts.value_or(QStringList()))
            remove(deleteKindOf(type), name);
    }
    return deletedAll;
}

QStringList OrvoGalDevice::_exportTrack(const QString &folder)
{
    QStringList files;
    exportActivities(folder, files);
    return files;
}

bool OrvoGalDevice::exportActivities(const QString &folder, QStringList &files)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_exportTrack") << "saveDeviceRawData";
    OrvoDeviceScriptInterface *scripts = scriptsFor("OrvoGalDevice::_exportTrack", "ExportKrm");
    QString root;
    if (scripts == nullptr) {
        setError(true);
        return false;
    }
    if (!deviceRoot(root)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::_exportTrack") << "no drive to export from";
        setError(true);
        return false;
    }
    QString model;
    getName(model);
    QString os;
    getTotal(os);
    const QString version = QStringLiteral("1.0.0.%1 Orvo%2").arg(os, OrvoEnv::version());
    const QString profile = readProfileIni(root);
    if (!scripts->exportKrm(folder, model, version, profile, root, files)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::_exportTrack") << "ExportKrm failed";
        files.clear();
        setError(true);
        return false;
    }
    return true;
}

bool OrvoGalDevice::prepareUploadData(QString &path, bool)
{
    QString drive;
    getDrive(drive);
    setLibraryHome(drive);
    setProgress(0.05f);
    const qint64 now = OrvoDeviceWaits::current().currentUtc().toSecsSinceEpoch();
    const QString work =
        QDir(OrvoEnv::instance()->tmpDir()).absoluteFilePath(QStringLiteral("OrvoExportTmp%1").arg(quint64(now)));
    if (!QDir().mkpath(work)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::prepareUploadData") << "can not make" << work;
        return false;
    }
    setProgress(0.2f);
    // A failed export is no empty one: the answer is false, not a package without the rides.
    QStringList exported;
    bool made = exportActivities(work, exported);
    setProgress(0.8f);
    const QStringList names = QDir(work).entryList(QDir::Files, QDir::Name);
    if (made && !names.isEmpty()) {
        const QString zip = QDir::cleanPath(work + QStringLiteral("/../") + OrvoEnv::instance()->uploadFileName());
        removeStale(zip, "OrvoGalDevice::prepareUploadData");
        made = OrvoZipUtil().compress(zip, work, names);
        if (made)
            path = zip;
        else
            ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::prepareUploadData") << "upload zip not made:" << zip;
    }
    if (!OrvoUtility::deleteFolderTree(work))
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::prepareUploadData") << "work folder left:" << work;
    setProgress(1.0f);
    return made;
}

bool OrvoGalDevice::setShareData(const QString &zipFile)
{
    QString drive;
    if (!presentDrive(drive, "OrvoGalDevice::setShareData"))
        return false;
    OrvoDeviceScriptInterface *scripts = scriptsFor("OrvoGalDevice::setShareData", "galSetShareData");
    if (scripts == nullptr)
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::setShareData") << "gal setShareData";
    return scripts->galSetShareData(drive, zipFile);
}

bool OrvoGalDevice::eject()
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::eject") << "OrvoGalDevice::eject()";
    QString drive;
    if (!getDrive(drive))
        return false;
    return OrvoPlatform().ejectDevice(drive);
}

QString OrvoGalDevice::readProfileIni(const QString &devicePath)
{
    const QString read = tmpFile(kReadProfileFile);
    // A failed read must never leave an earlier device's profile to be taken for this one.
    if (!removeStale(read, "OrvoGalDevice::readProfileIni") || !m_library.getProfile(devicePath, read))
        return QString();
    return read;
}

bool OrvoGalDevice::prepareUploadProfile(const QString &file)
{
    QString root;
    if (!deviceRoot(root)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::prepareUploadProfile") << "no drive to read the profile from";
        return false;
    }
    const QString read = readProfileIni(root);
    OrvoDeviceScriptInterface *scripts = scriptsFor("OrvoGalDevice::prepareUploadProfile", "CreateProfileXml");
    if (read.isEmpty() || scripts == nullptr)
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::prepareUploadProfile") << "GIL for CreateProfileXml";
    return scripts->createProfileXml(read, file);
}

bool OrvoGalDevice::saveProfile(const QMap<QString, QString> &values)
{
    QString drive;
    QString root;
    if (!presentDrive(drive, "OrvoGalDevice::saveProfile") || !deviceRoot(root)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::saveProfile") << "no drive to write the profile to";
        return false;
    }
    const QString write = tmpFile(kWriteProfileFile);
    OrvoDeviceScriptInterface *scripts = scriptsFor("OrvoGalDevice::saveProfile", "CreateProfileIni");
    if (!removeStale(write, "OrvoGalDevice::saveProfile") || scripts == nullptr)
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::saveProfile") << "GIL for CreateProfileIni";
    if (!scripts->createProfileIni(values.keys(), values.values(), write))
        return false;
    return m_library.refreshProfile(root, write);
}

bool OrvoGalDevice::getLanguageOnDevice(QStringList &languages)
{
    // The updater cannot be read: the language of the last read stands.
    if (isIapMode()) {
        QMutexLocker lock(&m_mutex);
        languages.append(m_deviceLanguages);
        return true;
    }
    QString root;
    if (!deviceRoot(root))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::getLanguageOnDevice") << "getLanguageOnDevice: GAL_GetProfile";
    const QString read = readProfileIni(root);
    if (read.isEmpty())
        return false;
    OrvoDeviceIniFile profile(read);
    if (!profile.load())
        return false;
    QString code = profile.value(kProfileGroup, kLanguageKey);
    if (code.isEmpty()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::getLanguageOnDevice")
            << "no language on device , set to english";
        code = kDefaultLanguage;
    }
    QMutexLocker lock(&m_mutex);
    m_deviceLanguages = QStringList{code};
    languages.append(m_deviceLanguages);
    return true;
}

int OrvoGalDevice::profileSyncState() const
{
    return m_profileSyncState;
}

bool OrvoGalDevice::prepareImageBinary(const QStringList &languages, QByteArray &out, const OrvoImageMetaInfo &meta)
{
    return GalFirmwareImage(GalFirmwareImage::packageFolder())
        .buildImage(languages, meta, m_profileSyncState == kProfileMustSync, out);
}

bool OrvoGalDevice::prepareLangBinary(QByteArray &out)
{
    return GalFirmwareImage(GalFirmwareImage::packageFolder()).buildLanguageBinary(out);
}

bool OrvoGalDevice::copyFile(const QString &source, const QString &destination)
{
    return GalVerifiedWrite::copy(source, destination);
}

void OrvoGalDevice::copyLangFiles(const QString &folder, const QStringList &languages)
{
    QString drive;
    if (!getDrive(drive))
        return;
    const QString font = GalFirmwareImage(folder).languageFont(languages);
    QFile package(font);
    if (font.isEmpty() || !package.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::copyLangFiles") << "can not open " << font;
        return;
    }
    const QByteArray id = package.read(kFontIdLength);
    package.close();
    const QString langFolder = drive + QLatin1Char('/') + kLangFolder;
    const QString target = langFolder + QLatin1Char('/') + QFileInfo(font).fileName();
    bool changed = true;
    if (QFileInfo::exists(target)) {
        QFile onDevice(target);
        changed = onDevice.open(QIODevice::ReadOnly) && onDevice.read(kFontIdLength) != id;
    } else if (QFileInfo(langFolder).isDir() || QDir(drive).mkdir(kLangFolder)) {
        // Made inside the drive only: a drive that went is not made anew where it was mounted.
        copyFile(font, target);
    }
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::copyLangFiles") << "copyLangFile=" << changed;
    if (!changed)
        return;
    const QStringList deviceFonts = QDir(langFolder).entryList({QStringLiteral("*.bft")}, QDir::Files, QDir::Name);
    for (const QString &name : deviceFonts) {
        const QString source = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(source))
            copyFile(source, langFolder + QLatin1Char('/') + name);
    }
}

bool OrvoGalDevice::_updateTotal(const QString &file, const QString &)
{
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal")
        << QStringLiteral("_updateTotal state=%1").arg(getState());
    if (getState() == STATE_TOTAL_UPDATE)
        return finishTotalUpdate();
    return startTotalUpdate(file);
}

bool OrvoGalDevice::finishTotalUpdate()
{
    bool result = false;
    if (isIapMode()) {
        result = upgradeInIAPMode();
        ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "complete upgradeInIAPMode";
    } else {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "the device did not come back in IAP mode";
    }
    removeIapDeviceInfo();
    if (!setStateWithMatch(STATE_TOTAL_UPDATE, STATE_OUT_OF_SERVICE))
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal")
            << "_updateTotal: setStateWithMatch to STATE_OUT_OF_SERVICE failed";
    return result;
}

bool OrvoGalDevice::startTotalUpdate(const QString &file)
{
    const QString folder = GalFirmwareImage::packageFolder();
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "getSupportLanguage";
    QStringList names;
    if (!OrvoUtility::getSupportLanguage(file, folder, names, OrvoLanguageMap().map()))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "getLanguageOnDevice";
    QStringList languages;
    getLanguageOnDevice(languages);
    QString root;
    if (!presentDrive(root, "OrvoGalDevice::_updateTotal"))
        return false;
    // The release file says what the update writes: without it nothing reaches the drive.
    const QString release = folder + kReleaseFile;
    if (!QFileInfo::exists(release)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal") << release << " not exist";
        return false;
    }
    const OrvoImageMetaInfo meta = getImageMetaInfo(release);
    QString iap;
    getBootloader(iap);
    // A boot loader staged by a run that then failed would wait on the drive for a trigger
    // that never comes: it goes again.
    QString stagedIap;
    const auto failed = [&stagedIap] {
        if (!stagedIap.isEmpty())
            QFile::remove(stagedIap);
        return false;
    };
    if (!meta.bootLoaderVersion.isEmpty() && meta.bootLoaderVersion != iap) {
        ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "copy iap bin";
        if (!copyIAPBin(folder)) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "copy iap.bin failed";
            return false;
        }
        stagedIap = QDir(root).filePath(kIapFile);
    }
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "device iap version=" << iap;
    QString model;
    getName(model);
    if (iap == kBootLoaderOnlyIap && model == kKavel20plus) {
        ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal")
            << "special handle: write update.ini for only bootloader update";
        return createDriveFile(root, kUpdateTrigger) || failed();
    }
    m_profileSyncState = kProfileSyncStarted;
    const int method = updateMethod();
    if (method == kUpdateOnDevice)
        updateProfile(root, folder);
    QString os;
    getTotal(os);
    const QString language = langVersion();
    if ((meta.osVersion.isEmpty() || meta.osVersion == os) &&
        (meta.languageVersion.isEmpty() || meta.languageVersion == language)) {
        ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal")
            << QStringLiteral("write update.ini for only bootloader: device imgver=%1, langVer=%2; release imgver=%3, "
                              "langver=%4")
                   .arg(os, language, meta.osVersion, meta.languageVersion);
        return createDriveFile(root, kUpdateTrigger) || failed();
    }
    if (method == kUpdateByFile)
        return setDefLanguage(languages, meta) || failed();
    if (method != kUpdateOnDevice)
        return true;
    // The trigger goes first: without it the device would not restart into its updater, and
    // the client would wait for it in vain.
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "write update.ini";
    if (!createDriveFile(root, kUpdateTrigger))
        return failed();
    setStateWithMatch(getState(), STATE_TOTAL_UPDATE);
    registerIapDeviceInfo(QString());
    eject();
    return true;
}

void OrvoGalDevice::updateProfile(const QString &root, const QString &folder)
{
    const QString bin = folder + QStringLiteral("/Profile.bin");
    const QString map = folder + QStringLiteral("/ProfileMap.txt");
    QString deviceFolder;
    if (!QFileInfo::exists(bin) || !QFileInfo::exists(map) || !deviceRoot(deviceFolder)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "not profile bin exist";
        m_profileSyncState = 0;
        return;
    }
    m_profileSyncState = m_library.updateProfile(deviceFolder, map, bin);
    if (m_profileSyncState == 0)
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::_updateTotal") << "UpdateProfile() return failed";
    else if (m_profileSyncState == kProfileMustSync)
        createDriveFile(root, QStringLiteral("syncprofile.ini"));
}

bool OrvoGalDevice::createDriveFile(const QString &root, const QString &name)
{
    QSaveFile file(QDir(root).filePath(name));
    if (file.open(QIODevice::WriteOnly) && commitSaveFile(file))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::createDriveFile")
        << "can not create" << file.fileName() << file.errorString();
    return false;
}

bool OrvoGalDevice::copyIAPBin(const QString &folder)
{
    const QString path = folder + QStringLiteral("/iap.bin");
    QFile file(path);
    if (!file.exists()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::copyIAPBin")
            << qPrintable(QStringLiteral("IAP file \"%1\" is not found").arg(path));
        return false;
    }
    QString root;
    if (!file.open(QIODevice::ReadOnly) || !getDrive(root))
        return false;
    return GalVerifiedWrite::write(QDir(root).filePath(kIapFile), file.readAll(), true);
}

bool OrvoGalDevice::setDefLanguage(const QStringList &languages, const OrvoImageMetaInfo &meta)
{
    QByteArray image;
    QString root;
    if (!prepareImageBinary(languages, image, meta) || !getDrive(root))
        return false;
    const QString staged = QDir(root).filePath(QStringLiteral("IMG.bin"));
    if (!GalVerifiedWrite::write(staged, image, true))
        return false;
    if (!createDriveFile(root, kUpdateTrigger)) {
        // An image without its trigger would only take the drive's space.
        QFile::remove(staged);
        return false;
    }
    copyLangFiles(GalFirmwareImage::packageFolder(), languages);
    return true;
}

void OrvoGalDevice::registerIapDeviceInfo(const QString &matchString)
{
    const DeviceInfo info = deviceInfo();
    QString model;
    getName(model);
    OrvoDeviceInfo row;
    row.productId = info.uuid.left(kProductIdLength);
    row.modelName = model;
    row.matchString = !matchString.isEmpty() ? matchString.toUpper() : !info.iapName.isEmpty() ? info.iapName : model;
    row.factory = OrvoDeviceFactory::create<OrvoGalDevice>;
    OrvoDeviceRowRegistration *rows = OrvoClient::deviceRows();
    if (rows == nullptr) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalDevice::registerIapDeviceInfo") << "no device rows to register in";
        return;
    }
    rows->addDeviceRowAtFront(row);
}

void OrvoGalDevice::removeIapDeviceInfo()
{
    QString model;
    getName(model);
    if (OrvoDeviceRowRegistration *rows = OrvoClient::deviceRows())
        rows->removeDeviceRow(model);
}

bool OrvoGalDevice::upgradeInIAPMode()
{
    QStringList languages;
    getLanguageOnDevice(languages);
    const OrvoImageMetaInfo meta = getImageMetaInfo(GalFirmwareImage::packageFolder() + kReleaseFile);
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode") << "prepare GAL image";
    QByteArray image;
    if (!prepareImageBinary(languages, image, meta)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode") << "prepare GAL image failed ";
        return false;
    }
    QByteArray language;
    if (!prepareLangBinary(language)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode") << "prepare language binary failed";
        return false;
    }
    // Both places are checked before the first erase, so that a bad release file leaves the
    // flash as it was.
    int imageBlock = 0;
    int languageBlock = 0;
    if (!startBlockOf(meta.extFlashImageStart, meta.extFlashImageStartKnown, "image", imageBlock) ||
        !startBlockOf(meta.extFlashLanguageStart, meta.extFlashLanguageStartKnown, "language", languageBlock))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode")
        << "erase img startBlock = " << imageBlock << ", size=" << image.size();
    if (!writeExternal(image, imageBlock, "erase GAL image failed ", "write GAL image failed "))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode")
        << "erase language startBlock = " << languageBlock << ", size=" << language.size();
    if (!writeExternal(language, languageBlock, "erase language binary failed", "write language binary failed"))
        return false;
    return notifyIAPUpdate();
}

bool OrvoGalDevice::writeExternal(const QByteArray &bytes, int block, const char *eraseFailed, const char *writeFailed)
{
    auto *service = dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
    if (service == nullptr || !service->eraseFlashBlocks(bytes.size(), kFlashBlockSize, block)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode") << eraseFailed;
        return false;
    }
    if (!service->writeFlashBlocks(bytes.constData(), kExternalFlashRegion, bytes.size(), kFlashBlockSize, block)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::upgradeInIAPMode") << writeFailed;
        return false;
    }
    return true;
}

bool OrvoGalDevice::notifyIAPUpdate()
{
    auto *service = dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
    if (service == nullptr || !service->openClient())
        return false;
    QByteArray answer(kNotifyAnswerLength, '\0');
    const bool sent =
        service->readClient(kNotifyIapUpdate.data(), int(kNotifyIapUpdate.size()), answer.data(), answer.size());
    if (!sent)
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::notifyIAPUpdate") << "notify IAP update failed";
    service->closeClient();
    return sent;
}

bool OrvoGalDevice::_restoreFactory(const QString &folder)
{
    switch (updateMethod()) {
    case kUpdateByFile:
        return restoreFactoryMethod1(folder);
    case kUpdateOnDevice:
        return restoreFactoryMethod2(folder);
    default:
        return false;
    }
}

bool OrvoGalDevice::restoreFactoryMethod1(const QString &)
{
    // The device restores itself only through a total update, which the controller demands next.
    OrvoEnv::instance()->setForceDeviceUpdate(true);
    return false;
}

bool OrvoGalDevice::restoreFactoryMethod2(const QString &folder)
{
    if (getState() == STATE_FACTORY_RESTORE) {
        // The IAP row goes once: updateFlashes removes it itself, and a second removal would
        // take the model's own row.
        bool result = false;
        if (isIapMode()) {
            result = updateFlashes(m_restoreFolder);
        } else {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::restoreFactoryMethod2") << "fail to enter IAP mode";
            removeIapDeviceInfo();
        }
        // Also after a failure: a client left in the restore state would never run again.
        setStateWithMatch(STATE_FACTORY_RESTORE, STATE_OUT_OF_SERVICE);
        if (!result)
            setError(true);
        return result;
    }
    QString root;
    if (!getDrive(root))
        return false;
    ORVO_TRACE_DEBUG(lcOrvoGal, "OrvoGalDevice::restoreFactoryMethod2") << "write update.ini";
    if (!createDriveFile(root, kUpdateTrigger))
        return false;
    m_restoreFolder = folder;
    setStateWithMatch(getState(), STATE_FACTORY_RESTORE);
    setCurrentAction(Action_AwaitReplug);
    registerIapDeviceInfo(QString());
    eject();
    return true;
}

bool OrvoGalDevice::updateFlashes(const QString &folder)
{
    removeIapDeviceInfo();
    const QString release = folder + kReleaseFile;
    OrvoDeviceIniFile file(release);
    if (!QFileInfo::exists(release) || !file.load()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "OrvoGalDevice::updateFlashes") << "release.ini not found";
        return false;
    }
    const QString name = file.value(QString(), QStringLiteral("Name"));
    if (!writeInternalFlash(folder, name, kInternalFlashRegion, kInternalFlashBlockSize))
        return false;
    const qint64 size = QFileInfo(QDir(folder).filePath(name + QStringLiteral("ExData.bin"))).size();
    auto *service = dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
    if (service == nullptr || !service->eraseFlashBlocks(size, kFlashBlockSize, 0))
        return false;
    return writeExternalFlash(folder, name, kExternalFlashRegion, kFlashBlockSize);
}

bool OrvoGalDevice::_updateAP(const QString &)
{
    return false;
}
