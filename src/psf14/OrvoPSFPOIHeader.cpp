#include "psf14/OrvoPSFPOIHeader.h"

#include "env/OrvoByteWriter.h"
#include "psf/OrvoPSFNone.h"

namespace {

constexpr qsizetype kUnreadSize = 20;

} // namespace

OrvoPSFPOIHeader::OrvoPSFPOIHeader(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_poiCount = reader.readU32Le();
    m_poiDataOffset = reader.readU32Le();
}

QByteArray OrvoPSFPOIHeader::serialize() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(m_poiCount);
    writer.writeU32Le(m_poiDataOffset);
    writer.fill(char(0xFF), kUnreadSize);
    return bytes;
}

quint32 OrvoPSFPOIHeader::effectivePoiCount() const
{
    return m_poiCount == kOrvoPsfNone ? 0 : m_poiCount;
}
