#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFSensorLogFrame;
class OrvoPSFTrack;
class OrvoPSFTrackFrame;

// A route, 156 bytes, little-endian:
//   0    u32  start time (seconds since 1970, UTC)
//   4    128  name bytes (text or a bit-font image), NUL-padded
//   132  u8   bit 0 isTrack (a recorded ride; clear: a planned route), bit 1 routeFlag1 (name
//             is a bit-font image), bits 2-3 routeBits2_3; bit 3 alone is routeFlag3 (exported)
//   133  u8   bits 0-3 activity type (routeNibbleLow), bits 4-7 sub-type (routeNibbleHigh)
//   134  u16  a value
//   136  u32  link to the first track in the track data area (0xFFFFFFFF: none)
//   140  u32  offset of the summary lap in the lap table (absent: none)
//   144  u32  offset of the first lap in the lap table; the laps are consecutive
//   148  u8   number of laps (0xFF reads as 0)
//   149  7    not read
class OrvoPSFRoute : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 156;
    static constexpr qsizetype kNameSize = 128;

    explicit OrvoPSFRoute(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFRoute(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFRoute() override;

    // Loads the chain of tracks from firstTrack in the track frame's data area; a ride's
    // tracks load their sensor logs too.
    void loadTracks(OrvoPSFTrackFrame *trackFrame, OrvoPSFSensorLogFrame *sensorLogFrame);

    // The layout above with the first 128 name bytes zero-padded, routeFlag3 left to the bits
    // 2-3 value, and 0xFF in the bytes not read.
    QByteArray serialize() const override;

    quint32 routeStartTime() const { return m_startTime; }
    void setRouteStartTime(quint32 time) { m_startTime = time; }
    const QByteArray &name() const { return m_name; }
    void setName(const QByteArray &name) { m_name = name; }
    bool isTrack() const { return m_isTrack; }
    void setIsTrack(bool flag) { m_isTrack = flag; }
    bool routeFlag1() const { return m_flag1; }
    void setRouteFlag1(bool flag) { m_flag1 = flag; }
    quint8 routeBits2_3() const { return m_bits2_3; }
    void setRouteBits2_3(quint8 bits) { m_bits2_3 = bits & 0x03; }
    bool routeFlag3() const { return m_flag3; }
    void setRouteFlag3(bool flag) { m_flag3 = flag; }
    quint8 routeNibbleLow() const { return m_nibbleLow; }
    void setRouteNibbleLow(quint8 nibble) { m_nibbleLow = nibble & 0x0F; }
    quint8 routeNibbleHigh() const { return m_nibbleHigh; }
    void setRouteNibbleHigh(quint8 nibble) { m_nibbleHigh = nibble & 0x0F; }
    quint16 value() const { return m_value; }
    void setValue(quint16 value) { m_value = value; }
    quint32 firstTrack() const { return m_firstTrack; }
    void setFirstTrack(quint32 link) { m_firstTrack = link; }
    quint32 lapOffset() const { return m_lapOffset; }
    void setLapOffset(quint32 offset) { m_lapOffset = offset; }
    quint32 firstLapOffset() const { return m_firstLapOffset; }
    void setFirstLapOffset(quint32 offset) { m_firstLapOffset = offset; }
    quint8 lapCount() const { return m_lapCount; }
    void setLapCount(quint8 count) { m_lapCount = count; }

    QVector<QPointer<OrvoPSFTrack>> &tracks() { return m_tracks; }
    const QVector<QPointer<OrvoPSFTrack>> &tracks() const { return m_tracks; }

private:
    quint32 m_startTime = 0;
    QByteArray m_name;
    bool m_isTrack = false;
    bool m_flag1 = false;
    quint8 m_bits2_3 = 0;
    bool m_flag3 = false;
    quint8 m_nibbleLow = 0;
    quint8 m_nibbleHigh = 0;
    quint16 m_value = 0;
    quint32 m_firstTrack = kOrvoPsfNone;
    quint32 m_lapOffset = kOrvoPsfNone;
    quint32 m_firstLapOffset = kOrvoPsfNone;
    quint8 m_lapCount = 0;
    QVector<QPointer<OrvoPSFTrack>> m_tracks;
};

// The start of the route's first track and the end of its last track, in micro-degrees;
// all four 0 when the route has no track.
void routeEndpoints(const OrvoPSFRoute &route, qint32 &startLatitude, qint32 &startLongitude, qint32 &endLatitude,
                    qint32 &endLongitude);

// The route's length in whole metres: every track from its start position through its points
// (track points for a ride, route points otherwise), each step's great-circle distance
// truncated to three decimals, the total truncated.
qint64 routeDistance(const OrvoPSFRoute &route);
