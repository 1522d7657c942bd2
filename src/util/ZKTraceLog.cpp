#include "util/ZKTraceLog.h"

#include "env/OrvoDecimalText.h"
#include "env/OrvoTimeText.h"
#include "env/ZKLogger.h"
#include "util/ZKBinaryLogger.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpsLogRecord.h"
#include "util/ZKGpx1.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

struct Context
{
    QMutex mutex;
    QString dataDir;
    QString deviceVersion = QStringLiteral("0.0.0.0");
    QString modelName = QStringLiteral("Kavel50");
};

Context &context()
{
    static Context instance;
    return instance;
}

QString get(const QString Context::*field)
{
    Context &c = context();
    QMutexLocker lock(&c.mutex);
    return c.*field;
}

void set(QString Context::*field, const QString &value)
{
    Context &c = context();
    QMutexLocker lock(&c.mutex);
    c.*field = value;
}

QString ridePath(const char *pattern, qint64 key)
{
    return ZKTraceLog::dataDir() + QString::fromLatin1(pattern).arg(key);
}

// The largest value a 16-bit field takes that is not its empty marker.
template<typename T>
T clampBelowMarker(qint64 value, T marker)
{
    const qint64 low = std::numeric_limits<T>::min();
    return T(std::clamp<qint64>(value, low, qint64(marker) - 1));
}

// Elevation in metres to tenths; absent or unreadable gives the empty marker.
qint16 elevationTenths(const QString &text)
{
    const std::optional<qint64> tenths = parseScaledDecimal(text, 1);
    return tenths ? clampBelowMarker(*tenths, kZKEmptyI16) : kZKEmptyI16;
}

qint16 magneticVariation(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? clampBelowMarker(value, kZKEmptyI16) : kZKEmptyI16;
}

// km/h to metres per minute, truncated toward zero.
quint16 speedMetresPerMinute(const QString &text)
{
    const std::optional<qint64> metresPerHour = parseScaledDecimal(text, 3);
    return metresPerHour ? clampBelowMarker(*metresPerHour / 60, kZKEmptyU16) : kZKEmptyU16;
}

ZKGpsLogRecord trackRecord(const ZKGpxTrackPoint &point)
{
    ZKGpsLogRecord record;
    record.lon = ZKGeoPoint::e6FromDegreesText(point.lon);
    record.lat = ZKGeoPoint::e6FromDegreesText(point.lat);
    record.ele = elevationTenths(point.ele);
    record.magvar = magneticVariation(point.magvar);
    record.speed = speedMetresPerMinute(point.speed);
    record.type = ZKTraceLog::typeMask(point.type);
    record.time = qint32(parseUtcTime(point.time));
    return record;
}

ZKGpsLogRecord routeRecord(const ZKGpxRoutePoint &point)
{
    ZKGpsLogRecord record;
    record.lon = ZKGeoPoint::e6FromDegreesText(point.lon);
    record.lat = ZKGeoPoint::e6FromDegreesText(point.lat);
    record.type = ZKTraceLog::typeMask(point.type) | kZKGpsTypePlanned;
    return record;
}

bool appendTracks(ZKBinaryLogger &logger, const QList<ZKGpxTrack> &tracks)
{
    for (qsizetype t = 0; t < tracks.size(); ++t) {
        for (const ZKGpxTrackPoint &point : tracks[t].points) {
            if (!logger.append(trackRecord(point)))
                return false;
        }
        // Between tracks the last point is repeated as a track end, so the device can tell them apart.
        if (tracks.size() >= 2 && t + 1 < tracks.size() && !tracks[t].points.isEmpty()) {
            ZKGpsLogRecord end = trackRecord(tracks[t].points.last());
            end.type = kZKGpsTypeTrackEnd;
            if (!logger.append(end))
                return false;
        }
    }
    return true;
}

bool appendRoute(ZKBinaryLogger &logger, const QList<ZKGpxRoutePoint> &route)
{
    for (const ZKGpxRoutePoint &point : route) {
        if (!logger.append(routeRecord(point)))
            return false;
    }
    return true;
}

} // namespace

void ZKTraceLog::setDataDir(const QString &path)
{
    set(&Context::dataDir, path);
    if (!path.isEmpty() && !QDir().mkpath(path))
        ZK_LOG_ERROR("can't create data folder %s", path);
}

QString ZKTraceLog::dataDir()
{
    return get(&Context::dataDir);
}

void ZKTraceLog::setDeviceVersion(const QString &version)
{
    set(&Context::deviceVersion, version);
}

QString ZKTraceLog::deviceVersion()
{
    return get(&Context::deviceVersion);
}

void ZKTraceLog::setModelName(const QString &name)
{
    set(&Context::modelName, name);
}

QString ZKTraceLog::modelName()
{
    return get(&Context::modelName);
}

bool ZKTraceLog::isNonZk2Version()
{
    return !deviceVersion().startsWith(QLatin1String("ZK2"));
}

QString ZKTraceLog::gpsLogPath(qint64 key)
{
    return ridePath("/%1-GPS.dat", key);
}

QString ZKTraceLog::trainLogPath(qint64 key)
{
    return ridePath("/%1-TRN.dat", key);
}

QString ZKTraceLog::st2XmlPath(qint64 key)
{
    return ridePath("/%1-ST2.xml", key);
}

QString ZKTraceLog::staXmlPath(qint64 key)
{
    return ridePath("/%1-STA.xml", key);
}

QString ZKTraceLog::wrkXmlPath(qint64 key)
{
    return ridePath("/%1-WRK.xml", key);
}

QString ZKTraceLog::usrXmlPath(qint64 key)
{
    return ridePath("/%1-USR.xml", key);
}

QString ZKTraceLog::plnXmlPath(qint64 key)
{
    return ridePath("/%1-PLN.xml", key);
}

QString ZKTraceLog::dbgLogPath(qint64 key)
{
    return ridePath("/%1-DBG.log", key);
}

quint16 ZKTraceLog::typeMask(const QString &text)
{
    quint32 mask = 0;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        mask |= part.toUInt();
    return quint16(mask);
}

bool ZKTraceLog::savePlannedTrip(const QString &path, const ZKGpx1 &gpx)
{
    ZKBinaryLogger logger;
    if (!logger.open(path))
        return false;
    const QList<ZKGpxTrack> tracks = gpx.trackList ? gpx.trackList->tracks : QList<ZKGpxTrack>();
    const QList<ZKGpxRoutePoint> route = gpx.route ? gpx.route->points : QList<ZKGpxRoutePoint>();
    if (!appendTracks(logger, tracks) || !appendRoute(logger, route)) {
        ZK_LOG_ERROR("planned trip %s not saved after %d records", path, logger.count());
        return false;
    }
    return logger.close();
}
