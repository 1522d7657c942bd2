#include "devices/psf15/OrvoPSFDevice.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoLanguageImage.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/ScsiCommand.h"
#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf15/OrvoPSFRoute_1_5.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

using Area = OrvoPSFFlashLayout::Area;

// Words of the area table.
constexpr int kManagementEnd = 0;
constexpr int kDistHeaderEnd = 1;
constexpr int kWorkoutSection = 6;
constexpr int kRouteSection = 10;
constexpr int kIntervalFirst = 17;
constexpr int kWorkoutLogSection = 20;
constexpr int kTrackSection = 24;
constexpr int kSensorLogSection = 34;
constexpr int kUserInfoSection = 38;
constexpr int kImageSize = 43;
constexpr int kProfileBlock = 44;
constexpr int kProfileSize = 45;

// The management header frame: the rebuilt record and the marked block after it.
constexpr qint64 kHeaderFrame = 8192;
// A Kavel40 whose profile block holds 0 here has never been set up.
constexpr qint64 kSetUpMarker = 0x1F84AA;
const QString kKavel40 = QStringLiteral("Kavel40");
constexpr int kEraseTimeoutMs = 60000;
constexpr int kEraseIntervalMs = 10000;
const QString kSaveImageSetting = QStringLiteral("savelangeageimage");

bool writeBytes(const QString &path, const QByteArray &bytes, const char *function)
{
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    if (!written) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "Cannot open file for writing!" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not write" << path << file.errorString();
        return false;
    }
    return true;
}

} // namespace

OrvoPSFDevice::OrvoPSFDevice()
    : m_layout(*this)
    , m_image(m_layout.imageSize(), uchar(0xFF))
{}

OrvoPSFDevice::~OrvoPSFDevice()
{
    // The worker reads the image and the model: it ends before they go.
    stopWorker();
}

OrvoSCSIDeviceService *OrvoPSFDevice::scsiService()
{
    return dynamic_cast<OrvoSCSIDeviceService *>(deviceService());
}

bool OrvoPSFDevice::initial()
{
    std::span<uchar> block;
    if (!loadInfoArea(block))
        return false;
    QString model;
    getName(model);
    if (model == kKavel40 && m_image[size_t(kSetUpMarker)] == 0) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::initial") << "the device has not been set up";
        return false;
    }
    m_model = std::make_unique<OrvoPSFFlashImage>(*this);
    m_model->setTodayFunction([] { return OrvoDeviceWaits::current().currentLocal().date(); });
    const QByteArray variant = m_model->variantCode();
    if (variant.isEmpty())
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::initial")
            << "no distribution header: the areas of the other variant are taken";
    m_layout.setVariant(variant);
    return true;
}

bool OrvoPSFDevice::getUUID(QString &uuid)
{
    if (m_storeName.isEmpty()) {
        if (OrvoDeviceService *service = deviceService())
            service->readDeviceId(m_storeName);
    }
    uuid = m_storeName;
    return !uuid.isEmpty();
}

bool OrvoPSFDevice::getInternalStorage(qint64 &total, qint64 &free)
{
    total = m_layout.trackAreaCapacity();
    // An erased free count is no count.
    free = qint64(std::min<quint64>(m_layout.trackAreaFree(), quint64(std::max<qint64>(total, 0))));
    return true;
}

bool OrvoPSFDevice::getTotal(QString &version)
{
    OrvoDeviceService *service = deviceService();
    version = service ? service->secondText() : QString();
    return service != nullptr;
}

bool OrvoPSFDevice::getLaunchsec(QString &version)
{
    OrvoDeviceService *service = deviceService();
    version = service ? service->firstText() : QString();
    return true;
}

bool OrvoPSFDevice::getAP(QString &version)
{
    version.clear();
    return true;
}

bool OrvoPSFDevice::isValid()
{
    return true;
}

bool OrvoPSFDevice::getName(QString &model)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    model = info ? info->modelName : QString();
    return info != nullptr;
}

QString OrvoPSFDevice::matchString()
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    return info ? info->matchString : QString();
}

bool OrvoPSFDevice::classFlag()
{
    return true;
}

bool OrvoPSFDevice::prepareUploadData(QString &path, bool)
{
    ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::prepareUploadData") << "upload packages are not made yet";
    path.clear();
    return false;
}

QStringList OrvoPSFDevice::_exportTrack(const QString &)
{
    ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::_exportTrack") << "ride exports are not made yet";
    return QStringList();
}

// The lists number the routes of one kind from 0; a deletion acts only on all of them, as the
// device keeps no way to remove single routes.
bool OrvoPSFDevice::coversAll(const QVector<int> &ids, bool recorded)
{
    std::vector<OrvoPSFRoute_1_5 *> routes;
    if (!m_model || !m_model->routes(recorded, routes))
        return false;
    const QSet<int> asked(ids.cbegin(), ids.cend());
    for (int id : asked) {
        if (id < 0 || id >= int(routes.size()))
            return false;
    }
    if (asked.size() != qsizetype(routes.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::delete")
            << asked.size() << "of" << routes.size() << "routes asked; only all of them can be deleted";
        return false;
    }
    return true;
}

bool OrvoPSFDevice::deleteRoutes(const QVector<int> &ids)
{
    return coversAll(ids, false) && m_model->removeRoutes(false);
}

bool OrvoPSFDevice::deleteTracks(const QVector<int> &ids)
{
    const bool deleted = coversAll(ids, true) && m_model->removeRoutes(true);
    setError(!deleted);
    return deleted;
}

bool OrvoPSFDevice::deleteWorkouts(const QVector<int> &)
{
    return m_model && m_model->clearWorkouts();
}

bool OrvoPSFDevice::deleteAll()
{
    if (!m_model)
        return false;
    const bool routes = m_model->clearAllRoutes();
    const bool workouts = m_model->clearWorkouts();
    setError(!workouts);
    return routes && workouts;
}

bool OrvoPSFDevice::saveProfile(const QMap<QString, QString> &values)
{
    return m_model && m_model->saveProfile(values);
}

bool OrvoPSFDevice::prepareUploadProfile(const QString &file)
{
    QMap<QString, QString> values;
    if (!m_model || !m_model->readProfile(values))
        return false;
    OrvoProfileData xml(file.toUtf8(), OrvoProfileData::XmlFile);
    xml.setValues(values);
    if (!xml.serialize())
        return false;
    const QDate birthday = QDate::fromString(values.value(OrvoProfileKeys::kBirthday), QStringLiteral("yyyy/MM/dd"));
    if (birthday.isValid())
        m_userAge = OrvoDeviceWaits::current().currentLocal().date().year() - birthday.year() - 1;
    m_userSex = values.value(OrvoProfileKeys::kSex);
    return true;
}

void OrvoPSFDevice::formatDevice()
{
    eraseExtFlash();
}

bool OrvoPSFDevice::unpackLanguagePackage(const QString &package, QStringList &list)
{
    return OrvoLanguageImage::unpackPackage(package, list);
}

bool OrvoPSFDevice::getLanguageOnDevice(QStringList &languages)
{
    if (m_languageImage.isEmpty()) {
        m_languageImage = QByteArray(kLanguageAreaSize, '\xFF');
        if (!readFlashArea(m_languageImage.data(), kLanguageReadArea, kLanguageAreaSize, kLanguageBlockSize, 0)) {
            // Read again next time instead of listing what did not come from the device.
            m_languageImage.clear();
            return false;
        }
    }
    return OrvoLanguageImage::listLanguages(m_languageImage, languages);
}

bool OrvoPSFDevice::buildLanguageImage(const QStringList &codes, QByteArray &image, QString &basePath)
{
    // The device's area changes: the next listing reads it again.
    m_languageImage.clear();
    OrvoLanguageImage::Built built;
    if (!OrvoLanguageImage::build(OrvoLanguageImage::folder(), codes, built))
        return false;
    image = built.image;
    basePath = built.basePath;
    return true;
}

bool OrvoPSFDevice::saveLanguageImage(const QByteArray &image)
{
    const QString path = OrvoSaveFileChooser::current().chooseSaveFile(
        QStringLiteral("Save Quilma file..."), QStringLiteral("Quilma.bin"), QStringLiteral("*.bin"));
    if (path.isEmpty())
        return false;
    return writeBytes(path, image, "OrvoPSFDevice::saveLanguageImage");
}

bool OrvoPSFDevice::setDefLanguage(const QString &language, int n)
{
    return setDefLanguage(QStringList{language}, n);
}

bool OrvoPSFDevice::setDefLanguage(const QStringList &codes, int)
{
    QByteArray image;
    QString basePath;
    if (!buildLanguageImage(codes, image, basePath))
        return false;
    if (image.size() > kLanguageAreaSize) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::setDefLanguage")
            << "a language image of" << image.size() << "bytes does not fit the area of" << kLanguageAreaSize;
        return false;
    }
    image.append(kLanguageAreaSize - image.size(), '\xFF');
    if (getDeviceSetting(kSaveImageSetting, QStringLiteral("0")) != QLatin1String("0"))
        return saveLanguageImage(image);
    return writeLanguageImage(image, basePath);
}

bool OrvoPSFDevice::writeLanguageImage(const QByteArray &image, const QString &basePath)
{
    OrvoSCSIDeviceService *service = scsiService();
    if (!service)
        return false;
    for (int attempt = 0; attempt < kLanguageWriteAttempts; ++attempt) {
        if (!service->writeFlashBlocks(image.constData(), kLanguageWriteArea, image.size(), kLanguageBlockSize, 0)) {
            ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::setDefLanguage")
                << "write quilma image failed " << basePath << " retry " << attempt;
            continue;
        }
        QByteArray back(image.size(), '\0');
        if (readFlashArea(back.data(), kLanguageReadArea, back.size(), kLanguageBlockSize, 0) && back == image)
            return true;
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::setDefLanguage")
            << "the language image read back differs; attempt" << attempt;
    }
    return false;
}

bool OrvoPSFDevice::writeLanguageFile(const QStringList &codes, int)
{
    QByteArray image;
    QString basePath;
    if (!buildLanguageImage(codes, image, basePath)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::writeLanguageFile") << " img_temp size <=0";
        return false;
    }
    if (getDeviceSetting(kSaveImageSetting, QStringLiteral("0")) != QLatin1String("0"))
        return saveLanguageImage(image);
    return writeBytes(OrvoEnv::instance()->tmpDir() + QStringLiteral("/lanfile.txt"), image,
                      "OrvoPSFDevice::writeLanguageFile");
}

bool OrvoPSFDevice::_updateTotal(const QString &file, const QString &changedLang)
{
    OrvoFunctionTrace trace(QStringLiteral("OrvoPSFDevice::_updateTotal"));
    QStringList names;
    unpackLanguagePackage(file, names);
    QStringList codes;
    if (changedLang.isEmpty()) {
        getLanguageOnDevice(codes);
        if (codes.isEmpty())
            codes = QStringList{QStringLiteral("eng")};
    } else {
        codes = QStringList{changedLang};
    }
    const bool result = setDefLanguage(codes, 0);
    const QString release = OrvoLanguageImage::folder() + QStringLiteral("/release.ini");
    QString model;
    if (result && QFile::exists(release) && getName(model))
        OrvoEnv::instance()->saveMinOrvoVer(model, release);
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::_updateTotal") << "OrvoPSFDevice: end of _updateTotal";
    return result;
}

QString OrvoPSFDevice::dumpPath()
{
    return OrvoEnv::instance()->userFolder() + QStringLiteral("/kavel40flash.orvo%1.dat").arg(OrvoEnv::version());
}

void OrvoPSFDevice::saveExtFlashToFile(const QString &path)
{
    const char *function = "OrvoPSFDevice::saveExtFlashToFile";
    const qint64 size = m_layout.imageSize();
    QByteArray flash(size, '\xFF');
    if (!readFlashArea(flash.data(), kImageReadArea, size, kBlockSize, 0)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "fail to readFlashBlocks for saveExtFlashToFile";
        return;
    }
    // Dumps accumulate: the new one goes after what the file holds.
    QByteArray earlier;
    QFile existing(path);
    if (existing.exists() &&
        (!existing.open(QIODevice::ReadOnly) || (earlier = existing.readAll()).size() != existing.size())) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "fail to write file for saveExtFlashToFile";
        return;
    }
    existing.close();
    if (!writeBytes(path, earlier + flash, function))
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "fail to write file for saveExtFlashToFile";
}

bool OrvoPSFDevice::_finalize()
{
    const QString path = dumpPath();
    const QFileInfo dump(path);
    if (dump.exists() && dump.size() > kDumpLimit)
        QFile::remove(path);
    saveExtFlashToFile(path);
    const bool saved = save();
    saveExtFlashToFile(path);
    return saved;
}

bool OrvoPSFDevice::_readData()
{
    return true;
}

bool OrvoPSFDevice::_restoreFactory(const QString &folder)
{
    const QString name = matchString();
    if (!writeInternalFlash(folder, name, kLanguageWriteArea, kLanguageBlockSize)) {
        setError(true);
        return false;
    }
    if (!eraseExtFlash()) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::_restoreFactory")
            << "fail to erase external flash for " << name;
        return false;
    }
    return writeExternalFlash(folder, name, kImageWriteArea, kBlockSize);
}

OrvoPSFFlashLayout &OrvoPSFDevice::layout()
{
    return m_layout;
}

std::span<uchar> OrvoPSFDevice::imageFrom(qint64 offset)
{
    return std::span<uchar>(m_image).subspan(size_t(offset));
}

bool OrvoPSFDevice::loadHeader(std::span<uchar> &image)
{
    if (!m_headerLoaded)
        m_headerLoaded = ensureLoaded(0, m_layout.table()[kManagementEnd]);
    if (m_headerLoaded)
        image = std::span<uchar>(m_image);
    return m_headerLoaded;
}

bool OrvoPSFDevice::loadDistHeader(std::span<uchar> &distHeader)
{
    const auto &t = m_layout.table();
    if (!ensureLoaded(t[kManagementEnd], qint64(t[kDistHeaderEnd]) - t[kManagementEnd]))
        return false;
    distHeader = imageFrom(t[kManagementEnd]);
    return true;
}

// The used part of an area runs from its table offset to the end counter of the management
// record; both come from the device, so the range is checked before it is read.
bool OrvoPSFDevice::loadRange(qint64 start, qint64 end, const char *what)
{
    if (end < start || end > qint64(m_image.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::loadRange")
            << what << "from" << start << "to" << end << "do not lie inside the image";
        return false;
    }
    return ensureLoaded(start, end - start);
}

bool OrvoPSFDevice::loadOnce(bool &flag, const std::function<bool()> &load)
{
    if (!flag)
        flag = load();
    return flag;
}

bool OrvoPSFDevice::loadRoutes()
{
    const auto &t = m_layout.table();
    return loadOnce(m_routesLoaded, [&] {
        return loadRange(t[kRouteSection], m_layout.areaEnd(Area::Route), "routes") &&
               loadRange(m_layout.areaStart(Area::Lap), m_layout.areaEnd(Area::Lap), "laps");
    });
}

bool OrvoPSFDevice::loadTracks()
{
    return loadOnce(m_tracksLoaded, [&] {
        return loadRange(m_layout.table()[kTrackSection], m_layout.areaEnd(Area::Track), "track segments");
    });
}

bool OrvoPSFDevice::loadWorkouts()
{
    const auto &t = m_layout.table();
    return loadOnce(m_workoutsLoaded, [&] {
        return loadRange(t[kWorkoutSection], m_layout.areaEnd(Area::Workout), "workouts") &&
               loadRange(t[kIntervalFirst], m_layout.areaEnd(Area::Interval), "intervals");
    });
}

bool OrvoPSFDevice::loadSensorLogs()
{
    return loadOnce(m_sensorLogsLoaded, [&] {
        return loadRange(m_layout.table()[kSensorLogSection], m_layout.areaEnd(Area::SensorLog), "sensor logs");
    });
}

bool OrvoPSFDevice::loadWorkoutLogs()
{
    return loadOnce(m_workoutLogsLoaded, [&] {
        return loadRange(m_layout.table()[kWorkoutLogSection], m_layout.areaEnd(Area::WorkoutLog), "workout logs");
    });
}

bool OrvoPSFDevice::loadUserInfoLogs()
{
    return loadOnce(m_userInfoLoaded, [&] {
        return loadRange(m_layout.table()[kUserInfoSection], m_layout.areaEnd(Area::UserInfoLog), "user-info logs");
    });
}

bool OrvoPSFDevice::loadInfoArea(std::span<uchar> &block)
{
    const auto &t = m_layout.table();
    m_profileLoaded = ensureLoaded(qint64(t[kProfileBlock]) - t[kProfileSize], 2 * qint64(t[kProfileSize]));
    if (m_profileLoaded)
        block = imageFrom(t[kProfileBlock]).first(t[kProfileSize]);
    return m_profileLoaded;
}

bool OrvoPSFDevice::loadAll()
{
    const auto &t = m_layout.table();
    std::span<uchar> unused;
    if (!m_headerLoaded)
        loadHeader(unused);
    loadRoutes();
    loadWorkouts();
    loadWorkoutLogs();
    loadTracks();
    loadSensorLogs();
    loadUserInfoLogs();
    if (!m_profileLoaded)
        loadInfoArea(unused);
    const qint64 tail = qint64(t[kProfileBlock]) + t[kProfileSize];
    loadOnce(m_tailLoaded, [&] { return loadRange(tail, t[kImageSize], "the blocks after the profile"); });
    return m_routesLoaded && m_workoutsLoaded && m_workoutLogsLoaded && m_tracksLoaded && m_sensorLogsLoaded &&
           m_userInfoLoaded && m_profileLoaded && m_tailLoaded;
}

bool OrvoPSFDevice::writeFrame(qint64 start, qint64 end, QSet<int> &written, const char *failure)
{
    if (end >= start && end <= qint64(m_image.size()) && writeBlocks(start, end - start, written))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::save") << failure;
    return false;
}

bool OrvoPSFDevice::save()
{
    const char *function = "OrvoPSFDevice::save";
    std::span<uchar> unused;
    // The flash is erased only when every region, the headers included, loaded without a
    // failure: the management header is looked at first, as the other regions' lookups would
    // read it again.
    const bool header = loadHeader(unused);
    const bool regions = loadAll();
    if (!header || !regions || !loadDistHeader(unused)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the image is not loaded whole; the flash is left as it is";
        return false;
    }
    if (!m_layout.rebuildHeader() || !eraseExtFlash())
        return false;

    const auto &t = m_layout.table();
    const qint64 profile = t[kProfileBlock];
    const qint64 profileSize = t[kProfileSize];
    QSet<int> written;
    bool ok = writeFrame(0, kHeaderFrame, written, "write flash header frame failed");
    ok &= writeFrame(t[kManagementEnd], t[kDistHeaderEnd], written, "write distheader frame failed");
    ok &= writeFrame(t[kRouteSection], m_layout.areaEnd(Area::Route), written, "write route frame failed");
    if (m_layout.areaStart(Area::Lap) != m_layout.areaEnd(Area::Lap))
        ok &= writeFrame(m_layout.areaStart(Area::Lap), m_layout.areaEnd(Area::Lap), written, "write lap frame failed");
    ok &= writeFrame(t[kWorkoutSection], m_layout.areaEnd(Area::Workout), written, "write workout frame failed");
    ok &=
        writeFrame(t[kIntervalFirst], m_layout.areaEnd(Area::Interval), written, "write workout interval frame failed");
    ok &= writeFrame(t[kTrackSection], m_layout.areaEnd(Area::Track), written, "write track seg frame failed");
    ok &= writeFrame(t[kWorkoutLogSection], m_layout.areaEnd(Area::WorkoutLog), written,
                     "write workout log frame failed");
    ok &= writeFrame(t[kSensorLogSection], m_layout.areaEnd(Area::SensorLog), written, "write sensor log frame failed");
    ok &= writeFrame(t[kUserInfoSection], m_layout.areaEnd(Area::UserInfoLog), written, "write info log frame failed");
    ok &= writeFrame(profile - profileSize, profile + profileSize, written, "write profile frame failed");
    ok &= writeFrame(profile + profileSize, t[kImageSize], written, "write mag2 frame failed");
    return ok;
}

bool OrvoPSFDevice::saveToFile(const QString &path)
{
    const QByteArray bytes(reinterpret_cast<const char *>(m_image.data()), qsizetype(m_image.size()));
    return writeBytes(path, bytes, "OrvoPSFDevice::saveToFile");
}

bool OrvoPSFDevice::loadFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > qint64(m_image.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::loadFromFile")
            << path << "holds" << file.size() << "bytes, more than the image of" << m_image.size();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return false;
    std::copy(bytes.begin(), bytes.end(), m_image.begin());
    // The file's blocks stand for the device's from now on: they are never read over.
    for (qint64 block = 0; block * kBlockSize < bytes.size(); ++block)
        m_loadedBlocks.insert(int(block));
    m_routesLoaded = m_tracksLoaded = m_workoutsLoaded = m_sensorLogsLoaded = true;
    m_workoutLogsLoaded = m_userInfoLoaded = m_profileLoaded = m_tailLoaded = true;
    return true;
}

// Reads the blocks of the range that were not read before, one command each, and records
// every block it read: a block is read once, so what the model changed in it stays.
bool OrvoPSFDevice::ensureLoaded(qint64 offset, qint64 length)
{
    if (offset < 0 || length < 0 || offset > qint64(m_image.size()) || length > qint64(m_image.size()) - offset) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFDevice::ensureLoaded")
            << length << "bytes at offset" << offset << "do not lie inside the image of" << m_image.size();
        return false;
    }
    const qint64 first = offset / kBlockSize;
    const qint64 last = (offset + length - 1) / kBlockSize;
    for (qint64 block = first; block <= last; ++block) {
        if (m_loadedBlocks.contains(int(block)))
            continue;
        auto *at = reinterpret_cast<char *>(m_image.data() + block * kBlockSize);
        if (!readFlashArea(at, kImageReadArea, kBlockSize, kBlockSize, int(block)))
            return false;
        m_loadedBlocks.insert(int(block));
    }
    return true;
}

bool OrvoPSFDevice::writeBlocks(qint64 offset, qint64 length, QSet<int> &written)
{
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || offset < 0 || length < 0 || offset > qint64(m_image.size()) ||
        length > qint64(m_image.size()) - offset)
        return false;
    const qint64 first = offset / kBlockSize;
    const qint64 last = (offset + length - 1) / kBlockSize;
    for (qint64 block = first; block <= last; ++block) {
        if (written.contains(int(block)))
            continue;
        const auto *at = reinterpret_cast<const char *>(m_image.data() + block * kBlockSize);
        if (!service->writeFlashBlocks(at, kImageWriteArea, kBlockSize, kBlockSize, int(block)))
            return false;
        written.insert(int(block));
    }
    return true;
}

bool OrvoPSFDevice::waitFlash(int timeoutMs, int intervalMs)
{
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || intervalMs <= 0)
        return false;
    const auto cdb = ScsiCommand::vendorRead(0, kReadyArea, quint8(kBlockSize / ScsiCommand::kSectorSize));
    QByteArray answer(kBlockSize, '\0');
    for (int attempt = 0; attempt < timeoutMs / intervalMs; ++attempt) {
        OrvoDeviceWaits::current().sleep(intervalMs);
        const bool read = service->readClient(cdb.data(), int(cdb.size()), answer.data(), answer.size());
        ORVO_TRACE_DEBUG(lcOrvoPsfDevice, "OrvoPSFDevice::waitFlash")
            << "check flash ready return value=" << quint8(answer[0]);
        if (read && answer[0] == 0)
            return true;
    }
    return false;
}

bool OrvoPSFDevice::eraseExtFlash()
{
    const char *function = "OrvoPSFDevice::eraseExtFlash";
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || !service->openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "open client failed";
        return false;
    }
    const auto cdb = ScsiCommand::vendorWrite(0, kEraseArea, 1);
    const QByteArray zeros(ScsiCommand::kSectorSize, '\0');
    const bool erased = service->writeClient(cdb.data(), int(cdb.size()), zeros.constData(), zeros.size());
    const bool ready = erased && waitFlash(kEraseTimeoutMs, kEraseIntervalMs);
    service->closeClient();
    if (!ready)
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << (erased ? "the flash did not get ready" : "erase failed");
    return ready;
}

bool OrvoPSFDevice::readFlashArea(char *buffer, quint8 area, qint64 total, int chunk, int first)
{
    OrvoSCSIDeviceService *service = scsiService();
    return service && service->readFlashBlocks(buffer, area, total, chunk, first);
}

OrvoPSFFlashImage *OrvoPSFDevice::flashImage() const
{
    return m_model.get();
}

int OrvoPSFDevice::userAge() const
{
    return m_userAge;
}

QString OrvoPSFDevice::userSex() const
{
    return m_userSex;
}
