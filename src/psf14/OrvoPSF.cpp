#include "psf14/OrvoPSF.h"

#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoTimeText.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFDistHeader.h"
#include "psf14/OrvoPSFExportDevice.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFIntervalLog.h"
#include "psf14/OrvoPSFLap.h"
#include "psf14/OrvoPSFLapGpx.h"
#include "psf14/OrvoPSFLayout.h"
#include "psf14/OrvoPSFNameField.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFPOIHeader.h"
#include "psf14/OrvoPSFPatchWriter.h"
#include "psf14/OrvoPSFRecordList.h"
#include "psf14/OrvoPSFRideGpx.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRouteHeader.h"
#include "psf14/OrvoPSFRouteImport.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFValues.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutCourse.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLog.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"
#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKGpxWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

using namespace OrvoPSFLayout;

QByteArrayView sectionBytes(const QByteArray &image, const OrvoPSFDistHeader &header, int section)
{
    const quint32 address = header.sectionAddress(section);
    if (address == kOrvoPsfNone)
        return {};
    if (qsizetype(address) >= image.size()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::parse")
            << "section" << section << "at" << address << "lies outside the image of" << image.size() << "bytes";
        return {};
    }
    return QByteArrayView(image).sliced(qsizetype(address));
}

QByteArrayView distHeaderBytes(const QByteArray &image)
{
    if (image.size() <= OrvoPSF::kDistHeaderOffset)
        return {};
    return QByteArrayView(image).sliced(OrvoPSF::kDistHeaderOffset);
}

void patchU32(QByteArray &record, qsizetype offset, qint32 value)
{
    OrvoByteWriter::patch(record, offset).writeU32Le(quint32(value));
}

const QString kGpxVersion = QStringLiteral("2.0");
const QString kWorkoutFileVersion = QStringLiteral("1.0");
const QString kGpxSuffix = QStringLiteral(".gpx");
const QString kWorkoutSuffix = QStringLiteral(".wrk");
constexpr int kLastRideCounter = 99;
constexpr int kLastWorkoutCounter = 999;
constexpr int kLastPoiCounter = 99;
const QString kAuthor = QStringLiteral("Tarvex");
const QString kNoBound = QStringLiteral("0");
const QString kRideShareType = QStringLiteral("2");
const QString kPoiShareType = QStringLiteral("0");
const QString kPoiActivitySubtype = QStringLiteral("1");
const QString kWorkoutDescription = QStringLiteral("Sample");
constexpr int kSecondDialect = 2;
constexpr qsizetype kPoisKept = 10;

// A user value with two decimals: 65.0 gives "65.00".
QString twoDecimalText(float value)
{
    return QString::number(double(value), 'f', 2);
}

// stem + counter + suffix for the first counter from 0 to lastCounter whose file does not exist
// in folder; empty when all do. Replacing a taken name would lose an earlier export while its
// item is marked as exported, and so never offered again.
QString freeName(const QString &folder, const QString &stem, int lastCounter, const QString &suffix)
{
    const QDir dir(folder);
    for (int counter = 0; counter <= lastCounter; ++counter) {
        const QString name = stem + QString::number(counter) + suffix;
        if (!QFileInfo::exists(dir.filePath(name)))
            return name;
    }
    return {};
}

// Writes document under a free name in folder; the name, or empty when no file was written.
template<typename Writer, typename Document>
QString writeExport(Document &document, const QString &folder, const QString &stem, int lastCounter,
                    const QString &suffix, const QString &version)
{
    const QString name = freeName(folder, stem, lastCounter, suffix);
    if (name.isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::export")
            << "no free name left: every" << stem + QStringLiteral("<0-%1>").arg(lastCounter) + suffix << "is taken in"
            << folder << "; the item is not exported";
        return {};
    }
    Writer writer(version, document);
    if (!writer.write(QDir(folder).filePath(name))) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::export") << "cannot write" << name << "into" << folder;
        return {};
    }
    return name;
}

ZKGpxMetadata rideMetadata(const OrvoPSF &psf, const OrvoPSFRoute &ride, const QString &name,
                           const OrvoPSFExportDevice &device, const OrvoPSFLap *summary,
                           const OrvoPSFRideGpx::Totals &totals)
{
    ZKGpxMetadata metadata;
    metadata.name = name;
    metadata.desc = device.modelName;
    metadata.authorName = kAuthor;
    metadata.minlat = metadata.minlon = metadata.maxlat = metadata.maxlon = kNoBound;
    metadata.user.gender = QString::number(psf.userGender());
    metadata.user.weight = twoDecimalText(psf.userWeight());
    metadata.user.age = QString::number(psf.userAge());
    metadata.user.height = twoDecimalText(psf.userHeight());
    metadata.user.mhr = QString::number(psf.userMaxHeartRate());
    metadata.sys = device.modelName;
    metadata.sysVersion = device.systemVersion();
    metadata.sharetype = kRideShareType;
    metadata.acttype = QString::number(ride.routeNibbleLow());
    metadata.acttypeSubtype = QString::number(ride.routeNibbleHigh());
    metadata.stime = psfTimeText(summary ? summary->lapStartTime() : ride.routeStartTime());
    metadata.etime = psfTimeText(summary ? summary->endTime() : totals.lastTime);
    metadata.trvtime = QString::number(quint32(totals.lastTime - ride.routeStartTime()));
    metadata.trvdist = QString::number(totals.distance);
    return metadata;
}

// The bounds are the POI's own point: the file holds that one waypoint.
ZKGpxMetadata poiMetadata(const ZKGpxWaypoint &waypoint, const OrvoPSFExportDevice &device)
{
    ZKGpxMetadata metadata;
    metadata.name = waypoint.name;
    metadata.authorName = kAuthor;
    metadata.minlat = metadata.maxlat = waypoint.lat;
    metadata.minlon = metadata.maxlon = waypoint.lon;
    metadata.sys = device.modelName;
    metadata.sysVersion = device.systemVersion();
    metadata.sharetype = kPoiShareType;
    metadata.acttype = QString::number(device.classFlag2);
    metadata.acttypeSubtype = kPoiActivitySubtype;
    return metadata;
}

// The first workout, and its log, whose log names the ride at rideOffset.
std::pair<OrvoPSFWorkout *, OrvoPSFWorkoutLog *> rideLog(const OrvoPSFWorkoutFrame *frame, quint32 rideOffset)
{
    if (!frame)
        return {};
    for (OrvoPSFWorkout *workout : livingRecords(frame->workouts())) {
        for (OrvoPSFWorkoutLog *log : livingRecords(workout->workoutLogs())) {
            if (log->rideOffset() == rideOffset)
                return {workout, log};
        }
    }
    return {};
}

// A workout time text; none (0xFFFFFFFF) when the text is empty or no time.
quint32 workoutTimeOf(const QString &text)
{
    const std::time_t time = parseUtcTime(text);
    if (text.isEmpty() || (time == 0 && text != psfTimeText(0)))
        return kOrvoPsfNone;
    return quint32(time);
}

// Deletes the records at the given indices and closes the gaps; out-of-range and repeated
// indices do nothing.
template<typename Record>
void removeAt(QVector<QPointer<Record>> &list, const QList<int> &indices)
{
    for (const int index : indices) {
        if (index >= 0 && index < list.size() && list.at(index))
            delete list.at(index).data();
    }
    list.removeIf([](const QPointer<Record> &record) { return record.isNull(); });
}

// Deletes the records from index keep on.
template<typename Record>
void cutAt(QVector<QPointer<Record>> &list, qsizetype keep)
{
    for (qsizetype i = keep; i < list.size(); ++i)
        delete list.at(i).data();
    list.removeIf([](const QPointer<Record> &record) { return record.isNull(); });
}

template<typename Record>
void dropDeleted(QVector<QPointer<Record>> &list)
{
    list.removeIf([](const QPointer<Record> &record) { return record.isNull(); });
}

} // namespace

const char *const OrvoPSF::kVersion = "1.4.x.x";

std::unique_ptr<OrvoPSF> OrvoPSF::parse(const QByteArray &image, QByteArray *flashHeaderRecord, const Layout &layout,
                                        const QString &version)
{
    if (version != QLatin1String(kVersion)) {
        qCInfo(lcOrvoPsf) << "PSF version" << version << "is not" << kVersion << ": no container";
        return nullptr;
    }
    auto psf = std::make_unique<OrvoPSF>(image, flashHeaderRecord);
    psf->init(layout);
    const OrvoPSFDistHeader &header = *psf->distHeader();
    auto *sensorLogFrame = new OrvoPSFSensorLogFrame(sectionBytes(image, header, SensorLogSection));
    auto *poiFrame =
        new OrvoPSFPOIFrame(sectionBytes(image, header, PoiSection), psf->areaCapacity(PoiCapacity, OrvoPSFPOI::kSize));
    auto *trackFrame = new OrvoPSFTrackFrame(sectionBytes(image, header, TrackSection));
    auto *routeFrame =
        new OrvoPSFRouteFrame(sectionBytes(image, header, RouteSection),
                              psf->areaCapacity(RouteCapacity, OrvoPSFRoute::kSize), trackFrame, sensorLogFrame);
    auto *workoutLogFrame = new OrvoPSFWorkoutLogFrame(sectionBytes(image, header, WorkoutLogSection));
    auto *workoutFrame =
        new OrvoPSFWorkoutFrame(sectionBytes(image, header, WorkoutSection),
                                psf->areaCapacity(WorkoutCapacity, OrvoPSFWorkout::kSize), workoutLogFrame);
    psf->setPoiFrame(poiFrame);
    psf->setTrackFrame(trackFrame);
    psf->setSensorLogFrame(sensorLogFrame);
    psf->setRouteFrame(routeFrame);
    psf->setWorkoutFrame(workoutFrame);
    psf->setWorkoutLogFrame(workoutLogFrame);
    psf->resolveRepeatTargets();
    return psf;
}

OrvoPSF::OrvoPSF(const QByteArray &image, QByteArray *flashHeaderRecord, QObject *parent)
    : OrvoPSFField(parent)
    , m_flashHeaderRecord(flashHeaderRecord)
{
    setDistHeader(new OrvoPSFDistHeader(distHeaderBytes(image)));
}

OrvoPSF::~OrvoPSF()
{
    delete m_distHeader;
    delete m_poiFrame;
    delete m_trackFrame;
    delete m_routeFrame;
    delete m_sensorLogFrame;
    delete m_workoutFrame;
    delete m_workoutLogFrame;
}

template<typename T>
void OrvoPSF::replace(QPointer<T> &held, T *object)
{
    if (held && held != object)
        delete held.data();
    if (object)
        object->setParent(this);
    held = object;
}

void OrvoPSF::setDistHeader(OrvoPSFDistHeader *header)
{
    replace(m_distHeader, header);
}

void OrvoPSF::setPoiFrame(OrvoPSFPOIFrame *frame)
{
    replace(m_poiFrame, frame);
}

void OrvoPSF::setRouteFrame(OrvoPSFRouteFrame *frame)
{
    replace(m_routeFrame, frame);
}

void OrvoPSF::setTrackFrame(OrvoPSFTrackFrame *frame)
{
    replace(m_trackFrame, frame);
}

void OrvoPSF::setSensorLogFrame(OrvoPSFSensorLogFrame *frame)
{
    replace(m_sensorLogFrame, frame);
}

void OrvoPSF::setWorkoutFrame(OrvoPSFWorkoutFrame *frame)
{
    replace(m_workoutFrame, frame);
}

void OrvoPSF::setWorkoutLogFrame(OrvoPSFWorkoutLogFrame *frame)
{
    replace(m_workoutLogFrame, frame);
}

OrvoPSFDistHeader *OrvoPSF::distHeader() const
{
    return m_distHeader;
}

OrvoPSFPOIFrame *OrvoPSF::poiFrame() const
{
    return m_poiFrame;
}

OrvoPSFRouteFrame *OrvoPSF::routeFrame() const
{
    return m_routeFrame;
}

OrvoPSFTrackFrame *OrvoPSF::trackFrame() const
{
    return m_trackFrame;
}

OrvoPSFSensorLogFrame *OrvoPSF::sensorLogFrame() const
{
    return m_sensorLogFrame;
}

OrvoPSFWorkoutFrame *OrvoPSF::workoutFrame() const
{
    return m_workoutFrame;
}

OrvoPSFWorkoutLogFrame *OrvoPSF::workoutLogFrame() const
{
    return m_workoutLogFrame;
}

QByteArray OrvoPSF::serialize() const
{
    QByteArray bytes(kFileHeaderSize, char(0xFF));
    const OrvoPSFField *parts[] = {m_distHeader, m_poiFrame, m_routeFrame, m_trackFrame, m_sensorLogFrame};
    for (const OrvoPSFField *part : parts) {
        if (part)
            bytes.append(part->serialize());
    }
    return bytes;
}

bool OrvoPSF::isKeptWord(int k)
{
    return (k >= 0 && k <= 26) || k == 28 || (k >= 30 && k <= 33) || (k >= 38 && k <= 42);
}

void OrvoPSF::init(const Layout &words)
{
    for (int k = 0; k < kLayoutWords; ++k)
        m_layout[size_t(k)] = isKeptWord(k) ? words[size_t(k)] : 0;
}

qint32 OrvoPSF::layoutWord(int k) const
{
    return isKeptWord(k) ? m_layout[size_t(k)] : 0;
}

qsizetype OrvoPSF::areaCapacity(int capacityWord, qsizetype recordSize) const
{
    return qsizetype(quint32(layoutWord(capacityWord))) / recordSize;
}

void OrvoPSF::setFlag(int value)
{
    m_flag = quint8(value);
}

void OrvoPSF::setFlag2(int value)
{
    m_flag2 = quint8(value);
}

bool OrvoPSF::update(QByteArray &image)
{
    bool done = false;
    if (m_flashHeaderRecord)
        done = layoutRecord(*m_flashHeaderRecord);
    else
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::update") << "no header record to reset";
    done = writeRoutes(image) && done;
    done = writeWorkouts(image) && done;
    done = writePOIs(image) && done;
    return done;
}

bool OrvoPSF::layoutRecord(QByteArray &record) const
{
    if (record.size() < kHeaderRecordMinSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::layoutRecord")
            << "header record of" << record.size() << "bytes, at least" << kHeaderRecordMinSize << "expected";
        return false;
    }
    OrvoByteWriter::patch(record, kPoiFree).writeU16Le(quint16(layoutWord(PoiCapacity)));
    patchU32(record, kPoiEnd, layoutWord(PoiStart));
    patchU32(record, kWorkoutFree, layoutWord(WorkoutCapacity));
    patchU32(record, kWorkoutStart, layoutWord(WorkoutStart));
    patchU32(record, kWorkoutEnd, layoutWord(WorkoutStart));
    patchU32(record, kRouteFree, layoutWord(RouteCapacity));
    patchU32(record, kRouteEnd, layoutWord(RouteStart));
    patchU32(record, kIntervalFree, layoutWord(IntervalCapacity));
    patchU32(record, kIntervalEnd, layoutWord(IntervalStart));
    patchU32(record, kTrackFree, layoutWord(TrackCapacity));
    patchU32(record, kTrackEnd, layoutWord(TrackStart));
    return true;
}

bool OrvoPSF::writeRoutes(QByteArray &image)
{
    return OrvoPSFPatchWriter(image, *this).writeRoutes();
}

bool OrvoPSF::writeWorkouts(QByteArray &image)
{
    return OrvoPSFPatchWriter(image, *this).writeWorkouts();
}

bool OrvoPSF::writePOIs(QByteArray &image)
{
    return OrvoPSFPatchWriter(image, *this).writePOIs();
}

void OrvoPSF::setClock(std::function<qint64()> msecsSinceEpoch)
{
    m_clock = std::move(msecsSinceEpoch);
}

qint64 OrvoPSF::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

void OrvoPSF::resolveRepeatTargets()
{
    if (!m_workoutFrame)
        return;
    QHash<quint32, OrvoPSFInterval *> at;
    const QVector<OrvoPSFWorkout *> workouts = livingRecords(m_workoutFrame->workouts());
    for (const OrvoPSFWorkout *workout : workouts) {
        quint32 link = workout->firstInterval();
        for (OrvoPSFInterval *interval : livingRecords(workout->intervals())) {
            at.insert(link, interval);
            link = interval->nextInterval();
        }
    }
    for (const OrvoPSFWorkout *workout : workouts) {
        for (OrvoPSFInterval *interval : livingRecords(workout->intervals())) {
            if (interval->repeatTarget() != kOrvoPsfNone)
                interval->setRepeatTargetInterval(at.value(interval->repeatTarget()));
        }
    }
}

bool OrvoPSF::exports(bool marked) const
{
    return m_flag2 || !marked;
}

QStringList OrvoPSF::toXML(const QString &folder, const OrvoPSFExportDevice &device)
{
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::toXML") << "do track";
    QStringList files = trackToXML(folder, device);
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::toXML") << "do workout";
    files += workoutsToFile(folder, device);
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::toXML") << "do poi";
    files += poisToGpx(folder, device);
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::toXML") << "done";
    return files;
}

QStringList OrvoPSF::trackToXML(const QString &folder, const OrvoPSFExportDevice &device)
{
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::trackToXML") << "start";
    QStringList files;
    const QVector<QPointer<OrvoPSFRoute>> routes =
        m_routeFrame ? m_routeFrame->routes() : QVector<QPointer<OrvoPSFRoute>>();
    for (qsizetype i = 0; i < routes.size(); ++i) {
        OrvoPSFRoute *ride = routes.at(i);
        if (!ride || !ride->isTrack() || !exports(ride->routeFlag3()))
            continue;
        const QString name = exportRide(folder, device, *ride, quint32(i * OrvoPSFRoute::kSize));
        if (name.isEmpty())
            continue;
        ride->setRouteFlag3(true);
        files << name;
    }
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::trackToXML") << "end ,file=" << files;
    return files;
}

QString OrvoPSF::exportRide(const QString &folder, const OrvoPSFExportDevice &device, const OrvoPSFRoute &ride,
                            quint32 rideOffset) const
{
    ZKGpx2 document;
    const OrvoPSFRideGpx::Totals totals = OrvoPSFRideGpx::convert(ride, document);
    workoutLogToGpx(document, rideOffset);
    workoutToGpx(document);
    const OrvoPSFLap *summary = summaryToGpx(document, ride, ride.routeNibbleLow());
    lapsToGpx(document, ride, ride.routeNibbleLow());
    const QString name = OrvoPSFNameField::exportText(ride.name(), ride.routeFlag1());
    document.route->name = name;
    document.metadata = rideMetadata(*this, ride, name, device, summary, totals);
    return writeExport<ZKGpxWriter>(document, folder, OrvoPSFNameField::fileNameStem(name), kLastRideCounter,
                                    kGpxSuffix, kGpxVersion);
}

QStringList OrvoPSF::workoutsToFile(const QString &folder, const OrvoPSFExportDevice &device)
{
    QStringList files;
    const QVector<OrvoPSFWorkout *> workouts =
        m_workoutFrame ? livingRecords(m_workoutFrame->workouts()) : QVector<OrvoPSFWorkout *>();
    for (OrvoPSFWorkout *workout : workouts) {
        if (!exports(workout->workoutFlag6()))
            continue;
        ZKTrncrs document;
        document.workouts().append(OrvoPSFWorkoutCourse::convert(*workout));
        ZKTrncrsMetadata metadata;
        metadata.name = document.workouts().first().name;
        metadata.desc = kWorkoutDescription;
        metadata.author = kAuthor;
        metadata.time = OrvoPSFWorkoutCourse::timeText(*workout);
        metadata.sys = device.modelName;
        document.metadata() = metadata;
        const QString name = writeExport<ZKTrnWriter>(document, folder, OrvoPSFNameField::fileNameStem(metadata.name),
                                                      kLastWorkoutCounter, kWorkoutSuffix, kWorkoutFileVersion);
        if (name.isEmpty())
            continue;
        workout->setWorkoutFlag6(true);
        files << name;
    }
    return files;
}

QStringList OrvoPSF::poisToGpx(const QString &folder, const OrvoPSFExportDevice &device)
{
    QStringList files;
    const QVector<OrvoPSFPOI *> pois = m_poiFrame ? livingRecords(m_poiFrame->pois()) : QVector<OrvoPSFPOI *>();
    for (OrvoPSFPOI *poi : pois) {
        if (!exports(poi->poiFlag2()))
            continue;
        const QString poiName = OrvoPSFNameField::exportText(poi->name(), poi->poiFlag0());
        ZKGpxWaypoint waypoint;
        waypoint.lat = coordinateText(poi->latitude());
        waypoint.lon = coordinateText(poi->longitude());
        waypoint.name = poiName;
        ZKGpx2 document;
        document.metadata = poiMetadata(waypoint, device);
        document.waypoints.append(waypoint);
        const QString stem = QString::number(now() / 1000);
        const QString name = writeExport<ZKGpxWriter>(document, folder, stem, kLastPoiCounter, kGpxSuffix, kGpxVersion);
        if (name.isEmpty())
            continue;
        poi->setPoiFlag2(true);
        files << name;
    }
    return files;
}

const OrvoPSFLap *OrvoPSF::summaryToGpx(ZKGpx2 &document, const OrvoPSFRoute &ride, int mode) const
{
    const OrvoPSFLap *lap = m_routeFrame ? m_routeFrame->lapOf(ride) : nullptr;
    if (!lap)
        return nullptr;
    if (!document.laps)
        document.laps.emplace();
    document.laps->summary = OrvoPSFLapGpx::convert(*lap, mode);
    return lap;
}

// A ride's laps are exported only when all of them are in the lap table, the last entry of
// the table included.
bool OrvoPSF::lapsToGpx(ZKGpx2 &document, const OrvoPSFRoute &ride, int mode) const
{
    if (!m_routeFrame || ride.firstLapOffset() == kOrvoPsfNone || ride.lapCount() == 0)
        return true;
    const QVector<QPointer<OrvoPSFLap>> &laps = m_routeFrame->laps();
    const qsizetype first = qsizetype(ride.firstLapOffset() / OrvoPSFLap::kSize);
    if (first + ride.lapCount() > laps.size())
        return true;
    if (!document.laps)
        document.laps.emplace();
    for (int k = 0; k < ride.lapCount(); ++k) {
        const OrvoPSFLap *lap = laps.at(first + k);
        if (!lap)
            continue;
        ZKGpxLap gpx = OrvoPSFLapGpx::convert(*lap, mode);
        gpx.order = QString::number(k + 1);
        document.laps->append(gpx);
    }
    return true;
}

OrvoPSFWorkout *OrvoPSF::workoutOfRide(quint32 rideOffset) const
{
    return rideLog(m_workoutFrame, rideOffset).first;
}

OrvoPSFWorkoutLog *OrvoPSF::workoutLogOfRide(quint32 rideOffset) const
{
    return rideLog(m_workoutFrame, rideOffset).second;
}

bool OrvoPSF::workoutLogToGpx(ZKGpx2 &document, quint32 rideOffset) const
{
    const auto [workout, log] = rideLog(m_workoutFrame, rideOffset);
    if (!workout || !log)
        return false;
    if (!document.workoutLog)
        document.workoutLog.emplace();
    document.workoutLog->id = QString::number(workout->workoutId());
    document.workoutLog->type = QString::number(workout->workoutType());
    int order = 0;
    for (const OrvoPSFIntervalLog *intervalLog : log->intervalLogs()) {
        ++order;
        if (!intervalLog)
            continue;
        document.workoutLog->appendInterval(
            {QString::number(order), psfTimeText(intervalLog->startTime()), psfTimeText(intervalLog->endTime())});
    }
    return true;
}

void OrvoPSF::workoutToGpx(ZKGpx2 &document) const
{
    if (!document.workoutLog || !m_workoutFrame)
        return;
    bool ok = false;
    const quint32 id = document.workoutLog->id.toUInt(&ok);
    if (!ok)
        return;
    for (const OrvoPSFWorkout *workout : livingRecords(m_workoutFrame->workouts())) {
        if (workout->workoutId() != id)
            continue;
        auto course = std::make_unique<ZKTrncrs>();
        course->workouts().append(OrvoPSFWorkoutCourse::convert(*workout));
        document.attachTrainingCourse(std::move(course));
        return;
    }
}

bool OrvoPSF::importGpx(const QString &path)
{
    ZKGpx2 document;
    ZKGpxReader reader(document);
    if (!reader.readFile(path) || reader.majorVersion() != kSecondDialect) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::importGpx")
            << path << "is no GPX file of the second dialect:" << reader.errorString();
        return false;
    }
    if (document.metadata && document.metadata->sharetype == kPoiShareType)
        return addPOIs(document);
    return addRoute(document);
}

bool OrvoPSF::importXml(const QString &fileName)
{
    ZKTrncrs document;
    ZKTrncrsReader reader(&document);
    if (!reader.readFile(fileName)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::importXml") << "cannot read the workout file" << fileName;
        return false;
    }
    return addWorkout(document);
}

QByteArray OrvoPSF::storedName(const QString &name, const QString &shortName) const
{
    if (m_flag)
        return OrvoPSFNameField::stored(shortName.isEmpty() ? name : shortName, true);
    return OrvoPSFNameField::stored(name, false);
}

bool OrvoPSF::addRoute(const ZKGpx2 &document)
{
    if (!document.route || !document.trackList) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::addRoute")
            << " OrvoPSF::addRoute rte =" << (document.route ? &*document.route : nullptr)
            << " trk =" << (document.trackList ? &*document.trackList : nullptr);
        return false;
    }
    if (!m_routeFrame)
        return false;
    const ZKGpxMetadata metadata = document.metadata.value_or(ZKGpxMetadata());
    auto *route = new OrvoPSFRoute;
    route->setRouteStartTime(kOrvoPsfNone);
    QString shortName = metadata.shtname;
    if (m_flag && metadata.name.isEmpty() && shortName.isEmpty())
        shortName = QLatin1String(OrvoPSFNameField::kNoName);
    route->setName(storedName(metadata.name, shortName));
    route->setRouteFlag1(m_flag);
    route->setIsTrack(false);
    route->setRouteBits2_3(quint8(metadata.deviceText2.toUInt()));
    route->setRouteFlag3(true);
    route->setRouteNibbleLow(quint8(metadata.acttype.toUInt()));
    route->setRouteNibbleHigh(quint8(metadata.acttypeSubtype.toUInt()));
    route->setValue(quint16(metadata.deviceText1.toUInt() * 100));
    route->setLapOffset(kOrvoPsfNone);
    const QList<ZKGpxTrack> &segments = document.trackList->tracks;
    const QList<ZKGpxRoutePoint> &ends = document.route->points;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const ZKGpxRoutePoint *start = i < ends.size() ? &ends.at(i) : nullptr;
        const ZKGpxRoutePoint *end = i + 1 < ends.size() ? &ends.at(i + 1) : nullptr;
        addTrackFromPoints(segments.at(i), *route, start, end);
    }
    route->setParent(m_routeFrame);
    m_routeFrame->routes().append(route);
    if (m_routeFrame->header())
        m_routeFrame->header()->setRouteCount(quint16(m_routeFrame->routes().size()));
    return true;
}

bool OrvoPSF::addTrackFromPoints(const ZKGpxTrack &segment, OrvoPSFRoute &route, const ZKGpxRoutePoint *start,
                                 const ZKGpxRoutePoint *end)
{
    const quint32 id = quint32(quint64(now()));
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSF::addTrackFromPoints") << "id =" << id;
    const qsizetype maxPoints = qsizetype(quint32(layoutWord(TrackCapacity)) / OrvoPSFRoutePoint::kSize);
    OrvoPSFTrack *track = OrvoPSFRouteImport::build(segment, start, end, id, maxPoints);
    if (!track)
        return false;
    track->setParent(&route);
    route.tracks().append(track);
    return true;
}

bool OrvoPSF::addPOIs(const ZKGpx2 &document)
{
    if (document.waypoints.isEmpty() || !m_poiFrame || !m_poiFrame->header())
        return false;
    const ZKGpxWaypoint &waypoint = document.waypoints.first();
    bool latitudeOk = false;
    bool longitudeOk = false;
    const qint32 latitude = ZKGeoPoint::e6RoundedFromDegreesText(waypoint.lat, &latitudeOk);
    const qint32 longitude = ZKGeoPoint::e6RoundedFromDegreesText(waypoint.lon, &longitudeOk);
    if (!latitudeOk || !longitudeOk) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSF::addPOIs")
            << "the waypoint has no position: lat" << waypoint.lat << "lon" << waypoint.lon;
        return false;
    }
    const ZKGpxMetadata metadata = document.metadata.value_or(ZKGpxMetadata());
    auto *poi = new OrvoPSFPOI(m_poiFrame);
    poi->setLongitude(longitude);
    poi->setLatitude(latitude);
    poi->setPoiFlag0(m_flag);
    poi->setPoiFlag1(false);
    poi->setPoiFlag2(true);
    poi->setName(storedName(metadata.name, metadata.shtname));
    m_poiFrame->pois().append(poi);
    m_poiFrame->header()->setPoiCount(quint32(m_poiFrame->pois().size()));
    return true;
}

bool OrvoPSF::addWorkout(const ZKTrncrs &document)
{
    if (!m_workoutFrame)
        return false;
    const ZKTrncrsMetadata metadata = document.metadata().value_or(ZKTrncrsMetadata());
    for (const ZKTrncrsWorkout &course : document.workouts()) {
        auto *workout = new OrvoPSFWorkout(m_workoutFrame);
        workout->setWorkoutTime(workoutTimeOf(course.time));
        workout->setName(storedName(metadata.name, metadata.nameShtname));
        workout->setNameIsBitfont(m_flag);
        workout->setWorkoutId(course.id.toUInt());
        workout->setDaily(course.daily.toInt() != 0);
        workout->setActivityType(quint8(course.acttype.toInt()));
        workout->setRepeatCount(quint8(course.repeat.toInt()));
        workout->setWorkoutType(quint8(course.type.toInt()));
        workout->setWorkoutFlag6(true);
        workout->setValue148(kOrvoPsfNone);
        QVector<std::pair<const ZKTrncrsInterval *, OrvoPSFInterval *>> added;
        for (const ZKTrncrsInterval &interval : course.intervals) {
            if (addInterval(interval, *workout))
                added.append({&interval, workout->intervals().last()});
        }
        // A repeat names the id of the interval it goes back to.
        for (const auto &[source, interval] : added) {
            // Named apart from the binding: clang 14 cannot capture a structured binding.
            const QString &gotoText = source->gotoText;
            if (gotoText.isEmpty())
                continue;
            const auto target = std::find_if(added.cbegin(), added.cend(),
                                             [&gotoText](const auto &other) { return other.first->id == gotoText; });
            interval->setRepeatTargetInterval(target == added.cend() ? nullptr : target->second);
        }
        m_workoutFrame->workouts().append(workout);
    }
    m_workoutFrame->setWorkoutCount(quint16(m_workoutFrame->workouts().size()));
    return true;
}

bool OrvoPSF::addInterval(const ZKTrncrsInterval &interval, OrvoPSFWorkout &workout)
{
    if (!interval.target || !interval.duration)
        return false;
    auto *added = new OrvoPSFInterval(&workout);
    added->setStepType(quint8(stepTypeFromName(interval.name)));
    added->setFlag3(false);
    added->setTargetType(quint8(interval.target->type.toInt()));
    added->setDurationType(quint8(interval.duration->type.toInt()));
    added->setDurationValue(quint16(interval.duration->value.toInt()));
    added->setRepeatTarget(kOrvoPsfNone);
    added->setRepeatCount(quint8(interval.gotoRepeat.toInt()));
    added->setTargetLow(quint8(interval.target->low.toInt()));
    added->setTargetHigh(quint8(interval.target->high.toInt()));
    workout.intervals().append(added);
    return true;
}

void OrvoPSF::followRides(const QVector<QPointer<OrvoPSFRoute>> &before)
{
    if (!m_routeFrame || !m_workoutFrame)
        return;
    QHash<quint32, quint32> moved;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const qsizetype now = before.at(i) ? m_routeFrame->routes().indexOf(before.at(i)) : -1;
        moved.insert(quint32(i * OrvoPSFRoute::kSize), now < 0 ? kOrvoPsfNone : quint32(now * OrvoPSFRoute::kSize));
    }
    for (const OrvoPSFWorkout *workout : livingRecords(m_workoutFrame->workouts())) {
        for (OrvoPSFWorkoutLog *log : livingRecords(workout->workoutLogs())) {
            if (moved.contains(log->rideOffset()))
                log->setRideOffset(moved.value(log->rideOffset()));
        }
    }
}

bool OrvoPSF::removePOIs(const QList<int> &indices)
{
    if (!m_poiFrame)
        return false;
    removeAt(m_poiFrame->pois(), indices);
    if (m_poiFrame->header())
        m_poiFrame->header()->setPoiCount(quint32(m_poiFrame->pois().size()));
    return true;
}

bool OrvoPSF::removeRoutes(const QList<int> &indices)
{
    if (!m_routeFrame)
        return false;
    const QVector<QPointer<OrvoPSFRoute>> before = m_routeFrame->routes();
    removeAt(m_routeFrame->routes(), indices);
    followRides(before);
    if (m_routeFrame->header())
        m_routeFrame->header()->setRouteCount(quint16(m_routeFrame->routes().size()));
    return true;
}

bool OrvoPSF::removeWorkouts(const QList<int> &indices)
{
    if (!m_workoutFrame)
        return false;
    removeAt(m_workoutFrame->workouts(), indices);
    m_workoutFrame->setWorkoutCount(quint16(m_workoutFrame->workouts().size()));
    return true;
}

bool OrvoPSF::trimPOIs()
{
    if (!m_poiFrame)
        return false;
    dropDeleted(m_poiFrame->pois());
    if (m_poiFrame->pois().size() <= kPoisKept)
        return false;
    cutAt(m_poiFrame->pois(), kPoisKept);
    if (m_poiFrame->header())
        m_poiFrame->header()->setPoiCount(quint32(kPoisKept));
    return true;
}

// The routes from the first on that the route area and the track area hold together.
qsizetype OrvoPSF::routesThatFit() const
{
    const QVector<OrvoPSFRoute *> routes =
        m_routeFrame ? livingRecords(m_routeFrame->routes()) : QVector<OrvoPSFRoute *>();
    const qsizetype keep = std::min(routes.size(), areaCapacity(RouteCapacity, OrvoPSFRoute::kSize));
    qint64 trackBytes = 0;
    for (qsizetype i = 0; i < keep; ++i) {
        trackBytes += OrvoPSFPatchWriter::trackBytes(*routes.at(i));
        if (trackBytes > qint64(quint32(layoutWord(TrackCapacity))))
            return i;
    }
    return keep;
}

// The workouts from the first on that the workout area and the interval area hold together.
qsizetype OrvoPSF::workoutsThatFit() const
{
    const QVector<OrvoPSFWorkout *> workouts =
        m_workoutFrame ? livingRecords(m_workoutFrame->workouts()) : QVector<OrvoPSFWorkout *>();
    const qsizetype keep = std::min(workouts.size(), areaCapacity(WorkoutCapacity, OrvoPSFWorkout::kSize));
    qint64 intervals = 0;
    const qint64 intervalCapacity = quint32(layoutWord(IntervalCapacity)) / OrvoPSFInterval::kSize;
    for (qsizetype i = 0; i < keep; ++i) {
        intervals += livingRecords(workouts.at(i)->intervals()).size();
        if (intervals > intervalCapacity)
            return i;
    }
    return keep;
}

bool OrvoPSF::fitsDevice() const
{
    const qsizetype pois = m_poiFrame ? livingRecords(m_poiFrame->pois()).size() : 0;
    const qsizetype routes = m_routeFrame ? livingRecords(m_routeFrame->routes()).size() : 0;
    const qsizetype workouts = m_workoutFrame ? livingRecords(m_workoutFrame->workouts()).size() : 0;
    // The POI area itself, not the ten an import trims to: a device may hold more of its own.
    return pois <= areaCapacity(PoiCapacity, OrvoPSFPOI::kSize) && routesThatFit() == routes &&
           workoutsThatFit() == workouts;
}

bool OrvoPSF::dropExcessRoutes()
{
    if (!m_routeFrame)
        return false;
    QVector<QPointer<OrvoPSFRoute>> &routes = m_routeFrame->routes();
    dropDeleted(routes);
    const QVector<QPointer<OrvoPSFRoute>> before = routes;
    const qsizetype keep = routesThatFit();
    const bool cut = keep < routes.size();
    cutAt(routes, keep);
    followRides(before);
    if (m_routeFrame->header())
        m_routeFrame->header()->setRouteCount(quint16(routes.size()));
    return cut;
}

bool OrvoPSF::dropExcessWorkouts()
{
    if (!m_workoutFrame)
        return false;
    QVector<QPointer<OrvoPSFWorkout>> &workouts = m_workoutFrame->workouts();
    dropDeleted(workouts);
    const qsizetype keep = workoutsThatFit();
    const bool cut = keep < workouts.size();
    cutAt(workouts, keep);
    m_workoutFrame->setWorkoutCount(quint16(workouts.size()));
    return cut;
}
