#pragma once

#include "psf14/OrvoPSFField.h"

// One 6-byte point of a planned route's track, little-endian:
//   0   i16  longitude change from the previous position, micro-degrees
//   2   i16  latitude change, micro-degrees
//   4   i8   a value
//   5   u8   bits 0-2: pointFlag0 .. pointFlag2
// The first point's changes are relative to the track's start position.
class OrvoPSFRoutePoint : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 6;

    explicit OrvoPSFRoutePoint(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFRoutePoint(QByteArrayView bytes, QObject *parent = nullptr);

    // The 6 bytes as a track writes them.
    QByteArray recordBytes() const;

    qint16 longitudeDelta() const { return m_longitudeDelta; }
    void setLongitudeDelta(qint16 delta) { m_longitudeDelta = delta; }
    qint16 latitudeDelta() const { return m_latitudeDelta; }
    void setLatitudeDelta(qint16 delta) { m_latitudeDelta = delta; }
    qint8 value() const { return m_value; }
    void setValue(qint8 value) { m_value = value; }
    bool pointFlag0() const { return m_flag0; }
    void setPointFlag0(bool flag) { m_flag0 = flag; }
    bool pointFlag1() const { return m_flag1; }
    void setPointFlag1(bool flag) { m_flag1 = flag; }
    bool pointFlag2() const { return m_flag2; }
    void setPointFlag2(bool flag) { m_flag2 = flag; }

private:
    qint16 m_longitudeDelta = 0;
    qint16 m_latitudeDelta = 0;
    qint8 m_value = 0;
    bool m_flag0 = false;
    bool m_flag1 = false;
    bool m_flag2 = false;
};
