#pragma once

#include "util/ZKGpsLogRecord.h"
#include "util/ZKGpxExportable.h"
#include "util/ZKGpxImportable.h"
#include "util/ZKTraceLogHeader.h"
#include "util/ZKTrainLogRecord.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>
#include <optional>

class ZKBinaryLogReader;

// One stored ride as a GPX source: the metadata from its TraceLog row and the device context,
// a route of its first and last position, the track from its GPS log and the sensor log from
// its training log, followed by copies of the ride's workout, statistics and planned-trip files.
// Opening reads the logs once for what the metadata and the route need; writing reads them again
// record by record, so that no ride is ever held in memory whatever its length.
// The same data is also offered as key maps, keyed as the GPX reader keys the elements it
// reads, with the texts the writer writes for them.
class ZKTrackDP : public ZKGpxExportable
{
public:
    // A point a second for a week is under 20 MiB in either log: a log beyond this bound was
    // not written by a device and is refused.
    static constexpr qint64 kMaxLogSize = 64 * 1024 * 1024;

    // A position of the track, its time made absolute.
    struct TrackPoint
    {
        ZKGpsLogRecord record;
        qint64 time = 0;
        // The segment ends after this point.
        bool breakAfter = false;
    };
    // A sensor sample, its time made absolute.
    struct SensorPoint
    {
        ZKTrainLogRecord record;
        qint64 time = 0;
        bool breakAfter = false;
    };

    // The TraceLog columns of the summary, in this order.
    enum SummaryColumn {
        Title,
        Abstract,
        CreateTime,
        Author,
        LDLat,
        LDLon,
        RTLat,
        RTLon,
        StartCountry,
        EndCountry,
        StartPlace,
        EndPlace,
        ActivityType,
        RouteType,
        StartTime,
        EndTime,
        TotalLength,
        SummaryColumnCount
    };

    // The largest log, in bytes, that opening reads.
    void setMaxLogSize(qint64 bytes) { m_maxLogSize = bytes; }

    // Loads the ride with this key (its idRoute): the summary when the row is there, then both
    // logs. True when both logs were read; a provider that failed is not written.
    bool open(qint64 key, bool thin);
    // The TraceLog row of the key into the summary; true when the whole row came back.
    bool summaryMap(qint64 key);
    // With thin set, a position within 500 micro-degrees (latitude plus longitude difference)
    // of the previous kept one is left out. startDate becomes the UTC date of the first point.
    // False when the log does not open, has no header or is larger than the bound.
    bool readGpsLog(const QString &path, bool thin, QDate &startDate);
    // Samples dated before startDate (when valid) are left out at the start of the log.
    bool readTrainLog(const QString &path, const QDate &startDate);

    void writeMetadata(QXmlStreamWriter &writer) override;
    void writeRoute(QXmlStreamWriter &writer) override;
    void writeTracks(QXmlStreamWriter &writer) override;
    void writeWaypoints(QXmlStreamWriter &writer) override;
    void writeExtensions(QXmlStreamWriter &writer) override;

    // The ride's side files, each its root element with everything inside; nothing when the
    // file is missing or broken.
    void copyUsrXml(QXmlStreamWriter &writer) const;
    void copyWrkXml(QXmlStreamWriter &writer) const;
    void copyStaXml(QXmlStreamWriter &writer) const;
    void copyPlnXml(QXmlStreamWriter &writer) const;

    // The ride as key maps. A map asked for something the ride does not have is empty.
    // name, trvtime, trvdist of the route summary, when it holds them.
    ZKGpxKeyMap routeSummaryMap() const;
    // The metadata and its extensions in one map, when the summary is complete (the device's
    // own profile copy is left out, as the reader leaves it out).
    ZKGpxKeyMap metadataMap() const;
    // More than one track point.
    bool hasRoute() const;
    // number: the planned points, or 2 (the first and the last track point).
    ZKGpxKeyMap routeMap(int route) const;
    int routePointCount(int route) const;
    // rtept_lat, rtept_lon of a planned point, or of the first or last track point.
    ZKGpxKeyMap routePointMap(int route, int point) const;
    bool hasTracks() const;
    // All track points form one track.
    int trackCount() const { return 1; }
    int trackPointCount(int track) const;
    // trkpt_lat, trkpt_lon, ele, time, magvar, and speed (km/h), which the track does not
    // write. Elevations of logs up to 0.2.1.2 are the stored number.
    ZKGpxKeyMap trackPointMap(int track, int point) const;
    int waypointCount() const { return 0; }
    ZKGpxKeyMap waypointMap(int waypoint) const;
    bool hasLog() const;
    int logPointCount() const;
    // logpt_time, hrm, cad, spd, tmp, pwr (logs above 0.2.1.4), brm, and pdm (when not 0) and
    // gps (the GPS speed, km/h), which the sensor log does not write.
    ZKGpxKeyMap logPointMap(int point) const;

    const QVector<QVariant> &summary() const { return m_summary; }
    // The points read from the logs again, for a caller that wants them all at once.
    QList<TrackPoint> trackPoints() const;
    QList<ZKGpsLogRecord> plannedPoints() const;
    QList<SensorPoint> sensorPoints() const;
    // "0.2.1.8": the GPS log's version.
    QString logVersion() const { return m_logVersion; }

private:
    // The key maps index points, so they read the logs into memory the first time a point is
    // asked for; writing the GPX never does.
    struct KeyViewPoints
    {
        QList<TrackPoint> track;
        QList<ZKGpsLogRecord> planned;
        QList<SensorPoint> sensor;
    };

    const KeyViewPoints &keyViewPoints() const;
    using TrackVisitor = std::function<void(const TrackPoint &)>;
    using PlannedVisitor = std::function<void(const ZKGpsLogRecord &)>;
    using SensorVisitor = std::function<void(const SensorPoint &)>;

    bool isWithinBound(const QString &path) const;

    // What the GPS log's version decides, worked out once when its header is read.
    struct LogRules
    {
        // Times count from the ride's StartTime.
        bool relativeTimes = false;
        // The header carries the device version.
        bool headerDeviceVersion = false;
        // Speeds are metres per minute.
        bool speedPerMinute = false;
        // Elevations are tenths of a metre, which the key maps give in metres.
        bool elevationTenths = false;
        // Power values are meaningful, so the key maps offer them.
        bool power = false;
    };

    void setLogRules();
    void setTimeBase();
    // The records after the header, in log order: each kept position once its break flag is
    // known, and each planned one.
    void scanGpsRecords(ZKBinaryLogReader &reader, const TrackVisitor &track, const PlannedVisitor &planned) const;
    void scanTrainRecords(ZKBinaryLogReader &reader, const SensorVisitor &sample) const;
    // The logs of the last read opened again; false with a log line when they no longer open.
    bool scanGpsLog(const TrackVisitor &track, const PlannedVisitor &planned) const;
    bool scanTrainLog(const SensorVisitor &sample) const;
    void countTrackPoint(const TrackPoint &point);
    void writeMetadataExtensions(QXmlStreamWriter &writer) const;
    void writeSysVersion(QXmlStreamWriter &writer) const;
    QString sysVersionText() const;
    QString speedText(quint16 speed) const;
    QString elevationText(qint16 ele) const;
    void writeSummaryTimes(QXmlStreamWriter &writer) const;
    void writeTrackPoint(QXmlStreamWriter &writer, const TrackPoint &point) const;
    void writeSensorLog(QXmlStreamWriter &writer) const;
    void writeSample(QXmlStreamWriter &writer, const SensorPoint &sample) const;
    QString summaryText(SummaryColumn column) const;

    qint64 m_key = 0;
    qint64 m_maxLogSize = kMaxLogSize;
    QVector<QVariant> m_summary;
    QString m_gpsPath;
    QString m_trainPath;
    bool m_thin = false;
    // Samples before this UTC date start no sensor log.
    QDate m_startDate;
    // What the metadata and the route need of the track: its count and its ends.
    qsizetype m_trackPointCount = 0;
    TrackPoint m_firstTrackPoint;
    TrackPoint m_lastTrackPoint;
    bool m_hasSensorPoints = false;
    ZKTraceLogHeader m_gpsHeader;
    QString m_logVersion;
    LogRules m_rules;
    // Name, travel time and distance of a planned route; nothing fills it for a ride.
    QVector<QVariant> m_routeSummary;
    mutable std::optional<KeyViewPoints> m_keyView;
    // Seconds added to the record times of both logs: the ride's StartTime for logs that count
    // from the start, set by readGpsLog.
    qint64 m_timeBase = 0;
    // Micro-degrees; meaningful only once there is a track point.
    qint32 m_minLat = 0;
    qint32 m_minLon = 0;
    qint32 m_maxLat = 0;
    qint32 m_maxLon = 0;
};
