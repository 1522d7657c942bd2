#pragma once

#include "psf14/OrvoPSFField.h"

// One 6-byte point of a recorded ride's track, little-endian:
//   0   i16  longitude change from the previous position, micro-degrees
//   2   i16  latitude change, micro-degrees
//   4   i8   altitude change, tenths of a metre
//   5   u8   ticks since the previous point, in the track's seconds per tick
// The first point's changes are relative to the track's start position.
class OrvoPSFTrackPoint : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 6;

    explicit OrvoPSFTrackPoint(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFTrackPoint(QByteArrayView bytes, QObject *parent = nullptr);

    // The 6 bytes as a track writes them.
    QByteArray recordBytes() const;

    qint16 longitudeDelta() const { return m_longitudeDelta; }
    void setLongitudeDelta(qint16 delta) { m_longitudeDelta = delta; }
    qint16 latitudeDelta() const { return m_latitudeDelta; }
    void setLatitudeDelta(qint16 delta) { m_latitudeDelta = delta; }
    qint8 altitudeDelta() const { return m_altitudeDelta; }
    void setAltitudeDelta(qint8 tenths) { m_altitudeDelta = tenths; }
    quint8 ticks() const { return m_ticks; }
    void setTicks(quint8 ticks) { m_ticks = ticks; }

private:
    qint16 m_longitudeDelta = 0;
    qint16 m_latitudeDelta = 0;
    qint8 m_altitudeDelta = 0;
    quint8 m_ticks = 0;
};
