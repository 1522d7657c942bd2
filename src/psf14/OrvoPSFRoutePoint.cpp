#include "psf14/OrvoPSFRoutePoint.h"

#include "env/OrvoByteWriter.h"

OrvoPSFRoutePoint::OrvoPSFRoutePoint(QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
}

OrvoPSFRoutePoint::OrvoPSFRoutePoint(QByteArrayView bytes, QObject *parent)
    : OrvoPSFRoutePoint(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_longitudeDelta = reader.readI16Le();
    m_latitudeDelta = reader.readI16Le();
    m_value = qint8(reader.readU8());
    const quint8 flags = reader.readU8();
    m_flag0 = flags & 0x01;
    m_flag1 = flags & 0x02;
    m_flag2 = flags & 0x04;
}

QByteArray OrvoPSFRoutePoint::recordBytes() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU16Le(quint16(m_longitudeDelta));
    writer.writeU16Le(quint16(m_latitudeDelta));
    writer.writeU8(quint8(m_value));
    writer.writeU8(quint8(m_flag0) | quint8(m_flag1) << 1 | quint8(m_flag2) << 2);
    return bytes;
}
