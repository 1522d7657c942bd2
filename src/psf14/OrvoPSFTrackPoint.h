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

    // The point's values without an object, the form in which a track keeps its points until
    // something asks for the objects: a ride holds tens of thousands of them.
    struct Values
    {
        qint16 longitudeDelta = 0;
        qint16 latitudeDelta = 0;
        qint8 altitudeDelta = 0;
        quint8 ticks = 0;
    };

    explicit OrvoPSFTrackPoint(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFTrackPoint(QByteArrayView bytes, QObject *parent = nullptr);
    explicit OrvoPSFTrackPoint(const Values &values, QObject *parent = nullptr);

    // The values of the point whose bytes start bytes (at least kSize of them).
    static Values valuesOf(QByteArrayView bytes);
    Values values() const { return m_values; }

    // The 6 bytes as a track writes them.
    QByteArray recordBytes() const;
    // The 6 bytes of the values, appended to bytes.
    static void appendBytesOf(const Values &values, QByteArray &bytes);

    qint16 longitudeDelta() const { return m_values.longitudeDelta; }
    void setLongitudeDelta(qint16 delta) { m_values.longitudeDelta = delta; }
    qint16 latitudeDelta() const { return m_values.latitudeDelta; }
    void setLatitudeDelta(qint16 delta) { m_values.latitudeDelta = delta; }
    qint8 altitudeDelta() const { return m_values.altitudeDelta; }
    void setAltitudeDelta(qint8 tenths) { m_values.altitudeDelta = tenths; }
    quint8 ticks() const { return m_values.ticks; }
    void setTicks(quint8 ticks) { m_values.ticks = ticks; }

private:
    Values m_values;
};

Q_DECLARE_TYPEINFO(OrvoPSFTrackPoint::Values, Q_PRIMITIVE_TYPE);
