#include "devices/psf15/OrvoPSFDevice.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoLanguageImage.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/ScsiCommand.h"
#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "devices/psf15/OrvoPSFRestoreImage.h"
#include "devices/psf15/OrvoPSFSegmentPlan.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoEnv.h"
#include "env/OrvoExceptionHandler.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoTimeText.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf/OrvoPSFStepType.h"
#include "psf15/OrvoPSFInterval_1_5.h"
#include "psf15/OrvoPSFLap_1_5.h"
#include "psf15/OrvoPSFRoute_1_5.h"
#include "psf15/OrvoPSFSensorLogPoint_1_5.h"
#include "psf15/OrvoPSFTrackCursor.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "psf15/OrvoPSFUserInfoLog_1_5.h"
#include "psf15/OrvoPSFWorkoutLog_1_5.h"
#include "psf15/OrvoPSFWorkout_1_5.h"
#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKGpxWriter.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <functional>

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

// Route records: byte 4 bits 2-3 the device attribute, of which bit 3 (attribute value 2)
// marks a route the system added or a ride already uploaded.
constexpr quint8 kAttributeBits = 0x03;
constexpr quint8 kAddedAttribute = 0x02;
constexpr quint32 kNoTime = 0xFFFFFFFF;
constexpr int kTravelDistanceUnit = 10;
constexpr qint64 kMaxTens = 0xFFFF;
constexpr quint32 kDeviceValueScale = 100;
// The cadence selector (the route's activity type) whose cadence bytes read × 60 / 64.
constexpr int kScaledCadence = 1;
// Workout records: the time word and the flag byte.
constexpr qsizetype kWorkoutTimeOffset = 0;
constexpr qsizetype kWorkoutFlagsOffset = 16;
constexpr int kWorkoutUploadedBit = 6;
// Interval records: byte 0 bit 3 marks a scaled or manual duration.
constexpr qsizetype kStepOffset = 0;
constexpr int kScaledBit = 3;
constexpr int kManualDurationType = 14;
// User-info zone types that carry the user's thresholds.
constexpr int kMhrZone = 4;
constexpr int kLthrZone = 5;
constexpr int kMapZone = 7;
constexpr int kFtpZone = 8;
// Only files of this dialect come from a share package.
constexpr int kShareDialect = 2;
// "\ENG text": a backslash, a three-letter code and one separator before the text.
const QChar kLanguageMark = QLatin1Char('\\');
constexpr qsizetype kLanguageCodeSize = 3;
constexpr qsizetype kLanguagePrefix = 4;
const QString kUnknownLanguage = QStringLiteral("UNK");
// The most points an imported track may grow to by smoothing.
constexpr qsizetype kMaxTrackPoints = OrvoPSFSegmentPlan::kMaxPointRecords + 1;
// Compared in whole millimetres, so that a step written as exactly 12.7 m is one.
constexpr qint64 kMaxElevationStepMm = 12700;

// Runs a piece of the listing under the crash guard of the thread it runs on.
class ListingTask : public OrvoExceptionTask
{
public:
    ListingTask(std::function<void()> work, std::function<void()> failed)
        : m_work(std::move(work))
        , m_failed(std::move(failed))
    {}
    bool execute() override
    {
        m_work();
        return true;
    }
    void handleException() override { m_failed(); }

private:
    std::function<void()> m_work;
    std::function<void()> m_failed;
};

QDateTime utcTime(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// The image of the first name string: the name for the empty language code.
QImage firstNameImage(const OrvoPSFNamedObject &record)
{
    return record.names().empty() ? QImage() : record.names().front()->toImage();
}

bool isUploaded(const OrvoPSFRoute_1_5 &route)
{
    return (route.deviceAttribute() & kAddedAttribute) != 0;
}

QString decimalsIfValid(const OrvoPSFMeasure &measure, int decimals)
{
    return measure.isValid() ? QString::number(measure.value(), 'f', decimals) : QString();
}

QString integerIfValid(const OrvoPSFMeasure &measure)
{
    return measure.isValid() ? QString::number(measure.toInt()) : QString();
}

QString decimalsOrZero(const OrvoPSFMeasure &measure)
{
    return QString::number(measure.isValid() ? measure.value() : 0.0, 'f', 2);
}

// An absent cadence stays empty in either form: scaled, its 0xFF would read as 239.06.
QString cadenceText(const OrvoPSFMeasure &measure, bool scaled)
{
    return scaled ? decimalsIfValid(measure, 2) : integerIfValid(measure);
}

ZKGpxTrackPoint trackPoint(const ZKGeoPoint &position, qint64 time, const OrvoPSFMeasure &altitude)
{
    ZKGpxTrackPoint point;
    point.lat = ZKGeoPoint::degreesTextFromE6(position.latE6());
    point.lon = ZKGeoPoint::degreesTextFromE6(position.lonE6());
    point.ele = QString::number(altitude.value(), 'f', 2);
    point.time = psfTimeText(std::time_t(time));
    return point;
}

ZKGpxRoutePoint routePoint(const ZKGpxTrackPoint &point)
{
    ZKGpxRoutePoint routePoint;
    routePoint.lat = point.lat;
    routePoint.lon = point.lon;
    return routePoint;
}

ZKGpxLogPoint logPoint(const OrvoPSFSensorLogPoint_1_5 &sample, bool scaled)
{
    ZKGpxLogPoint point;
    point.spd = decimalsIfValid(sample.speed(), 2);
    point.cad = scaled ? decimalsIfValid(sample.scaledByteChannel(), 2) : integerIfValid(sample.byteChannelA());
    point.hrm = integerIfValid(sample.byteChannelB());
    point.pdm = integerIfValid(sample.wordChannel());
    // A log without the channel has no temperature rather than 65535.
    point.tmp = decimalsIfValid(sample.temperature(), 1);
    point.cps = integerIfValid(sample.doubledWordChannel());
    return point;
}

ZKGpxTrackPoint midpoint(const ZKGpxTrackPoint &from, const ZKGpxTrackPoint &to, double here, double next)
{
    const auto mean = [](const QString &a, const QString &b) {
        return QString::number((a.toDouble() + b.toDouble()) / 2, 'f', 6);
    };
    ZKGpxTrackPoint middle;
    middle.lat = mean(from.lat, to.lat);
    middle.lon = mean(from.lon, to.lon);
    middle.ele = QString::number((here + next) / 2, 'f', 6);
    return middle;
}

// Appends to smoothed, which ends with from, the midpoints between from and to, halving each
// step until none climbs more than 12.7 m. pending counts the points the track holds after
// from; false when a midpoint would make it more than a segment holds.
bool appendMidpoints(QList<ZKGpxTrackPoint> &smoothed, const ZKGpxTrackPoint &from, const ZKGpxTrackPoint &to,
                     qsizetype pending)
{
    const double here = OrvoPSFSegmentPlan::elevationOf(from.ele);
    const double next = OrvoPSFSegmentPlan::elevationOf(to.ele);
    if (std::llround(std::abs(here - next) * 1000) <= kMaxElevationStepMm)
        return true;
    if (smoothed.size() + pending >= kMaxTrackPoints)
        return false;
    const ZKGpxTrackPoint middle = midpoint(from, to, here, next);
    if (!appendMidpoints(smoothed, from, middle, pending + 1))
        return false;
    smoothed.append(middle);
    return appendMidpoints(smoothed, middle, to, pending);
}

// Inserts midpoints until no two neighbours differ by more than 12.7 m in elevation; false
// when the track would grow past what a segment holds. The track is built anew in one pass,
// as inserting into it point by point costs time quadratic in its length.
bool smoothElevations(ZKGpxTrack &track)
{
    const auto &points = track.points;
    if (points.isEmpty())
        return true;
    QList<ZKGpxTrackPoint> smoothed;
    smoothed.reserve(points.size());
    smoothed.append(points.first());
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        if (!appendMidpoints(smoothed, points.at(i), points.at(i + 1), points.size() - 1 - i))
            return false;
        smoothed.append(points.at(i + 1));
    }
    track.points = std::move(smoothed);
    return true;
}

bool isComplete(const ZKTrncrsInterval &interval)
{
    return interval.target.has_value() && interval.duration.has_value();
}

bool isTrue(const QString &text)
{
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

quint8 targetByte(int value)
{
    return value < 0 ? 0xFF : quint8(value & 0xFF);
}

quint8 targetNibble(int value)
{
    return value < 0 ? 0x0F : quint8((value / 256) & 0x0F);
}

OrvoPSFInterval_1_5::DurationKind durationKind(int type)
{
    switch (type) {
    case 1:
    case 7:
        return OrvoPSFInterval_1_5::DurationKind::Distance;
    case 2:
        return OrvoPSFInterval_1_5::DurationKind::Time;
    default:
        return OrvoPSFInterval_1_5::DurationKind::Other;
    }
}

// The target as the import stored it: its low byte and the nibble of its higher bits. All ones
// is no target, which the import takes from a negative value.
int targetValue(quint8 low, quint8 higherBits)
{
    if (low == targetByte(-1) && (higherBits & 0x0F) == targetNibble(-1))
        return -1;
    return low | (higherBits & 0x0F) << 8;
}

// The interval as the import reads it back: ids count from 1 (id), and goto names the id of
// the interval it leads to.
ZKTrncrsInterval trncrsInterval(const OrvoPSFInterval_1_5 &stored, int id)
{
    ZKTrncrsInterval interval;
    interval.id = QString::number(id);
    interval.name = stored.stepType().name();
    const qint64 target = stored.linkIndexAt8();
    if (target >= 0)
        interval.gotoText = QString::number(target + 1);
    interval.gotoRepeat = QString::number(stored.repeatCount() == 0xFF ? 0 : stored.repeatCount());
    interval.target =
        ZKTrncrsTarget{QString::number(stored.targetType()),
                       QString::number(targetValue(stored.targetLow(), stored.targetLowHighBits())),
                       QString::number(targetValue(stored.targetHigh(), stored.targetHighHighBits())), QString()};
    ZKTrncrsDuration duration;
    duration.type = QString::number(stored.durationType());
    duration.value = QString::number(stored.duration(durationKind(stored.durationType())));
    interval.duration = duration;
    return interval;
}

// A file name's base: the name without blanks, slashes, backslashes and colons.
QString baseName(const QString &name)
{
    QString base = name;
    base.remove(QRegularExpression(QStringLiteral("[ /\\\\:]")));
    return base;
}

static_assert(OrvoPSFRestoreImage::kBlockSize == OrvoPSFDevice::kBlockSize,
              "the recovery copy sums the blocks the device erases and writes");

// The blocks a range of the image lies in, from first to last (none when last < first).
struct BlockSpan
{
    qint64 first;
    qint64 last;
};

BlockSpan blockSpan(qint64 offset, qint64 length)
{
    return {offset / OrvoPSFDevice::kBlockSize, (offset + length - 1) / OrvoPSFDevice::kBlockSize};
}

bool writeBytes(const QString &path, const QByteArray &bytes, const char *function)
{
    QString error;
    if (saveFileBytes(path, bytes, error))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not write" << path << error;
    return false;
}

} // namespace

OrvoPSFDevice::OrvoPSFDevice()
    : m_layout(*this)
    , m_image(m_layout.imageSize(), uchar(0xFF))
    , m_asRead(m_layout.imageSize(), uchar(0xFF))
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
    if (!writeBackInterruptedSave() || !loadInfoArea(block))
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
    const bool deleted = coversAll(ids, false) && m_model->removeRoutes(false);
    setError(!deleted);
    return deleted;
}

// The page's deletion answers at once, so it answers only once the device holds the result.
bool OrvoPSFDevice::deleteTracks(const QVector<int> &ids)
{
    const bool deleted = coversAll(ids, true) && m_model->removeRoutes(true);
    setError(!deleted);
    return deleted && writeImage("OrvoPSFDevice::deleteTracks");
}

// The list numbers the workouts from 0; only those named go.
bool OrvoPSFDevice::deleteWorkouts(const QVector<int> &ids)
{
    const bool deleted = m_model && m_model->removeWorkouts(QSet<int>(ids.cbegin(), ids.cend()));
    setError(!deleted);
    return deleted;
}

bool OrvoPSFDevice::deleteAll()
{
    const bool deleted = m_model && m_model->clearAll();
    setError(!deleted);
    return deleted && writeImage("OrvoPSFDevice::deleteAll");
}

bool OrvoPSFDevice::writeImage(const char *function)
{
    const bool saved = save();
    if (!saved)
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the changed image could not be written to the device";
    setError(!saved);
    return saved;
}

bool OrvoPSFDevice::saveProfile(const QMap<QString, QString> &values)
{
    const bool saved = m_model && m_model->saveProfile(values);
    setError(!saved);
    return saved;
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
        m_userAge = OrvoDeviceWaits::current().currentLocal().date().year() - birthday.year();
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

bool OrvoPSFDevice::writeLanguageFile(const QStringList &codes, int flag)
{
    QByteArray image;
    QString basePath;
    if (!buildLanguageImage(codes, image, basePath)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::writeLanguageFile") << " img_temp size <=0";
        return false;
    }
    if (getDeviceSetting(kSaveImageSetting, QStringLiteral("0")) != QLatin1String("0"))
        return saveLanguageImage(image);
    // The page's language choice answers at once: it is done once the device holds the image.
    const bool written = writeBytes(OrvoEnv::instance()->tmpDir() + QStringLiteral("/lanfile.txt"), image,
                                    "OrvoPSFDevice::writeLanguageFile") &&
                         setDefLanguage(codes, flag);
    setError(!written);
    return written;
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

bool OrvoPSFDevice::_updateTotal(const QString &file, const QString &changedLang)
{
    OrvoFunctionTrace trace(QStringLiteral("OrvoPSFDevice::_updateTotal"));
    QStringList names;
    if (!unpackLanguagePackage(file, names)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::_updateTotal")
            << "the language package" << file << "does not unpack whole; the device is left as it is";
        setError(true);
        return false;
    }
    QStringList codes;
    if (changedLang.isEmpty()) {
        // An unread area is no list: building from it would drop the device's languages.
        if (!getLanguageOnDevice(codes)) {
            setError(true);
            return false;
        }
        if (codes.isEmpty())
            codes = QStringList{QStringLiteral("eng")};
    } else {
        codes = QStringList{changedLang};
    }
    const bool result = setDefLanguage(codes, 0);
    setError(!result);
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
    QByteArray flash;
    if (!readWholeFlash(flash)) {
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
    setError(!saved);
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
        setError(true);
        return false;
    }
    const bool restored = writeExternalFlash(folder, name, kImageWriteArea, kBlockSize);
    setError(!restored);
    return restored;
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

bool OrvoPSFDevice::loadReserved()
{
    return true;
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

std::vector<OrvoPSFDevice::Frame> OrvoPSFDevice::saveFrames()
{
    const auto &t = m_layout.table();
    const qint64 profile = t[kProfileBlock];
    const qint64 profileSize = t[kProfileSize];
    std::vector<Frame> frames = {
        {0, kHeaderFrame, "write flash header frame failed"},
        {t[kManagementEnd], t[kDistHeaderEnd], "write distheader frame failed"},
        {t[kRouteSection], m_layout.areaEnd(Area::Route), "write route frame failed"},
    };
    if (m_layout.areaStart(Area::Lap) != m_layout.areaEnd(Area::Lap))
        frames.push_back({m_layout.areaStart(Area::Lap), m_layout.areaEnd(Area::Lap), "write lap frame failed"});
    frames.insert(frames.end(),
                  {
                      {t[kWorkoutSection], m_layout.areaEnd(Area::Workout), "write workout frame failed"},
                      {t[kIntervalFirst], m_layout.areaEnd(Area::Interval), "write workout interval frame failed"},
                      {t[kTrackSection], m_layout.areaEnd(Area::Track), "write track seg frame failed"},
                      {t[kWorkoutLogSection], m_layout.areaEnd(Area::WorkoutLog), "write workout log frame failed"},
                      {t[kSensorLogSection], m_layout.areaEnd(Area::SensorLog), "write sensor log frame failed"},
                      {t[kUserInfoSection], m_layout.areaEnd(Area::UserInfoLog), "write info log frame failed"},
                      {profile - profileSize, profile + profileSize, "write profile frame failed"},
                      {profile + profileSize, t[kImageSize], "write mag2 frame failed"},
                  });
    return frames;
}

bool OrvoPSFDevice::framesLieInside(const std::vector<Frame> &frames) const
{
    for (const Frame &frame : frames) {
        if (frame.start < 0 || frame.end < frame.start || frame.end > qint64(m_image.size())) {
            ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::save")
                << frame.failure << "before the erase: from" << frame.start << "to" << frame.end
                << "does not lie inside the image; the flash is left as it is";
            return false;
        }
    }
    return true;
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
    // Every frame that will be written is checked after the edits and before the erase: a
    // frame refused after it would leave the device without its data.
    const std::vector<Frame> frames = saveFrames();
    QString id;
    if (!framesLieInside(frames) || !getUUID(id) || !m_layout.rebuildHeader()) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the flash is left as it is";
        return false;
    }
    // What the device held is kept from just before the erase until the whole image is
    // written back; a way out that did not erase takes the copy away again.
    const OrvoPSFRestoreImage restore(id);
    if (!restore.save({id, firmwareText(), bytesOf(m_asRead), newBlockSums(frames)}))
        return false;
    bool sent = false;
    if (!eraseFlash(sent)) {
        if (!sent)
            restore.remove();
        return false;
    }
    QSet<int> written;
    bool ok = true;
    for (const Frame &frame : frames) {
        if (!writeBlocks(frame.start, frame.end - frame.start, written)) {
            ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << frame.failure;
            ok = false;
        }
    }
    if (!ok)
        return false;
    restore.remove();
    m_asRead = m_image;
    return true;
}

QByteArray OrvoPSFDevice::bytesOf(const std::vector<uchar> &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

QString OrvoPSFDevice::firmwareText()
{
    QString firmware;
    getTotal(firmware);
    return firmware;
}

// The sum of each block as the flash holds it once the frames are written: the blocks the
// frames cover from the image, every other block erased.
QVector<QByteArray> OrvoPSFDevice::newBlockSums(const std::vector<Frame> &frames) const
{
    QSet<qint64> covered;
    for (const Frame &frame : frames) {
        const BlockSpan span = blockSpan(frame.start, frame.end - frame.start);
        for (qint64 block = span.first; block <= span.last; ++block)
            covered.insert(block);
    }
    const QByteArray erased(kBlockSize, '\xFF');
    QVector<QByteArray> sums;
    for (qint64 block = 0; block * kBlockSize < qint64(m_image.size()); ++block) {
        const auto *at = reinterpret_cast<const char *>(m_image.data() + block * kBlockSize);
        sums.append(OrvoPSFRestoreImage::blockSum(covered.contains(block) ? QByteArray(at, kBlockSize) : erased));
    }
    return sums;
}

// What the flash holds next to a recovery copy. A save that was cut off leaves erased flash
// with some of its own blocks written, and a write-back that was cut off leaves erased flash
// with some of the former blocks; either is written over. A flash that holds the whole of one
// image keeps it; anything else holds content that neither made.
OrvoPSFDevice::FlashState OrvoPSFDevice::flashState(const QByteArray &flash, const OrvoPSFRestoreImage::Copy &copy)
{
    const QByteArray erased(kBlockSize, '\xFF');
    bool allNew = true;
    bool allFormer = true;
    bool leftBySave = true;
    bool leftByWriteBack = true;
    for (qsizetype block = 0; block < copy.newBlockSums.size(); ++block) {
        const QByteArray held = flash.sliced(block * kBlockSize, kBlockSize);
        const bool isErased = held == erased;
        const bool isNew = OrvoPSFRestoreImage::blockSum(held) == copy.newBlockSums.at(block);
        const bool isFormer = held == copy.former.sliced(block * kBlockSize, kBlockSize);
        allNew = allNew && isNew;
        allFormer = allFormer && isFormer;
        leftBySave = leftBySave && (isErased || isNew);
        leftByWriteBack = leftByWriteBack && (isErased || isFormer);
    }
    if (allNew)
        return FlashState::NewImage;
    if (allFormer)
        return FlashState::FormerImage;
    return leftBySave || leftByWriteBack ? FlashState::LeftByWrite : FlashState::Other;
}

// A save that failed after its erase left the device's former image behind: it goes back on
// the flash before anything is read, but only over what that save can have left.
bool OrvoPSFDevice::writeBackInterruptedSave()
{
    const char *function = "OrvoPSFDevice::writeBackInterruptedSave";
    QString id;
    if (!OrvoPSFRestoreImage::anyPending() || !getUUID(id))
        return true;
    const OrvoPSFRestoreImage restore(id);
    if (!restore.exists())
        return true;
    OrvoPSFRestoreImage::Copy copy;
    if (!restore.load(copy))
        return keepAside(restore, QStringLiteral("it is cut or damaged"));
    const QString firmware = firmwareText();
    if (copy.firmware != firmware)
        return keepAside(restore, QStringLiteral("it was made under the firmware \"%1\", the device runs \"%2\"")
                                      .arg(copy.firmware, firmware));
    const qsizetype size = qsizetype(m_image.size());
    if (copy.former.size() != size)
        return keepAside(restore, QStringLiteral("it holds %1 bytes, the flash %2").arg(copy.former.size()).arg(size));
    QByteArray flash;
    if (!readWholeFlash(flash)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function)
            << "the flash can not be read to compare it with the recovery copy" << restore.path();
        return false;
    }
    switch (flashState(flash, copy)) {
    case FlashState::NewImage:
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, function)
            << "the device holds the whole image of the last save; its recovery copy goes";
        restore.remove();
        return true;
    case FlashState::FormerImage:
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, function)
            << "the last save did not change the flash; its recovery copy goes";
        restore.remove();
        return true;
    case FlashState::LeftByWrite:
        return writeBack(restore, copy.former);
    case FlashState::Other:
        break;
    }
    return keepAside(restore, QStringLiteral("the flash holds content made after the save that was cut off"));
}

bool OrvoPSFDevice::writeBack(const OrvoPSFRestoreImage &restore, const QByteArray &former)
{
    const char *function = "OrvoPSFDevice::writeBackInterruptedSave";
    OrvoSCSIDeviceService *service = scsiService();
    bool sent = false;
    if (!service || !eraseFlash(sent))
        return false;
    const QByteArray erased(kBlockSize, '\xFF');
    for (qsizetype offset = 0; offset < former.size(); offset += kBlockSize) {
        const QByteArray block = former.sliced(offset, kBlockSize);
        if (block == erased)
            continue;
        if (!service->writeFlashBlocks(block.constData(), kImageWriteArea, kBlockSize, kBlockSize,
                                       int(offset / kBlockSize))) {
            ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the former image is not written back whole";
            return false;
        }
    }
    ORVO_TRACE_WARNING(lcOrvoPsfDevice, function) << "the image of an interrupted save was written back";
    restore.remove();
    return true;
}

// The device opens as it is; the copy stays where the user can find it, and no client writes it.
bool OrvoPSFDevice::keepAside(const OrvoPSFRestoreImage &restore, const QString &reason)
{
    const QString aside = restore.setAside();
    const QString kept = aside.isEmpty() ? restore.path() : aside;
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::writeBackInterruptedSave")
        << "a recovery copy of this device's flash is kept in" << kept << "and not written back:" << reason
        << "; the device is opened as it is";
    setNotice(QStringLiteral("A recovery copy of this device's flash from a save that was cut off is kept in %1 "
                             "and was not written back: %2. The device shows what it holds now.")
                  .arg(kept, reason));
    return true;
}

bool OrvoPSFDevice::saveToFile(const QString &path)
{
    return writeBytes(path, bytesOf(m_image), "OrvoPSFDevice::saveToFile");
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
    std::copy(bytes.begin(), bytes.end(), m_asRead.begin());
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
        std::copy_n(m_image.begin() + block * kBlockSize, kBlockSize, m_asRead.begin() + block * kBlockSize);
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
    const BlockSpan span = blockSpan(offset, length);
    for (qint64 block = span.first; block <= span.last; ++block) {
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
    bool sent = false;
    return eraseFlash(sent);
}

bool OrvoPSFDevice::eraseFlash(bool &sent)
{
    const char *function = "OrvoPSFDevice::eraseExtFlash";
    sent = false;
    OrvoSCSIDeviceService *service = scsiService();
    if (!service || !service->openClient()) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "open client failed";
        return false;
    }
    const auto cdb = ScsiCommand::vendorWrite(0, kEraseArea, 1);
    const QByteArray zeros(ScsiCommand::kSectorSize, '\0');
    const bool erased = service->writeClient(cdb.data(), int(cdb.size()), zeros.constData(), zeros.size());
    sent = erased;
    const bool ready = erased && waitFlash(kEraseTimeoutMs, kEraseIntervalMs);
    service->closeClient();
    if (!ready)
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << (erased ? "the flash did not get ready" : "erase failed");
    return ready;
}

bool OrvoPSFDevice::readWholeFlash(QByteArray &flash)
{
    flash = QByteArray(qsizetype(m_image.size()), '\xFF');
    return readFlashArea(flash.data(), kImageReadArea, flash.size(), kBlockSize, 0);
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

// Listing.

OrvoPSFDevice::GetTrackTask::GetTrackTask(OrvoPSFDevice &device, QVector<OrvoClientData> &items)
    : m_device(device)
    , m_items(items)
{}

bool OrvoPSFDevice::GetTrackTask::execute()
{
    start();
    wait();
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, "OrvoPSFDevice::GetTrackTask::execute") << "finished";
    return true;
}

void OrvoPSFDevice::GetTrackTask::handleException()
{
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::GetTrackTask") << "getTracks() raise exception";
}

// The listing thread has a guard of its own: a fault on it ends here and the worker goes on.
void OrvoPSFDevice::GetTrackTask::run()
{
    ListingTask listing([this] { m_device.getPSFRoute(kRecordedTracks, m_items); }, [this] { handleException(); });
    OrvoExceptionHandler guard;
    guard.runTask(&listing);
}

void OrvoPSFDevice::getRoutes(QVector<OrvoClientData> &items)
{
    getPSFRoute(kPlannedRoutes, items);
}

void OrvoPSFDevice::getTracks(QVector<OrvoClientData> &items)
{
    GetTrackTask task(*this, items);
    OrvoExceptionHandler guard;
    guard.runTask(&task);
}

void OrvoPSFDevice::getPSFRoute(int selector, QVector<OrvoClientData> &items)
{
    std::vector<OrvoPSFRoute_1_5 *> routes;
    if (!m_model || !m_model->routes(selector == kRecordedTracks, routes)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::getPSFRoute") << "getPSFRoute failed";
        return;
    }
    items.reserve(items.size() + qsizetype(routes.size()));
    for (size_t i = 0; i < routes.size(); ++i) {
        const OrvoPSFRoute_1_5 &route = *routes[i];
        OrvoClientData item;
        item.id = int(i);
        if (route.isBitFont())
            item.nameImage = firstNameImage(route);
        else
            item.name = route.name(QString());
        if (const OrvoPSFLap_1_5 *summary = route.summaryLap()) {
            item.totalLength = int(summary->distance());
            item.startTime = utcTime(summary->startTime());
            item.endTime = utcTime(summary->endTime());
        } else {
            item.totalLength = route.travelDistance() * kTravelDistanceUnit;
        }
        item.kind = OrvoClientData::KindRide;
        item.uploaded = isUploaded(route);
        items.append(item);
    }
}

void OrvoPSFDevice::getWorkouts(QVector<OrvoClientData> &items)
{
    QStringList languages;
    getLanguageOnDevice(languages);
    languages.append(QString());
    std::vector<OrvoPSFWorkout_1_5 *> workouts;
    if (!m_model || !m_model->workouts(workouts)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::getWorkouts") << "getWorkouts failed";
        return;
    }
    items.reserve(items.size() + qsizetype(workouts.size()));
    for (size_t i = 0; i < workouts.size(); ++i) {
        const OrvoPSFWorkout_1_5 &workout = *workouts[i];
        OrvoClientData item;
        item.id = int(i);
        for (const QString &language : std::as_const(languages)) {
            if (workout.isBitFont()) {
                const QImage image = language.isEmpty() ? firstNameImage(workout) : workout.nameImage(language);
                if (!image.isNull())
                    item.nameImage = image;
            } else if (const QString name = workout.name(language); !name.isEmpty()) {
                item.name = name;
            }
        }
        if (workout.isPresent(kWorkoutTimeOffset, 4))
            item.startTime = utcTime(workout.u32(kWorkoutTimeOffset));
        item.kind = OrvoClientData::KindWorkout;
        item.workoutType = workout.workoutType();
        item.subType = workout.subtype();
        item.itemId = int(workout.number());
        item.uploaded = workout.bits(kWorkoutFlagsOffset, kWorkoutUploadedBit, 1) != 0;
        item.activityType = workout.activityType();
        items.append(item);
    }
}

ZKGpxLap OrvoPSFDevice::makeTrackDescription(const OrvoPSFLap_1_5 &lap, int cadenceSelector)
{
    const bool scaled = cadenceSelector == kScaledCadence;
    ZKGpxLap gpx;
    gpx.start = psfTimeText(lap.startTime());
    gpx.end = psfTimeText(lap.endTime());
    gpx.distance = QString::number(lap.distance());
    gpx.speedAvg = decimalsIfValid(lap.averageSpeed(), 2);
    gpx.speedMax = decimalsIfValid(lap.maximumSpeed(), 2);
    gpx.hrmAvg = integerIfValid(lap.averageHeartRate());
    gpx.hrmMax = integerIfValid(lap.maximumHeartRate());
    gpx.cadAvg = cadenceText(lap.averageCadence(scaled), scaled);
    gpx.cadMax = cadenceText(lap.maximumCadence(scaled), scaled);
    gpx.pwrAvg = integerIfValid(lap.averagePower());
    gpx.pwrMax = integerIfValid(lap.maximumPower());
    gpx.altgain = QString::number(lap.altitudeGain());
    gpx.altloss = QString::number(lap.altitudeLoss());
    gpx.calorie = QString::number(lap.calories());
    gpx.rtime = QString::number(lap.ridingTime());
    return gpx;
}

QList<ZKGpxLap> OrvoPSFDevice::lapsToGpx(const OrvoPSFRoute_1_5 &track)
{
    QList<ZKGpxLap> laps;
    laps.reserve(qsizetype(track.laps().size()));
    for (const auto &lap : track.laps()) {
        laps.append(makeTrackDescription(*lap, track.activityType()));
        laps.last().order = QString::number(laps.size());
    }
    return laps;
}

std::optional<ZKGpxTrackList> OrvoPSFDevice::toGpxTrack(OrvoPSFRoute_1_5 &route, ZKGpxRoute &routeOut)
{
    const auto *segments = m_model ? m_model->trackSegmentsOfRoute(route) : nullptr;
    if (!segments) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::toGpxTrack") << "getTrackOfRoute  failed";
        return std::nullopt;
    }
    ZKGpxTrackList list;
    list.tracks.reserve(qsizetype(segments->size()));
    std::optional<ZKGpxTrackPoint> last;
    for (const auto &segment : *segments) {
        ZKGpxTrack track;
        track.breaktype = QString::number(segment->routeType());
        OrvoPSFTrackCursor cursor = segment->cursor();
        while (cursor.next()) {
            if (track.points.isEmpty()) {
                track.points.reserve(qsizetype(segment->points().size()) + 1);
                const ZKGeoPoint start(segment->startLatitude(), segment->startLongitude());
                track.appendPoint(trackPoint(start, segment->startTime(), segment->startAltitude()));
                routeOut.appendPoint(routePoint(track.points.last()));
            }
            track.appendPoint(trackPoint(cursor.position(), cursor.time(), cursor.altitude()));
            last = track.points.last();
        }
        list.append(track);
    }
    if (last)
        routeOut.appendPoint(routePoint(*last));
    return list;
}

std::optional<ZKGpxItemList<ZKGpxLogSegment>> OrvoPSFDevice::toGpxSsrLog(OrvoPSFRoute_1_5 &route)
{
    std::vector<const OrvoPSFSensorLog_1_5 *> logs;
    if (!m_model || !m_model->sensorLogsOfRoute(route, logs)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::toGpxSsrLog") << "getSensorLogOfRoute failed";
        return std::nullopt;
    }
    const bool scaled = route.activityType() == kScaledCadence;
    ZKGpxItemList<ZKGpxLogSegment> list;
    list.items.reserve(qsizetype(logs.size()));
    for (const auto &segment : route.segments()) {
        const OrvoPSFSensorLog_1_5 *log = segment->sensorLog();
        if (!log)
            continue;
        ZKGpxLogSegment logSegment;
        logSegment.breaktype = QString::number(log->attribute());
        logSegment.points.reserve(log->sampleCount());
        for (int k = 0; k < log->sampleCount(); ++k) {
            ZKGpxLogPoint point = logPoint(OrvoPSFSensorLogPoint_1_5(*log, k), scaled);
            // The samples follow the segment's points: one per tick from its start.
            point.time = psfTimeText(std::time_t(segment->startTime()) + std::time_t(k) * segment->secondsPerTick());
            logSegment.points.append(point);
        }
        list.append(logSegment);
    }
    return list;
}

bool OrvoPSFDevice::buildTrackSegment(OrvoPSFRoute_1_5 &route, const ZKGpxTrack &track, const ZKGpxRoutePoint *first,
                                      const ZKGpxRoutePoint *second)
{
    const std::optional<OrvoPSFSegmentPlan> plan = OrvoPSFSegmentPlan::fromTrack(track);
    if (!plan || !m_model || !m_model->trackAreaHasRoom(plan->bytes()))
        return false;
    return writeSegment(route, *plan, track, first, second);
}

bool OrvoPSFDevice::writeSegment(OrvoPSFRoute_1_5 &route, const OrvoPSFSegmentPlan &plan, const ZKGpxTrack &track,
                                 const ZKGpxRoutePoint *first, const ZKGpxRoutePoint *second)
{
    OrvoPSFTrackSeg_1_5 *segment = m_model->newTrackSegment(route);
    const quint32 now = quint32(OrvoDeviceWaits::current().currentUtc().toSecsSinceEpoch());
    if (segment && plan.writeTo(*segment, m_layout, now, track.breaktype.toInt(), first, second))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::buildTrackSegment")
        << "the segment of" << plan.pointRecords() << "points does not fit the track area";
    return false;
}

bool OrvoPSFDevice::hasWorkoutId(int id)
{
    std::vector<OrvoPSFWorkout_1_5 *> workouts;
    if (!m_model || !m_model->workouts(workouts))
        return false;
    return std::any_of(workouts.begin(), workouts.end(),
                       [id](const OrvoPSFWorkout_1_5 *workout) { return workout->number() == quint32(id); });
}

void OrvoPSFDevice::parseMultiLangNames(const QString &text, QMap<QString, QString> &names)
{
    if (text.size() > 1 && !text.startsWith(kLanguageMark)) {
        names.insert(kUnknownLanguage, text);
        return;
    }
    names.clear();
    for (const QString &part : text.split(kLanguageMark, Qt::SkipEmptyParts)) {
        if (part.size() > kLanguagePrefix)
            names.insert(part.left(kLanguageCodeSize), part.mid(kLanguagePrefix));
    }
}

// Conversions.

bool OrvoPSFDevice::bitFontNames()
{
    return getDeviceSetting(QStringLiteral("bitfont"), QStringLiteral("0")) != QLatin1String("0");
}

bool OrvoPSFDevice::importGpxFile(const QString &path, bool *skipped)
{
    ZKGpx2 document;
    ZKGpxReader reader(document);
    reader.readFile(path);
    const bool shared = reader.majorVersion() == kShareDialect &&
                        !(document.metadata && document.metadata->sharetype == QLatin1String("0"));
    if (skipped != nullptr)
        *skipped = !shared;
    if (!shared) {
        ORVO_TRACE_DEBUG(lcOrvoPsfDevice, "OrvoPSFDevice::importGpxFile")
            << path << "is of dialect" << reader.majorVersion() << "or not for sharing; not imported";
        return true;
    }
    const bool added = addRoute(document);
    setError(!added);
    return added;
}

bool OrvoPSFDevice::addRoute(ZKGpx2 &document)
{
    const char *function = "OrvoPSFDevice::addRoute";
    if (!document.route || !document.trackList || !m_model) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function)
            << " OrvoPSF::addRoute rte =" << document.route.has_value() << " trk =" << document.trackList.has_value();
        return false;
    }
    const ZKGpxMetadata metadata = document.metadata.value_or(ZKGpxMetadata());
    QString name = metadata.shtname.isEmpty() ? metadata.name : metadata.shtname;
    if (name.isEmpty())
        name = QStringLiteral("no name");

    // Every segment is planned and counted first: a route is stored with all its segments or
    // not at all.
    const QList<ZKGpxTrack> &tracks = document.trackList->tracks;
    std::vector<std::optional<OrvoPSFSegmentPlan>> plans;
    plans.reserve(size_t(tracks.size()));
    qsizetype bytes = 0;
    for (const ZKGpxTrack &track : tracks) {
        ZKGpxTrack smoothed = track;
        if (!smoothElevations(smoothed)) {
            ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "a track needs more points than a segment holds";
            return false;
        }
        plans.push_back(OrvoPSFSegmentPlan::fromTrack(smoothed));
        bytes += plans.back() ? plans.back()->bytes() : 0;
    }
    if (!m_model->trackAreaHasRoom(bytes)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the segments of" << bytes << "bytes do not fit";
        return false;
    }
    OrvoPSFRoute_1_5 *route = m_model->addRoute({name}, {QStringLiteral("ENG")}, bitFontNames());
    if (!route) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the route" << name << "does not fit";
        return false;
    }
    fillRoute(*route, metadata);
    const QList<ZKGpxRoutePoint> &marks = document.route->points;
    for (qsizetype k = 0; k < tracks.size(); ++k) {
        if (!plans[size_t(k)])
            continue;
        const ZKGpxRoutePoint *first = k < marks.size() ? &marks.at(k) : nullptr;
        const ZKGpxRoutePoint *second = k + 1 < marks.size() ? &marks.at(k + 1) : nullptr;
        if (!writeSegment(*route, *plans[size_t(k)], tracks.at(k), first, second))
            return false;
    }
    return true;
}

void OrvoPSFDevice::fillRoute(OrvoPSFRoute_1_5 &route, const ZKGpxMetadata &metadata)
{
    route.setStartTime(kNoTime);
    route.setRecorded(false);
    // Bit 3 of the attribute marks a route the system added.
    route.setDeviceAttribute(quint8(metadata.deviceText2.toUInt() & kAttributeBits) | kAddedAttribute);
    route.setActivityType(quint8(metadata.acttype.toUInt()));
    route.setActivitySubtype(quint8(metadata.acttypeSubtype.toUInt()));
    route.setDeviceValue(quint16(metadata.deviceText1.toUInt() * kDeviceValueScale));
    const float distance = metadata.trvdist.toFloat();
    const double tens = std::isfinite(distance) ? std::trunc(double(distance) / kTravelDistanceUnit) : 0.0;
    route.setTravelDistance(quint16(qint64(std::clamp(tens, -double(kMaxTens), double(kMaxTens)))));
}

bool OrvoPSFDevice::addWorkouts(const ZKTrncrs &course)
{
    return addCourse(course, true);
}

bool OrvoPSFDevice::addWorkoutsAllLanguages(const ZKTrncrs &course)
{
    return addCourse(course, false);
}

bool OrvoPSFDevice::importWorkoutFile(const QString &path)
{
    ZKTrncrs course;
    ZKTrncrsReader(&course).readFile(path);
    return addWorkouts(course);
}

bool OrvoPSFDevice::importWorkoutFileAllLanguages(const QString &path)
{
    ZKTrncrs course;
    ZKTrncrsReader(&course).readFile(path);
    return addWorkoutsAllLanguages(course);
}

bool OrvoPSFDevice::addCourse(const ZKTrncrs &course, bool filtered)
{
    QStringList languages;
    const bool filter = filtered && usePsfLanguageFilter();
    if (filter)
        getLanguageOnDevice(languages);
    bool added = true;
    for (const ZKTrncrsWorkout &workout : course.workouts())
        added &= addCourseWorkout(workout, filter ? &languages : nullptr);
    setError(!added);
    return added;
}

bool OrvoPSFDevice::addCourseWorkout(const ZKTrncrsWorkout &workout, const QStringList *languages)
{
    const char *function = "OrvoPSFDevice::addWorkouts";
    const int id = workout.id.toInt();
    if (hasWorkoutId(id))
        return true;
    QMap<QString, QString> names;
    QMap<QString, QString> shortNames;
    parseMultiLangNames(workout.name, names);
    parseMultiLangNames(workout.nameShtname, shortNames);
    if (names.isEmpty())
        names.insert(kUnknownLanguage, workout.name);
    if (shortNames.isEmpty())
        shortNames.insert(kUnknownLanguage, workout.nameShtname);
    QStringList texts;
    QStringList codes;
    collectNames(names, shortNames, languages, texts, codes);
    const QString fallback = workout.nameShtname.isEmpty() ? workout.name : workout.nameShtname;
    if (texts.isEmpty() && !fallback.isEmpty()) {
        texts.append(fallback);
        codes.append(kUnknownLanguage);
    }
    QStringList descTexts;
    QStringList descCodes;
    if (!workout.desc.isEmpty()) {
        QMap<QString, QString> descriptions;
        parseMultiLangNames(workout.desc, descriptions);
        collectNames(descriptions, {}, languages, descTexts, descCodes);
        if (descTexts.isEmpty()) {
            descTexts.append(workout.desc);
            descCodes.append(kUnknownLanguage);
        }
    }

    const qsizetype intervals = std::count_if(workout.intervals.begin(), workout.intervals.end(), isComplete);
    if (!m_layout.hasRoom(Area::Interval, intervals * OrvoPSFInterval_1_5::kSize)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function)
            << "the" << intervals << "intervals of workout" << id << "do not fit; the workout is not added";
        return false;
    }
    OrvoPSFWorkout_1_5 *stored =
        m_model ? m_model->addWorkout(texts, codes, descTexts, descCodes, bitFontNames()) : nullptr;
    if (!stored) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "workout" << id << "does not fit";
        return false;
    }
    fillWorkout(*stored, workout);
    bool added = true;
    for (const ZKTrncrsInterval &interval : workout.intervals) {
        if (isComplete(interval))
            added &= addInterval(interval, *stored);
    }
    return added;
}

void OrvoPSFDevice::collectNames(const QMap<QString, QString> &names, const QMap<QString, QString> &shortNames,
                                 const QStringList *languages, QStringList &texts, QStringList &codes)
{
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (languages && !languages->contains(it.key()))
            continue;
        const QString shortName = shortNames.value(it.key());
        texts.append(shortName.isEmpty() ? it.value() : shortName);
        codes.append(it.key());
    }
}

void OrvoPSFDevice::fillWorkout(OrvoPSFWorkout_1_5 &stored, const ZKTrncrsWorkout &workout)
{
    stored.setCreationTime(workout.time.isEmpty() ? -1 : qint64(parseUtcTime(workout.time)));
    stored.setNumber(quint32(workout.id.toInt()));
    stored.setDaily(workout.daily.toInt() != 0);
    stored.setActivityType(quint8(workout.acttype.toInt()));
    stored.setRepeat(quint8(workout.repeat.toInt()));
    stored.setWorkoutType(quint8(workout.type.toInt()));
    stored.setSubtype(quint8(workout.subtype.toInt()));
    stored.setBits(kWorkoutFlagsOffset, kWorkoutUploadedBit, 1, 0);
}

bool OrvoPSFDevice::addInterval(const ZKTrncrsInterval &interval, OrvoPSFWorkout_1_5 &workout)
{
    const char *function = "OrvoPSFDevice::addInterval";
    if (!isComplete(interval)) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, function) << "interval" << interval.id << "has no target or duration";
        return false;
    }
    OrvoPSFInterval_1_5 *stored = m_model ? m_model->addInterval(workout) : nullptr;
    if (!stored) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "interval" << interval.id << "does not fit";
        return false;
    }
    const ZKTrncrsTarget &target = *interval.target;
    const ZKTrncrsDuration &duration = *interval.duration;
    stored->setIdentifier(interval.id);
    stored->setStepType(OrvoPSFStepType::fromName(interval.name));
    stored->setTargetType(quint8(target.type.toInt()));
    const int durationType = duration.type.toInt();
    if (!stored->setDuration(quint8(durationType), duration.value.toInt(), durationKind(durationType)))
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, function) << "the duration of interval" << interval.id << "is left 0";
    if (durationType == kManualDurationType)
        stored->setBits(kStepOffset, kScaledBit, 1, 1);
    stored->setLinkIndexAt8(gotoIndex(workout, interval.gotoText));
    stored->setRepeatCount(quint8(interval.gotoRepeat.toInt()));
    const int low = target.low.toInt();
    const int high = target.high.toInt();
    stored->setTarget(targetByte(low), targetByte(high));
    stored->setStepFlags(isTrue(target.ishardcon), isTrue(interval.needLap), isTrue(duration.ismanual));
    stored->setTargetHighBits(targetNibble(low), targetNibble(high));
    stored->setLogResolution(quint8(interval.logreso.toInt()));
    return true;
}

qint64 OrvoPSFDevice::gotoIndex(const OrvoPSFWorkout_1_5 &workout, const QString &gotoText)
{
    if (gotoText.isEmpty())
        return -1;
    const auto &intervals = workout.intervals();
    for (size_t i = 0; i < intervals.size(); ++i) {
        if (intervals[i]->identifier() == gotoText)
            return qint64(i);
    }
    return -1;
}

ZKGpxMetadata OrvoPSFDevice::toGpxMetadata(OrvoPSFRoute_1_5 &route)
{
    QString model;
    getName(model);
    QString total;
    getTotal(total);
    ZKGpxMetadata metadata;
    metadata.name = route.name(QString());
    metadata.desc = model;
    metadata.authorName = QStringLiteral("Tarvex");
    metadata.minlat = metadata.minlon = metadata.maxlat = metadata.maxlon = QStringLiteral("0");
    metadata.sys = model;
    metadata.sysVersion = QStringLiteral("1.0.0.") + total + QStringLiteral(" Orvo") + OrvoEnv::version();
    metadata.sharetype = QStringLiteral("2");
    metadata.acttype = QString::number(route.activityType());
    metadata.acttypeSubtype = QString::number(route.activitySubtype());
    if (const OrvoPSFLap_1_5 *summary = route.summaryLap()) {
        metadata.stime = psfTimeText(summary->startTime());
        metadata.etime = psfTimeText(summary->endTime());
        metadata.trvtime = QString::number(qint64(summary->endTime()) - qint64(summary->startTime()));
        metadata.trvdist = QString::number(summary->distance());
    } else {
        metadata.stime = psfTimeText(route.startTime());
    }
    if (route.isRecorded()) {
        if (const OrvoPSFUserInfoLog_1_5 *log = m_model ? m_model->userInfoOfRoute(route) : nullptr)
            fillUser(metadata.user, *log);
    }
    return metadata;
}

void OrvoPSFDevice::fillUser(ZKGpxMetadataExt &user, const OrvoPSFUserInfoLog_1_5 &log) const
{
    user.name = QString();
    user.gender = m_userSex;
    user.age = QString::number(m_userAge);
    user.weight = decimalsOrZero(log.weight());
    user.height = decimalsOrZero(log.height());
    user.bike.name = QString();
    user.bike.weight = decimalsOrZero(log.bikeWeight());
    user.bike.type = QString::number(log.bikeType());
    user.bike.wheel = decimalsOrZero(log.wheelSize());
    user.bike.text = QString::number(log.bikeNumber());
    for (const auto &zone : log.zones()) {
        const QString value = QString::number(zone->value());
        switch (zone->zoneType()) {
        case kMhrZone:
            user.mhr = value;
            break;
        case kLthrZone:
            user.lthr = value;
            break;
        case kMapZone:
            user.map = value;
            break;
        case kFtpZone:
            user.ftp = value;
            break;
        default:
            break;
        }
        ZKGpxZoneDef definition;
        definition.type = QString::number(zone->zoneType());
        definition.low.reserve(zone->zoneCount());
        definition.high.reserve(zone->zoneCount());
        for (int i = 0; i < zone->zoneCount(); ++i) {
            definition.low.append(zone->zoneLow(i));
            definition.high.append(zone->zoneHigh(i));
        }
        user.zoneDefs.append(definition);
    }
}

std::optional<ZKGpxWorkoutLog> OrvoPSFDevice::toGpxWorkoutLog(OrvoPSFRoute_1_5 &route)
{
    const OrvoPSFFlashImage::WorkoutLogLink link =
        m_model ? m_model->workoutLogOf(route) : OrvoPSFFlashImage::WorkoutLogLink();
    if (!link.log || !link.workout)
        return std::nullopt;
    ZKGpxWorkoutLog log;
    log.id = QString::number(link.workout->number());
    log.type = QString::number(link.workout->workoutType());
    log.intervals.reserve(link.log->entryCount());
    for (int k = 0; k < link.log->entryCount(); ++k) {
        const QByteArray entry = link.log->entry(k);
        OrvoByteReader reader(entry);
        const quint32 start = reader.readU32Le();
        const quint32 end = reader.readU32Le();
        if (!reader.ok() || start == 0 || end == 0)
            continue;
        log.appendInterval({QString::number(k + 1), psfTimeText(start), psfTimeText(end)});
    }
    return log;
}

std::optional<ZKTrncrsWorkout> OrvoPSFDevice::toTrncrsWorkout(OrvoPSFRoute_1_5 &route)
{
    const OrvoPSFFlashImage::WorkoutLogLink link =
        m_model ? m_model->workoutLogOf(route) : OrvoPSFFlashImage::WorkoutLogLink();
    if (!link.log || !link.workout)
        return std::nullopt;
    const OrvoPSFWorkout_1_5 &stored = *link.workout;
    ZKTrncrsWorkout workout;
    workout.name = stored.name(QString());
    workout.id = QString::number(stored.number());
    workout.daily = stored.isDaily() ? QStringLiteral("1") : QStringLiteral("0");
    workout.repeat = QString::number(stored.repeat());
    workout.type = QString::number(stored.workoutType());
    if (stored.creationTime() >= 0)
        workout.time = psfTimeText(std::time_t(stored.creationTime()));
    workout.acttype = QString::number(stored.activityType());
    workout.subtype = QString::number(stored.subtype());
    workout.intervals.reserve(qsizetype(stored.intervals().size()));
    for (size_t k = 0; k < stored.intervals().size(); ++k)
        workout.intervals.append(trncrsInterval(*stored.intervals()[k], int(k) + 1));
    return workout;
}

// Files.

QString OrvoPSFDevice::freeName(const QString &folder, const QString &base, const QString &extension, int attempts,
                                const char *function)
{
    const QDir target(folder);
    for (int n = 0; n < attempts; ++n) {
        const QString candidate = base + QString::number(n) + extension;
        if (!target.exists(candidate))
            return candidate;
    }
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "file name exists for " + base;
    return QString();
}

QString OrvoPSFDevice::workoutToXml(ZKTrncrs &course, const QString &folder)
{
    const char *function = "OrvoPSFDevice::workoutToXml";
    ZKTrncrsMetadata metadata;
    if (!course.workouts().isEmpty()) {
        metadata.name = course.workouts().first().name;
        metadata.time = course.workouts().first().time;
    }
    metadata.desc = QStringLiteral("Sample");
    metadata.author = QStringLiteral("Tarvex");
    getName(metadata.sysMajor);
    course.metadata() = metadata;
    const QString name = freeName(folder, baseName(metadata.name), QStringLiteral(".wrk"), kWrkNameAttempts, function);
    if (name.isEmpty())
        return QString();
    if (!ZKTrnWriter(QStringLiteral("1.0"), course).write(folder + QLatin1Char('/') + name)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not write" << name;
        return QString();
    }
    return name;
}

QStringList OrvoPSFDevice::trackToXml(bool onlyNew, const QString &folder)
{
    const char *function = "OrvoPSFDevice::trackToXml";
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << "start";
    std::vector<OrvoPSFRoute_1_5 *> routes;
    if (!m_model || !m_model->routes(true, routes)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "getRoutes failed";
        return QStringList();
    }
    QStringList files;
    for (OrvoPSFRoute_1_5 *route : routes) {
        if (!onlyNew || !isUploaded(*route))
            writeTrackFiles(*route, folder, files);
    }
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << "end ,file=" << files;
    return files;
}

void OrvoPSFDevice::writeTrackFiles(OrvoPSFRoute_1_5 &route, const QString &folder, QStringList &files)
{
    const char *function = "OrvoPSFDevice::trackToXml";
    ZKGpx2 document;
    ZKGpxRoute gpxRoute;
    document.trackList = toGpxTrack(route, gpxRoute);
    document.logSegments = toGpxSsrLog(route);
    document.workoutLog = toGpxWorkoutLog(route);
    if (std::optional<ZKTrncrsWorkout> workout = toTrncrsWorkout(route)) {
        auto course = std::make_unique<ZKTrncrs>();
        course->workouts().append(*workout);
        const QString name = workoutToXml(*course, folder);
        if (!name.isEmpty())
            files.append(name);
        document.attachTrainingCourse(std::move(course));
    }
    if (const OrvoPSFLap_1_5 *summary = route.summaryLap()) {
        document.laps.emplace();
        document.laps->summary = makeTrackDescription(*summary, route.activityType());
    }
    const QList<ZKGpxLap> laps = lapsToGpx(route);
    if (!laps.isEmpty()) {
        if (!document.laps)
            document.laps.emplace();
        document.laps->items.append(laps);
    }
    document.metadata = toGpxMetadata(route);
    gpxRoute.name = route.name(QString());
    document.route = gpxRoute;
    const QString name = freeName(folder, baseName(gpxRoute.name), QStringLiteral(".gpx"), kGpxNameAttempts, function);
    if (name.isEmpty())
        return;
    if (!ZKGpxWriter(QStringLiteral("2.0"), document).write(folder + QLatin1Char('/') + name)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not write" << name;
        return;
    }
    files.append(name);
}

QStringList OrvoPSFDevice::_exportTrack(const QString &folder)
{
    if (folder.isEmpty())
        return QStringList();
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    if (!QDir().mkpath(absolute)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFDevice::_exportTrack") << "can not create" << absolute;
        return QStringList();
    }
    QStringList paths = trackToXml(false, absolute);
    for (QString &path : paths)
        path = absolute + QLatin1Char('/') + path;
    return paths;
}

bool OrvoPSFDevice::prepareUploadData(QString &path, bool all)
{
    const char *function = "OrvoPSFDevice::prepareUploadData";
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << " start prepare";
    OrvoEnv *env = OrvoEnv::instance();
    env->clearTmpDir();
    const QString folder = env->tmpDir();
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << "do track";
    QStringList files = trackToXml(!all, folder);
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << "done";

    // The dump goes straight into the cleared temporary folder: the dumps that finalize keeps
    // in the user folder under the same name stay as they are.
    const QString dump = QStringLiteral("kavel40flash.orvo%1.dat").arg(OrvoEnv::version());
    saveExtFlashToFile(folder + QLatin1Char('/') + dump);
    if (QFile::exists(folder + QLatin1Char('/') + dump))
        files.append(dump);
    const QString log = env->logFileName();
    QFile::remove(folder + QLatin1Char('/') + log);
    if (QFile::copy(env->logFilePath(), folder + QLatin1Char('/') + log))
        files.append(log);
    else
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, function) << "can not copy the log" << env->logFilePath();

    if (path.isEmpty()) {
        path = folder + QLatin1Char('/') + env->uploadFileName();
    } else {
        QStringList paths;
        paths.reserve(files.size());
        for (const QString &file : std::as_const(files))
            paths.append(folder + QLatin1Char('/') + file);
        OrvoUtility::renameFiles(paths, QStringLiteral(".gpx"), QStringLiteral(".krm"));
        files.clear();
        for (const QString &file : std::as_const(paths))
            files.append(QFileInfo(file).fileName());
    }
    const bool zipped = OrvoZipUtil().compress(path, folder, files);
    if (!zipped)
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not make the upload zip" << path;
    setError(!zipped);
    ORVO_TRACE_DEBUG(lcOrvoPsfDevice, function) << "end";
    return zipped;
}

bool OrvoPSFDevice::setShareData(const QString &zipFile)
{
    return importShareData(zipFile, false);
}

// The page's import answers at once, so it answers only once the device holds the package.
bool OrvoPSFDevice::newSetShareData(const QString &zipFile)
{
    return importShareData(zipFile, true) && writeImage("OrvoPSFDevice::newSetShareData");
}

bool OrvoPSFDevice::importShareData(const QString &zipFile, bool allLanguages)
{
    const char *function = allLanguages ? "OrvoPSFDevice::newSetShareData" : "OrvoPSFDevice::setShareData";
    const QString staging = OrvoEnv::instance()->tmpDir() + QStringLiteral("/kavel40tmp");
    OrvoUtility::removeFolder(staging);
    if (!QDir().mkpath(staging) || !OrvoZipUtil().decompress(zipFile, staging)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "can not unzip" << zipFile;
        setError(true);
        return false;
    }
    const QDir folder(staging);
    QStringList paths;
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted))
        paths.append(folder.filePath(name));
    OrvoUtility::renameFiles(paths, QStringLiteral(".krm"), QStringLiteral(".gpx"));

    bool imported = true;
    int importable = 0;
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted)) {
        const QString path = folder.filePath(name);
        const QString ending = name.right(3);
        if (ending.compare(QLatin1String("wrk"), Qt::CaseInsensitive) == 0) {
            imported &= allLanguages ? importWorkoutFileAllLanguages(path) : importWorkoutFile(path);
            ++importable;
        } else if (ending.compare(QLatin1String("gpx"), Qt::CaseInsensitive) == 0) {
            bool skipped = false;
            imported &= importGpxFile(path, &skipped);
            if (skipped)
                ORVO_TRACE_WARNING(lcOrvoPsfDevice, function) << name << "is no shared route of this device; skipped";
            else
                ++importable;
        }
    }
    if (importable == 0) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function)
            << zipFile
            << "holds nothing to import: a share package holds shared routes (.gpx, .krm) or workouts (.wrk)";
        setError(true);
        return false;
    }
    if (!imported)
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "what does not fit the image is left out";
    setError(!imported);
    return imported;
}
