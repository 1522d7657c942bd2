#pragma once

#include "psf14/OrvoPSFField.h"

// One point of a sensor log: the values of the channels whose bit is set in the log's channel
// flags, in this order and without gaps, little-endian:
//   bit 0  u8   speed, 1/8 m/s
//   bit 1  u8   cadence
//   bit 2  u8   heart rate
//   bit 3  u16  power
//   bit 4  i16  temperature, tenths of a degree
//   bit 5  u16  channel 5
// A point is as long as its channels (0 to 9 bytes); channels not logged read as absent.
class OrvoPSFSensorLogPoint : public OrvoPSFField
{
    Q_OBJECT

public:
    enum Channel : quint8 {
        Speed = 0x01,
        Cadence = 0x02,
        HeartRate = 0x04,
        Power = 0x08,
        Temperature = 0x10,
        Channel5 = 0x20,
    };

    // The sample's values without an object, the form in which a log keeps its samples until
    // something asks for the objects: a ride holds tens of thousands of them.
    struct Sample
    {
        quint8 channels = 0;
        quint8 speed = 0xFF;
        quint8 cadence = 0xFF;
        quint8 heartRate = 0xFF;
        quint16 power = 0xFFFF;
        qint16 temperature = -1;
        quint16 channel5 = 0xFFFF;

        bool hasChannel(Channel channel) const { return channels & channel; }
    };

    // bytes holds at least pointSize(channels) bytes.
    OrvoPSFSensorLogPoint(QByteArrayView bytes, quint8 channels, QObject *parent = nullptr);
    explicit OrvoPSFSensorLogPoint(const Sample &sample, QObject *parent = nullptr);

    // The bytes of one point with these channels.
    static qsizetype pointSize(quint8 channels);
    // The values of the point whose bytes start bytes (at least pointSize(channels) of them).
    static Sample sampleOf(QByteArrayView bytes, quint8 channels);
    Sample sample() const { return m_sample; }

    quint8 channels() const { return m_sample.channels; }
    bool hasChannel(Channel channel) const { return m_sample.hasChannel(channel); }
    quint8 speed() const { return m_sample.speed; }
    quint8 cadence() const { return m_sample.cadence; }
    quint8 heartRate() const { return m_sample.heartRate; }
    quint16 power() const { return m_sample.power; }
    qint16 temperature() const { return m_sample.temperature; }
    quint16 channel5() const { return m_sample.channel5; }

private:
    Sample m_sample;
};

Q_DECLARE_TYPEINFO(OrvoPSFSensorLogPoint::Sample, Q_PRIMITIVE_TYPE);
