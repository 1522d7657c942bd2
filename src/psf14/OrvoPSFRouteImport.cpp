#include "psf14/OrvoPSFRouteImport.h"

#include "env/OrvoDecimalText.h"
#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpxRoutePoint.h"
#include "util/ZKGpxTrack.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// The largest step one point can hold: signed 16-bit micro-degree changes, and 8-bit tenths of
// a metre, which the rounding of the change leaves at 12.7 m either way.
constexpr qint64 kMaxAltitudeStepMm = 12700;
constexpr int kMillimetreDecimals = 3;
constexpr qint64 kMillimetresPerTenth = 100;
constexpr quint8 kSecondsPerTick = 4;
constexpr int kBreakTrack = 2;

struct Point
{
    qint64 latitude = 0;
    qint64 longitude = 0;
    qint64 elevationMm = 0;
    QString type;
};

std::optional<Point> readPoint(const ZKGpxTrackPoint &point)
{
    bool latitudeOk = false;
    bool longitudeOk = false;
    const qint32 latitude = ZKGeoPoint::e6RoundedFromDegreesText(point.lat, &latitudeOk);
    const qint32 longitude = ZKGeoPoint::e6RoundedFromDegreesText(point.lon, &longitudeOk);
    if (!latitudeOk || !longitudeOk)
        return std::nullopt;
    // A point without elevation counts as sea level.
    const qint64 elevation = parseScaledDecimal(point.ele, kMillimetreDecimals).value_or(0);
    return Point{latitude, longitude, elevation, point.type};
}

bool fitsPointChange(qint64 change)
{
    return change >= std::numeric_limits<qint16>::min() && change <= std::numeric_limits<qint16>::max();
}

bool stepFits(const Point &from, const Point &to)
{
    return fitsPointChange(to.latitude - from.latitude) && fitsPointChange(to.longitude - from.longitude) &&
           qAbs(to.elevationMm - from.elevationMm) <= kMaxAltitudeStepMm;
}

Point midpoint(const Point &from, const Point &to)
{
    return Point{from.latitude + (to.latitude - from.latitude) / 2,
                 from.longitude + (to.longitude - from.longitude) / 2,
                 from.elevationMm + (to.elevationMm - from.elevationMm) / 2, QString()};
}

// Appends the points after from up to to, halving a step that does not fit; false once more
// than maxPoints points would be needed.
bool appendStep(QVector<Point> &points, const Point &from, const Point &to, qsizetype maxPoints)
{
    if (points.size() >= maxPoints)
        return false;
    if (stepFits(from, to)) {
        points.append(to);
        return true;
    }
    const Point middle = midpoint(from, to);
    return appendStep(points, from, middle, maxPoints) && appendStep(points, middle, to, maxPoints);
}

quint16 altitudeCodeOf(qint64 elevationMm)
{
    return quint16(std::clamp<qint64>((elevationMm + 1000000) * 4 / 1000, 0, 0xFFFF));
}

OrvoPSFRoutePoint *routePoint(const Point &from, const Point &to)
{
    auto *point = new OrvoPSFRoutePoint;
    point->setLongitudeDelta(qint16(to.longitude - from.longitude));
    point->setLatitudeDelta(qint16(to.latitude - from.latitude));
    point->setValue(qint8((to.elevationMm - from.elevationMm + kMillimetresPerTenth / 2) / kMillimetresPerTenth));
    for (const QString &part : to.type.split(QLatin1Char(','))) {
        point->setPointFlag0(point->pointFlag0() || part == QLatin1String("1"));
        point->setPointFlag1(point->pointFlag1() || part == QLatin1String("4"));
        point->setPointFlag2(point->pointFlag2() || part == QLatin1String("8"));
    }
    return point;
}

void setEndFlags(OrvoPSFTrack &track, const ZKGpxRoutePoint *start, const ZKGpxRoutePoint *end)
{
    if (start) {
        const int type = start->type.toInt();
        track.setTrackFlag(1, type & 0x04);
        track.setTrackFlag(3, type & 0x08);
    }
    if (end) {
        const int type = end->type.toInt();
        track.setTrackFlag(2, type & 0x04);
        track.setTrackFlag(4, type & 0x10);
    }
}

std::optional<QVector<Point>> readPoints(const ZKGpxTrack &segment, qsizetype maxPoints)
{
    QVector<Point> points;
    for (qsizetype k = 0; k < segment.points.size(); ++k) {
        const ZKGpxTrackPoint &text = segment.points.at(k);
        const std::optional<Point> point = readPoint(text);
        if (!point) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteImport::build")
                << "point" << k << "has no position: lat" << text.lat << "lon" << text.lon;
            return std::nullopt;
        }
        if (points.isEmpty()) {
            points.append(*point);
            continue;
        }
        const Point previous = points.last();
        if (!appendStep(points, previous, *point, maxPoints)) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteImport::build")
                << "the track needs more than the" << maxPoints << "points the device holds";
            return std::nullopt;
        }
    }
    return points;
}

} // namespace

OrvoPSFTrack *OrvoPSFRouteImport::build(const ZKGpxTrack &segment, const ZKGpxRoutePoint *start,
                                        const ZKGpxRoutePoint *end, quint32 id, qsizetype maxPoints)
{
    if (segment.points.size() < kMinPoints)
        return nullptr;
    const std::optional<QVector<Point>> points = readPoints(segment, maxPoints);
    if (!points)
        return nullptr;
    auto *track = new OrvoPSFTrack;
    track->setTrackStartTime(id);
    const Point &first = points->first();
    const Point &last = points->last();
    track->setStartLongitude(qint32(first.longitude));
    track->setStartLatitude(qint32(first.latitude));
    track->setTrackAltitude(altitudeCodeOf(first.elevationMm));
    track->setEndLongitude(qint32(last.longitude));
    track->setEndLatitude(qint32(last.latitude));
    track->setEndAltitude(altitudeCodeOf(last.elevationMm));
    track->setTrackFlag(0, segment.breaktype.toInt() == kBreakTrack);
    track->setSecondsPerTick(kSecondsPerTick);
    setEndFlags(*track, start, end);
    track->routePoints().reserve(points->size() - 1);
    for (qsizetype k = 1; k < points->size(); ++k)
        track->routePoints().append(routePoint(points->at(k - 1), points->at(k)));
    track->setPointCount(quint32(points->size() - 1));
    track->setFirstSensorLog(kOrvoPsfNone);
    return track;
}
