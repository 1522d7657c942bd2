#include "psf14/OrvoPSFRouteHeader.h"

#include "env/OrvoByteWriter.h"

namespace {

constexpr quint16 kAbsentCount = 0xFFFF;
constexpr qsizetype kUnreadSize = 14;

} // namespace

OrvoPSFRouteHeader::OrvoPSFRouteHeader(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
    OrvoByteReader reader = readerOf(bytes);
    m_routeDataOffset = reader.readU32Le();
    m_lapTableOffset = reader.readU32Le();
    m_routeCount = reader.readU16Le();
}

QByteArray OrvoPSFRouteHeader::serialize() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(m_routeDataOffset);
    writer.writeU32Le(m_lapTableOffset);
    writer.writeU16Le(m_routeCount);
    writer.fill(char(0xFF), kUnreadSize);
    return bytes;
}

quint16 OrvoPSFRouteHeader::effectiveRouteCount() const
{
    return m_routeCount == kAbsentCount ? 0 : m_routeCount;
}
