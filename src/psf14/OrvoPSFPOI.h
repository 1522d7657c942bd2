#pragma once

#include "psf14/OrvoPSFField.h"

// A point of interest, 148 bytes, little-endian:
//   0    i32  longitude, micro-degrees
//   4    i32  latitude, micro-degrees
//   8    u16  a value, held
//   10   u8   bit 0 poiFlag0 (name is a bit-font image), bit 1 poiFlag1, bit 2 poiFlag2 (exported)
//   11   u8   reserved, not read
//   12   128  name bytes (text or a bit-font image), NUL-padded
//   140  8    not read
class OrvoPSFPOI : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 148;
    static constexpr qsizetype kNameSize = 128;

    explicit OrvoPSFPOI(QObject *parent = nullptr);
    // bytes holds at least kSize bytes.
    explicit OrvoPSFPOI(QByteArrayView bytes, QObject *parent = nullptr);

    // The layout above with the first 128 name bytes zero-padded and 0xFF in the bytes not read.
    QByteArray serialize() const override;

    qint32 longitude() const { return m_longitude; }
    void setLongitude(qint32 microDegrees) { m_longitude = microDegrees; }
    qint32 latitude() const { return m_latitude; }
    void setLatitude(qint32 microDegrees) { m_latitude = microDegrees; }
    quint16 value() const { return m_value; }
    void setValue(quint16 value) { m_value = value; }
    bool poiFlag0() const { return m_flag0; }
    void setPoiFlag0(bool flag) { m_flag0 = flag; }
    bool poiFlag1() const { return m_flag1; }
    void setPoiFlag1(bool flag) { m_flag1 = flag; }
    bool poiFlag2() const { return m_flag2; }
    void setPoiFlag2(bool flag) { m_flag2 = flag; }
    const QByteArray &name() const { return m_name; }
    void setName(const QByteArray &name) { m_name = name; }

private:
    qint32 m_longitude = 0;
    qint32 m_latitude = 0;
    quint16 m_value = 0;
    bool m_flag0 = false;
    bool m_flag1 = false;
    bool m_flag2 = false;
    QByteArray m_name;
};
