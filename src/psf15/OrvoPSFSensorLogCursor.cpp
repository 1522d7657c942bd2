#include "psf15/OrvoPSFSensorLogCursor.h"

#include <QtEndian>

namespace {

OrvoPSFMeasure signedTenths(quint16 raw)
{
    return OrvoPSFMeasure::fromSignedTenths(qint16(raw));
}

} // namespace

OrvoPSFSensorLogCursor::OrvoPSFSensorLogCursor(const OrvoPSFSensorLog_1_5 &log)
    : m_log(log)
{}

bool OrvoPSFSensorLogCursor::next()
{
    if (m_index < m_log.sampleCount())
        ++m_index;
    return m_index < m_log.sampleCount();
}

int OrvoPSFSensorLogCursor::index() const
{
    return m_index;
}

const uchar *OrvoPSFSensorLogCursor::address() const
{
    return m_log.sample(m_index);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::speed() const
{
    return readByte(OrvoPSFSensorLog_1_5::Speed, &OrvoPSFMeasure::fromSpeedByte);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::byteChannelA() const
{
    return readByte(OrvoPSFSensorLog_1_5::Cadence, &OrvoPSFMeasure::fromByte);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::scaledByteChannel() const
{
    return readByte(OrvoPSFSensorLog_1_5::Cadence, &OrvoPSFMeasure::fromScaledByte);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::byteChannelB() const
{
    return readByte(OrvoPSFSensorLog_1_5::HeartRate, &OrvoPSFMeasure::fromByte);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::wordChannel() const
{
    return readWord(OrvoPSFSensorLog_1_5::WordChannel, &OrvoPSFMeasure::fromWord);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::temperature() const
{
    return readWord(OrvoPSFSensorLog_1_5::Temperature, &signedTenths);
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::doubledWordChannel() const
{
    return readWord(OrvoPSFSensorLog_1_5::DoubledWordChannel, &OrvoPSFMeasure::fromDoubledWord);
}

const uchar *OrvoPSFSensorLogCursor::channel(OrvoPSFSensorLog_1_5::Channel channel) const
{
    const uchar *sample = address();
    const int offset = m_log.channelOffset(channel);
    return sample && offset >= 0 ? sample + offset : nullptr;
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::readByte(OrvoPSFSensorLog_1_5::Channel channel,
                                                OrvoPSFMeasure (*decode)(quint8)) const
{
    const uchar *bytes = this->channel(channel);
    return bytes ? decode(*bytes) : OrvoPSFMeasure();
}

OrvoPSFMeasure OrvoPSFSensorLogCursor::readWord(OrvoPSFSensorLog_1_5::Channel channel,
                                                OrvoPSFMeasure (*decode)(quint16)) const
{
    const uchar *bytes = this->channel(channel);
    return bytes ? decode(qFromLittleEndian<quint16>(bytes)) : OrvoPSFMeasure();
}
