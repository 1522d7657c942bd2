#include "devices/psf15/OrvoPSFSegmentPlan.h"

#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "psf15/OrvoPSFTrackPoint_1_5.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpxRoutePoint.h"
#include "util/ZKGpxTrack.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A type-0 point: 8-bit altitude change in tenths of a metre, 16-bit coordinate changes.
constexpr qint64 kMinAltitudeDelta = std::numeric_limits<qint8>::min();
constexpr qint64 kMaxAltitudeDelta = std::numeric_limits<qint8>::max();
constexpr qint64 kMinCoordinateDelta = std::numeric_limits<qint16>::min();
constexpr qint64 kMaxCoordinateDelta = std::numeric_limits<qint16>::max();
// The altitude code is quarter metres above -1000 m in a signed 16-bit word.
constexpr double kLowestElevation = -1000.0;
constexpr double kHighestElevation = std::numeric_limits<qint16>::max() / 4.0 - 1000.0;
constexpr int kTypeBits = 0x07;
// Route point types that mark the segment's ends: bits of the start's and the end's type.
constexpr int kStartMarkA = 0x04;
constexpr int kStartMarkB = 0x08;
constexpr int kEndMarkA = 0x04;
constexpr int kEndMarkB = 0x10;

} // namespace

double OrvoPSFSegmentPlan::elevationOf(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0.0;
    return std::clamp(value, kLowestElevation, kHighestElevation);
}

qint16 OrvoPSFSegmentPlan::altitudeCode(double elevation)
{
    const double code = std::trunc((std::clamp(elevation, kLowestElevation, kHighestElevation) + 1000.0) * 4.0);
    return qint16(std::clamp(code, 0.0, double(std::numeric_limits<qint16>::max())));
}

std::optional<OrvoPSFSegmentPlan> OrvoPSFSegmentPlan::fromTrack(const ZKGpxTrack &track)
{
    if (track.points.size() < kMinPoints)
        return std::nullopt;
    OrvoPSFSegmentPlan plan;
    plan.m_points.reserve(track.points.size());
    for (qsizetype k = 0; k < track.points.size(); ++k) {
        const auto &text = track.points.at(k);
        bool latitudeOk = false;
        bool longitudeOk = false;
        const Point point{ZKGeoPoint::e6FromDegreesText(text.lon, &longitudeOk),
                          ZKGeoPoint::e6FromDegreesText(text.lat, &latitudeOk), elevationOf(text.ele), text.type};
        if (!latitudeOk || !longitudeOk) {
            ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFSegmentPlan::fromTrack")
                << "point" << k << "has no position: lat" << text.lat << "lon" << text.lon;
            return std::nullopt;
        }
        if (plan.m_points.isEmpty()) {
            plan.m_points.append(point);
            continue;
        }
        const Point previous = plan.m_points.last();
        if (!plan.appendStep(previous, point)) {
            ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFSegmentPlan::fromTrack")
                << "the track needs more than the" << kMaxPointRecords << "points a segment holds";
            return std::nullopt;
        }
    }
    return plan;
}

qint64 OrvoPSFSegmentPlan::altitudeDelta(const Point &from, const Point &to)
{
    return qint64(std::trunc(((to.elevation + 0.05) - from.elevation) * 10.0));
}

bool OrvoPSFSegmentPlan::stepFits(const Point &from, const Point &to)
{
    const auto fits = [](qint64 delta, qint64 low, qint64 high) { return delta >= low && delta <= high; };
    return fits(to.longitude - from.longitude, kMinCoordinateDelta, kMaxCoordinateDelta) &&
           fits(to.latitude - from.latitude, kMinCoordinateDelta, kMaxCoordinateDelta) &&
           fits(altitudeDelta(from, to), kMinAltitudeDelta, kMaxAltitudeDelta);
}

// Appends the points after from up to to, halving a step that does not fit; false once the
// segment would count more than kMaxPointRecords points.
bool OrvoPSFSegmentPlan::appendStep(const Point &from, const Point &to)
{
    if (m_points.size() > kMaxPointRecords)
        return false;
    if (stepFits(from, to)) {
        m_points.append(to);
        return m_points.size() <= kMaxPointRecords + 1;
    }
    const Point middle{from.longitude + (to.longitude - from.longitude) / 2,
                       from.latitude + (to.latitude - from.latitude) / 2, (from.elevation + to.elevation) / 2,
                       QString()};
    return appendStep(from, middle) && appendStep(middle, to);
}

qsizetype OrvoPSFSegmentPlan::pointRecords() const
{
    return m_points.size() - 1;
}

qsizetype OrvoPSFSegmentPlan::bytes() const
{
    return OrvoPSFTrackSeg_1_5::kHeaderSize + pointRecords() * OrvoPSFTrackPoint_1_5::sizeOfType(0);
}

void OrvoPSFSegmentPlan::setPointFlags(OrvoPSFTrackPoint_1_5 &point, const QString &type)
{
    for (int i = 0; i < OrvoPSFTrackPoint_1_5::kFlagCount; ++i)
        point.setFlag(i, false);
    for (const QString &part : type.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("1"))
            point.setFlag(0, true);
        else if (part == QLatin1String("4"))
            point.setFlag(1, true);
        else if (part == QLatin1String("8"))
            point.setFlag(2, true);
    }
}

bool OrvoPSFSegmentPlan::writeTo(OrvoPSFTrackSeg_1_5 &segment, OrvoPSFFlashLayout &layout, quint32 startTime, int type,
                                 const ZKGpxRoutePoint *first, const ZKGpxRoutePoint *second) const
{
    const Point &start = m_points.first();
    const Point &end = m_points.last();
    segment.setStartTime(startTime);
    segment.setStartPosition(qint32(start.longitude), qint32(start.latitude));
    segment.setStartAltitudeCode(altitudeCode(start.elevation));
    for (int i = 0; i < OrvoPSFTrackSeg_1_5::kFlagCount; ++i)
        segment.setSegmentFlag(i, false);
    segment.setSegmentKind(kPlannedKind);
    segment.setSecondsPerTick(kSecondsPerTick);
    segment.setRouteType(quint8(type & kTypeBits));
    if (first) {
        const int mark = first->type.toInt();
        segment.setSegmentFlag(0, mark & kStartMarkA);
        segment.setSegmentFlag(2, mark & kStartMarkB);
    }
    if (second) {
        const int mark = second->type.toInt();
        segment.setSegmentFlag(1, mark & kEndMarkA);
        segment.setSegmentFlag(3, mark & kEndMarkB);
    }
    for (qsizetype k = 1; k < m_points.size(); ++k) {
        const Point &from = m_points.at(k - 1);
        const Point &to = m_points.at(k);
        OrvoPSFTrackPoint_1_5 *point = segment.addPoint(layout);
        if (!point || !point->setAltitudeDelta(qint32(altitudeDelta(from, to))) ||
            !point->setCoordinateDeltaA(qint32(to.longitude - from.longitude)) ||
            !point->setCoordinateDeltaB(qint32(to.latitude - from.latitude)))
            return false;
        setPointFlags(*point, to.type);
    }
    segment.setEndPosition(qint32(end.longitude), qint32(end.latitude));
    segment.setEndAltitudeCode(altitudeCode(end.elevation));
    return true;
}
