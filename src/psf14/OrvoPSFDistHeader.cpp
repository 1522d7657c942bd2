#include "psf14/OrvoPSFDistHeader.h"

#include "env/OrvoByteWriter.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFManagementHeaderRecord.h"

namespace {

constexpr qsizetype kWordsSize = 8;
constexpr qsizetype kReservedSize = 4;
// Records 2 and 3 are emitted as erased bytes.
constexpr qsizetype kSkippedRecordsSize = 2 * OrvoPSFManagementHeaderRecord::kSize;

QByteArrayView recordBytes(QByteArrayView bytes, int index)
{
    const qsizetype offset = OrvoPSFDistHeader::kRecordsOffset + index * OrvoPSFManagementHeaderRecord::kSize;
    if (offset >= bytes.size())
        return {};
    return bytes.sliced(offset);
}

} // namespace

OrvoPSFDistHeader::OrvoPSFDistHeader(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    if (bytes.size() >= kWordsSize) {
        OrvoByteReader reader = readerOf(bytes);
        m_headerWord0 = reader.readU32Le();
        m_headerWord1 = reader.readU32Le();
    }
    for (int i = 0; i < kSectionCount; ++i)
        m_records.append(new OrvoPSFManagementHeaderRecord(recordBytes(bytes, i), this));
}

OrvoPSFDistHeader::~OrvoPSFDistHeader() = default;

QByteArray OrvoPSFDistHeader::serialize() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(m_headerWord0);
    writer.writeU32Le(m_headerWord1);
    writer.fill(char(0xFF), kReservedSize);
    writer.writeBytes(serializedRecord(0));
    writer.writeBytes(serializedRecord(1));
    writer.fill(char(0xFF), kSkippedRecordsSize);
    writer.writeBytes(serializedRecord(4));
    writer.writeBytes(serializedRecord(5));
    return bytes;
}

QByteArray OrvoPSFDistHeader::serializedRecord(int index) const
{
    const OrvoPSFManagementHeaderRecord *record = m_records.value(index);
    return record ? record->serialize() : QByteArray();
}

quint32 OrvoPSFDistHeader::sectionAddress(int section) const
{
    const OrvoPSFManagementHeaderRecord *record = m_records.value(section);
    return record ? record->address() : kOrvoPsfNone;
}
