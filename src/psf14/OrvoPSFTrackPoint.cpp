#include "psf14/OrvoPSFTrackPoint.h"

#include "env/OrvoByteWriter.h"

OrvoPSFTrackPoint::OrvoPSFTrackPoint(QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
}

OrvoPSFTrackPoint::OrvoPSFTrackPoint(QByteArrayView bytes, QObject *parent)
    : OrvoPSFTrackPoint(valuesOf(bytes), parent)
{}

OrvoPSFTrackPoint::OrvoPSFTrackPoint(const Values &values, QObject *parent)
    : OrvoPSFTrackPoint(parent)
{
    m_values = values;
}

OrvoPSFTrackPoint::Values OrvoPSFTrackPoint::valuesOf(QByteArrayView bytes)
{
    OrvoByteReader reader = readerOf(bytes);
    Values values;
    values.longitudeDelta = reader.readI16Le();
    values.latitudeDelta = reader.readI16Le();
    values.altitudeDelta = qint8(reader.readU8());
    values.ticks = reader.readU8();
    return values;
}

QByteArray OrvoPSFTrackPoint::recordBytes() const
{
    QByteArray bytes;
    appendBytesOf(m_values, bytes);
    return bytes;
}

void OrvoPSFTrackPoint::appendBytesOf(const Values &values, QByteArray &bytes)
{
    OrvoByteWriter writer(bytes);
    writer.writeU16Le(quint16(values.longitudeDelta));
    writer.writeU16Le(quint16(values.latitudeDelta));
    writer.writeU8(quint8(values.altitudeDelta));
    writer.writeU8(values.ticks);
}
