#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"
#include "psf14/OrvoPSFTrackPoint.h"

#include <QPointer>
#include <QVector>

class OrvoPSFRoutePoint;
class OrvoPSFSensorLog;
class OrvoPSFSensorLogFrame;

// One track of a route: a 40-byte header followed by its 6-byte points, little-endian:
//   0   u32  start time (seconds since 1970, UTC)
//   4   i32  start longitude     8   i32  start latitude      (micro-degrees)
//   12  i32  end longitude       16  i32  end latitude
//   20  u16  start altitude: quarter metres offset by 1000 m (value × 0.25 − 1000)
//   22  u16  end altitude, coded alike
//   24  u8   bits 0-4: trackFlag0 .. trackFlag4
//   25  u8   seconds per tick
//   26  2    not read or written
//   28  u32  link to the route's next track in the track data area (0xFFFFFFFF: last)
//   32  u32  number of points (absent, or 0xFFFE and above, counts as 0)
//   36  u32  link to the first sensor log in the sensor-log data area
//   40  ...  the points: track points for a recorded ride, route points for a planned route
class OrvoPSFTrack : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kHeaderSize = 40;

    explicit OrvoPSFTrack(QObject *parent = nullptr);
    // bytes: from the track to the end of the memory it may use (at least kHeaderSize bytes);
    // only the points that lie inside it load. A ride's track also loads its sensor logs from
    // sensorLogFrame (when there is one).
    OrvoPSFTrack(QByteArrayView bytes, bool isTrack, OrvoPSFSensorLogFrame *sensorLogFrame, QObject *parent = nullptr);
    ~OrvoPSFTrack() override;

    // The bytes the loaded track covers: its header and its points.
    qsizetype loadedSize() const;

    // Writes the header and the points at offset of image, track points when isTrack, else
    // route points. The end of the last point, taken from trackAreaBase (the position of the
    // track data area in image), becomes lastTrackEnd and, when hasNext, the track's next
    // link; without hasNext the link is 0xFFFFFFFF. Answers the position just behind the last
    // point, or -1 (and writes nothing) when the track does not fit inside image.
    qsizetype writeTrack(QByteArray &image, qsizetype offset, bool hasNext, bool isTrack, qsizetype trackAreaBase,
                         quint32 &lastTrackEnd);

    quint32 trackStartTime() const { return m_startTime; }
    void setTrackStartTime(quint32 time) { m_startTime = time; }
    qint32 startLongitude() const { return m_startLongitude; }
    void setStartLongitude(qint32 microDegrees) { m_startLongitude = microDegrees; }
    qint32 startLatitude() const { return m_startLatitude; }
    void setStartLatitude(qint32 microDegrees) { m_startLatitude = microDegrees; }
    qint32 endLongitude() const { return m_endLongitude; }
    void setEndLongitude(qint32 microDegrees) { m_endLongitude = microDegrees; }
    qint32 endLatitude() const { return m_endLatitude; }
    void setEndLatitude(qint32 microDegrees) { m_endLatitude = microDegrees; }
    quint16 trackAltitude() const { return m_startAltitude; }
    void setTrackAltitude(quint16 code) { m_startAltitude = code; }
    quint16 endAltitude() const { return m_endAltitude; }
    void setEndAltitude(quint16 code) { m_endAltitude = code; }
    // Flag i of byte 24 (i = 0..4).
    bool trackFlag(int i) const;
    void setTrackFlag(int i, bool flag);
    quint8 secondsPerTick() const { return m_secondsPerTick; }
    void setSecondsPerTick(quint8 seconds) { m_secondsPerTick = seconds; }
    quint32 nextTrack() const { return m_nextTrack; }
    void setNextTrack(quint32 link) { m_nextTrack = link; }
    quint32 pointCount() const { return m_pointCount; }
    void setPointCount(quint32 count) { m_pointCount = count; }
    // The count as loading uses it.
    quint32 effectivePointCount() const;
    quint32 firstSensorLog() const { return m_firstSensorLog; }
    void setFirstSensorLog(quint32 link) { m_firstSensorLog = link; }

    // The track owns its points and deletes them with itself. They are not QObject children:
    // nothing deletes one alone, and tens of thousands of them would cost a guard and a
    // children-list entry each.
    QVector<OrvoPSFRoutePoint *> &routePoints() { return m_routePoints; }
    const QVector<OrvoPSFRoutePoint *> &routePoints() const { return m_routePoints; }
    // A loaded track keeps its points as values; the first call of trackPoints() builds their
    // objects, which from then on are the track's points.
    QVector<OrvoPSFTrackPoint *> &trackPoints();
    const QVector<OrvoPSFTrackPoint *> &trackPoints() const;
    // The values of the track points in order, skipping absent ones, without building objects.
    QVector<OrvoPSFTrackPoint::Values> trackPointValues() const;
    qsizetype trackPointCount() const;
    const QVector<QPointer<OrvoPSFSensorLog>> &sensorLogs() const { return m_sensorLogs; }

private:
    void loadPoints(QByteArrayView bytes, bool isTrack);
    void loadSensorLogs(OrvoPSFSensorLogFrame *sensorLogFrame);
    void buildTrackPoints() const;
    QByteArray headerBytes() const;
    QByteArray pointBytes(bool isTrack) const;

    quint32 m_startTime = 0;
    qint32 m_startLongitude = 0;
    qint32 m_startLatitude = 0;
    qint32 m_endLongitude = 0;
    qint32 m_endLatitude = 0;
    quint16 m_startAltitude = 0;
    quint16 m_endAltitude = 0;
    quint8 m_flags = 0;
    quint8 m_secondsPerTick = 0;
    quint32 m_nextTrack = kOrvoPsfNone;
    quint32 m_pointCount = 0;
    quint32 m_firstSensorLog = kOrvoPsfNone;
    QVector<OrvoPSFRoutePoint *> m_routePoints;
    // Either the loaded values not yet built as objects, or the objects (the other one empty).
    mutable QVector<OrvoPSFTrackPoint::Values> m_pendingTrackPoints;
    mutable QVector<OrvoPSFTrackPoint *> m_trackPoints;
    QVector<QPointer<OrvoPSFSensorLog>> m_sensorLogs;
};
