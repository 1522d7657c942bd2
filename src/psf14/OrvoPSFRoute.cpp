#include "psf14/OrvoPSFRoute.h"

#include "env/OrvoByteWriter.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFSensorLogFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFTrackPoint.h"
#include "util/ZKGeoPoint.h"

#include <cmath>

namespace {

constexpr quint8 kAbsentLapCount = 0xFF;
constexpr qsizetype kTailSize = 7;

// Walks a track's positions: the start, then each point's changes added to the position.
class PositionWalk
{
public:
    PositionWalk(qint32 longitude, qint32 latitude)
        : m_longitude(longitude)
        , m_latitude(latitude)
    {}

    // Moves by one point's changes and answers the step's length, truncated to millimetres.
    double step(qint16 longitudeDelta, qint16 latitudeDelta)
    {
        const ZKGeoPoint from = here();
        m_longitude += longitudeDelta;
        m_latitude += latitudeDelta;
        return std::trunc(double(from.distanceTo(here())) * 1000.0) / 1000.0;
    }

private:
    // Positions wrap like the 32-bit values the device adds them in.
    ZKGeoPoint here() const { return ZKGeoPoint(qint32(m_latitude), qint32(m_longitude)); }

    qint64 m_longitude = 0;
    qint64 m_latitude = 0;
};

double trackDistance(const OrvoPSFTrack &track, bool isTrack)
{
    PositionWalk walk(track.startLongitude(), track.startLatitude());
    double distance = 0.0;
    if (isTrack) {
        for (const OrvoPSFTrackPoint::Values &point : track.trackPointValues())
            distance += walk.step(point.longitudeDelta, point.latitudeDelta);
    } else {
        for (const OrvoPSFRoutePoint *point : track.routePoints()) {
            if (point)
                distance += walk.step(point->longitudeDelta(), point->latitudeDelta());
        }
    }
    return distance;
}

} // namespace

OrvoPSFRoute::OrvoPSFRoute(QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
}

OrvoPSFRoute::OrvoPSFRoute(QByteArrayView bytes, QObject *parent)
    : OrvoPSFRoute(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_startTime = reader.readU32Le();
    m_name = reader.readBytes(kNameSize);
    const quint8 kind = reader.readU8();
    m_isTrack = kind & 0x01;
    m_flag1 = kind & 0x02;
    m_bits2_3 = (kind >> 2) & 0x03;
    m_flag3 = kind & 0x08;
    const quint8 activity = reader.readU8();
    m_nibbleLow = activity & 0x0F;
    m_nibbleHigh = activity >> 4;
    m_value = reader.readU16Le();
    m_firstTrack = reader.readU32Le();
    m_lapOffset = reader.readU32Le();
    m_firstLapOffset = reader.readU32Le();
    const quint8 lapCount = reader.readU8();
    m_lapCount = lapCount == kAbsentLapCount ? 0 : lapCount;
}

OrvoPSFRoute::~OrvoPSFRoute() = default;

void OrvoPSFRoute::loadTracks(OrvoPSFTrackFrame *trackFrame, OrvoPSFSensorLogFrame *sensorLogFrame)
{
    if (!trackFrame)
        return;
    m_tracks = trackFrame->dataArea().loadChain(
        m_firstTrack, false, OrvoPSFTrack::kHeaderSize,
        [this, sensorLogFrame](QByteArrayView bytes) {
            return new OrvoPSFTrack(bytes, m_isTrack, sensorLogFrame, this);
        },
        &OrvoPSFTrack::nextTrack);
}

QByteArray OrvoPSFRoute::serialize() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(m_startTime);
    writer.writeBytes(m_name.left(kNameSize).leftJustified(kNameSize, '\0'));
    writer.writeU8(quint8(m_isTrack) | quint8(m_flag1) << 1 | quint8(m_bits2_3 << 2));
    writer.writeU8(quint8(m_nibbleHigh << 4 | m_nibbleLow));
    writer.writeU16Le(m_value);
    writer.writeU32Le(m_firstTrack);
    writer.writeU32Le(m_lapOffset);
    writer.writeU32Le(m_firstLapOffset);
    writer.writeU8(m_lapCount);
    writer.fill(char(0xFF), kTailSize);
    return bytes;
}

void routeEndpoints(const OrvoPSFRoute &route, qint32 &startLatitude, qint32 &startLongitude, qint32 &endLatitude,
                    qint32 &endLongitude)
{
    startLatitude = startLongitude = endLatitude = endLongitude = 0;
    const OrvoPSFTrack *first = route.tracks().isEmpty() ? nullptr : route.tracks().first().data();
    const OrvoPSFTrack *last = route.tracks().isEmpty() ? nullptr : route.tracks().last().data();
    if (first) {
        startLatitude = first->startLatitude();
        startLongitude = first->startLongitude();
    }
    if (last) {
        endLatitude = last->endLatitude();
        endLongitude = last->endLongitude();
    }
}

qint64 routeDistance(const OrvoPSFRoute &route)
{
    double distance = 0.0;
    for (const OrvoPSFTrack *track : route.tracks()) {
        if (track)
            distance += trackDistance(*track, route.isTrack());
    }
    return qint64(distance);
}
