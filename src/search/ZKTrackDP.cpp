#include "search/ZKTrackDP.h"

#include "env/OrvoTimeText.h"
#include "env/ZKLogger.h"
#include "search/ZKDeviceDB.h"
#include "util/ZKBinaryLogReader.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKTraceLog.h"
#include "util/ZKXmlFileCopy.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QXmlStreamWriter>

#include <array>
#include <optional>

namespace {

// With thinning, a position this close to the previous kept one (latitude plus longitude
// difference, micro-degrees) adds nothing to the track.
constexpr qint64 kThinningE6 = 500;
// Times count from the ride's StartTime from this log version on.
const QString kRelativeTimeVersion = QStringLiteral("0.2.1.4");
// The header carries the device version from this log version on.
const QString kHeaderDeviceVersion = QStringLiteral("0.2.1.7");
// Speeds are metres per minute from this log version on.
const QString kSpeedPerMinuteVersion = QStringLiteral("0.2.1.2");
// Elevations are tenths of a metre in logs above this version.
const QString kElevationTenthsAbove = QStringLiteral("0.2.1.2");
// Power values are meaningful in logs above this version.
const QString kPowerAbove = QStringLiteral("0.2.1.4");
const QString kBreakType = QStringLiteral("2");
const QString kShareType = QStringLiteral("2");

const QStringList kSummaryColumns = {
    QStringLiteral("Title"),        QStringLiteral("Abstract"),    QStringLiteral("CreateTime"),
    QStringLiteral("Author"),       QStringLiteral("LDLat"),       QStringLiteral("LDLon"),
    QStringLiteral("RTLat"),        QStringLiteral("RTLon"),       QStringLiteral("StartCountry"),
    QStringLiteral("EndCountry"),   QStringLiteral("StartPlace"),  QStringLiteral("EndPlace"),
    QStringLiteral("ActivityType"), QStringLiteral("RouteType"),   QStringLiteral("StartTime"),
    QStringLiteral("EndTime"),      QStringLiteral("TotalLength"),
};

// Seconds since 1970 of a database value: an unsigned 32-bit number as the devices store it.
// NULL and anything else are none, so that no later sum with a record time can overflow.
std::optional<qint64> secondsOf(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const quint32 seconds = value.toString().toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return qint64(seconds);
}

QString utcText(qint64 seconds)
{
    return psfTimeText(std::time_t(seconds));
}

QDate utcDate(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).date();
}

void writeTextIfSet(QXmlStreamWriter &writer, const QString &element, const QString &text)
{
    if (!text.isEmpty())
        writer.writeTextElement(element, text);
}

void writePosition(QXmlStreamWriter &writer, const ZKGpsLogRecord &record)
{
    writer.writeAttribute(QStringLiteral("lat"), ZKGeoPoint::degreesTextFromE6(record.lat));
    writer.writeAttribute(QStringLiteral("lon"), ZKGeoPoint::degreesTextFromE6(record.lon));
}

// Opens a log and tells a file that does not open from a header that does not read.
bool openLog(ZKBinaryLogReader &reader, const QString &path, const QString &openFailure)
{
    if (reader.open(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ZK_LOG_ERROR(openFailure, path);
    else
        ZK_LOG_ERROR(QStringLiteral("error read %s header"), path);
    return false;
}

bool isVersionAbove(const ZKTraceLogHeader &header, const QString &version)
{
    return header.isVersionAtLeast(version) && header.versionText() != version;
}

// A position as the writer writes it: micro-degrees as degrees with six decimals.
void insertPosition(ZKGpxKeyMap &map, const QString &prefix, const ZKGpsLogRecord &record)
{
    map.insert(prefix + QStringLiteral("_lat"), ZKGeoPoint::degreesTextFromE6(record.lat));
    map.insert(prefix + QStringLiteral("_lon"), ZKGeoPoint::degreesTextFromE6(record.lon));
}

void insertIfSet(ZKGpxKeyMap &map, const QString &key, const QString &text)
{
    if (!text.isEmpty())
        map.insert(key, text);
}

// Training logs of 0.2.0.0 and 0.2.1.0 are refused; 0.2.1.1, 0.2.2.0 and later are read.
bool isReadableTrainLog(const ZKTraceLogHeader &header)
{
    const std::array<quint8, 4> &v = header.version;
    return v[0] > 0 || v[1] > 2 || v[2] > 1 || v[3] > 0;
}

} // namespace

bool ZKTrackDP::open(qint64 key, bool thin)
{
    m_key = key;
    summaryMap(key);
    QDate startDate;
    if (!readGpsLog(ZKTraceLog::gpsLogPath(key), thin, startDate))
        return false;
    return readTrainLog(ZKTraceLog::trainLogPath(key), startDate);
}

bool ZKTrackDP::summaryMap(qint64 key)
{
    m_summary.clear();
    ZKDeviceDB::selectTraceLogById(key, 0, kSummaryColumns, m_summary);
    return m_summary.size() == kSummaryColumns.size();
}

// Version texts are compared part by part, which costs too much to repeat for every record.
void ZKTrackDP::setLogRules()
{
    m_logVersion = m_gpsHeader.versionText();
    m_rules.relativeTimes = m_gpsHeader.isVersionAtLeast(kRelativeTimeVersion);
    m_rules.headerDeviceVersion = m_gpsHeader.isVersionAtLeast(kHeaderDeviceVersion);
    m_rules.speedPerMinute = m_gpsHeader.isVersionAtLeast(kSpeedPerMinuteVersion);
    m_rules.elevationTenths = isVersionAbove(m_gpsHeader, kElevationTenthsAbove);
    m_rules.power = isVersionAbove(m_gpsHeader, kPowerAbove);
}

void ZKTrackDP::setTimeBase()
{
    m_timeBase = 0;
    if (!m_rules.relativeTimes)
        return;
    // Without a usable StartTime the times stay as the log has them.
    const std::optional<qint64> start = secondsOf(m_summary.value(StartTime));
    if (start)
        m_timeBase = *start;
}

bool ZKTrackDP::isWithinBound(const QString &path) const
{
    const qint64 size = QFileInfo(path).size();
    if (size <= m_maxLogSize)
        return true;
    ZK_LOG_ERROR(QStringLiteral("%s refused: %d bytes, more than a device writes"), path, size);
    return false;
}

bool ZKTrackDP::readGpsLog(const QString &path, bool thin, QDate &startDate)
{
    m_gpsPath.clear();
    m_keyView.reset();
    m_trackPointCount = 0;
    ZKBinaryLogReader reader;
    if (!openLog(reader, path, QStringLiteral("fail open gps log file %s")) || !isWithinBound(path))
        return false;
    m_gpsHeader = reader.header();
    m_thin = thin;
    setLogRules();
    setTimeBase();
    scanGpsRecords(
        reader, [this](const TrackPoint &point) { countTrackPoint(point); }, [](const ZKGpsLogRecord &) {});
    m_gpsPath = path;
    if (m_trackPointCount > 0)
        startDate = utcDate(m_firstTrackPoint.time);
    return true;
}

void ZKTrackDP::scanGpsRecords(ZKBinaryLogReader &reader, const TrackVisitor &track,
                               const PlannedVisitor &planned) const
{
    // The last kept position waits for the records after it: a marker may end its segment.
    std::optional<TrackPoint> previous;
    ZKGpsLogRecord record;
    while (reader.readGpsRecord(record)) {
        if (record.isMarker()) {
            // Markers before the first position have nothing to break.
            if (previous && record.isSegmentBreak())
                previous->breakAfter = true;
            continue;
        }
        // The first position starts the track even when it is marked as planned.
        if (previous && record.isPlanned()) {
            planned(record);
            continue;
        }
        if (previous) {
            const ZKGpsLogRecord &kept = previous->record;
            const qint64 moved = qAbs(qint64(record.lat) - kept.lat) + qAbs(qint64(record.lon) - kept.lon);
            if (m_thin && moved <= kThinningE6)
                continue;
            track(*previous);
        }
        previous = TrackPoint{record, m_timeBase + record.time, false};
    }
    if (previous)
        track(*previous);
}

bool ZKTrackDP::scanGpsLog(const TrackVisitor &track, const PlannedVisitor &planned) const
{
    ZKBinaryLogReader reader;
    if (m_gpsPath.isEmpty() || !openLog(reader, m_gpsPath, QStringLiteral("fail open gps log file %s")))
        return false;
    scanGpsRecords(reader, track, planned);
    return true;
}

void ZKTrackDP::countTrackPoint(const TrackPoint &point)
{
    const ZKGpsLogRecord &record = point.record;
    if (m_trackPointCount == 0) {
        m_firstTrackPoint = point;
        m_minLat = m_maxLat = record.lat;
        m_minLon = m_maxLon = record.lon;
    } else {
        m_minLat = qMin(m_minLat, record.lat);
        m_maxLat = qMax(m_maxLat, record.lat);
        m_minLon = qMin(m_minLon, record.lon);
        m_maxLon = qMax(m_maxLon, record.lon);
    }
    m_lastTrackPoint = point;
    ++m_trackPointCount;
}

bool ZKTrackDP::readTrainLog(const QString &path, const QDate &startDate)
{
    m_trainPath.clear();
    m_keyView.reset();
    m_hasSensorPoints = false;
    ZKBinaryLogReader reader;
    if (!openLog(reader, path, QStringLiteral("fail open %s")))
        return false;
    if (!isReadableTrainLog(reader.header()) || !isWithinBound(path))
        return false;
    m_startDate = startDate;
    scanTrainRecords(reader, [this](const SensorPoint &) { m_hasSensorPoints = true; });
    m_trainPath = path;
    return true;
}

void ZKTrackDP::scanTrainRecords(ZKBinaryLogReader &reader, const SensorVisitor &sample) const
{
    // Samples of the day before the ride started belong to no position of it.
    bool searching = m_startDate.isValid();
    std::optional<SensorPoint> previous;
    ZKTrainLogRecord record;
    while (reader.readTrainRecord(record)) {
        const qint64 time = m_timeBase + record.time;
        if (record.isMarker()) {
            if (previous && record.isSegmentBreak())
                previous->breakAfter = true;
            continue;
        }
        if (searching && utcDate(time) < m_startDate)
            continue;
        searching = false;
        if (previous)
            sample(*previous);
        previous = SensorPoint{record, time, false};
    }
    if (previous)
        sample(*previous);
}

bool ZKTrackDP::scanTrainLog(const SensorVisitor &sample) const
{
    ZKBinaryLogReader reader;
    if (m_trainPath.isEmpty() || !openLog(reader, m_trainPath, QStringLiteral("fail open %s")))
        return false;
    scanTrainRecords(reader, sample);
    return true;
}

QList<ZKTrackDP::TrackPoint> ZKTrackDP::trackPoints() const
{
    QList<TrackPoint> points;
    scanGpsLog([&points](const TrackPoint &point) { points.append(point); }, [](const ZKGpsLogRecord &) {});
    return points;
}

QList<ZKGpsLogRecord> ZKTrackDP::plannedPoints() const
{
    QList<ZKGpsLogRecord> points;
    scanGpsLog([](const TrackPoint &) {}, [&points](const ZKGpsLogRecord &record) { points.append(record); });
    return points;
}

QList<ZKTrackDP::SensorPoint> ZKTrackDP::sensorPoints() const
{
    QList<SensorPoint> points;
    scanTrainLog([&points](const SensorPoint &point) { points.append(point); });
    return points;
}

const ZKTrackDP::KeyViewPoints &ZKTrackDP::keyViewPoints() const
{
    if (!m_keyView) {
        KeyViewPoints points;
        points.track = trackPoints();
        points.planned = plannedPoints();
        points.sensor = sensorPoints();
        m_keyView = std::move(points);
    }
    return *m_keyView;
}

QString ZKTrackDP::summaryText(SummaryColumn column) const
{
    return m_summary.value(column).toString();
}

void ZKTrackDP::writeMetadata(QXmlStreamWriter &writer)
{
    if (m_summary.size() < SummaryColumnCount)
        return;
    writer.writeStartElement(QStringLiteral("metadata"));
    writeTextIfSet(writer, QStringLiteral("name"), summaryText(Title));
    writeTextIfSet(writer, QStringLiteral("desc"), summaryText(Abstract));
    if (!summaryText(Author).isEmpty()) {
        writer.writeStartElement(QStringLiteral("author"));
        writer.writeTextElement(QStringLiteral("name"), summaryText(Author));
        writer.writeEndElement();
    }
    if (const std::optional<qint64> start = secondsOf(m_summary.value(StartTime)))
        writer.writeTextElement(QStringLiteral("time"), utcText(*start));
    // A ride without positions has no bounds to give.
    if (m_trackPointCount > 0) {
        writer.writeEmptyElement(QStringLiteral("bounds"));
        writer.writeAttribute(QStringLiteral("minlat"), ZKGeoPoint::degreesTextFromE6(m_minLat));
        writer.writeAttribute(QStringLiteral("minlon"), ZKGeoPoint::degreesTextFromE6(m_minLon));
        writer.writeAttribute(QStringLiteral("maxlat"), ZKGeoPoint::degreesTextFromE6(m_maxLat));
        writer.writeAttribute(QStringLiteral("maxlon"), ZKGeoPoint::degreesTextFromE6(m_maxLon));
    }
    writeMetadataExtensions(writer);
    writer.writeEndElement();
}

void ZKTrackDP::writeMetadataExtensions(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("extensions"));
    copyUsrXml(writer);
    writeSysVersion(writer);
    writer.writeTextElement(QStringLiteral("sharetype"), kShareType);
    writeTextIfSet(writer, QStringLiteral("sctry"), summaryText(StartCountry));
    writeTextIfSet(writer, QStringLiteral("ectry"), summaryText(EndCountry));
    writeTextIfSet(writer, QStringLiteral("splace"), summaryText(StartPlace));
    writeTextIfSet(writer, QStringLiteral("eplace"), summaryText(EndPlace));
    if (!summaryText(ActivityType).isEmpty()) {
        writer.writeStartElement(QStringLiteral("acttype"));
        writer.writeAttribute(QStringLiteral("subtype"), QStringLiteral("1"));
        writer.writeCharacters(summaryText(ActivityType));
        writer.writeEndElement();
    }
    writeSummaryTimes(writer);
    writeTextIfSet(writer, QStringLiteral("trvDist"), summaryText(TotalLength));
    writer.writeEndElement();
}

// The device that recorded the ride: from the header when the log carries it, with the
// program part ("Orvo...") of the current device version text.
QString ZKTrackDP::sysVersionText() const
{
    const QString current = ZKTraceLog::deviceVersion();
    if (!m_rules.headerDeviceVersion)
        return current;
    QString version = QString::fromLatin1(m_gpsHeader.deviceVersion);
    const QStringList parts = current.split(QLatin1Char(' '));
    if (parts.size() == 2 && parts.last().startsWith(QLatin1String("Orvo")))
        version += QLatin1Char(' ') + parts.last();
    return version;
}

void ZKTrackDP::writeSysVersion(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("sys"));
    writer.writeAttribute(QStringLiteral("version"), sysVersionText());
    writer.writeCharacters(ZKTraceLog::modelName());
    writer.writeStartElement(QStringLiteral("apps"));
    writer.writeEmptyElement(QStringLiteral("app"));
    writer.writeAttribute(QStringLiteral("name"), QStringLiteral("log"));
    writer.writeAttribute(QStringLiteral("version"), logVersion());
    writer.writeEndElement();
    writer.writeEndElement();
}

void ZKTrackDP::writeSummaryTimes(QXmlStreamWriter &writer) const
{
    const std::optional<qint64> start = secondsOf(m_summary.value(StartTime));
    const std::optional<qint64> end = secondsOf(m_summary.value(EndTime));
    if (start)
        writer.writeTextElement(QStringLiteral("stime"), utcText(*start));
    if (end)
        writer.writeTextElement(QStringLiteral("etime"), utcText(*end));
    if (start && end)
        writer.writeTextElement(QStringLiteral("trvTime"), QString::number((*end - *start) / 60));
}

void ZKTrackDP::writeRoute(QXmlStreamWriter &writer)
{
    if (m_trackPointCount < 2)
        return;
    writer.writeStartElement(QStringLiteral("rte"));
    writer.writeTextElement(QStringLiteral("number"), QStringLiteral("2"));
    for (const TrackPoint *point : {&m_firstTrackPoint, &m_lastTrackPoint}) {
        writer.writeEmptyElement(QStringLiteral("rtept"));
        writePosition(writer, point->record);
    }
    writer.writeEndElement();
}

void ZKTrackDP::writeTracks(QXmlStreamWriter &writer)
{
    if (m_trackPointCount < 2)
        return;
    writer.writeStartElement(QStringLiteral("trk"));
    // A segment that a break closed is opened again only when a point follows.
    bool segmentOpen = false;
    const auto writePoint = [&](const TrackPoint &point) {
        if (!segmentOpen)
            writer.writeStartElement(QStringLiteral("trkseg"));
        writeTrackPoint(writer, point);
        segmentOpen = !point.breakAfter;
        if (!point.breakAfter)
            return;
        writer.writeStartElement(QStringLiteral("extensions"));
        writer.writeTextElement(QStringLiteral("breaktype"), kBreakType);
        writer.writeEndElement();
        writer.writeEndElement();
    };
    scanGpsLog(writePoint, [](const ZKGpsLogRecord &) {});
    if (segmentOpen)
        writer.writeEndElement();
    writer.writeEndElement();
}

void ZKTrackDP::writeTrackPoint(QXmlStreamWriter &writer, const TrackPoint &point) const
{
    writer.writeStartElement(QStringLiteral("trkpt"));
    writePosition(writer, point.record);
    // Empty markers are no values: a point without them has no such element.
    if (point.record.ele != kZKEmptyI16)
        writer.writeTextElement(QStringLiteral("ele"), QString::number(point.record.ele / 10.0, 'f', 1));
    writer.writeTextElement(QStringLiteral("time"), utcText(point.time));
    if (point.record.magvar != kZKEmptyI16)
        writer.writeTextElement(QStringLiteral("magvar"), QString::number(point.record.magvar));
    writer.writeEndElement();
}

void ZKTrackDP::writeWaypoints(QXmlStreamWriter &)
{}

void ZKTrackDP::writeExtensions(QXmlStreamWriter &writer)
{
    if (!m_hasSensorPoints)
        return;
    writer.writeStartElement(QStringLiteral("extensions"));
    writeSensorLog(writer);
    copyWrkXml(writer);
    copyStaXml(writer);
    copyPlnXml(writer);
    writer.writeEndElement();
}

void ZKTrackDP::writeSensorLog(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("ssrlog"));
    // A segment that a break closed is opened again only when a sample follows.
    bool segmentOpen = false;
    scanTrainLog([&](const SensorPoint &sample) {
        if (!segmentOpen)
            writer.writeStartElement(QStringLiteral("logseg"));
        writeSample(writer, sample);
        segmentOpen = !sample.breakAfter;
        if (!sample.breakAfter)
            return;
        writer.writeTextElement(QStringLiteral("breaktype"), kBreakType);
        writer.writeEndElement();
    });
    if (segmentOpen)
        writer.writeEndElement();
    writer.writeEndElement();
}

void ZKTrackDP::writeSample(QXmlStreamWriter &writer, const SensorPoint &sample) const
{
    const ZKTrainLogRecord &r = sample.record;
    writer.writeStartElement(QStringLiteral("logpt"));
    writer.writeAttribute(QStringLiteral("time"), utcText(sample.time));
    if (r.hrm != kZKEmptyU8)
        writer.writeTextElement(QStringLiteral("hrm"), QString::number(r.hrm));
    if (r.cad != kZKEmptyU8)
        writer.writeTextElement(QStringLiteral("cad"), QString::number(r.cad));
    const quint16 speed = r.spd != kZKEmptyU16 ? r.spd : r.gpsSpeed;
    if (speed != kZKEmptyU16)
        writer.writeTextElement(QStringLiteral("spd"), speedText(speed));
    if (r.tmp != kZKEmptyI16)
        writer.writeTextElement(QStringLiteral("tmp"), QString::number(r.tmp));
    if (r.pwr != kZKEmptyU16)
        writer.writeTextElement(QStringLiteral("pwr"), QString::number(r.pwr));
    if (r.brm != kZKEmptyI32)
        writer.writeTextElement(QStringLiteral("brm"), QString::number(r.brm / 100.0, 'f', 2));
    writer.writeEndElement();
}

// km/h with one decimal: older logs hold km/h already, newer ones metres per minute.
QString ZKTrackDP::speedText(quint16 speed) const
{
    const double kmh = m_rules.speedPerMinute ? speed * 60.0 / 1000.0 : speed;
    return QString::number(kmh, 'f', 1);
}

QString ZKTrackDP::elevationText(qint16 ele) const
{
    return m_rules.elevationTenths ? QString::number(ele / 10.0, 'f', 1) : QString::number(ele);
}

ZKGpxKeyMap ZKTrackDP::routeSummaryMap() const
{
    ZKGpxKeyMap map;
    if (m_routeSummary.size() <= 2)
        return map;
    map.insert(QStringLiteral("name"), m_routeSummary.at(0).toString());
    map.insert(QStringLiteral("trvtime"), m_routeSummary.at(1).toString());
    map.insert(QStringLiteral("trvdist"), m_routeSummary.at(2).toString());
    return map;
}

ZKGpxKeyMap ZKTrackDP::metadataMap() const
{
    ZKGpxKeyMap map;
    if (m_summary.size() < SummaryColumnCount)
        return map;
    insertIfSet(map, QStringLiteral("name"), summaryText(Title));
    insertIfSet(map, QStringLiteral("desc"), summaryText(Abstract));
    insertIfSet(map, QStringLiteral("author_name"), summaryText(Author));
    const std::optional<qint64> start = secondsOf(m_summary.value(StartTime));
    const std::optional<qint64> end = secondsOf(m_summary.value(EndTime));
    if (start) {
        map.insert(QStringLiteral("time"), utcText(*start));
        map.insert(QStringLiteral("stime"), utcText(*start));
    }
    if (end)
        map.insert(QStringLiteral("etime"), utcText(*end));
    if (start && end)
        map.insert(QStringLiteral("trvtime"), QString::number((*end - *start) / 60));
    if (m_trackPointCount > 0) {
        map.insert(QStringLiteral("bounds_minlat"), ZKGeoPoint::degreesTextFromE6(m_minLat));
        map.insert(QStringLiteral("bounds_minlon"), ZKGeoPoint::degreesTextFromE6(m_minLon));
        map.insert(QStringLiteral("bounds_maxlat"), ZKGeoPoint::degreesTextFromE6(m_maxLat));
        map.insert(QStringLiteral("bounds_maxlon"), ZKGeoPoint::degreesTextFromE6(m_maxLon));
    }
    insertIfSet(map, QStringLiteral("sys"), ZKTraceLog::modelName());
    map.insert(QStringLiteral("sys_version"), sysVersionText());
    map.insert(QStringLiteral("app_name"), QStringLiteral("log"));
    map.insert(QStringLiteral("app_version"), m_logVersion);
    map.insert(QStringLiteral("sharetype"), kShareType);
    insertIfSet(map, QStringLiteral("sctry"), summaryText(StartCountry));
    insertIfSet(map, QStringLiteral("ectry"), summaryText(EndCountry));
    insertIfSet(map, QStringLiteral("splace"), summaryText(StartPlace));
    insertIfSet(map, QStringLiteral("eplace"), summaryText(EndPlace));
    if (!summaryText(ActivityType).isEmpty()) {
        map.insert(QStringLiteral("acttype_subtype"), QStringLiteral("1"));
        map.insert(QStringLiteral("acttype"), summaryText(ActivityType));
    }
    insertIfSet(map, QStringLiteral("trvdist"), summaryText(TotalLength));
    return map;
}

bool ZKTrackDP::hasRoute() const
{
    return m_trackPointCount > 1;
}

ZKGpxKeyMap ZKTrackDP::routeMap(int route) const
{
    if (route != 0)
        return {};
    return {{QStringLiteral("number"), QString::number(routePointCount(route))}};
}

int ZKTrackDP::routePointCount(int route) const
{
    if (route != 0)
        return 0;
    const QList<ZKGpsLogRecord> &planned = keyViewPoints().planned;
    return planned.isEmpty() ? 2 : int(planned.size());
}

ZKGpxKeyMap ZKTrackDP::routePointMap(int route, int point) const
{
    ZKGpxKeyMap map;
    if (point < 0 || point >= routePointCount(route))
        return map;
    const QList<ZKGpsLogRecord> &planned = keyViewPoints().planned;
    if (!planned.isEmpty()) {
        insertPosition(map, QStringLiteral("rtept"), planned.at(point));
        return map;
    }
    if (m_trackPointCount == 0)
        return map;
    insertPosition(map, QStringLiteral("rtept"), point == 0 ? m_firstTrackPoint.record : m_lastTrackPoint.record);
    return map;
}

bool ZKTrackDP::hasTracks() const
{
    return m_trackPointCount > 0;
}

int ZKTrackDP::trackPointCount(int track) const
{
    return track == 0 ? int(m_trackPointCount) : 0;
}

ZKGpxKeyMap ZKTrackDP::trackPointMap(int track, int point) const
{
    ZKGpxKeyMap map;
    if (point < 0 || point >= trackPointCount(track))
        return map;
    const TrackPoint &p = keyViewPoints().track.at(point);
    insertPosition(map, QStringLiteral("trkpt"), p.record);
    if (p.record.ele != kZKEmptyI16)
        map.insert(QStringLiteral("ele"), elevationText(p.record.ele));
    map.insert(QStringLiteral("time"), utcText(p.time));
    if (p.record.magvar != kZKEmptyI16)
        map.insert(QStringLiteral("magvar"), QString::number(p.record.magvar));
    // The GPS speed is metres per minute in every log version.
    if (p.record.speed != kZKEmptyU16)
        map.insert(QStringLiteral("speed"), QString::number(p.record.speed * 60.0 / 1000.0, 'f', 1));
    return map;
}

ZKGpxKeyMap ZKTrackDP::waypointMap(int) const
{
    return {};
}

bool ZKTrackDP::hasLog() const
{
    return m_hasSensorPoints;
}

int ZKTrackDP::logPointCount() const
{
    return m_hasSensorPoints ? int(keyViewPoints().sensor.size()) : 0;
}

ZKGpxKeyMap ZKTrackDP::logPointMap(int point) const
{
    ZKGpxKeyMap map;
    if (point < 0 || point >= logPointCount())
        return map;
    const SensorPoint &sample = keyViewPoints().sensor.at(point);
    const ZKTrainLogRecord &r = sample.record;
    map.insert(QStringLiteral("logpt_time"), utcText(sample.time));
    if (r.hrm != kZKEmptyU8)
        map.insert(QStringLiteral("hrm"), QString::number(r.hrm));
    if (r.cad != kZKEmptyU8)
        map.insert(QStringLiteral("cad"), QString::number(r.cad));
    const quint16 speed = r.spd != kZKEmptyU16 ? r.spd : r.gpsSpeed;
    if (speed != kZKEmptyU16)
        map.insert(QStringLiteral("spd"), speedText(speed));
    if (r.tmp != kZKEmptyI16)
        map.insert(QStringLiteral("tmp"), QString::number(r.tmp));
    if (m_rules.power && r.pwr != kZKEmptyU16)
        map.insert(QStringLiteral("pwr"), QString::number(r.pwr));
    if (r.brm != kZKEmptyI32)
        map.insert(QStringLiteral("brm"), QString::number(r.brm / 100.0, 'f', 2));
    if (r.pdm != 0)
        map.insert(QStringLiteral("pdm"), QString::number(r.pdm));
    if (r.gpsSpeed != kZKEmptyU16)
        map.insert(QStringLiteral("gps"), speedText(r.gpsSpeed));
    return map;
}

void ZKTrackDP::copyUsrXml(QXmlStreamWriter &writer) const
{
    zkCopyXmlFile(writer, ZKTraceLog::usrXmlPath(m_key));
}

void ZKTrackDP::copyWrkXml(QXmlStreamWriter &writer) const
{
    zkCopyXmlFile(writer, ZKTraceLog::wrkXmlPath(m_key));
}

void ZKTrackDP::copyStaXml(QXmlStreamWriter &writer) const
{
    zkCopyXmlFile(writer, ZKTraceLog::staXmlPath(m_key));
}

void ZKTrackDP::copyPlnXml(QXmlStreamWriter &writer) const
{
    zkCopyXmlFile(writer, ZKTraceLog::plnXmlPath(m_key));
}
