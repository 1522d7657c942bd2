#include "psf14/OrvoPSFTrackPoint.h"

#include "env/OrvoByteWriter.h"

OrvoPSFTrackPoint::OrvoPSFTrackPoint(QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
}

OrvoPSFTrackPoint::OrvoPSFTrackPoint(QByteArrayView bytes, QObject *parent)
    : OrvoPSFTrackPoint(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_longitudeDelta = reader.readI16Le();
    m_latitudeDelta = reader.readI16Le();
    m_altitudeDelta = qint8(reader.readU8());
    m_ticks = reader.readU8();
}

QByteArray OrvoPSFTrackPoint::recordBytes() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU16Le(quint16(m_longitudeDelta));
    writer.writeU16Le(quint16(m_latitudeDelta));
    writer.writeU8(quint8(m_altitudeDelta));
    writer.writeU8(m_ticks);
    return bytes;
}
