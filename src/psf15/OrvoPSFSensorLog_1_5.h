#pragma once

#include "psf/OrvoPSFObject.h"

#include <array>

// The sensor log of one track segment, little-endian:
//   0   9   not read here
//   9   u8  channel mask
//   10  u16 sample count (absent counts as 0)
//   12  u8  bits 2-4: a log attribute
//   13  3   not read here
//   16  ... samples of stride bytes each
// A sample holds the channels of the mask in the order of their bits: speed (1 byte), cadence
// (1), heart rate (1), a word channel (2), temperature (2), a doubled word channel (2), a byte
// channel nothing reads (1); bit 7 has no channel.
class OrvoPSFSensorLog_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kHeaderSize = 16;
    // Channels by their mask bit.
    enum Channel { Speed, Cadence, HeartRate, WordChannel, Temperature, DoubledWordChannel, UnreadByte, NoChannel };
    static constexpr int kChannelCount = 8;

    explicit OrvoPSFSensorLog_1_5(std::span<uchar> bytes);

    qsizetype size() const override;
    quint8 channelMask() const;
    // The samples that lie inside the log's memory (the stored count, cut short when it
    // claims more).
    int sampleCount() const;
    quint8 attribute() const;
    int stride() const;
    // Offset of the channel in a sample; -1 when the log does not hold it.
    int channelOffset(Channel channel) const;
    // The sample's first byte; null outside the samples.
    const uchar *sample(int index) const;

private:
    std::array<int, kChannelCount> m_offsets{};
    int m_stride = 0;
    int m_count = 0;
};
