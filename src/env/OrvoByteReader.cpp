#include "env/OrvoByteReader.h"

#include <QtEndian>

#include <cstring>

OrvoByteReader::OrvoByteReader(const QByteArray &bytes, qsizetype offset)
    : m_bytes(bytes)
{
    seek(offset);
}

bool OrvoByteReader::ok() const
{
    return m_ok;
}

qsizetype OrvoByteReader::offset() const
{
    return m_offset;
}

qsizetype OrvoByteReader::size() const
{
    return m_bytes.size();
}

qsizetype OrvoByteReader::remaining() const
{
    return m_bytes.size() - m_offset;
}

bool OrvoByteReader::canRead(qsizetype n) const
{
    return m_ok && n >= 0 && n <= remaining();
}

bool OrvoByteReader::atEnd() const
{
    return m_offset >= m_bytes.size();
}

const uchar *OrvoByteReader::take(qsizetype n)
{
    if (!canRead(n)) {
        m_ok = false;
        return nullptr;
    }
    const uchar *p = reinterpret_cast<const uchar *>(m_bytes.constData()) + m_offset;
    m_offset += n;
    return p;
}

quint8 OrvoByteReader::readU8()
{
    const uchar *p = take(1);
    return p ? *p : 0;
}

quint16 OrvoByteReader::readU16Le()
{
    const uchar *p = take(2);
    return p ? qFromLittleEndian<quint16>(p) : 0;
}

quint16 OrvoByteReader::readU16Be()
{
    const uchar *p = take(2);
    return p ? qFromBigEndian<quint16>(p) : 0;
}

quint32 OrvoByteReader::readU32Le()
{
    const uchar *p = take(4);
    return p ? qFromLittleEndian<quint32>(p) : 0;
}

quint32 OrvoByteReader::readU32Be()
{
    const uchar *p = take(4);
    return p ? qFromBigEndian<quint32>(p) : 0;
}

qint16 OrvoByteReader::readI16Le()
{
    return qint16(readU16Le());
}

qint32 OrvoByteReader::readI32Le()
{
    return qint32(readU32Le());
}

float OrvoByteReader::readFloatLe()
{
    const quint32 bits = readU32Le();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray OrvoByteReader::readBytes(qsizetype n)
{
    const uchar *p = take(n);
    return p ? QByteArray(reinterpret_cast<const char *>(p), n) : QByteArray();
}

bool OrvoByteReader::skip(qsizetype n)
{
    return take(n) != nullptr;
}

bool OrvoByteReader::seek(qsizetype offset)
{
    if (!m_ok || offset < 0 || offset > m_bytes.size()) {
        m_ok = false;
        return false;
    }
    m_offset = offset;
    return true;
}
