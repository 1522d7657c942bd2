#include "psf14/OrvoPSFSensorLogPoint.h"

OrvoPSFSensorLogPoint::OrvoPSFSensorLogPoint(QByteArrayView bytes, quint8 channels, QObject *parent)
    : OrvoPSFSensorLogPoint(sampleOf(bytes, channels), parent)
{}

OrvoPSFSensorLogPoint::OrvoPSFSensorLogPoint(const Sample &sample, QObject *parent)
    : OrvoPSFField(parent)
    , m_sample(sample)
{
    setSize(int(pointSize(sample.channels)));
}

OrvoPSFSensorLogPoint::Sample OrvoPSFSensorLogPoint::sampleOf(QByteArrayView bytes, quint8 channels)
{
    Sample sample;
    sample.channels = channels;
    OrvoByteReader reader = readerOf(bytes);
    if (sample.hasChannel(Speed))
        sample.speed = reader.readU8();
    if (sample.hasChannel(Cadence))
        sample.cadence = reader.readU8();
    if (sample.hasChannel(HeartRate))
        sample.heartRate = reader.readU8();
    if (sample.hasChannel(Power))
        sample.power = reader.readU16Le();
    if (sample.hasChannel(Temperature))
        sample.temperature = reader.readI16Le();
    if (sample.hasChannel(Channel5))
        sample.channel5 = reader.readU16Le();
    return sample;
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
