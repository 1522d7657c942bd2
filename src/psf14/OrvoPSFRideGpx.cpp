#include "psf14/OrvoPSFRideGpx.h"

#include "env/OrvoTimeText.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFSensorLog.h"
#include "psf14/OrvoPSFSensorLogPoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackPoint.h"
#include "psf14/OrvoPSFValues.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpx2.h"

#include <cmath>
#include <utility>

namespace {

const QString kBreakType = QStringLiteral("2");
constexpr qint32 kAbsentCoordinate = -1;
constexpr quint8 kAbsentByte = 0xFF;
constexpr quint16 kAbsentWord = 0xFFFF;

// Positions wrap like the 32-bit values the device adds them in.
qint32 moved(qint32 position, qint16 delta)
{
    return qint32(quint32(position) + quint32(qint32(delta)));
}

struct Position
{
    qint32 latitude = 0;
    qint32 longitude = 0;
};

ZKGpxRoutePoint routePoint(const Position &at)
{
    ZKGpxRoutePoint point;
    point.lat = coordinateText(at.latitude);
    point.lon = coordinateText(at.longitude);
    return point;
}

// Moves at and time on by the step and adds the step to totals.
void advance(const OrvoPSFTrack &track, const OrvoPSFTrackPoint::Values &step, Position &at, quint32 &time,
             OrvoPSFRideGpx::Totals &totals)
{
    const ZKGeoPoint from(at.latitude, at.longitude);
    at = {moved(at.latitude, step.latitudeDelta), moved(at.longitude, step.longitudeDelta)};
    const float metres = from.distanceTo(ZKGeoPoint(at.latitude, at.longitude));
    if (!std::isnan(metres))
        totals.distance += quint64(metres);
    time += quint32(track.secondsPerTick()) * step.ticks;
    totals.lastTime = time;
}

// One track's segment. Leaves at on the track's last position and adds the track's steps to
// totals.
ZKGpxTrack trackSegment(const OrvoPSFTrack &track, Position &at, OrvoPSFRideGpx::Totals &totals)
{
    ZKGpxTrack segment;
    if (track.trackFlag(0))
        segment.breaktype = kBreakType;
    at = {track.startLatitude(), track.startLongitude()};
    quint32 time = track.trackStartTime();
    const double baseCode = qint16(track.trackAltitude());
    int altitudeTenths = 0;
    auto point = [&] {
        ZKGpxTrackPoint p;
        p.lat = coordinateText(at.latitude);
        p.lon = coordinateText(at.longitude);
        p.time = psfTimeText(time);
        p.ele = altitudeText(altitudeTenths, baseCode, true);
        return p;
    };
    // The start position, then one point per step.
    const QVector<OrvoPSFTrackPoint::Values> steps = track.trackPointValues();
    const bool hasPoints = track.trackPointCount() > 0;
    segment.points.reserve(hasPoints ? steps.size() + 1 : 0);
    if (hasPoints)
        segment.appendPoint(point());
    for (const OrvoPSFTrackPoint::Values &step : steps) {
        advance(track, step, at, time, totals);
        altitudeTenths += step.altitudeDelta;
        segment.appendPoint(point());
    }
    return segment;
}

ZKGpxLogPoint logPoint(const OrvoPSFSensorLogPoint::Sample &sample, int mode)
{
    using Channel = OrvoPSFSensorLogPoint::Channel;
    ZKGpxLogPoint point;
    if (sample.hasChannel(Channel::Speed) && sample.speed != kAbsentByte)
        point.spd = speedText(sample.speed);
    if (sample.hasChannel(Channel::Cadence) && sample.cadence != kAbsentByte)
        point.cad = cadenceText(sample.cadence, mode);
    if (sample.hasChannel(Channel::HeartRate) && sample.heartRate != kAbsentByte)
        point.hrm = QString::number(sample.heartRate);
    if (sample.hasChannel(Channel::Power) && sample.power != kAbsentWord)
        point.pwr = QString::number(sample.power);
    if (sample.hasChannel(Channel::Temperature) && quint16(sample.temperature) != kAbsentWord)
        point.tmp = tenthsText(sample.temperature);
    if (sample.hasChannel(Channel::Channel5) && sample.channel5 != kAbsentWord)
        point.brm = doubledText(sample.channel5);
    return point;
}

ZKGpxLogSegment logSegment(const OrvoPSFSensorLog &log, int mode)
{
    ZKGpxLogSegment segment;
    if (log.logFlag7())
        segment.breaktype = kBreakType;
    segment.points.reserve(log.samples().size());
    quint32 k = 0;
    for (const OrvoPSFSensorLogPoint::Sample &sample : log.samples()) {
        const quint32 time = log.logStartTime() + quint32(log.logInterval()) * k++;
        ZKGpxLogPoint point = logPoint(sample, mode);
        point.time = psfTimeText(time);
        segment.points.append(std::move(point));
    }
    return segment;
}

} // namespace

OrvoPSFRideGpx::Totals OrvoPSFRideGpx::convert(const OrvoPSFRoute &ride, ZKGpx2 &document)
{
    Totals totals;
    totals.lastTime = ride.routeStartTime();
    ZKGpxRoute route;
    ZKGpxTrackList tracks;
    ZKGpxItemList<ZKGpxLogSegment> logSegments;
    QVector<const OrvoPSFTrack *> stored;
    for (const OrvoPSFTrack *track : ride.tracks()) {
        if (track)
            stored.append(track);
    }
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const OrvoPSFTrack &track = *stored.at(i);
        Position at;
        tracks.append(trackSegment(track, at, totals));
        const bool startPresent =
            track.startLatitude() != kAbsentCoordinate && track.startLongitude() != kAbsentCoordinate;
        if (startPresent)
            route.appendPoint(routePoint({track.startLatitude(), track.startLongitude()}));
        const bool last = i + 1 == stored.size();
        if (last && (!startPresent || track.trackPointCount() > 0))
            route.appendPoint(routePoint(at));
        for (const OrvoPSFSensorLog *log : track.sensorLogs()) {
            if (log)
                logSegments.append(logSegment(*log, ride.routeNibbleLow()));
        }
    }
    document.route = std::move(route);
    document.trackList = std::move(tracks);
    document.logSegments = std::move(logSegments);
    return totals;
}

OrvoPSFRideGpx::Totals OrvoPSFRideGpx::totals(const OrvoPSFRoute &ride)
{
    Totals totals;
    totals.lastTime = ride.routeStartTime();
    for (const OrvoPSFTrack *track : ride.tracks()) {
        if (!track)
            continue;
        Position at{track->startLatitude(), track->startLongitude()};
        quint32 time = track->trackStartTime();
        for (const OrvoPSFTrackPoint::Values &step : track->trackPointValues())
            advance(*track, step, at, time, totals);
    }
    return totals;
}
