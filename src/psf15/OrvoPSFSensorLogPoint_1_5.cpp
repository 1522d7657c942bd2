#include "psf15/OrvoPSFSensorLogPoint_1_5.h"

namespace {

constexpr int kByteWidth = 1;
constexpr int kWordWidth = 2;

// The sample's own bytes: a view outside the log's samples is empty and reads nothing.
std::span<uchar> sampleBytes(const OrvoPSFSensorLog_1_5 &log, int index)
{
    const uchar *sample = log.sample(index);
    if (!sample)
        return {};
    return std::span<uchar>(const_cast<uchar *>(sample), size_t(log.stride()));
}

OrvoPSFMeasure signedTenths(quint16 raw)
{
    return OrvoPSFMeasure::fromSignedTenths(qint16(raw));
}

} // namespace

OrvoPSFSensorLogPoint_1_5::OrvoPSFSensorLogPoint_1_5(const OrvoPSFSensorLog_1_5 &log, int index)
    : OrvoPSFObject(sampleBytes(log, index))
    , m_log(log)
{}

qsizetype OrvoPSFSensorLogPoint_1_5::size() const
{
    return m_log.stride();
}

const OrvoPSFSensorLog_1_5 &OrvoPSFSensorLogPoint_1_5::log() const
{
    return m_log;
}

bool OrvoPSFSensorLogPoint_1_5::hasChannel(OrvoPSFSensorLog_1_5::Channel channel) const
{
    return available() > 0 && m_log.channelOffset(channel) >= 0;
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::speed() const
{
    return readByte(OrvoPSFSensorLog_1_5::Speed, &OrvoPSFMeasure::fromSpeedByte);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::byteChannelA() const
{
    return readByte(OrvoPSFSensorLog_1_5::Cadence, &OrvoPSFMeasure::fromByte);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::scaledByteChannel() const
{
    return readByte(OrvoPSFSensorLog_1_5::Cadence, &OrvoPSFMeasure::fromScaledByte);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::byteChannelB() const
{
    return readByte(OrvoPSFSensorLog_1_5::HeartRate, &OrvoPSFMeasure::fromByte);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::wordChannel() const
{
    return readWord(OrvoPSFSensorLog_1_5::WordChannel, &OrvoPSFMeasure::fromWord);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::temperature() const
{
    return readWord(OrvoPSFSensorLog_1_5::Temperature, &signedTenths);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::doubledWordChannel() const
{
    return readWord(OrvoPSFSensorLog_1_5::DoubledWordChannel, &OrvoPSFMeasure::fromDoubledWord);
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::readByte(OrvoPSFSensorLog_1_5::Channel channel,
                                                   OrvoPSFMeasure (*decode)(quint8)) const
{
    const int offset = m_log.channelOffset(channel);
    return offset >= 0 && contains(offset, kByteWidth) ? decode(u8(offset)) : OrvoPSFMeasure();
}

OrvoPSFMeasure OrvoPSFSensorLogPoint_1_5::readWord(OrvoPSFSensorLog_1_5::Channel channel,
                                                   OrvoPSFMeasure (*decode)(quint16)) const
{
    const int offset = m_log.channelOffset(channel);
    return offset >= 0 && contains(offset, kWordWidth) ? decode(u16(offset)) : OrvoPSFMeasure();
}
