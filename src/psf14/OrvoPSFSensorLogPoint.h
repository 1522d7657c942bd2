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

    // bytes holds at least pointSize(channels) bytes.
    OrvoPSFSensorLogPoint(QByteArrayView bytes, quint8 channels, QObject *parent = nullptr);

    // The bytes of one point with these channels.
    static qsizetype pointSize(quint8 channels);

    quint8 channels() const { return m_channels; }
    bool hasChannel(Channel channel) const { return m_channels & channel; }
    quint8 speed() const { return m_speed; }
    quint8 cadence() const { return m_cadence; }
    quint8 heartRate() const { return m_heartRate; }
    quint16 power() const { return m_power; }
    qint16 temperature() const { return m_temperature; }
    quint16 channel5() const { return m_channel5; }

private:
    quint8 m_channels = 0;
    quint8 m_speed = 0xFF;
    quint8 m_cadence = 0xFF;
    quint8 m_heartRate = 0xFF;
    quint16 m_power = 0xFFFF;
    qint16 m_temperature = -1;
    quint16 m_channel5 = 0xFFFF;
};
