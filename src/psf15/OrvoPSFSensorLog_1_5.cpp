#include "psf15/OrvoPSFSensorLog_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

constexpr qsizetype kMaskOffset = 9;
constexpr qsizetype kCountOffset = 10;
constexpr qsizetype kAttributeOffset = 12;
constexpr std::array<int, OrvoPSFSensorLog_1_5::kChannelCount> kWidths = {1, 1, 1, 2, 2, 2, 1, 0};

} // namespace

OrvoPSFSensorLog_1_5::OrvoPSFSensorLog_1_5(std::span<uchar> bytes)
    : OrvoPSFObject(bytes)
{
    const quint8 mask = channelMask();
    for (int bit = 0; bit < kChannelCount; ++bit) {
        const bool present = (mask >> bit) & 1;
        m_offsets[size_t(bit)] = present && kWidths[size_t(bit)] > 0 ? m_stride : -1;
        m_stride += present ? kWidths[size_t(bit)] : 0;
    }
    const quint16 stored = u16(kCountOffset);
    m_count = stored == 0xFFFF ? 0 : stored;
    const qsizetype room = available() - kHeaderSize;
    const qsizetype fits = room < 0 ? 0 : m_stride > 0 ? room / m_stride : m_count;
    if (fits < m_count) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFSensorLog_1_5")
            << "log of" << m_count << "samples of" << m_stride << "bytes runs past its memory; only" << fits
            << "samples read";
        m_count = int(fits);
    }
}

qsizetype OrvoPSFSensorLog_1_5::size() const
{
    return kHeaderSize + qsizetype(m_count) * m_stride;
}

quint8 OrvoPSFSensorLog_1_5::channelMask() const
{
    return u8(kMaskOffset);
}

int OrvoPSFSensorLog_1_5::sampleCount() const
{
    return m_count;
}

quint8 OrvoPSFSensorLog_1_5::attribute() const
{
    return bits(kAttributeOffset, 2, 3);
}

int OrvoPSFSensorLog_1_5::stride() const
{
    return m_stride;
}

int OrvoPSFSensorLog_1_5::channelOffset(Channel channel) const
{
    return m_offsets[size_t(channel)];
}

const uchar *OrvoPSFSensorLog_1_5::sample(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    return data() + kHeaderSize + qsizetype(index) * m_stride;
}
