#include "env/OrvoByteWriter.h"

#include <QtEndian>

#include <cstring>

OrvoByteWriter::OrvoByteWriter(QByteArray &buffer)
    : OrvoByteWriter(buffer, buffer.size(), true)
{}

OrvoByteWriter::OrvoByteWriter(QByteArray &buffer, qsizetype offset, bool growing)
    : m_buffer(buffer)
    , m_growing(growing)
{
    seek(offset);
}

OrvoByteWriter OrvoByteWriter::patch(QByteArray &buffer, qsizetype offset)
{
    return OrvoByteWriter(buffer, offset, false);
}

bool OrvoByteWriter::ok() const
{
    return m_ok;
}

qsizetype OrvoByteWriter::offset() const
{
    return m_offset;
}

bool OrvoByteWriter::canWrite(qsizetype n) const
{
    return m_ok && n >= 0 && (m_growing || n <= m_buffer.size() - m_offset);
}

uchar *OrvoByteWriter::reserve(qsizetype n)
{
    if (!canWrite(n)) {
        m_ok = false;
        return nullptr;
    }
    if (m_offset + n > m_buffer.size())
        m_buffer.resize(m_offset + n);
    uchar *p = reinterpret_cast<uchar *>(m_buffer.data()) + m_offset;
    m_offset += n;
    return p;
}

void OrvoByteWriter::writeU8(quint8 value)
{
    if (uchar *p = reserve(1))
        *p = value;
}

void OrvoByteWriter::writeU16Le(quint16 value)
{
    if (uchar *p = reserve(2))
        qToLittleEndian(value, p);
}

void OrvoByteWriter::writeU16Be(quint16 value)
{
    if (uchar *p = reserve(2))
        qToBigEndian(value, p);
}

void OrvoByteWriter::writeU32Le(quint32 value)
{
    if (uchar *p = reserve(4))
        qToLittleEndian(value, p);
}

void OrvoByteWriter::writeU32Be(quint32 value)
{
    if (uchar *p = reserve(4))
        qToBigEndian(value, p);
}

void OrvoByteWriter::writeFloatLe(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeU32Le(bits);
}

void OrvoByteWriter::writeBytes(const QByteArray &bytes)
{
    if (uchar *p = reserve(bytes.size()))
        std::memcpy(p, bytes.constData(), size_t(bytes.size()));
}

void OrvoByteWriter::fill(char value, qsizetype n)
{
    if (uchar *p = reserve(n))
        std::memset(p, value, size_t(n));
}

bool OrvoByteWriter::seek(qsizetype offset)
{
    if (!m_ok || offset < 0 || (!m_growing && offset > m_buffer.size())) {
        m_ok = false;
        return false;
    }
    if (offset > m_buffer.size())
        m_buffer.resize(offset, '\0');
    m_offset = offset;
    return true;
}
