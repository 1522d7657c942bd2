#include "devices/psf14/OrvoPulmor30.h"

#include "device/OrvoDeviceWaits.h"
#include "devices/psf14/OrvoKavel30IapUpdate.h"
#include "devices/psf14/OrvoKavel30Logging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
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
#include <QSet>

namespace {

const QString kPulmor30 = QStringLiteral("Pulmor30");
const QString kPulmor35 = QStringLiteral("Pulmor35");
const QString kKavel20 = QStringLiteral("Kavel20");
const QString kImageFolderName = QStringLiteral("/pulmor30image");
const QString kImageSuffix = QStringLiteral(".bin");

// Profile sector bytes that are 0 while the device still shows its first-use page.
constexpr qsizetype kPulmor30SetUpOffset = 886;
constexpr qsizetype kFirstUsePageOffset = 1194;
// Releases below these keep a resource image that the external flash's content must not outlive.
constexpr int kKavel20FormatBelow = 8;
constexpr int kFormatBelow = 3;

bool sectorByteSet(const QByteArray &sector, qsizetype offset)
{
    OrvoByteReader reader(sector, offset);
    const quint8 value = reader.readU8();
    return reader.ok() && value != 0;
}

// Whether the ids name every ride and the container holds nothing else a blank write would take.
bool onlyRidesGo(const OrvoPSF &container, const QVector<int> &ids)
{
    const OrvoPSFPOIFrame *pois = container.poiFrame();
    const OrvoPSFWorkoutFrame *workouts = container.workoutFrame();
    if ((pois && !pois->pois().isEmpty()) || (workouts && !workouts->workouts().isEmpty()))
        return false;
    const OrvoPSFRouteFrame *routes = container.routeFrame();
    if (!routes || routes->routes().isEmpty())
        return false;
    const QSet<int> named(ids.cbegin(), ids.cend());
    for (qsizetype i = 0; i < routes->routes().size(); ++i) {
        const OrvoPSFRoute *route = routes->routes().at(i).data();
        if (!route || !route->isTrack() || !named.contains(int(i)))
            return false;
    }
    return true;
}

bool refuseSingleItems(const char *function)
{
    ORVO_TRACE_WARNING(lcOrvoKavel30, function) << "single items cannot be deleted on this model";
    return false;
}

} // namespace

OrvoPulmor30::OrvoPulmor30() = default;

OrvoPulmor30::~OrvoPulmor30() = default;

bool OrvoPulmor30::initial()
{
    QByteArray sector;
    if (!readProfileSector(sector)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoPulmor30::initial") << " read profile from flash failed";
        return false;
    }
    QString model;
    getName(model);
    if (model == kPulmor30)
        return sectorByteSet(sector, kPulmor30SetUpOffset);
    if (model == kPulmor35 || model == kKavel20)
        return sectorByteSet(sector, kFirstUsePageOffset);
    return true;
}

// A partial list is refused before anything is sent: the blank write would take the rides
// that stay, and every route, workout and POI with them.
bool OrvoPulmor30::deleteTracks(const QVector<int> &ids)
{
    flashImage();
    if (ids.isEmpty() || !container() || !onlyRidesGo(*container(), ids)) {
        ORVO_TRACE_WARNING(lcOrvoKavel30, "OrvoPulmor30::deleteTracks")
            << "only every ride of a device that holds nothing else can be deleted";
        return false;
    }
    if (!OrvoKavel30::deleteRoutes(ids))
        return false;
    return deleteAll();
}

bool OrvoPulmor30::deletePOIs(const QVector<int> &)
{
    return refuseSingleItems("OrvoPulmor30::deletePOIs");
}

bool OrvoPulmor30::deleteRoutes(const QVector<int> &)
{
    return refuseSingleItems("OrvoPulmor30::deleteRoutes");
}

bool OrvoPulmor30::deleteWorkouts(const QVector<int> &)
{
    return refuseSingleItems("OrvoPulmor30::deleteWorkouts");
}

bool OrvoPulmor30::deleteAll()
{
    flashImage();
    const bool written = writeBlankImage();
    setError(!written);
    return written;
}

bool OrvoPulmor30::setShareData(const QString &zipFile)
{
    qCInfo(lcOrvoKavel30) << "OrvoPulmor30::setShareData: share packages are not taken:" << zipFile;
    return false;
}

bool OrvoPulmor30::getLanguageOnDevice(QStringList &languages)
{
    if (!profile() && !loadProfile())
        return false;
    const QString language = profile()->value(OrvoProfileKeys::kLang);
    languages.append(language);
    return !language.isEmpty();
}

bool OrvoPulmor30::setDefLanguage(const QStringList &codes)
{
    if (codes.isEmpty() || codes.constFirst().isEmpty())
        return false;
    // The sector goes back whole with the image: without one the edit would have nowhere to go.
    if (flashImage().size() != qsizetype(kFlashSize) || (!profile() && !loadProfile()))
        return false;
    QMap<QString, QString> values = profile()->values();
    values.insert(OrvoProfileKeys::kLang, codes.constFirst());
    profile()->setValues(values);
    if (!profile()->serialize())
        return false;
    setProfileChanged();
    return true;
}

bool OrvoPulmor30::updateLaunchsec(const QString &file)
{
    return OrvoKavel30IapUpdate(*this, OrvoKavel30IapUpdate::kPulmor30).run(file);
}

QByteArray OrvoPulmor30::clockBlock(const QDateTime &local)
{
    QByteArray block(kClockBlockSize, '\0');
    OrvoByteWriter writer = OrvoByteWriter::patch(block, 0);
    const QDate date = local.date();
    const QTime time = local.time();
    writer.writeU8(quint8(time.second()));
    writer.writeU8(quint8(time.minute()));
    writer.writeU8(quint8(time.hour()));
    writer.writeU8(quint8(date.day()));
    writer.writeU8(quint8(date.month()));
    writer.writeU16Le(quint16(date.year()));
    return block;
}

bool OrvoPulmor30::syncTime()
{
    const QByteArray block = clockBlock(OrvoDeviceWaits::current().currentLocal());
    return writeImageFile(block, kClockArea, kResourceBlockSize, kClockBlockSize);
}

int OrvoPulmor30::classFlag2()
{
    return 1;
}

bool OrvoPulmor30::needsFormat()
{
    QString model;
    getName(model);
    QString version;
    getTotal(version);
    const int release = version.mid(1).toInt();
    return (model == kKavel20 && release < kKavel20FormatBelow) || model == kPulmor35 || release < kFormatBelow;
}

// The package is unpacked and its image found before anything is erased, so that a broken
// package leaves the device as it was. A new image must not meet the content the flash kept for
// the old one: when the format fails, the image is not sent.
bool OrvoPulmor30::_updateTotal(const QString &file, const QString &)
{
    QByteArray image;
    if (!resourceImage(file, image))
        return false;
    if (needsFormat()) {
        const bool erased = eraseExtFlash();
        dropCachedImage();
        if (!erased) {
            ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoPulmor30::_updateTotal") << "the flash was not formatted";
            return false;
        }
    }
    return writeResourceImage(image, file);
}

bool OrvoPulmor30::resourceImage(const QString &package, QByteArray &image)
{
    const char *function = "OrvoPulmor30::_updateTotal";
    const QString folder = OrvoEnv::instance()->tmpDir() + kImageFolderName;
    OrvoUtility::removeFolder(folder);
    if (!QDir().mkpath(folder) || !OrvoZipUtil().decompress(package, folder)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "unzip teska image failed " << package << folder;
        return false;
    }
    const QStringList images = QDir(folder).entryList({QStringLiteral("*") + kImageSuffix}, QDir::Files, QDir::Name);
    if (images.isEmpty()) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function) << "teska image not found in unzipd folder " << folder;
        return false;
    }
    const QString path = QDir(folder).filePath(images.constLast());
    QFile input(path);
    // A longer file is no image of this area: cutting it would send a damaged one.
    if (!input.open(QIODevice::ReadOnly) || input.size() > kResourceImageSize) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, function)
            << "write teska image failed " << path << "holds more than" << kResourceImageSize << "bytes";
        return false;
    }
    image = input.readAll();
    image.append(QByteArray(kResourceImageSize - image.size(), '\0'));
    return true;
}

bool OrvoPulmor30::writeResourceImage(const QByteArray &image, const QString &path)
{
    if (!writeImageFile(image, kResourceWriteArea, kResourceBlockSize, kResourceImageSize)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, "OrvoPulmor30::_updateTotal") << "write teska image failed " << path;
        return false;
    }
    QByteArray back;
    back.reserve(kResourceImageSize);
    return readFlash(back, kResourceReadArea, kResourceImageSize, kResourceBlockSize, 0) &&
           back.size() >= kResourceImageSize && back.left(kResourceImageSize) == image;
}

bool OrvoPulmor30::_finalize()
{
    if (!isContentChanged() && !isProfileChanged())
        return true;
    if (isExtFlashSpecified())
        return false;
    return writeBack(false);
}

bool OrvoPulmor30::checkIntegrity()
{
    const QByteArray image = flashImage();
    OrvoByteReader reader(image);
    const quint32 first = reader.readU32Le();
    if (!reader.ok())
        return false;
    if (first != 0xFFFFFFFF)
        return true;
    reader.seek(0x5000);
    const quint32 later = reader.readU32Le();
    return reader.ok() && later != 0xFFFFFFFF;
}

OrvoPSF::Layout OrvoPulmor30::flashLayout() const
{
    OrvoPSF::Layout layout{};
    const std::pair<int, qint32> values[] = {
        {0, 0x6000},   {1, 0x7000},   {2, 0x6154},   {3, 0x6170},   {4, 0x6D00},   {5, 0xB90},    {6, 0x6D00},
        {7, 0x6D10},   {8, 0x8E94},   {9, 0x2184},   {10, 0x8E94},  {11, 0x8EAC},  {12, 0x10FDC}, {13, 0x8130},
        {14, 0x11000}, {15, 0x2D000}, {16, 0x1C000}, {17, 0x2D000}, {18, 0x2F000}, {19, 0x2000},  {20, 0x2F000},
        {21, 0x2F010}, {22, 0x36000}, {23, 0x6FF0},  {24, 0x36000}, {25, 0x36018}, {26, 0x7C000}, {28, 0x45FE8},
        {30, 0xAE000}, {31, 0xAE018}, {32, 0xF2000}, {33, 0x43FE8}, {38, 0xF2000}, {39, 0xF2018}, {40, 0xF8000},
        {41, 0x5FE8},  {42, 0x6000},
    };
    for (const auto &[word, value] : values)
        layout[size_t(word)] = value;
    return layout;
}
