#include "devices/fs/OrvoKavel50.h"

#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceVersionUtil.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "devices/fs/OrvoFsDeviceLogging.h"
#include "devices/fs/OrvoKavel50Profile.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoSettingsKeys.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"
#include "search/ZKDeviceDB.h"
#include "search/ZKTrackEntry.h"
#include "sql/ZKModel.h"
#include "training/ZKWorkout.h"
#include "util/ZKTraceLog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QSqlQuery>
#include <QTimeZone>

#include <algorithm>
#include <utility>

namespace {

using Key = OrvoSettingsKeys::Key;

const QString kUpdatingFlag = QStringLiteral("/updating@@!.ini");
const QString kFormatFlag = QStringLiteral("/format.ini");
const QString kRouteDatabase = QStringLiteral("/data/route/route.dat");
const QString kExportFolder = QStringLiteral("/Kavel50ExportTmp");
const QString kNoApVersion = QStringLiteral("ZK0.0.0.0");
const QString kNoLaunchsecVersion = QStringLiteral("0.0.0.0");
// An interrupted update leaves the version file in any of these spellings.
const QStringList kVersionFiles = {QStringLiteral("/version.ini"), QStringLiteral("/Version.ini"),
                                   QStringLiteral("/VERSION.ini"), QStringLiteral("/VERSION.INI")};
// Listing with this type lists every type.
constexpr int kEveryType = 5;
const QString kWorkoutLanguage = QStringLiteral("ENG");
const QString kShareImportFolder = QStringLiteral("/kavel50");
const QString kLogFolder = QStringLiteral("/kavel50Log");
const QString kFlashLogs = QStringLiteral("/flash.dat");
const QString kImageFolder = QStringLiteral("/kavel50image");
const QString kApFolder = QStringLiteral("/deviceAP");
const QString kStagingPrefix = QStringLiteral("Tarv3x!#@");
const QString kUpdateOrder = QStringLiteral("/Update.ini");
const QString kReleaseIni = QStringLiteral("/release.ini");
const QString kDefaultImage = QStringLiteral("Vorna.bin");
// The checksum file the order names beside the image, at the package's top level.
const QString kChecksumFile = QStringLiteral("CKS.TXT");
// The order file addresses the device's own drive under this name.
const QString kOwnDriveName = QStringLiteral("/My Disk");
// Devices with an older application get the training applications' settings reset.
const QString kSettingsResetBefore = QStringLiteral("ZK1.3.0.8");
const QStringList kTrainingSettings = {QStringLiteral("/morvia/applications/protrainingapp/user_settings.xml"),
                                       QStringLiteral("/morvia/applications/training/user_settings.xml")};
// Packages a factory restore reinstalls, in this order.
const QString kTotalPackage = QStringLiteral("/Total.zip");
const QString kLaunchSecPackage = QStringLiteral("/LaunchSec.zip");
const QString kApPackage = QStringLiteral("/DeviceAp.zip");
const QString kComponentFolder = QStringLiteral("/Kavel50Component");
const QString kKavel60 = QStringLiteral("Kavel60");
const QString kEngineComponent = QStringLiteral("GPST_ENGINE");
const QString kMapComponent = QStringLiteral("MapData");
const QString kOwnComponentFolder = QStringLiteral("/morvia/applications/cycling");
const QString kEngineVersionKey = QStringLiteral("version");
const QString kMapVersionKey = QStringLiteral("dat");
const QString kVersionIni = QStringLiteral("version.ini");
// Files of the map-engine supplier that a package carries but a drive must not get.
const QStringList kEngineExcluded = {kVersionIni};
const QStringList kMapEngineExcluded = {kVersionIni, QStringLiteral("gpstuner.dat")};
const QStringList kMapDataExcluded = {kVersionIni, QStringLiteral("mapengine.dll"), QStringLiteral("release.md5")};
const QString kMapCardLabel = QStringLiteral("kavel60map");
const QString kCountriesFolder = QStringLiteral("/data/mapengine/map/Countries");
const QString kMapsInfoFolder = QStringLiteral("/data/mapsinfo");
// Share file kinds of the device database service.
constexpr int kShareRide = 2;
const QString kWorkoutIdMark = QStringLiteral("<wrklog id=\"");
// A workout id and its closing quote take far fewer bytes than this.
constexpr qint64 kWorkoutIdTextMax = 64;
constexpr qint64 kSearchBlock = 64 * 1024;
const QString kSharedRouteType = QStringLiteral("<sharetype>2</sharetype>");
const QString kOwnRouteType = QStringLiteral("<sharetype>1</sharetype>");

QMutex g_removeStepMutex;
OrvoKavel50::RemoveStep g_removeStep;

bool removeOnce(const QString &path)
{
    OrvoKavel50::RemoveStep step;
    {
        const QMutexLocker lock(&g_removeStepMutex);
        step = g_removeStep;
    }
    return step ? step(path) : QFile::remove(path);
}

// One byte '1' in a flag file of the device.
bool writeFlagFile(const QString &path, const QString &name, const char *function)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << QStringLiteral("create %1 FAILED").arg(name);
        return false;
    }
    if (file.write("1", 1) != 1 || !commitSaveFile(file)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << QStringLiteral("write %1 FAILED").arg(name);
        return false;
    }
    return true;
}

// Two files of equal size whose modification times lie within the copy tolerance.
bool isSameCopy(const QFileInfo &source, const QString &target)
{
    const QFileInfo existing(target);
    if (!existing.isFile())
        return false;
    const qint64 apart = qAbs(source.lastModified().secsTo(existing.lastModified()));
    return apart <= OrvoKavel50::kSameCopySeconds && source.size() == existing.size();
}

QDateTime localTimeOf(qint64 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970);
}

OrvoClientData favoriteFromQuery(const QSqlQuery &query)
{
    OrvoClientData item;
    item.id = query.value(0).toInt();
    item.name = query.value(1).toString();
    item.description = query.value(2).toString();
    item.latitude = query.value(3).toInt();
    item.longitude = query.value(4).toInt();
    item.place = query.value(5).toString();
    item.kind = OrvoClientData::KindPoi;
    return item;
}

// The route columns after idRoute: Title, ActiveType, TotalLength, StartPlace, EndPlace,
// TotalLength, Uploaded.
OrvoClientData routeFromValues(int id, const QVector<QVariant> &values)
{
    OrvoClientData item;
    item.id = id;
    item.name = values.value(0).toString();
    item.activityType = values.value(1).toInt();
    item.totalLength = values.value(2).toInt();
    item.startPlace = values.value(3).toString();
    item.endPlace = values.value(4).toString();
    item.totalLength = values.value(5).toInt();
    item.uploaded = values.value(6).toBool();
    item.kind = OrvoClientData::KindRoute;
    return item;
}

// The ride columns after idRoute: Title, StartTime, EndTime, ActivityType, TotalLength, Uploaded.
OrvoClientData rideFromValues(int id, const QVector<QVariant> &values)
{
    OrvoClientData item;
    item.id = id;
    item.name = values.value(0).toString();
    item.startTime = localTimeOf(values.value(1).toLongLong());
    item.endTime = localTimeOf(values.value(2).toLongLong());
    item.activityType = values.value(3).toInt();
    item.totalLength = values.value(4).toInt();
    item.uploaded = values.value(5).toBool();
    item.kind = OrvoClientData::KindRide;
    return item;
}

QVector<QVariant> valuesAfterFirst(const QSqlQuery &query, int count)
{
    QVector<QVariant> values;
    values.reserve(count);
    for (int column = 1; column <= count; ++column)
        values.append(query.value(column));
    return values;
}

const QStringList kRouteColumns = {QStringLiteral("Title"),       QStringLiteral("ActiveType"),
                                   QStringLiteral("TotalLength"), QStringLiteral("StartPlace"),
                                   QStringLiteral("EndPlace"),    QStringLiteral("TotalLength"),
                                   QStringLiteral("Uploaded")};
const QStringList kRideColumns = {QStringLiteral("Title"),       QStringLiteral("StartTime"),
                                  QStringLiteral("EndTime"),     QStringLiteral("ActivityType"),
                                  QStringLiteral("TotalLength"), QStringLiteral("Uploaded")};

// A folder of copies made for one action, emptied and made when the action starts and removed
// when it ends, whatever its result: copies of a device's rides and logs can be large, and are
// no business of the data folder once the action is over.
class StagingFolder
{
public:
    explicit StagingFolder(QString path)
        : m_path(std::move(path))
        , m_made(OrvoUtility::removeFolder(m_path) && QDir().mkpath(m_path))
    {}
    ~StagingFolder() { OrvoUtility::removeFolder(m_path); }
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    const QString &path() const { return m_path; }
    bool made() const { return m_made; }

private:
    QString m_path;
    bool m_made;
};

// The offset of the first needle in the file, which is then positioned right after it; -1 when
// the file holds none.
qint64 findInFile(QFile &file, const QByteArray &needle)
{
    QByteArray window;
    qint64 windowStart = 0;
    for (QByteArray block = file.read(kSearchBlock); !block.isEmpty(); block = file.read(kSearchBlock)) {
        window += block;
        const qsizetype at = window.indexOf(needle);
        if (at >= 0) {
            const qint64 offset = windowStart + at;
            return file.seek(offset + needle.size()) ? offset : -1;
        }
        // A needle may begin in one block and end in the next.
        const qsizetype kept = qMin(window.size(), needle.size() - 1);
        windowStart += window.size() - kept;
        window = window.right(kept);
    }
    return -1;
}

// The logs a ride left in the trace-log folder; the debug log only some rides have.
void addRideLogs(qint64 key, QStringList &logs)
{
    for (const QString &path :
         {ZKTraceLog::gpsLogPath(key), ZKTraceLog::trainLogPath(key), ZKTraceLog::dbgLogPath(key)}) {
        if (QFileInfo::exists(path))
            logs.append(path);
    }
}

// The ride logs packed under their own names: they all lie in the one trace-log folder.
bool packRideLogs(const QStringList &logs, const QString &archive)
{
    const QString folder = QFileInfo(logs.first()).absolutePath();
    QStringList names;
    names.reserve(logs.size());
    for (const QString &path : logs)
        names.append(QFileInfo(path).fileName());
    if (OrvoZipUtil().compress(archive, folder, names))
        return true;
    ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50::prepareUploadData") << "ride logs not packed" << archive;
    return false;
}

// The one-shot workouts among those packed: the package now carries them.
void removeOneShotWorkouts(const QVector<int> &workoutIds)
{
    for (int wid : workoutIds) {
        const std::unique_ptr<ZKWorkout> workout = ZKDeviceDB::readWorkoutHeader(wid);
        if (workout && workout->isOneShot())
            ZKDeviceDB::deleteWorkoutOf(*workout);
    }
}

// Rides travel as the maker's activity files: the same GPX under another extension.
void renameRidesForUpload(const QString &folder)
{
    const QDir dir(folder);
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files)) {
        if (file.suffix() != QLatin1String("gpx"))
            continue;
        const QString target = dir.filePath(file.completeBaseName() + QStringLiteral(".krm"));
        if (!QFile::rename(file.filePath(), target))
            ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50::prepareUploadData") << "not renamed" << file.filePath();
    }
}

// A shared ".krm" file is a GPX file under the maker's extension.
void renameSharedRides(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        if (!name.contains(QLatin1String(".krm")))
            continue;
        QString target = name;
        target.replace(QLatin1String(".krm"), QLatin1String(".gpx"));
        OrvoKavel50::removeFile(dir.filePath(target));
        if (!QFile::rename(dir.filePath(name), dir.filePath(target)))
            ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50::setShareData") << "not renamed" << dir.filePath(name);
    }
}

// A route shared by someone else is stored as the user's own.
bool makeShareOwn(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(in.readAll());
    in.close();
    text.replace(kSharedRouteType, kOwnRouteType);
    QSaveFile out(path);
    const QByteArray bytes = text.toUtf8();
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && commitSaveFile(out);
}

// The numbers after a version's two-letter prefix; a part that is no number counts 0.
QVector<int> versionParts(const QString &version)
{
    const QStringList parts = version.mid(2).split(QLatin1Char('.'));
    QVector<int> numbers;
    numbers.reserve(parts.size());
    for (const QString &part : parts)
        numbers.append(part.toInt());
    return numbers;
}

QByteArray md5Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// Removes every entry of the folder whose name has the text before its first "." of name,
// except the kept ones; true when all of them went.
bool removeOtherVersions(const QString &folder, const QString &name, const QStringList &kept)
{
    const QString stem = name.section(QLatin1Char('.'), 0, 0);
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    bool removed = true;
    for (const QFileInfo &entry : entries) {
        if (entry.fileName().section(QLatin1Char('.'), 0, 0) != stem || kept.contains(entry.fileName()))
            continue;
        if (entry.isDir() && !entry.isSymLink())
            removed = OrvoKavel50::removeDir(entry.filePath()) && removed;
        else
            removed = OrvoKavel50::removeFile(entry.filePath()) && removed;
    }
    return removed;
}

// OrvoDeviceIniFile drops the blanks around a value and one pair of quotes around it, and a
// line ends at its line break.
bool readsBackAsWritten(const QString &value)
{
    const bool quoted = value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'));
    return value == value.trimmed() && !quoted && !value.contains(QLatin1Char('\n')) &&
           !value.contains(QLatin1Char('\r'));
}

// "version.ini" with "key=value" as its first line, above any group, where the reader looks
// first; the key's other lines above the groups or in "[General]" (where settings files put
// keys without a group) go, so that no older value of it is left to be read.
QByteArray versionFileText(const QByteArray &old, const QString &key, const QString &value)
{
    QByteArray text = key.toUtf8() + '=' + value.toUtf8() + "\r\n";
    bool ungrouped = true;
    QList<QByteArray> lines = old.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QByteArray &line : std::as_const(lines)) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            ungrouped = trimmed.compare("[General]", Qt::CaseInsensitive) == 0;
        } else if (ungrouped) {
            const qsizetype equals = trimmed.indexOf('=');
            if (equals > 0 && QString::fromUtf8(trimmed.left(equals).trimmed()).compare(key, Qt::CaseInsensitive) == 0)
                continue;
        }
        text += line + '\n';
    }
    return text;
}

// Whether a file lies anywhere below the folder.
bool holdsAnyFile(const QString &folder)
{
    QStringList files;
    OrvoUtility::listFilesRecursive(folder, files);
    return !files.isEmpty();
}

// Every file below the folder, named relative to it.
bool zipLogFolder(const QString &zipPath, const QString &folder)
{
    QStringList files;
    OrvoUtility::listFilesRecursive(folder, files);
    const QDir base(folder);
    QStringList names;
    names.reserve(files.size());
    for (const QString &path : std::as_const(files))
        names.append(base.relativeFilePath(path));
    return OrvoZipUtil().compress(zipPath, folder, names);
}

} // namespace

std::atomic_bool OrvoKavel50::s_restorePhase{false};

OrvoKavel50::OrvoKavel50() = default;

OrvoKavel50::~OrvoKavel50() = default;

bool OrvoKavel50::restorePhase()
{
    return s_restorePhase.load();
}

void OrvoKavel50::setRestorePhase(bool on)
{
    s_restorePhase.store(on);
}

void OrvoKavel50::setRemoveStep(RemoveStep step)
{
    const QMutexLocker lock(&g_removeStepMutex);
    g_removeStep = std::move(step);
}

bool OrvoKavel50::initial()
{
    OrvoFunctionTrace trace("OrvoKavel50::initial");
    // The device came back formatted in the middle of a factory restore: nothing on it to read.
    if (restorePhase()) {
        OrvoEnv::instance()->setForceDeviceUpdate(true);
        return true;
    }
    if (!prepareDatabase())
        return false;
    QString appPath;
    if (isUpdating() && getAppPath(appPath)) {
        for (const QString &name : kVersionFiles)
            removeFile(appPath + name);
    }
    return true;
}

bool OrvoKavel50::prepareDatabase()
{
    QString root;
    if (!presentDrive(root, "OrvoKavel50::prepareDatabase"))
        return false;
    QString sharePath;
    QString traceLogPath;
    if (!getSharePath(sharePath) || !getTraceLogPath(traceLogPath))
        return false;
    QString version;
    getAP(version);
    QString model;
    getName(model);
    ZKTraceLog::setDeviceVersion(version);
    ZKTraceLog::setModelName(model);
    ZKDeviceDB::openDeviceDatabases(sharePath, QString(), OrvoEnv::instance()->tmpDir() + kExportFolder);
    ZKTraceLog::setDataDir(traceLogPath);
    closeDeviceDatabases();
    return true;
}

bool OrvoKavel50::rootPath(const QString &relative, QString &path)
{
    QString root;
    if (!getDrive(root))
        return false;
    path = root + relative;
    return true;
}

bool OrvoKavel50::presentDrive(QString &root, const char *function)
{
    if (!getDrive(root))
        return false;
    auto *service = dynamic_cast<OrvoFSDeviceService *>(deviceService());
    if (service != nullptr && service->holdsDevice())
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "the device is no longer at" << root;
    return false;
}

bool OrvoKavel50::settingPath(const char *key, const char *defaultValue, QString &path)
{
    QString root;
    if (!getDrive(root))
        return false;
    path = root + getDeviceSetting(QLatin1String(key), QLatin1String(defaultValue));
    return true;
}

bool OrvoKavel50::getSharePath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kSharePath.name, OrvoSettingsKeys::kSharePath.defaultValue, path);
}

bool OrvoKavel50::getTraceLogPath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kTraceLogPath.name, OrvoSettingsKeys::kTraceLogPath.defaultValue, path);
}

bool OrvoKavel50::getDeviceIniPath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kDeviceIniPath.name, OrvoSettingsKeys::kDeviceIniPath.defaultValue, path);
}

bool OrvoKavel50::getApVersionPath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kApVersionPath.name, OrvoSettingsKeys::kApVersionPath.defaultValue, path);
}

bool OrvoKavel50::getProfilePath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kProfilePath.name, OrvoSettingsKeys::kProfilePath.defaultValue, path);
}

bool OrvoKavel50::getAppPath(QString &path)
{
    return settingPath(OrvoSettingsKeys::kApPath.name, OrvoSettingsKeys::kApPath.defaultValue, path);
}

// key is "group/key" or a key without group; the empty text when missing, and when the file is
// larger than a device writes (the reader refuses it with a log line).
bool OrvoKavel50::readIniValue(bool found, const QString &path, const QString &key, QString &value)
{
    if (!found)
        return false;
    OrvoDeviceIniFile ini(path);
    value = QFileInfo::exists(path) && ini.load() ? ini.settingValue(key) : QString();
    return true;
}

bool OrvoKavel50::getUUID(QString &uuid)
{
    QString path;
    QString value;
    if (!readIniValue(getDeviceIniPath(path), path, QStringLiteral("UUID/UUID"), value) || value.isEmpty())
        return false;
    uuid = value;
    return true;
}

bool OrvoKavel50::getTotal(QString &version)
{
    QString path;
    QString value;
    if (!readIniValue(getDeviceIniPath(path), path, QStringLiteral("Total/Version"), value) || value.isEmpty())
        return false;
    version = value;
    return true;
}

bool OrvoKavel50::getLaunchsec(QString &version)
{
    QString path;
    if (!readIniValue(getDeviceIniPath(path), path, QStringLiteral("LaunchSec/Version"), version))
        return false;
    if (version.isEmpty())
        version = kNoLaunchsecVersion;
    return true;
}

bool OrvoKavel50::getAP(QString &version)
{
    QString path;
    if (!readIniValue(getApVersionPath(path), path, QStringLiteral("version"), version))
        return false;
    if (version.isEmpty())
        version = kNoApVersion;
    return true;
}

bool OrvoKavel50::getBootloader(QString &version)
{
    return getAP(version);
}

bool OrvoKavel50::getInternalStorage(qint64 &total, qint64 &free)
{
    QString root;
    if (!getDrive(root))
        return false;
    quint64 totalBytes = 0;
    quint64 freeBytes = 0;
    if (!OrvoPlatform().getDiskSpace(root, totalBytes, freeBytes))
        return false;
    total = qint64(totalBytes);
    free = qint64(freeBytes);
    return true;
}

bool OrvoKavel50::classFlag()
{
    return true;
}

int OrvoKavel50::classLevel()
{
    return 2;
}

// Nothing in the program makes a map request: there is no map to import or delete.
bool OrvoKavel50::_importMap(int)
{
    return false;
}

bool OrvoKavel50::_deleteMap(int)
{
    return false;
}

bool OrvoKavel50::setUpdatingFlag(bool on)
{
    QString path;
    if (!rootPath(kUpdatingFlag, path))
        return false;
    if (on)
        return writeFlagFile(path, kUpdatingFlag, "OrvoKavel50::setUpdatingFlag");
    if (removeFile(path))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::setUpdatingFlag") << "remove " << path << "failed";
    return false;
}

bool OrvoKavel50::isUpdating()
{
    QString path;
    return rootPath(kUpdatingFlag, path) && QFileInfo::exists(path);
}

void OrvoKavel50::formatDevice()
{
    writeFormatFlag();
}

bool OrvoKavel50::writeFormatFlag()
{
    QString root;
    return presentDrive(root, "OrvoKavel50::formatDevice") &&
           writeFlagFile(root + kFormatFlag, kFormatFlag, "OrvoKavel50::formatDevice");
}

bool OrvoKavel50::removeFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    for (int attempt = 1; attempt <= kRemoveAttempts; ++attempt) {
        if (removeOnce(path))
            return true;
        removeReadOnlyAttribute(path);
    }
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::removeFile") << "remove file failed: " << path;
    return false;
}

// The owner gets read and write rights back; the other rights stay as they were.
void OrvoKavel50::removeReadOnlyAttribute(const QString &path)
{
    ORVO_TRACE_DEBUG(lcOrvoFsDevice, "OrvoKavel50::removeReadOnlyAttribute") << "removeReadOnlyAttribute: " << path;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadUser | QFileDevice::WriteUser);
}

bool OrvoKavel50::copyFile(const QString &source, const QString &target)
{
    ORVO_TRACE_DEBUG(lcOrvoFsDevice, "OrvoKavel50::copyFile") << "copy file from " << source << " to " << target;
    for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
        if (attempt > 1) {
            removeReadOnlyAttribute(target);
            removeFile(target);
        }
        if (OrvoUtility::copyFile(source, target, true, 1, 0, {}, false, 0, nullptr))
            return true;
    }
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::copyFile")
        << "copy file failed: from " << source << " to " << target;
    return false;
}

bool OrvoKavel50::copyDir(const QString &source, const QString &target, QStringList *copied)
{
    // Hidden and system entries stay behind; linked folders are not followed, as a link to a
    // parent would never end.
    const QFileInfoList entries =
        QDir(source).entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString to = target + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            if (!entry.isSymLink() &&
                (!OrvoUtility::makeFolderBelow(target, to) || !copyDir(entry.filePath(), to, copied)))
                return false;
            continue;
        }
        // A file there the same is part of the copy as much as one written now: an export
        // into the folder of an earlier one holds every ride.
        if (!isSameCopy(entry, to) && !copyFile(entry.filePath(), to))
            return false;
        if (copied != nullptr)
            copied->prepend(to);
    }
    return true;
}

bool OrvoKavel50::copyDirNoList(const QString &source, const QString &target)
{
    return copyDir(source, target, nullptr);
}

bool OrvoKavel50::removeDir(const QString &path)
{
    // A link given as the folder goes as a link: its target is not ours to empty.
    if (QFileInfo(path).isSymLink())
        return removeFile(path);
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        // A link is removed itself: following one would empty the folder it points at.
        if (entry.isDir() && !entry.isSymLink()) {
            if (!removeDir(entry.filePath()))
                return false;
        } else if (!removeFile(entry.filePath())) {
            return false;
        }
    }
    QDir().rmdir(path);
    return true;
}

QByteArray OrvoKavel50::readBack(const QString &path, bool *ok)
{
    *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::checkFiles")
            << QStringLiteral("checkFiles: open %1 failed").arg(path);
        return {};
    }
    const qint64 size = file.size();
    const qint64 length = qMin(size, kCheckTailSize);
    QByteArray bytes;
    if (file.seek(size - length))
        bytes = file.read(length);
    *ok = bytes.size() == length;
    if (!*ok)
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::checkFiles")
            << QStringLiteral("checkFiles: read %1 size=%2 failed").arg(path).arg(size);
    return bytes;
}

void OrvoKavel50::checkFiles(const QStringList &files)
{
    for (const QString &path : files) {
        bool ok = false;
        readBack(path, &ok);
    }
}

void OrvoKavel50::checkFolder(const QString &path)
{
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    if (!files.isEmpty())
        checkFiles(files);
}

bool OrvoKavel50::zipFolder(const QString &zipPath, const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    return OrvoZipUtil().compress(zipPath, folder, names);
}

bool OrvoKavel50::hasRouteDatabase()
{
    QString sharePath;
    return getSharePath(sharePath) && QFileInfo::exists(sharePath + kRouteDatabase);
}

bool OrvoKavel50::useColumnQueries()
{
    const Key key = OrvoSettingsKeys::kNewLoadDbApi;
    return getDeviceSetting(QLatin1String(key.name), QLatin1String(key.defaultValue)) != QLatin1String("0");
}

void OrvoKavel50::getPOIs(QVector<OrvoClientData> &items)
{
    if (useColumnQueries()) {
        QSqlQuery query = ZKDeviceDB::queryFavorites({QStringLiteral("idMyFavorite"), QStringLiteral("Name"),
                                                      QStringLiteral("Info"), QStringLiteral("Latitude"),
                                                      QStringLiteral("Longitude"), QStringLiteral("Place")});
        while (query.next())
            items.append(favoriteFromQuery(query));
        query.finish();
    } else {
        QMap<qint64, QString> favorites;
        ZKDeviceDB::listFavorites(favorites);
        for (auto it = favorites.cbegin(); it != favorites.cend(); ++it) {
            ZKFavoriteRecord record;
            record.id = -1;
            ZKDeviceDB::readFavorite(it.key(), record);
            OrvoClientData item;
            item.id = int(it.key());
            item.name = it.value();
            item.description = record.info;
            item.latitude = record.latitude;
            item.longitude = record.longitude;
            item.place = record.place;
            items.append(item);
        }
    }
    closeDeviceDatabases();
}

void OrvoKavel50::getRoutes(QVector<OrvoClientData> &items)
{
    if (!hasRouteDatabase())
        return;
    if (useColumnQueries()) {
        QSqlQuery query = ZKDeviceDB::queryRoutes(QStringList{QStringLiteral("idRoute")} + kRouteColumns);
        while (query.next())
            items.append(routeFromValues(query.value(0).toInt(), valuesAfterFirst(query, kRouteColumns.size())));
        query.finish();
    } else {
        QMap<qint64, QString> routes;
        ZKDeviceDB::listRoutes(kEveryType, routes, QString());
        for (auto it = routes.cbegin(); it != routes.cend(); ++it) {
            QVector<QVariant> values;
            ZKDeviceDB::selectRouteById(quint32(it.key()), int(it.key() >> 32), kRouteColumns, values);
            items.append(routeFromValues(int(it.key()), values));
        }
    }
    closeDeviceDatabases();
}

void OrvoKavel50::rideDatabaseUnreadable(const char *function)
{
    QString sharePath;
    getSharePath(sharePath);
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function)
        << "the device's ride database cannot be read:" << sharePath + kRouteDatabase;
    setError(true);
}

void OrvoKavel50::getTracks(QVector<OrvoClientData> &items)
{
    if (!hasRouteDatabase())
        return;
    bool read = false;
    if (useColumnQueries()) {
        QSqlQuery query = ZKDeviceDB::queryTraceLogs(QStringList{QStringLiteral("idRoute")} + kRideColumns);
        read = query.isActive();
        while (query.next())
            items.append(rideFromValues(query.value(0).toInt(), valuesAfterFirst(query, kRideColumns.size())));
        query.finish();
    } else {
        QVector<ZKTrackEntry> rides;
        read = ZKDeviceDB::listTracks(kEveryType, rides, false);
        for (const ZKTrackEntry &ride : std::as_const(rides)) {
            QVector<QVariant> values;
            ZKDeviceDB::selectTraceLogById(quint32(ride.id), int(ride.id >> 32), kRideColumns, values);
            items.append(rideFromValues(int(ride.id), values));
        }
    }
    closeDeviceDatabases();
    if (!read)
        rideDatabaseUnreadable("OrvoKavel50::getTracks");
}

void OrvoKavel50::clearWorkouts()
{
    m_workouts.clear();
}

void OrvoKavel50::getWorkouts(QVector<OrvoClientData> &items)
{
    if (!hasRouteDatabase())
        return;
    clearWorkouts();
    ZKDeviceDB::listWorkouts(m_workouts, false);
    items.reserve(items.size() + qsizetype(m_workouts.size()));
    for (size_t i = 0; i < m_workouts.size(); ++i) {
        ZKWorkout &workout = *m_workouts[i];
        ZKDeviceDB::readWorkout(workout);
        OrvoClientData item;
        item.id = int(i);
        item.name = ZKDeviceDB::pickLanguageText(workout.name(), kWorkoutLanguage);
        QDateTime date = workout.dateTime();
        date.setTimeZone(QTimeZone::utc());
        item.startTime = localTimeOf(date.toSecsSinceEpoch());
        item.kind = OrvoClientData::KindWorkout;
        item.workoutType = workout.type();
        item.subType = workout.subtype();
        items.append(item);
    }
    closeDeviceDatabases();
}

bool OrvoKavel50::deletePOI(int id)
{
    const bool deleted = ZKDeviceDB::deleteFavorite(id);
    closeDeviceDatabases();
    return deleted;
}

bool OrvoKavel50::deleteRoute(int id)
{
    const bool deleted = ZKDeviceDB::deleteRoute(id, 0);
    closeDeviceDatabases();
    return deleted;
}

bool OrvoKavel50::deleteTrack(int id)
{
    const bool deleted = ZKDeviceDB::deleteTrack(ZKDeviceDB::itemId(id, 0));
    closeDeviceDatabases();
    return deleted;
}

// Every item is tried; the answer says whether all of them went. The database service takes a
// missing favourites file for nothing to delete, so a drive that is gone answers here.
bool OrvoKavel50::deletePOIs(const QVector<int> &ids)
{
    QString sharePath;
    if (!getSharePath(sharePath) || !QFileInfo(sharePath).isDir())
        return false;
    bool all = true;
    for (int id : ids)
        all = deletePOI(id) && all;
    return all;
}

bool OrvoKavel50::deleteRoutes(const QVector<int> &ids)
{
    if (!hasRouteDatabase())
        return false;
    bool all = true;
    for (int id : ids)
        all = deleteRoute(id) && all;
    return all;
}

bool OrvoKavel50::deleteTracks(const QVector<int> &ids)
{
    if (!hasRouteDatabase())
        return false;
    bool all = true;
    for (int id : ids)
        all = deleteTrack(id) && all;
    return all;
}

// A workout is gone when its row and its intervals went together and no row of it is left.
bool OrvoKavel50::workoutDeleted(int id)
{
    if (id < 0 || size_t(id) >= m_workouts.size() || !m_workouts[size_t(id)])
        return false;
    const ZKWorkout &workout = *m_workouts[size_t(id)];
    if (!ZKDeviceDB::deleteWorkoutOf(workout) || ZKDeviceDB::findWorkoutId(workout.id()) == workout.rowId())
        return false;
    m_workouts[size_t(id)].reset();
    return true;
}

bool OrvoKavel50::deleteWorkouts(const QVector<int> &ids)
{
    if (!hasRouteDatabase())
        return false;
    // A repeated index is one deletion, not a second one that finds nothing.
    QVector<int> unique = ids;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    bool all = true;
    for (int id : std::as_const(unique))
        all = workoutDeleted(id) && all;
    closeDeviceDatabases();
    return all;
}

bool OrvoKavel50::getProfile(QMap<QString, QString> &out)
{
    QString root;
    QString profilePath;
    if (!getDrive(root) || !getProfilePath(profilePath))
        return false;
    return OrvoKavel50Profile(root, profilePath).read(out);
}

bool OrvoKavel50::saveProfile(const QMap<QString, QString> &values)
{
    QString root;
    QString profilePath;
    if (!getDrive(root) || !getProfilePath(profilePath))
        return false;
    return OrvoKavel50Profile(root, profilePath).save(values);
}

bool OrvoKavel50::prepareUploadProfile(const QString &file)
{
    QString root;
    QString profilePath;
    if (!getDrive(root) || !getProfilePath(profilePath))
        return false;
    return OrvoKavel50Profile(root, profilePath).writeUpload(file);
}

QString OrvoKavel50::exportFolder()
{
    return OrvoEnv::instance()->tmpDir() + kExportFolder;
}

std::optional<int> OrvoKavel50::workoutIdOfRide(const QString &gpxPath)
{
    QFile file(gpxPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50::prepareUploadData")
            << "prepareUploadData, get workout id open file error " << gpxPath;
        return std::nullopt;
    }
    // A ride's GPX can be large: it is searched a block at a time, never read whole.
    if (findInFile(file, kWorkoutIdMark.toUtf8()) <= 0)
        return std::nullopt;
    const QByteArray rest = file.read(kWorkoutIdTextMax);
    const qsizetype end = rest.indexOf('"');
    bool ok = false;
    const int id = end < 0 ? 0 : QString::fromUtf8(rest.left(end)).toInt(&ok);
    return ok ? std::optional<int>(id) : std::nullopt;
}

QString OrvoKavel50::exportVersionText()
{
    QString version;
    getAP(version);
    return version + QStringLiteral(" Orvo") + OrvoEnv::version();
}

// With all false only rides not uploaded yet are packed, and they are marked uploaded once the
// package is written, so a failed package leaves them for the next one.
bool OrvoKavel50::prepareUploadData(QString &zipPath, bool all)
{
    const char *function = "OrvoKavel50::prepareUploadData";
    if (!hasRouteDatabase())
        return false;
    const StagingFolder staging(exportFolder());
    const QString &folder = staging.path();
    if (!zipPath.isEmpty() && QFileInfo::exists(zipPath) && !removeFile(zipPath))
        return false;
    ZKTraceLog::setDeviceVersion(exportVersionText());

    QVector<ZKTrackEntry> rides;
    if (!ZKDeviceDB::listTracks(kEveryType, rides, false)) {
        closeDeviceDatabases();
        rideDatabaseUnreadable(function);
        return false;
    }
    QVector<qint64> newRides;
    QVector<int> workoutIds;
    QStringList logs;
    // A part that could not be staged (a full disk) fails the package: it would lack a ride.
    bool staged = true;
    for (const ZKTrackEntry &ride : std::as_const(rides)) {
        bool uploaded = false;
        const QString path = ZKDeviceDB::exportShareFile(kShareRide, ride.id, uploaded, 0);
        if (path.isEmpty()) {
            // A ride without its log has nothing to stage.
            staged = staged && !QFileInfo::exists(ZKTraceLog::gpsLogPath(quint32(ride.id)));
            continue;
        }
        if (!all && uploaded) {
            removeFile(path);
            continue;
        }
        if (!all)
            newRides.append(ride.id);
        const std::optional<int> workoutId = workoutIdOfRide(path);
        if (workoutId && !workoutIds.contains(*workoutId))
            workoutIds.append(*workoutId);
        addRideLogs(quint32(ride.id), logs);
    }
    // One-shot workouts stay on the device until the package holding them is written whole.
    // A ride may name a workout the device no longer holds: there is nothing of it to stage.
    for (int wid : std::as_const(workoutIds)) {
        const bool written = ZKDeviceDB::exportWorkout(
            wid, ZKDeviceDB::exportDir() + QStringLiteral("/export-%1.wrk").arg(wid), ZKDeviceDB::OneShot::Keep);
        staged = staged && (written || ZKDeviceDB::findWorkoutId(wid) < 0);
    }
    renameRidesForUpload(folder);
    if (!logs.isEmpty())
        staged = packRideLogs(logs, folder + kFlashLogs) && staged;
    if (zipPath.isEmpty())
        zipPath = OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + OrvoEnv::instance()->uploadFileName();

    if (!staged)
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "not every ride, workout or log was staged";
    const bool zipped = staged && zipFolder(zipPath, folder);
    if (zipped) {
        for (qint64 id : std::as_const(newRides))
            ZKDeviceDB::setTrackUploaded(quint32(id), int(id >> 32), true);
        removeOneShotWorkouts(workoutIds);
    } else {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "zip file failed: " << zipPath;
    }
    closeDeviceDatabases();
    return zipped;
}

QStringList OrvoKavel50::_exportTrack(const QString &folder)
{
    const char *function = "OrvoKavel50::_exportTrack";
    if (!hasRouteDatabase())
        return {};
    const StagingFolder staging(exportFolder());
    if (folder.isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "invalid path:" << folder;
        return {};
    }
    const QString target = QFileInfo(folder).absoluteFilePath();
    if (!QFileInfo(target).isDir() && !QDir().mkpath(target)) {
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "can't create foler " << target;
        return {};
    }
    QString model;
    getName(model);
    ZKTraceLog::setDeviceVersion(exportVersionText());
    ZKTraceLog::setModelName(model);

    QVector<ZKTrackEntry> rides;
    if (!ZKDeviceDB::listTracks(kEveryType, rides, false)) {
        closeDeviceDatabases();
        rideDatabaseUnreadable(function);
        return {};
    }
    for (const ZKTrackEntry &ride : std::as_const(rides)) {
        bool uploaded = false;
        ZKDeviceDB::exportShareFile(kShareRide, ride.id, uploaded, 0);
    }
    closeDeviceDatabases();
    QStringList copied;
    if (!copyDir(staging.path(), target, &copied)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "not every ride file could be written to" << target;
        setError(true);
    }
    return copied;
}

// A package that does not unpack imports nothing and answers false. Every item is tried; the
// answer is true only when each of them was imported, and a package without any item is no
// import at all.
bool OrvoKavel50::setShareData(const QString &zipPath)
{
    const char *function = "OrvoKavel50::setShareData";
    if (!hasRouteDatabase())
        return false;
    const StagingFolder staging(OrvoEnv::instance()->tmpDir() + kShareImportFolder);
    const QString &folder = staging.path();
    if (!staging.made() || !OrvoZipUtil().decompress(zipPath, folder)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "unzip failed: " << zipPath;
        return false;
    }
    renameSharedRides(folder);
    ZKTraceLog::setDeviceVersion(exportVersionText());
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    bool importedAll = true;
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        if (!makeShareOwn(path)) {
            ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "not imported, can not rewrite" << name;
            importedAll = false;
            continue;
        }
        ORVO_TRACE_DEBUG(lcOrvoFsDevice, function) << "import" << path;
        if (!ZKDeviceDB::importShareFile(path, false)) {
            ORVO_TRACE_WARNING(lcOrvoFsDevice, function)
                << "not imported, no route or workout the device takes:" << name;
            importedAll = false;
        }
    }
    closeDeviceDatabases();
    if (names.isEmpty())
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "nothing to import in" << zipPath;
    return importedAll && !names.isEmpty();
}

// The zip is written only when every dump and log was copied, and the device's "/syslog" is
// removed only once the zip holding it was written; the error flag tells whether it was. The
// zip names its files relative to the log folder.
void OrvoKavel50::exportLog(const QString &zipPath)
{
    const char *function = "OrvoKavel50::exportLog";
    QString root;
    if (!getDrive(root)) {
        setError(true);
        return;
    }
    const StagingFolder staging(OrvoEnv::instance()->tmpDir() + kLogFolder);
    const QString &folder = staging.path();
    const QString crashDump = folder + QStringLiteral("/crashdump");
    bool staged = staging.made() && QDir().mkpath(crashDump) &&
                  OrvoUtility::copyFolder(root + QStringLiteral("/DumpFiles"), crashDump, {}, nullptr);
    if (!staged)
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "dump files not all copied";
    const QString deviceLogs = root + QStringLiteral("/syslog");
    const bool hasLogs = QFileInfo(deviceLogs).isDir();
    if (staged && hasLogs) {
        const QString logs = folder + QStringLiteral("/syslog");
        staged = QDir().mkpath(logs) && OrvoUtility::copyFolder(deviceLogs, logs, {}, nullptr);
        if (!staged)
            ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "syslog not all copied, left on the device";
    }
    const bool written = staged && zipLogFolder(zipPath, folder);
    if (staged && !written)
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "log zip not written" << zipPath;
    if (written && hasLogs)
        OrvoUtility::removeFolder(deviceLogs);
    setError(!written);
}

void OrvoKavel50::removeUpdatePackage()
{
    QString root;
    if (!getDrive(root))
        return;
    const QFileInfoList staged =
        QDir(root + QLatin1Char('/'))
            .entryInfoList({kStagingPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &folder : staged)
        removeDir(folder.filePath());
}

QString OrvoKavel50::firmwareImageName(const QString &packageFolder)
{
    const QString release = packageFolder + kReleaseIni;
    if (!QFileInfo::exists(release))
        return kDefaultImage;
    const QString name = getImageMetaInfo(release).imageName;
    return name.isEmpty() ? kDefaultImage : name + QStringLiteral(".bin");
}

bool OrvoKavel50::writeUpdateOrder(const QString &root, const QString &staging, const QString &imageName)
{
    const char *function = "OrvoKavel50::_updateTotal";
    const QString folder = kOwnDriveName + staging;
    const QByteArray order = QStringLiteral("[Update.ini]\r\nVersion=02\r\n[Total]\r\nUpdate=true\r\n"
                                            "Name=%1/%2\r\nCRC=%1/%3\r\n")
                                 .arg(folder, imageName, kChecksumFile)
                                 .toUtf8();
    const QString path = root + kUpdateOrder;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "write update.ini failed";
        return false;
    }
    if (file.write(order) != order.size() || !commitSaveFile(file)) {
        // An order left from an earlier update would name a staging folder that is gone.
        removeFile(path);
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "write update.ini failed" << file.errorString();
        return false;
    }
    checkFiles({path});
    return true;
}

bool OrvoKavel50::holdsFirmware(const QString &packageFolder, QString &imageName)
{
    const char *function = "OrvoKavel50::_updateTotal";
    imageName = firmwareImageName(packageFolder);
    if (imageName.contains(QLatin1Char('/')) || imageName.contains(QLatin1Char('\\'))) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "the package names no plain image file:" << imageName;
        return false;
    }
    for (const QString &name : {imageName, kChecksumFile}) {
        if (!QFileInfo(packageFolder + QLatin1Char('/') + name).isFile()) {
            ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "the package lacks" << name;
            return false;
        }
    }
    return true;
}

bool OrvoKavel50::_updateTotal(const QString &file, const QString &)
{
    const char *function = "OrvoKavel50::_updateTotal";
    QString root;
    if (!presentDrive(root, function))
        return false;
    const QString local = OrvoEnv::instance()->tmpDir() + kImageFolder;
    removeDir(local);
    if (!QDir().mkpath(local))
        return false;
    // Checked on the computer before anything reaches the drive: an order naming an image that
    // is not there would leave the device with an update it cannot install.
    QString imageName;
    if (!OrvoZipUtil().decompress(file, local) || !holdsFirmware(local, imageName)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "firmware package refused:" << file;
        removeDir(local);
        return false;
    }
    removeUpdatePackage();
    setUpdatingFlag(true);
    const qint64 seconds = OrvoDeviceWaits::current().currentUtc().toSecsSinceEpoch();
    const QString staging = QLatin1Char('/') + kStagingPrefix + QString::number(seconds);
    bool result = OrvoUtility::makeFolderBelow(root, root + staging) && copyDir(local, root + staging);
    if (result) {
        checkFolder(root + staging);
        result = writeUpdateOrder(root, staging, imageName);
    }
    // A firmware that did not arrive whole, or that no order names, has no business on the drive.
    if (!result)
        removeDir(root + staging);
    removeDir(local);
    setUpdatingFlag(false);
    return result;
}

bool OrvoKavel50::updateLaunchsec(const QString &file)
{
    // The extraction makes its folder when it is missing: on a drive that was pulled it would
    // make the mount point anew and unpack the package onto the computer's disk.
    QString root;
    if (!presentDrive(root, "OrvoKavel50::updateLaunchsec"))
        return false;
    setUpdatingFlag(true);
    const bool unpacked = OrvoZipUtil().decompress(file, root + QLatin1Char('/'));
    setUpdatingFlag(false);
    return unpacked;
}

bool OrvoKavel50::_updateAP(const QString &file)
{
    const char *function = "OrvoKavel50::_updateAP";
    ORVO_TRACE_DEBUG(lcOrvoFsDevice, function) << "_updateAP";
    QString root;
    QString appPath;
    if (!presentDrive(root, function) || !getAppPath(appPath))
        return false;
    const QString local = OrvoEnv::instance()->tmpDir() + kApFolder;
    removeDir(local);
    if (!QDir().mkpath(local))
        return false;
    if (!OrvoZipUtil().decompress(file, local)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "kavel50 unzip to pc local failed path=" << local;
        removeDir(local);
        return false;
    }
    // The application tree is the package's "morvia" folder: without a file in it the update
    // would reset the training settings and install nothing.
    const QString source = local + QStringLiteral("/morvia");
    if (!holdsAnyFile(source)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "the package holds no application files:" << file;
        removeDir(local);
        return false;
    }
    setUpdatingFlag(true);
    if (isApVersionOlderThan(kSettingsResetBefore)) {
        for (const QString &settings : kTrainingSettings)
            removeFile(root + settings);
    }
    const bool made = OrvoUtility::makeFolderBelow(root, appPath);
    if (!made)
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "mkdir failed:" << appPath;
    QStringList copied;
    const bool copiedAll = made && copyDir(source, appPath, &copied);
    if (copiedAll) {
        ORVO_TRACE_DEBUG(lcOrvoFsDevice, function) << "update AP files=" << copied.size();
        checkFiles(copied);
        QString model;
        if (QFileInfo::exists(local + kReleaseIni) && getName(model))
            OrvoEnv::instance()->saveMinOrvoVer(model, local + kReleaseIni);
    } else {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "copy files failed from " << source << " to " << appPath;
    }
    removeDir(local);
    const bool flagCleared = setUpdatingFlag(false);
    return copiedAll && flagCleared;
}

bool OrvoKavel50::isApVersionOlderThan(const QString &version)
{
    QString ap;
    getAP(ap);
    const QVector<int> device = versionParts(ap);
    const QVector<int> reference = versionParts(version);
    for (qsizetype i = 0; i < device.size() && i < reference.size(); ++i) {
        if (device[i] != reference[i])
            return device[i] < reference[i];
    }
    return false;
}

// The first pass asks the device to format itself; the second, once it came back formatted,
// reinstalls the firmware, the LaunchSec and the application packages from folder.
bool OrvoKavel50::_restoreFactory(const QString &folder)
{
    QString appPath;
    if (!getAppPath(appPath)) {
        setError(true);
        return false;
    }
    if (!restorePhase()) {
        // Without the format request the device would never come back to finish the restore.
        if (!writeFormatFlag()) {
            setError(true);
            return false;
        }
        setRestorePhase(true);
        setStateWithMatch(getState(), kFormattingState);
        return true;
    }
    const bool reinstalled = _updateTotal(folder + kTotalPackage, QString()) &&
                             updateLaunchsec(folder + kLaunchSecPackage) && _updateAP(folder + kApPackage);
    setRestorePhase(false);
    OrvoEnv::instance()->setForceDeviceUpdate(false);
    setStateWithMatch(getState(), STATE_OUT_OF_SERVICE);
    if (!reinstalled) {
        withdrawUpdate();
        setError(true);
    }
    return reinstalled;
}

// A firmware staged by a restore that did not finish would be installed on its own at the next
// start: the staging folders and the order go.
void OrvoKavel50::withdrawUpdate()
{
    QString root;
    if (!presentDrive(root, "OrvoKavel50::withdrawUpdate"))
        return;
    removeUpdatePackage();
    removeFile(root + kUpdateOrder);
}

// Written as plain "key=value" lines, the way OrvoDeviceIniFile reads the file back: a value
// that reader would read otherwise is refused rather than written.
bool OrvoKavel50::SetGPSENGINEVersion(const QString &key, const QString &value, const QString &folder)
{
    const char *function = "OrvoKavel50::SetGPSENGINEVersion";
    // The data folder is never made here: a missing one may be a drive that went.
    if (!QFileInfo(folder + QStringLiteral("/data")).isDir()) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "no data folder in" << folder;
        return false;
    }
    if (!readsBackAsWritten(value)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "a version that would not read back:" << value;
        return false;
    }
    const QString path = folder + QStringLiteral("/data/") + kVersionIni;
    QByteArray old;
    QFile existing(path);
    if (existing.exists()) {
        if (existing.size() > OrvoDeviceIniFile::kMaxFileSize || !existing.open(QIODevice::ReadOnly)) {
            ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "can not read" << path;
            return false;
        }
        old = existing.read(OrvoDeviceIniFile::kMaxFileSize);
    }
    const QByteArray text = versionFileText(old, key, value);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && commitSaveFile(file))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoFsDevice, function) << "not written" << path << file.errorString();
    return false;
}

QString OrvoKavel50::getVolumeLabel(const QString &drive)
{
    return OrvoPlatform().getVolumeLabel(drive).trimmed();
}

QString OrvoKavel50::makeGPSENGINETempFiles(const QString &package, const QStringList &excluded)
{
    const QString local = OrvoEnv::instance()->tmpDir() + kComponentFolder;
    removeDir(local);
    QDir().mkpath(local);
    if (!OrvoZipUtil().decompress(package, local)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::makeGPSENGINETempFiles")
            << "kavel50 unzip to pc local failed path=" << local;
        return QString();
    }
    for (const QString &name : excluded)
        removeFile(local + QLatin1Char('/') + name);
    // A package of nothing but the supplier's excluded files would install nothing and then be
    // recorded as the installed version.
    if (!holdsAnyFile(local)) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel50::makeGPSENGINETempFiles")
            << "the package holds no component files:" << package;
        return QString();
    }
    return local;
}

bool OrvoKavel50::_updateComponent(const OrvoComponentRequest &request)
{
    if (request.component == kEngineComponent)
        return updateEngines(request);
    if (request.component == kMapComponent)
        return updateMapComponent(request);
    return false;
}

QVector<OrvoKavel50::ComponentDrive> OrvoKavel50::componentDrives(const QString &model)
{
    QString root;
    getDrive(root);
    const QStringList drives = OrvoDeviceVersionUtil::GetDriveDisks(model, root);
    QVector<ComponentDrive> found;
    found.reserve(drives.size());
    for (const QString &drive : drives) {
        const bool own = !root.isEmpty() && drive == root;
        if (own && model != kKavel60)
            continue;
        found.append({own, drive, own ? drive + kOwnComponentFolder : drive});
    }
    return found;
}

// A drive whose data folder is missing (a card without the engine), or whose engine is newer
// or of another shape, is left alone and counts as done.
OrvoKavel50::EngineStep OrvoKavel50::updateEngine(const ComponentDrive &drive, const QString &version,
                                                  const QString &package, const QStringList &excluded, bool &result)
{
    QString root;
    if (drive.ownDrive && !presentDrive(root, "OrvoKavel50::_updateComponent"))
        return EngineStep::Failed;
    const QString installed = OrvoDeviceVersionUtil::GetGPSENGINEVersion(kEngineVersionKey, drive.folder);
    const QString data = drive.folder + QStringLiteral("/data");
    const bool forced = drive.ownDrive && !QFileInfo::exists(data + QLatin1Char('/') + kVersionIni);
    if (!forced) {
        if (!drive.ownDrive && !QFileInfo(data).isDir()) {
            result = true;
            return EngineStep::Skipped;
        }
        if (installed == version) {
            result = true;
            return EngineStep::Current;
        }
        if (OrvoDeviceVersionUtil::lowestVersion({installed, version}) != installed) {
            result = true;
            return EngineStep::Skipped;
        }
    }
    const QString local = makeGPSENGINETempFiles(package, excluded);
    QStringList copied;
    if (local.isEmpty() || !OrvoUtility::makeFolderBelow(drive.root, data) || !copyDir(local, data, &copied))
        return EngineStep::Failed;
    checkFiles(copied);
    // An engine whose version is not written is not installed: the next drive must not hide it.
    if (!SetGPSENGINEVersion(kEngineVersionKey, version, drive.folder))
        return EngineStep::Failed;
    result = true;
    return EngineStep::Installed;
}

bool OrvoKavel50::updateEngines(const OrvoComponentRequest &request)
{
    if (!OrvoDeviceVersionUtil::isDriveModel(request.model))
        return false;
    bool result = false;
    for (const ComponentDrive &drive : componentDrives(request.model)) {
        if (updateEngine(drive, request.extra, request.file, kEngineExcluded, result) == EngineStep::Failed)
            return false;
    }
    return result;
}

// The request's version is the engine version and the map-data version joined by "^".
bool OrvoKavel50::updateMapComponent(const OrvoComponentRequest &request)
{
    const char *function = "OrvoKavel50::_updateComponent";
    const QStringList versions = request.extra.split(QLatin1Char('^'));
    if (request.model != kKavel60)
        return false;
    if (versions.size() < 2) {
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "no map-data version in" << request.extra;
        return false;
    }
    const QString &mapVersion = versions.at(1);
    bool result = false;
    for (const ComponentDrive &drive : componentDrives(request.model)) {
        const EngineStep step = updateEngine(drive, versions.at(0), request.file, kMapEngineExcluded, result);
        if (step == EngineStep::Failed)
            return false;
        if (step == EngineStep::Skipped)
            continue;
        if (drive.ownDrive) {
            result = true;
            continue;
        }
        const QString installed = OrvoDeviceVersionUtil::GetGPSENGINEVersion(kMapVersionKey, drive.folder);
        if (installed == mapVersion) {
            result = true;
            continue;
        }
        if (OrvoDeviceVersionUtil::lowestVersion({installed, mapVersion}) != installed)
            continue;
        const QString local = makeGPSENGINETempFiles(request.file, kMapDataExcluded);
        const QString target = drive.folder + QStringLiteral("/data/mapengine");
        QStringList copied;
        if (local.isEmpty() || !OrvoUtility::makeFolderBelow(drive.root, target) || !copyDir(local, target, &copied))
            return false;
        checkFiles(copied);
        if (!SetGPSENGINEVersion(kMapVersionKey, mapVersion, drive.folder))
            return false;
        result = true;
    }
    return result;
}

// The new files arrive beside the installed ones, and the other versions go only once all of
// them arrived unchanged: a copy cut short (a full card, a card pulled) leaves the installed
// version whole and takes back what it brought.
bool OrvoKavel50::installCountry(const QString &source, const QString &card)
{
    const QString countries = card + kCountriesFolder;
    const QStringList files = QDir(source).entryList(QDir::Files, QDir::Name);
    QStringList present;
    for (const QString &name : files) {
        if (QFileInfo::exists(countries + QLatin1Char('/') + name))
            present.append(name);
    }
    bool unchanged = OrvoUtility::makeFolderBelow(card, countries) && copyDirNoList(source, countries);
    for (const QString &name : files) {
        const QByteArray copied = md5Of(countries + QLatin1Char('/') + name);
        unchanged = unchanged && !copied.isEmpty() && copied == md5Of(source + QLatin1Char('/') + name);
    }
    if (!unchanged) {
        for (const QString &name : files) {
            if (!present.contains(name))
                removeFile(countries + QLatin1Char('/') + name);
        }
        return false;
    }
    bool replaced = true;
    for (const QString &name : files)
        replaced = removeOtherVersions(countries, name, files) && replaced;
    return replaced;
}

// request: the folder of the map packages, "^", the model. Every country must arrive unchanged
// before the new map description replaces the installed one.
bool OrvoKavel50::_updateMapData(const QString &request)
{
    const char *function = "OrvoKavel50::_updateMapData";
    const qsizetype split = request.lastIndexOf(QLatin1Char('^'));
    if (split < 0)
        return false;
    const QString source = request.left(split);
    const QString model = request.mid(split + 1);
    QString root;
    getDrive(root);
    QString mapDisk;
    for (const QString &drive : OrvoDeviceVersionUtil::GetDriveDisks(model, root)) {
        if (getVolumeLabel(drive).toLower() == kMapCardLabel)
            mapDisk = drive;
    }
    const QFileInfoList items =
        QDir(source).entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot, QDir::Name);
    QStringList names;
    names.reserve(items.size());
    for (const QFileInfo &item : items)
        names.append(item.fileName());
    ORVO_TRACE_DEBUG(lcOrvoFsDevice, function) << "Map resources are:" << names;
    if (mapDisk.isEmpty() || !QFileInfo(mapDisk + QStringLiteral("/data")).isDir()) {
        ORVO_TRACE_WARNING(lcOrvoFsDevice, function) << "no map card";
        return false;
    }
    bool result = false;
    bool allInstalled = true;
    for (const QFileInfo &item : items) {
        if (!item.isDir())
            continue;
        allInstalled = installCountry(item.filePath(), mapDisk) && allInstalled;
        result = allInstalled;
    }
    if (!result)
        return false;
    const QString mapsInfo = mapDisk + kMapsInfoFolder;
    const QString fresh = mapsInfo + QStringLiteral("/temp.xml");
    const QString current = mapsInfo + QStringLiteral("/currentMap.xml");
    if (!QFileInfo::exists(fresh))
        return true;
    removeFile(current);
    return QFile::rename(fresh, current);
}
