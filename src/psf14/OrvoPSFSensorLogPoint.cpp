#include "psf14/OrvoPSFSensorLogPoint.h"

OrvoPSFSensorLogPoint::OrvoPSFSensorLogPoint(QByteArrayView bytes, quint8 channels, QObject *parent)
    : OrvoPSFField(parent)
    , m_channels(channels)
{
    setSize(int(pointSize(channels)));
    OrvoByteReader reader = readerOf(bytes);
    if (hasChannel(Speed))
        m_speed = reader.readU8();
    if (hasChannel(Cadence))
        m_cadence = reader.readU8();
    if (hasChannel(HeartRate))
        m_heartRate = reader.readU8();
    if (hasChannel(Power))
        m_power = reader.readU16Le();
    if (hasChannel(Temperature))
        m_temperature = reader.readI16Le();
    if (hasChannel(Channel5))
        m_channel5 = reader.readU16Le();
}

qsizetype OrvoPSFSensorLogPoint::pointSize(quint8 channels)
{
    qsizetype size = 0;
    for (const Channel channel : {Speed, Cadence, HeartRate})
        size += (channels & channel) ? 1 : 0;
    for (const Channel channel : {Power, Temperature, Channel5})
        size += (channels & channel) ? 2 : 0;
    return size;
}
