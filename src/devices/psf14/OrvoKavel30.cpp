#include "devices/psf14/OrvoKavel30.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoLanguageImage.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/ScsiCommand.h"
#include "devices/psf14/OrvoFlashHeaderRecord.h"
#include "devices/psf14/OrvoKavel30IapUpdate.h"
#include "devices/psf14/OrvoKavel30Items.h"
#include "devices/psf14/OrvoKavel30Logging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFWorkoutFrame.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <numeric>

namespace {

// Layout values this family reads.
constexpr int kHeaderAreaWord = 0;
constexpr int kDataStartWord = 42;
constexpr int kRegionStartWords[OrvoFlashHeaderRecord::kRegions] = {3, 7, 11, 14, 17, 21, 25, 31};
constexpr int kRegionSizeWords[OrvoFlashHeaderRecord::kRegions] = {5, 9, 13, 16, 19, 23, 28, 33};
// Regions blanked before the container writes itself, and the empty ones blanked after, in
// the device's order.
constexpr int kRewrittenRegions[] = {1, 2, 5, 3, 7};
constexpr int kEmptiedRegions[] = {4, 8, 7, 6};

// The part of the flash after the profile and the settings sectors that a content write blanks.
constexpr qsizetype kTailStart = 0xFA000;
// A Kavel20 or Pulmor35 whose profile sector holds 0 here still shows its first-use page.
constexpr qsizetype kFirstUsePageOffset = 1194;
constexpr int kKavel20FirstUseVersion = 8;
constexpr int kPulmor35FirstUseVersion = 3;

const QString kPulmor30 = QStringLiteral("Pulmor30");
const QString kKavel35 = QStringLiteral("Kavel35");
const QString kKavel20 = QStringLiteral("Kavel20");
const QString kPulmor35 = QStringLiteral("Pulmor35");
const QString kSpecifiedId = QStringLiteral("1003");
const QString kBitfontSetting = QStringLiteral("bitfont");
const QString kSpecifyExtFlashSetting = QStringLiteral("specifyextflash");
const QString kReadTmpName = QStringLiteral("/flash.tmp");
const QString kWriteTmpName = QStringLiteral("/Kavel30flash.tmp");
const QString kBirthdayFormat = QStringLiteral("yyyy/MM/dd");
const QString kSaveLanguageImageSetting = QStringLiteral("savelangeageimage");
const QString kDefaultLanguage = QStringLiteral("eng");
const QString kReleaseIniName = QStringLiteral("/release.ini");
const QString kExDataKey = QStringLiteral("ExData");
const QString kShareFolderName = QStringLiteral("/kavel30tmp");
const QString kFlashDumpName = QStringLiteral("flash.dat");
const QString kGpxSuffix = QStringLiteral("gpx");
const QString kKrmSuffix = QStringLiteral("krm");
const QString kWrkSuffix = QStringLiteral("wrk");

bool writeBytes(const QString &path, const QByteArray &bytes, const char *function)
{
    QString error;
    if (saveFileBytes(path, bytes, error))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "can not write" << path << error;
    return false;
}

bool settingOn(const QString &value)
{
    return value != QLatin1String("0");
}

void fill(QByteArray &image, qint64 start, qint64 size)
{
    if (start < 0 || size < 0 || start > image.size() || size > image.size() - start)
        return;
    std::fill_n(image.begin() + start, size, '\xFF');
}

void putU32(QByteArray &image, qsizetype offset, quint32 value)
{
    OrvoByteWriter writer = OrvoByteWriter::patch(image, offset);
    writer.writeU32Le(value);
}

QVector<int> allIndices(qsizetype count)
{
    QVector<int> indices(count);
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

// The indices from first up to end.
QVector<int> indicesFrom(qsizetype first, qsizetype end)
{
    QVector<int> indices(std::max<qsizetype>(end - first, 0));
    std::iota(indices.begin(), indices.end(), int(first));
    return indices;
}

// The listed files of the folder whose suffix is before take the suffix after; the names
// follow the renames that succeeded.
void renameListed(const QDir &folder, QStringList &names, const QString &before, const QString &after)
{
    for (QString &name : names) {
        const QFileInfo info(name);
        if (info.suffix() != before)
            continue;
        const QString renamed = info.completeBaseName() + QLatin1Char('.') + after;
        QFile::remove(folder.filePath(renamed));
        if (QFile::rename(folder.filePath(name), folder.filePath(renamed)))
            name = renamed;
    }
}

QDate localToday()
{
    return OrvoDeviceWaits::current().currentLocal().date();
}

} // namespace

OrvoKavel30::OrvoKavel30()
    : m_headerRecord(OrvoFlashHeaderRecord::kSize, '\0')
{
    setDeviceLanguage(kDefaultLanguage);
}

OrvoKavel30::~OrvoKavel30() = default;

OrvoSCSIDeviceService *OrvoKavel30::scsiService()
{
    return dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
}

bool OrvoKavel30::initial()
{
    QByteArray sector;
    if (!readProfileSector(sector)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::initial") << " read profile from flash failed";
        return false;
    }
    return true;
}

bool OrvoKavel30::getUUID(QString &uuid)
{
    if (isExtFlashSpecified())
        m_deviceId = kSpecifiedId;
    if (m_deviceId.isEmpty()) {
        if (OrvoDeviceService *service = deviceService())
            service->readDeviceId(m_deviceId);
    }
    uuid = m_deviceId;
    return !uuid.isEmpty();
}

// Called on the GUI thread while an action may run: it reads into its own record and its own
// layout, never into the ones the worker's write-back uses.
bool OrvoKavel30::getInternalStorage(qint64 &total, qint64 &free)
{
    const OrvoPSF::Layout layout = flashLayout();
    QByteArray record;
    loadFlashHeader(record, OrvoFlashHeaderRecord::kSize);
    quint64 capacity = 0;
    for (int word : kRegionSizeWords)
        capacity += quint64(std::max(layout[size_t(word)], 0));
    total = qint64(capacity);
    // Erased or damaged counts cannot make more room than the regions hold.
    free = qint64(std::min(OrvoFlashHeaderRecord::freeSum(record), capacity));
    return true;
}

bool OrvoKavel30::getTotal(QString &version)
{
    OrvoDeviceService *service = deviceService();
    version = service ? service->secondText() : QString();
    return service != nullptr;
}

bool OrvoKavel30::getLaunchsec(QString &version)
{
    OrvoDeviceService *service = deviceService();
    version = service ? service->firstText() : QString();
    return true;
}

bool OrvoKavel30::getAP(QString &version)
{
    version.clear();
    return false;
}

bool OrvoKavel30::getName(QString &model)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    model = info ? info->modelName : QString();
    return info != nullptr;
}

// The exports are written into the emptied temporary folder; a file that could not be made is
// left out of the package rather than failing it, but a package that cannot be zipped fails.
bool OrvoKavel30::prepareUploadData(QString &path, bool dontCheckUploaded)
{
    const char *function = "OrvoKavel30::prepareUploadData";
    ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << " start prepare";
    const QByteArray image = flashImage();
    OrvoEnv *env = OrvoEnv::instance();
    env->clearTmpDir();
    const QDir folder(env->tmpDir());
    QStringList names;
    if (m_container) {
        m_container->setFlag2(dontCheckUploaded);
        ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << "to XML";
        names = m_container->toXML(folder.path(), exportDevice());
        ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << "to XML done " << names.size();
    }
    if (writeBytes(folder.filePath(kFlashDumpName), image, function))
        names << kFlashDumpName;
    const QString logName = env->logFileName();
    QFile::remove(folder.filePath(logName));
    if (!logName.isEmpty() && QFile::copy(env->logFilePath(), folder.filePath(logName)))
        names << logName;
    bool made = false;
    if (!names.isEmpty()) {
        if (!path.isEmpty())
            renameListed(folder, names, kGpxSuffix, kKrmSuffix);
        else
            path = folder.filePath(env->uploadFileName());
        made = OrvoZipUtil().compress(path, folder.path(), names);
        if (!made)
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "the upload package was not made:" << path;
    }
    setError(!made);
    ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << "end";
    return made;
}

QStringList OrvoKavel30::_exportTrack(const QString &folder)
{
    const QDir target(QDir(folder).absolutePath());
    QStringList written;
    if (!QDir().mkpath(target.path())) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::_exportTrack") << "cannot make" << target.path();
        return written;
    }
    flashImage();
    if (!m_container)
        return written;
    m_container->setFlag2(1);
    const QStringList names = m_container->trackToXML(target.path(), exportDevice());
    written.reserve(names.size());
    for (const QString &name : names)
        written << target.filePath(name);
    return written;
}

void OrvoKavel30::getRoutes(QVector<OrvoClientData> &items)
{
    flashImage();
    if (m_container)
        OrvoKavel30Items::routes(*m_container, items);
}

void OrvoKavel30::getTracks(QVector<OrvoClientData> &items)
{
    flashImage();
    if (m_container)
        OrvoKavel30Items::rides(*m_container, items);
}

void OrvoKavel30::getWorkouts(QVector<OrvoClientData> &items)
{
    flashImage();
    if (m_container)
        OrvoKavel30Items::workouts(*m_container, items);
}

bool OrvoKavel30::deletePOIs(const QVector<int> &ids)
{
    flashImage();
    if (!m_container)
        return false;
    setContentChanged();
    return m_container->removePOIs(ids);
}

// The ride logs' regions are emptied only when no ride stays on the device.
bool OrvoKavel30::deleteRoutes(const QVector<int> &ids)
{
    flashImage();
    if (!m_container)
        return false;
    setContentChanged();
    if (remainingRides(ids) == 0) {
        resetRegion(8);
        resetRegion(4);
    }
    return m_container->removeRoutes(ids);
}

// The page's deletion answers at once, so it answers only once the device holds the result.
bool OrvoKavel30::deleteTracks(const QVector<int> &ids)
{
    if (ids.isEmpty())
        return false;
    const bool deleted = deleteRoutes(ids) && _finalize();
    setError(!deleted);
    return deleted;
}

bool OrvoKavel30::deleteWorkouts(const QVector<int> &ids)
{
    flashImage();
    if (!m_container)
        return false;
    setContentChanged();
    const bool removed = m_container->removeWorkouts(ids);
    const OrvoPSFWorkoutFrame *frame = m_container->workoutFrame();
    if (!frame || frame->workouts().isEmpty()) {
        resetRegion(2);
        resetRegion(6);
    }
    return removed;
}

// Every record goes by its own index: the rides, the POIs and the workouts each by the whole
// of their list, so no ride is left behind a planned route that took its index.
bool OrvoKavel30::deleteAll()
{
    flashImage();
    if (!m_container)
        return false;
    const OrvoPSFRouteFrame *routes = m_container->routeFrame();
    const OrvoPSFPOIFrame *pois = m_container->poiFrame();
    const OrvoPSFWorkoutFrame *workouts = m_container->workoutFrame();
    deleteRoutes(allIndices(routes ? routes->routes().size() : 0));
    deletePOIs(allIndices(pois ? pois->pois().size() : 0));
    deleteWorkouts(allIndices(workouts ? workouts->workouts().size() : 0));
    resetRegion(8);
    resetRegion(4);
    setContentChanged();
    return _finalize();
}

bool OrvoKavel30::setShareData(const QString &zipFile)
{
    const char *function = "OrvoKavel30::setShareData";
    flashImage();
    if (!m_container)
        return false;
    const QDir folder(OrvoEnv::instance()->tmpDir() + kShareFolderName);
    OrvoUtility::removeFolder(folder.path());
    if (!QDir().mkpath(folder.path()) || !OrvoZipUtil().decompress(zipFile, folder.path())) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "cannot unpack" << zipFile << "into" << folder.path();
        setError(true);
        return false;
    }
    bool whole = true;
    int imported = 0;
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        const ShareImport result = importFitting(folder.filePath(name));
        whole = whole && result != ShareImport::Failed;
        imported += result == ShareImport::Added ? 1 : 0;
    }
    if (imported == 0)
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "no file of" << zipFile << "was imported";
    else if (!whole)
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "what does not fit the device is left out of" << zipFile;
    const bool done = whole && imported > 0;
    setError(!done);
    return done;
}

// What the file adds is taken back when the device could not hold it with everything else, so
// the write-back never has to leave anything out.
OrvoKavel30::ShareImport OrvoKavel30::importFitting(const QString &path)
{
    const OrvoPSFRouteFrame *routeFrame = m_container->routeFrame();
    const OrvoPSFPOIFrame *poiFrame = m_container->poiFrame();
    const OrvoPSFWorkoutFrame *workoutFrame = m_container->workoutFrame();
    const qsizetype routes = routeFrame ? routeFrame->routes().size() : 0;
    const qsizetype pois = poiFrame ? poiFrame->pois().size() : 0;
    const qsizetype workouts = workoutFrame ? workoutFrame->workouts().size() : 0;
    const QString suffix = QFileInfo(path).suffix();
    const bool importable = suffix.compare(kWrkSuffix, Qt::CaseInsensitive) == 0 ||
                            suffix.compare(kGpxSuffix, Qt::CaseInsensitive) == 0 ||
                            suffix.compare(kKrmSuffix, Qt::CaseInsensitive) == 0;
    const bool added = importShareFile(path);
    if (added && m_container->fitsDevice()) {
        setContentChanged();
        return ShareImport::Added;
    }
    m_container->removeRoutes(indicesFrom(routes, routeFrame ? routeFrame->routes().size() : 0));
    m_container->removePOIs(indicesFrom(pois, poiFrame ? poiFrame->pois().size() : 0));
    m_container->removeWorkouts(indicesFrom(workouts, workoutFrame ? workoutFrame->workouts().size() : 0));
    if (added)
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::setShareData") << path << "does not fit the device";
    return importable ? ShareImport::Failed : ShareImport::Skipped;
}

// A ".krm" file is a GPX file under the name the web application gives shared routes.
bool OrvoKavel30::importShareFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(kWrkSuffix, Qt::CaseInsensitive) == 0)
        return importWorkoutFile(path);
    if (suffix.compare(kGpxSuffix, Qt::CaseInsensitive) == 0 || suffix.compare(kKrmSuffix, Qt::CaseInsensitive) == 0)
        return importGpxFile(path);
    ORVO_TRACE_DEBUG(lcOrvoKavel30, "OrvoKavel30::setShareData") << "not imported:" << path;
    return false;
}

bool OrvoKavel30::importGpxFile(const QString &path)
{
    return m_container && m_container->importGpx(path);
}

bool OrvoKavel30::importWorkoutFile(const QString &path)
{
    return m_container && m_container->importXml(path);
}

bool OrvoKavel30::getShareDataList(const OrvoClientShareDataList &request)
{
    setShareDataListRequest(request);
    const bool listed = _getShareDataList();
    setError(!listed);
    emit getShareDataListDone(request);
    return listed;
}

bool OrvoKavel30::unpackLanguagePackage(const QString &package, QStringList &list)
{
    return OrvoLanguageImage::unpackPackage(package, list);
}

// A read that failed leaves no cache: its bytes did not come from the device.
bool OrvoKavel30::getLanguageOnDevice(QStringList &languages)
{
    if (m_languageImage.isEmpty()) {
        m_languageImage.reserve(kLanguageAreaSize);
        if (!readFlash(m_languageImage, kLanguageReadArea, kLanguageAreaSize, kLanguageBlockSize, 0)) {
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::getLanguageOnDevice") << "the language area was not read";
            m_languageImage.clear();
            return false;
        }
    }
    return OrvoLanguageImage::listLanguages(m_languageImage.left(kLanguageAreaSize), languages);
}

bool OrvoKavel30::setDefLanguage(const QString &language, int)
{
    return setDefLanguage(QStringList{language});
}

// An image longer than the area is refused: cut, it would end inside a language file.
bool OrvoKavel30::setDefLanguage(const QStringList &codes)
{
    m_languageImage.clear();
    OrvoLanguageImage::Built built;
    if (!OrvoLanguageImage::build(OrvoLanguageImage::folder(), codes, built))
        return false;
    QByteArray image = built.image;
    if (image.size() > kLanguageAreaSize) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::setDefLanguage")
            << "a language image of" << image.size() << "bytes does not fit the area of" << kLanguageAreaSize;
        return false;
    }
    image.append(kLanguageAreaSize - image.size(), '\xFF');
    if (isSaveLanguageImage())
        return saveLanguageImage(image);
    return writeLanguageImage(image, built.basePath);
}

bool OrvoKavel30::saveLanguageImage(const QByteArray &image)
{
    const QString path = OrvoSaveFileChooser::current().chooseSaveFile(
        QStringLiteral("Save Quilma file..."), QStringLiteral("Quilma.bin"), QStringLiteral("*.bin"));
    return !path.isEmpty() && writeBytes(path, image, "OrvoKavel30::saveLanguageImage");
}

bool OrvoKavel30::writeLanguageImage(const QByteArray &image, const QString &basePath)
{
    for (int attempt = 0; attempt < kLanguageWriteAttempts; ++attempt) {
        if (!writeImageFile(image, kLanguageWriteArea, kLanguageBlockSize, image.size())) {
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::setDefLanguage")
                << "write quilma image failed " << basePath << " retry " << attempt;
            continue;
        }
        QByteArray back;
        back.reserve(image.size());
        if (readFlash(back, kLanguageReadArea, int(image.size()), kLanguageBlockSize, 0) &&
            back.left(image.size()) == image)
            return true;
    }
    return false;
}

bool OrvoKavel30::updateLaunchsec(const QString &file)
{
    return OrvoKavel30IapUpdate(*this, OrvoKavel30IapUpdate::kKavel30).run(file);
}

// A package that does not unpack whole could drop a language from the device: nothing is sent.
bool OrvoKavel30::_updateTotal(const QString &file, const QString &)
{
    QStringList names;
    if (!unpackLanguagePackage(file, names)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::_updateTotal") << file << "did not unpack whole";
        setError(true);
        return false;
    }
    QStringList codes;
    getLanguageOnDevice(codes);
    if (codes.isEmpty())
        codes = QStringList{deviceLanguage()};
    const bool result = setDefLanguage(codes);
    const QString release = OrvoLanguageImage::folder() + kReleaseIniName;
    QString model;
    if (result && QFile::exists(release) && getName(model))
        OrvoEnv::instance()->saveMinOrvoVer(model, release);
    return result;
}

bool OrvoKavel30::extendedDataWanted(const QString &folder)
{
    const QString release = folder + kReleaseIniName;
    if (!QFile::exists(release))
        return true;
    const QSettings ini(release, QSettings::IniFormat);
    return ini.value(kExDataKey, QStringLiteral("yes")).toString() != QLatin1String("no");
}

// A failed erase or external write fails the restore: the device would otherwise be reported
// restored while its flash holds nothing or half an image.
bool OrvoKavel30::_restoreFactory(const QString &folder)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    const QString name = info ? info->matchString : QString();
    const bool extended = extendedDataWanted(folder);
    if (name.isEmpty() || !writeInternalFlash(folder, name, kLanguageWriteArea, kLanguageBlockSize)) {
        setError(true);
        return false;
    }
    const bool erased = eraseExtFlash();
    dropCachedImage();
    if (!erased) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::_restoreFactory")
            << "fail to erase external flash for " << name;
        return false;
    }
    return !extended || writeExternalFlash(folder, name, kImageWriteArea, kBlockSize);
}

OrvoPSFExportDevice OrvoKavel30::exportDevice()
{
    OrvoPSFExportDevice device;
    getName(device.modelName);
    getTotal(device.firmwareVersion);
    device.classFlag2 = classFlag2();
    return device;
}

void OrvoKavel30::resetRegion(int r)
{
    const quint32 start = quint32(m_layout[size_t(kRegionStartWords[r - 1])]);
    const quint32 size = quint32(m_layout[size_t(kRegionSizeWords[r - 1])]);
    OrvoFlashHeaderRecord::setRegion(m_headerRecord, r, {size, start, start});
}

// Repeated and out-of-range ids delete nothing, so they must not count as deleted rides.
int OrvoKavel30::remainingRides(const QVector<int> &ids) const
{
    const OrvoPSFRouteFrame *frame = m_container->routeFrame();
    if (!frame)
        return 0;
    const QSet<int> deleted(ids.cbegin(), ids.cend());
    int left = 0;
    for (qsizetype i = 0; i < frame->routes().size(); ++i) {
        const OrvoPSFRoute *route = frame->routes().at(i).data();
        if (route && route->isTrack() && !deleted.contains(int(i)))
            ++left;
    }
    return left;
}

// Without an image there is nothing the edited sector could be written into: a profile flag
// set then would make the next write-back send an empty image after the erase.
bool OrvoKavel30::saveProfile(const QMap<QString, QString> &values)
{
    if (flashImage().size() != qsizetype(kFlashSize)) {
        ORVO_TRACE_WARNING(lcOrvoKavel30, "OrvoKavel30::saveProfile") << "no flash image: the profile is not saved";
        return false;
    }
    if (!m_profile && !loadProfile())
        return false;
    // The sector's record has a place for every value: one the caller did not name keeps what
    // the device holds instead of going out as 0.
    QMap<QString, QString> merged = m_profile->values();
    merged.insert(values);
    m_profile->setValues(merged);
    if (!m_profile->serialize())
        return false;
    setProfileChanged();
    return true;
}

int OrvoKavel30::storeState()
{
    if (!m_container)
        return 3;
    const bool pois = m_container->trimPOIs();
    const bool routes = m_container->dropExcessRoutes();
    const bool workouts = m_container->dropExcessWorkouts();
    return pois || routes || workouts ? 2 : 1;
}

void OrvoKavel30::formatDevice()
{
    eraseExtFlash();
    dropCachedImage();
}

// Whatever the program held of the flash, the profile and the language area is older than the
// device after an erase: the next read comes from the device, and edits made before are gone
// with the content they were made to.
void OrvoKavel30::dropCachedImage()
{
    clearFlags();
    m_container.reset();
    m_image.clear();
    m_profile.reset();
    m_languageImage.clear();
}

bool OrvoKavel30::prepareUploadProfile(const QString &file)
{
    if (!loadProfile())
        return false;
    OrvoProfileData xml(file.toUtf8(), OrvoProfileData::XmlFile);
    xml.setValues(m_profile->values());
    return xml.serialize();
}

void OrvoKavel30::saveExtFlashToFile(const QString &path)
{
    const QByteArray image = flashImage();
    if (image.isEmpty()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::saveExtFlashToFile") << "no flash image to save";
        return;
    }
    writeBytes(path, image, "OrvoKavel30::saveExtFlashToFile");
}

bool OrvoKavel30::_readData()
{
    readPSF();
    return m_container != nullptr;
}

bool OrvoKavel30::readProfileSector(QByteArray &sector)
{
    sector.clear();
    return readFlash(sector, kImageReadArea, kProfileSectorSize, kBlockSize, kProfileBlock);
}

bool OrvoKavel30::isBitfontEnabled()
{
    return settingOn(getDeviceSetting(kBitfontSetting, QStringLiteral("0")));
}

bool OrvoKavel30::isSaveLanguageImage()
{
    return settingOn(getDeviceSetting(kSaveLanguageImageSetting, QStringLiteral("0")));
}

bool OrvoKavel30::isExtFlashSpecified()
{
    return settingOn(getDeviceSetting(kSpecifyExtFlashSetting, QStringLiteral("0")));
}

int OrvoKavel30::profileReaderType(const QString &model, const QByteArray &sector)
{
    if (model == kPulmor30)
        return OrvoProfileData::PsfObsoletePulmor30;
    if (model == kKavel35)
        return OrvoProfileData::PsfObsolete;
    OrvoByteReader reader(sector, 2);
    const quint8 major = reader.readU8();
    const quint8 minor = reader.readU8();
    const quint8 patch = reader.readU8();
    const bool formatOne = reader.ok() && major == 1 && minor == 0 && patch <= 2;
    return formatOne ? OrvoProfileData::Psf_1_0_0 : OrvoProfileData::PsfObsolete;
}

// An edited profile that is not written yet stays: reading the sector again would drop the
// edit before the write-back sends it.
bool OrvoKavel30::loadProfile()
{
    if (m_profileChanged && m_profile)
        return true;
    m_profile.reset();
    QByteArray sector;
    if (!readProfileSector(sector)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::loadProfile") << " read profile from flash failed";
        return false;
    }
    QString model;
    getName(model);
    auto profile = std::make_unique<OrvoProfileData>(sector, profileReaderType(model, sector));
    profile->setTodayFunction(localToday);
    if (!profile->parse())
        return false;
    m_profile = std::move(profile);
    return true;
}

QByteArray OrvoKavel30::flashImage()
{
    if (!m_image.isEmpty())
        return m_image;
    initFlashLayout();
    if (!m_container)
        readPSF();
    setError(false);
    setErrorCode(0);
    return m_image;
}

void OrvoKavel30::moveWorkData(QThread *target)
{
    if (m_container)
        m_container->moveToThread(target);
}

OrvoPSF::Layout OrvoKavel30::flashLayout() const
{
    OrvoPSF::Layout layout{};
    const std::pair<int, qint32> values[] = {
        {0, 0x6000},   {1, 0x7000},   {2, 0x6154},   {3, 0x6170},   {4, 0x6D00},   {5, 0xB90},    {6, 0x6D00},
        {7, 0x6D10},   {8, 0x7F78},   {9, 0x1268},   {10, 0x7F78},  {11, 0x8000},  {12, 0x101CC}, {13, 0x81CC},
        {14, 0x11000}, {15, 0x21000}, {16, 0x10000}, {17, 0x21000}, {18, 0x23000}, {19, 0x2000},  {20, 0x23000},
        {21, 0x23010}, {22, 0x2A000}, {23, 0x6FF0},  {24, 0x2A000}, {25, 0x2A024}, {26, 0xA8000}, {28, 0x7DFDC},
        {30, 0xA8000}, {31, 0xA8018}, {32, 0xF5000}, {33, 0x4CFE8}, {38, 0xF2000}, {39, 0xF2018}, {40, 0xF8000},
        {41, 0x5FE8},  {42, 0x6000},
    };
    for (const auto &[word, value] : values)
        layout[size_t(word)] = value;
    return layout;
}

void OrvoKavel30::initFlashLayout()
{
    m_layout = flashLayout();
}

// The image goes through a file in the temporary folder and is taken from what the file
// holds, so a dump of the last read is there to look at; the file must give back every byte.
bool OrvoKavel30::roundTripThroughFile(const QByteArray &read)
{
    const QString path = OrvoEnv::instance()->tmpDir() + kReadTmpName;
    if (!writeBytes(path, read, "OrvoKavel30::readPSF"))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_image = file.readAll();
    if (m_image.size() != read.size()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::readPSF")
            << path << "gave back" << m_image.size() << "of" << read.size() << "bytes";
        m_image.clear();
        return false;
    }
    return true;
}

bool OrvoKavel30::inFirstUsePage()
{
    QString model;
    getName(model);
    QString version;
    getTotal(version);
    bool number = false;
    const int release = version.mid(1).toInt(&number, 10);
    const bool showsPage = number && ((model == kKavel20 && release >= kKavel20FirstUseVersion) ||
                                      (model == kPulmor35 && release >= kPulmor35FirstUseVersion));
    if (!showsPage)
        return false;
    OrvoByteReader reader(m_image, kProfileSectorAddress + kFirstUsePageOffset);
    const quint8 page = reader.readU8();
    return reader.ok() && page == 0;
}

int OrvoKavel30::userSex(const QString &value)
{
    return value == QLatin1String("1") || value == QLatin1String("Male") ? 1 : 0;
}

int OrvoKavel30::userAge(const QString &birthday, const QDate &today)
{
    const QDate born = QDate::fromString(birthday, kBirthdayFormat);
    if (!born.isValid())
        return 0;
    int age = today.year() - born.year() - 1;
    // QDate(year, 2, 29) is invalid in other years: such a birthday counts from 1 March.
    QDate thisYear(today.year(), born.month(), born.day());
    if (!thisYear.isValid())
        thisYear = QDate(today.year(), 3, 1);
    if (today >= thisYear)
        ++age;
    return age;
}

void OrvoKavel30::fillUserValues()
{
    m_container->setUserHeight(m_profile->value(OrvoProfileKeys::kHeightMetric).toFloat());
    m_container->setUserWeight(m_profile->value(OrvoProfileKeys::kWeightMetric).toFloat());
    m_container->setUserMaxHeartRate(m_profile->value(OrvoProfileKeys::kMhr).toInt());
    m_container->setUserMlss(m_profile->value(OrvoProfileKeys::kMlss).toInt());
    m_container->setUserGender(userSex(m_profile->value(OrvoProfileKeys::kSex)));
    m_container->setUserAge(userAge(m_profile->value(OrvoProfileKeys::kBirthday), localToday()));
}

bool OrvoKavel30::readPSF()
{
    const char *function = "OrvoKavel30::readPSF";
    initFlashLayout();
    m_container.reset();
    m_image.clear();
    ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << "start read psf";
    QByteArray read;
    read.reserve(kFlashSize);
    if (!readFlash(read, kImageReadArea, kFlashSize, kBlockSize, 0)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "failed read flash";
        return false;
    }
    ORVO_TRACE_DEBUG(lcOrvoKavel30, function) << "read psf done";
    if (!roundTripThroughFile(read))
        return false;
    loadFlashHeader(m_headerRecord, OrvoFlashHeaderRecord::kSize);
    const QByteArray data = m_image.mid(m_layout[kDataStartWord]);
    if (!loadProfile()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "load profile failed";
        return false;
    }
    if (inFirstUsePage()) {
        ORVO_TRACE_WARNING(lcOrvoKavel30, function) << " in first use page";
        return false;
    }
    if (!checkIntegrity()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "checkIntegrity failed";
        return false;
    }
    m_container = OrvoPSF::parse(data, &m_headerRecord, m_layout, QLatin1String(OrvoPSF::kVersion));
    if (!m_container)
        return false;
    fillUserValues();
    m_container->setFlag(isBitfontEnabled());
    return true;
}

void OrvoKavel30::loadFlashHeader(QByteArray &record, qsizetype length)
{
    QByteArray area;
    area.reserve(kHeaderAreaSize);
    if (!readFlash(area, kImageReadArea, kHeaderAreaSize, kBlockSize, 0)) {
        record = QByteArray(length, '\0');
        return;
    }
    record = OrvoFlashHeaderRecord::current(area, length);
}

bool OrvoKavel30::buildFlashHeader(QByteArray &record, QByteArray &image)
{
    const qint32 headerArea = m_layout[kHeaderAreaWord];
    if (headerArea <= 0 || image.size() < headerArea || !OrvoFlashHeaderRecord::seal(record))
        return false;
    fill(image, 0, headerArea);
    std::copy(record.cbegin(), record.cend(), image.begin());
    return true;
}

// The record says which regions are empty; where a region lies comes from the layout alone, so
// a damaged start address in the record cannot blank another region.
void OrvoKavel30::eraseEmptyRegions()
{
    for (int r : kEmptiedRegions) {
        OrvoFlashHeaderRecord::Region region;
        const qint32 size = m_layout[size_t(kRegionSizeWords[r - 1])];
        if (OrvoFlashHeaderRecord::region(m_headerRecord, r, region) && region.free == quint32(size))
            fill(m_image, m_layout[size_t(kRegionStartWords[r - 1])], size);
    }
}

bool OrvoKavel30::checkIntegrity()
{
    OrvoByteReader reader(m_image);
    const quint32 first = reader.readU32Le();
    if (!reader.ok())
        return false;
    if (first != 0xFFFFFFFF)
        return first != kLanguageImageMagic;
    reader.seek(0x5000);
    const quint32 later = reader.readU32Le();
    return reader.ok() && later != 0xFFFFFFFF;
}

bool OrvoKavel30::isContentChanged()
{
    return m_contentChanged;
}

bool OrvoKavel30::isProfileChanged()
{
    return m_profileChanged;
}

bool OrvoKavel30::clearFlags()
{
    m_contentChanged = false;
    m_profileChanged = false;
    return false;
}

void OrvoKavel30::setContentChanged()
{
    m_contentChanged = true;
}

void OrvoKavel30::setProfileChanged()
{
    m_profileChanged = true;
}

OrvoPSF *OrvoKavel30::container() const
{
    return m_container.get();
}

OrvoProfileData *OrvoKavel30::profile() const
{
    return m_profile.get();
}

const QByteArray &OrvoKavel30::headerRecord() const
{
    return m_headerRecord;
}

// The container writes itself into a copy of the data part with the rewritten regions
// blanked; the image takes the copy only when the container could write all of it.
bool OrvoKavel30::rebuildContent()
{
    const char *function = "OrvoKavel30::_finalize";
    QByteArray image = m_image;
    for (int r : kRewrittenRegions)
        fill(image, m_layout[size_t(kRegionStartWords[r - 1])], m_layout[size_t(kRegionSizeWords[r - 1])]);
    const qint32 dataStart = m_layout[kDataStartWord];
    QByteArray data = image.mid(dataStart);
    if (!m_container->fitsDevice()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
            << "the content does not fit the device; nothing is left out and the flash is left as it is";
        return false;
    }
    if (!m_container->update(data) || data.size() != image.size() - dataStart) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
            << "the container did not write itself; the flash is left as it is";
        return false;
    }
    std::copy(data.cbegin(), data.cend(), image.begin() + dataStart);
    m_image = image;
    eraseEmptyRegions();
    return true;
}

bool OrvoKavel30::writeAttempt(bool content)
{
    if (!eraseExtFlash())
        return false;
    if (content) {
        fill(m_image, 0, kHeaderAreaSize);
        fill(m_image, kTailStart, qint64(kFlashSize) - kTailStart);
    }
    putHeldProfile();
    if (content)
        putU32(m_image, kImageMarkerOffset, kImageMarker);
    if (!writeImageFile(m_image, kImageWriteArea, kBlockSize, 0))
        return false;
    OrvoDeviceWaits::current().sleep(kReadBackWaitMs);
    if (!readsBack())
        return false;
    if (content) {
        if (!buildFlashHeader(m_headerRecord, m_image))
            return false;
        putU32(m_image, kImageMarkerOffset, kImageMarker);
        if (!writeImageFile(m_image, kImageWriteArea, kBlockSize, kBlockSize))
            return false;
    }
    return true;
}

void OrvoKavel30::putHeldProfile()
{
    if (!m_profile)
        return;
    const QByteArray sector = m_profile->rawData();
    if (sector.size() == kProfileSectorSize && m_image.size() == qsizetype(kFlashSize))
        std::copy(sector.cbegin(), sector.cend(), m_image.begin() + kProfileSectorAddress);
}

bool OrvoKavel30::readsBack()
{
    QByteArray back;
    back.reserve(kFlashSize);
    return readFlash(back, kImageReadArea, kFlashSize, kBlockSize, 0) && back == m_image;
}

bool OrvoKavel30::_finalize()
{
    const char *function = "OrvoKavel30::_finalize";
    if (!m_contentChanged && !m_profileChanged)
        return true;
    if (!holdsWholeImage(function))
        return false;
    if (m_contentChanged && !m_container) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "no container to write the content";
        return false;
    }
    if (m_contentChanged && !rebuildContent())
        return false;
    if (isExtFlashSpecified())
        return false;
    return writeBack(m_contentChanged);
}

// Only a whole image may follow the erase: anything shorter would wipe the device.
bool OrvoKavel30::holdsWholeImage(const char *function) const
{
    if (m_image.size() == qsizetype(kFlashSize))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "no flash image of" << kFlashSize << "bytes to write";
    return false;
}

bool OrvoKavel30::writeBack(bool content)
{
    if (!holdsWholeImage("OrvoKavel30::writeBack"))
        return false;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (writeAttempt(content)) {
            clearFlags();
            loadProfile();
            return true;
        }
    }
    ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoKavel30::_finalize")
        << "the flash image was not written after" << kWriteAttempts << "attempts";
    return false;
}

// The rewrite leaves every data region empty; the container and the image are let go, so the
// next operation reads the device again instead of showing what it no longer holds.
bool OrvoKavel30::writeBlankImage()
{
    const char *function = "OrvoKavel30::writeBlankImage";
    if (!holdsWholeImage(function))
        return false;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (blankAttempt()) {
            dropCachedImage();
            return true;
        }
    }
    ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
        << "the blank image was not written after" << kWriteAttempts << "attempts";
    return false;
}

bool OrvoKavel30::blankAttempt()
{
    if (!eraseExtFlash())
        return false;
    OrvoDeviceWaits::current().sleep(kBlankWaitMs);
    const QByteArray sector = m_image.mid(kProfileSectorAddress, kProfileSectorSize);
    m_image.fill('\xFF');
    std::copy(sector.cbegin(), sector.cend(), m_image.begin() + kProfileSectorAddress);
    putHeldProfile();
    if (m_container)
        m_container->layoutRecord(m_headerRecord);
    if (!buildFlashHeader(m_headerRecord, m_image))
        return false;
    putU32(m_image, kImageMarkerOffset, kImageMarker);
    return writeImageFile(m_image, kImageWriteArea, kBlockSize, 0) && readsBack();
}

bool OrvoKavel30::readFlash(QByteArray &out, int area, int total, int blockSize, int firstBlock)
{
    const char *function = "OrvoKavel30::readFlash";
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || total <= 0 || !ScsiCommand::blockSizeFits(blockSize))
        return false;
    const qint64 end = qint64(firstBlock) + total / blockSize + (total % blockSize != 0 ? 1 : 0);
    if (!ScsiCommand::blockFits(firstBlock) || !ScsiCommand::blockFits(end - 1)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
            << "blocks" << firstBlock << "to" << end - 1 << "do not fit in 16-bit block numbers";
        return false;
    }
    if (!service->openClient())
        return false;
    const quint8 sectors = quint8(blockSize / ScsiCommand::kSectorSize);
    QByteArray buffer(blockSize, '\0');
    bool ok = true;
    for (qint64 block = firstBlock; block < end && ok; ++block) {
        const auto cdb = ScsiCommand::vendorRead(quint16(block), quint8(area), sectors);
        {
            QMutexLocker locker(progressMutex());
            ok = service->readClient(cdb.data(), int(cdb.size()), buffer.data(), buffer.size());
        }
        if (!ok) {
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "read client failed at loop " << block;
            break;
        }
        out.append(buffer);
        setProgress(float(block) / float(end));
    }
    service->closeClient();
    return ok;
}

bool OrvoKavel30::sendChunk(OrvoSCSIDeviceService &service, const QByteArray &buffer, int area, int chunk, qint64 block)
{
    const auto cdb = ScsiCommand::vendorWrite(quint16(block), quint8(area), quint8(chunk / ScsiCommand::kSectorSize));
    QMutexLocker locker(progressMutex());
    return service.writeClient(cdb.data(), int(cdb.size()), buffer.constData(), buffer.size());
}

// The whole file is checked before the first block goes out: its blocks must fit in 16-bit
// numbers, and every chunk must read whole, so a device never gets a transfer cut half way
// or zero bytes standing in for a file that read short.
bool OrvoKavel30::writeFlash(const QString &file, int area, int chunk)
{
    const char *function = "OrvoKavel30::writeFlash";
    OrvoSCSIDeviceService *service = scsiService();
    QFile input(file);
    if (!service || !ScsiCommand::blockSizeFits(chunk) || !input.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "cannot send" << file << "in chunks of" << chunk;
        return false;
    }
    const qint64 size = input.size();
    const qint64 full = size / chunk;
    const qint64 rest = size % chunk;
    const qint64 blocks = full + (rest != 0 ? 1 : 0);
    if (blocks == 0 || !ScsiCommand::blockFits(blocks - 1)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
            << file << "of" << size << "bytes needs" << blocks << "blocks; 16-bit block numbers hold 65536";
        return false;
    }
    if (!service->openClient())
        return false;
    QByteArray buffer(chunk, '\0');
    bool ok = true;
    for (qint64 block = 0; block < blocks && ok; ++block) {
        const qint64 length = block < full ? chunk : rest;
        buffer.fill('\0');
        ok = input.read(buffer.data(), length) == length;
        if (!ok) {
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << file << "read short at block" << block;
            break;
        }
        ok = sendChunk(*service, buffer, area, chunk, block);
        if (!ok)
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "write client failed at loop " << block;
        else if (full > 0)
            setProgress(float(block) / float(full));
    }
    service->closeClient();
    return ok;
}

bool OrvoKavel30::writeImageFile(const QByteArray &data, int area, int chunk, qint64 length)
{
    const char *function = "OrvoKavel30::writeImageFile";
    if (length < 0 || length > data.size()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << length << "bytes asked of" << data.size();
        return false;
    }
    QByteArray bytes = data.left(length);
    if (length == 0) {
        // Erased flash reads 0xFF: padding of that value programs no bit.
        bytes = data.left(kFlashSize);
        bytes.append(QByteArray(qsizetype(kFlashSize) - bytes.size(), '\xFF'));
    }
    const QString path = OrvoEnv::instance()->tmpDir() + kWriteTmpName;
    QFile::remove(path);
    return writeBytes(path, bytes, function) && writeFlash(path, area, chunk);
}

bool OrvoKavel30::writeZeroSector(int area)
{
    const QByteArray zeros(ScsiCommand::kSectorSize, '\0');
    return writeImageFile(zeros, area, ScsiCommand::kSectorSize, ScsiCommand::kSectorSize);
}

bool OrvoKavel30::eraseExtFlash()
{
    const char *function = "OrvoKavel30::eraseExtFlash";
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || !service->openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "open client failed";
        OrvoDeviceWaits::current().sleep(kEraseWaitMs);
        return false;
    }
    const QByteArray zeros(ScsiCommand::kSectorSize, '\0');
    const auto cdb = ScsiCommand::vendorWrite(0, quint8(kEraseArea), 1);
    bool erased = false;
    {
        QMutexLocker locker(progressMutex());
        erased = service->writeClient(cdb.data(), int(cdb.size()), zeros.constData(), zeros.size());
    }
    service->closeClient();
    OrvoDeviceWaits::current().sleep(kEraseWaitMs);
    if (!erased)
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "erase failed";
    return erased;
}
