#include "psf15/OrvoPSFSectionTable_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

namespace {

std::span<uchar> tableBytes(std::span<uchar> distHeader)
{
    if (qsizetype(distHeader.size()) < OrvoPSFSectionTable_1_5::kOffsetInDistHeader)
        return {};
    return distHeader.subspan(size_t(OrvoPSFSectionTable_1_5::kOffsetInDistHeader));
}

} // namespace

OrvoPSFSectionTable_1_5::OrvoPSFSectionTable_1_5(std::span<uchar> distHeader)
    : OrvoPSFObject(tableBytes(distHeader))
    , m_distHeader(distHeader)
{}

qsizetype OrvoPSFSectionTable_1_5::size() const
{
    return kRecordsOffset + kRecordCount * kRecordSize;
}

qint64 OrvoPSFSectionTable_1_5::sectionOffset(int index) const
{
    if (index < 0 || index >= kRecordCount)
        return -1;
    return link(kRecordsOffset + index * kRecordSize);
}

std::span<uchar> OrvoPSFSectionTable_1_5::section(int index) const
{
    const qint64 offset = sectionOffset(index);
    if (offset < 0 || offset >= qint64(m_distHeader.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFSectionTable_1_5::section")
            << "section" << index << "at offset" << offset << "lies outside the" << m_distHeader.size()
            << "bytes from the distribution header";
        return {};
    }
    return m_distHeader.subspan(size_t(offset));
}
