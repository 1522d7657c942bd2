#include "psf15/OrvoPSFTrackCursor.h"

#include "psf15/OrvoPSFTrackSeg_1_5.h"

namespace {

// Positions wrap around like the device's 32-bit arithmetic instead of overflowing.
qint32 moved(qint32 value, qint32 delta)
{
    return qint32(quint32(value) + quint32(delta));
}

} // namespace

OrvoPSFTrackCursor::OrvoPSFTrackCursor(const OrvoPSFTrackSeg_1_5 &segment)
    : m_segment(segment)
    , m_altitude(segment.startAltitude())
    , m_time(segment.startTime())
{
    m_position.setLonE6(segment.startLongitude());
    m_position.setLatE6(segment.startLatitude());
}

bool OrvoPSFTrackCursor::next()
{
    const auto &points = m_segment.points();
    if (m_index + 1 >= int(points.size())) {
        m_index = int(points.size());
        m_position = ZKGeoPoint();
        m_altitude = OrvoPSFMeasure();
        m_time = 0;
        return false;
    }
    ++m_index;
    const OrvoPSFTrackPoint_1_5 &point = *points[size_t(m_index)];
    m_position.setLonE6(moved(m_position.lonE6(), point.coordinateDeltaA()));
    m_position.setLatE6(moved(m_position.latE6(), point.coordinateDeltaB()));
    m_altitude.addTenths(qint16(point.altitudeDelta()));
    m_time += qint64(point.ticks()) * m_segment.secondsPerTick();
    return true;
}

int OrvoPSFTrackCursor::index() const
{
    return m_index;
}

ZKGeoPoint OrvoPSFTrackCursor::position() const
{
    return m_position;
}

OrvoPSFMeasure OrvoPSFTrackCursor::altitude() const
{
    return m_altitude;
}

qint64 OrvoPSFTrackCursor::time() const
{
    return m_time;
}
