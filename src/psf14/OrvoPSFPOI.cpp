#include "psf14/OrvoPSFPOI.h"

#include "env/OrvoByteWriter.h"

namespace {

constexpr qsizetype kTailSize = 8;

} // namespace

OrvoPSFPOI::OrvoPSFPOI(QObject *parent)
    : OrvoPSFField(parent)
{
    setSize(kSize);
}

OrvoPSFPOI::OrvoPSFPOI(QByteArrayView bytes, QObject *parent)
    : OrvoPSFPOI(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_longitude = reader.readI32Le();
    m_latitude = reader.readI32Le();
    m_value = reader.readU16Le();
    const quint8 flags = reader.readU8();
    m_flag0 = flags & 0x01;
    m_flag1 = flags & 0x02;
    m_flag2 = flags & 0x04;
    reader.skip(1);
    m_name = reader.readBytes(kNameSize);
}

QByteArray OrvoPSFPOI::serialize() const
{
    QByteArray bytes;
    OrvoByteWriter writer(bytes);
    writer.writeU32Le(quint32(m_longitude));
    writer.writeU32Le(quint32(m_latitude));
    writer.writeU16Le(m_value);
    writer.writeU8(quint8(m_flag0) | quint8(m_flag1) << 1 | quint8(m_flag2) << 2);
    writer.writeU8(0xFF);
    writer.writeBytes(m_name.left(kNameSize).leftJustified(kNameSize, '\0'));
    writer.fill(char(0xFF), kTailSize);
    return bytes;
}
