#include "psf/OrvoPSFObject.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"

#include <QtEndian>

#include <algorithm>

namespace {

constexpr qsizetype kLinkAt8Offset = 8;

quint8 fieldMask(int width)
{
    return width >= 8 ? 0xFF : quint8((1u << width) - 1u);
}

} // namespace

OrvoPSFObject::OrvoPSFObject(std::span<uchar> bytes)
    : m_bytes(bytes)
{}

OrvoPSFObject::~OrvoPSFObject() = default;

bool OrvoPSFObject::clear(OrvoPSFFlashLayout &)
{
    return true;
}

uchar *OrvoPSFObject::data() const
{
    return m_bytes.data();
}

qsizetype OrvoPSFObject::available() const
{
    return qsizetype(m_bytes.size());
}

bool OrvoPSFObject::contains(qsizetype offset, qsizetype n) const
{
    return offset >= 0 && n >= 0 && offset <= available() && n <= available() - offset;
}

std::span<uchar> OrvoPSFObject::spanFrom(qsizetype offset) const
{
    if (!contains(offset, 0))
        return {};
    return m_bytes.subspan(size_t(offset));
}

qint64 OrvoPSFObject::linkIndexAt8() const
{
    const qint64 word = link(kLinkAt8Offset);
    const qsizetype recordSize = size();
    if (word < 0 || recordSize <= 0)
        return -1;
    return word / recordSize;
}

bool OrvoPSFObject::setLinkIndexAt8(qint64 index)
{
    if (index == -1)
        return setLink(kLinkAt8Offset, -1);
    const qsizetype recordSize = size();
    if (index < 0 || recordSize <= 0 || index >= qint64(kOrvoPsfNone) / recordSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFObject::setLinkIndexAt8")
            << "index" << index << "of records of" << recordSize << "bytes does not fit a link word";
        return false;
    }
    return setLink(kLinkAt8Offset, index * recordSize);
}

bool OrvoPSFObject::isPresent(qsizetype offset, qsizetype n) const
{
    return contains(offset, n) && isPresent(QByteArrayView(m_bytes.data() + offset, n));
}

bool OrvoPSFObject::isPresent(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) != 0xFF; });
}

quint8 OrvoPSFObject::u8(qsizetype offset) const
{
    return checkRead(offset, 1) ? m_bytes[size_t(offset)] : 0xFF;
}

quint16 OrvoPSFObject::u16(qsizetype offset) const
{
    return checkRead(offset, 2) ? qFromLittleEndian<quint16>(m_bytes.data() + offset) : 0xFFFF;
}

quint32 OrvoPSFObject::u32(qsizetype offset) const
{
    return checkRead(offset, 4) ? qFromLittleEndian<quint32>(m_bytes.data() + offset) : kOrvoPsfNone;
}

qint16 OrvoPSFObject::i16(qsizetype offset) const
{
    return qint16(u16(offset));
}

qint64 OrvoPSFObject::link(qsizetype offset) const
{
    const quint32 word = u32(offset);
    return word == kOrvoPsfNone ? -1 : qint64(word);
}

quint8 OrvoPSFObject::bits(qsizetype offset, int shift, int width) const
{
    return quint8(u8(offset) >> shift) & fieldMask(width);
}

QByteArray OrvoPSFObject::bytesAt(qsizetype offset, qsizetype n) const
{
    if (!checkRead(offset, n))
        return {};
    return QByteArray(reinterpret_cast<const char *>(m_bytes.data() + offset), n);
}

bool OrvoPSFObject::setU8(qsizetype offset, quint8 value)
{
    if (!checkWrite(offset, 1))
        return false;
    m_bytes[size_t(offset)] = value;
    return true;
}

bool OrvoPSFObject::setU16(qsizetype offset, quint16 value)
{
    if (!checkWrite(offset, 2))
        return false;
    qToLittleEndian<quint16>(value, m_bytes.data() + offset);
    return true;
}

bool OrvoPSFObject::setU32(qsizetype offset, quint32 value)
{
    if (!checkWrite(offset, 4))
        return false;
    qToLittleEndian<quint32>(value, m_bytes.data() + offset);
    return true;
}

bool OrvoPSFObject::setLink(qsizetype offset, qint64 value)
{
    if (value == -1)
        return setU32(offset, kOrvoPsfNone);
    if (value < 0 || value >= qint64(kOrvoPsfNone)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFObject::setLink") << "offset" << value << "does not fit a link word";
        return false;
    }
    return setU32(offset, quint32(value));
}

bool OrvoPSFObject::setBits(qsizetype offset, int shift, int width, quint8 value)
{
    if (!checkWrite(offset, 1))
        return false;
    const quint8 mask = quint8(fieldMask(width) << shift);
    uchar &byte = m_bytes[size_t(offset)];
    byte = uchar((byte & ~mask) | ((value << shift) & mask));
    return true;
}

bool OrvoPSFObject::writeBytes(qsizetype offset, QByteArrayView bytes)
{
    if (!checkWrite(offset, bytes.size()))
        return false;
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + offset);
    return true;
}

bool OrvoPSFObject::fill(qsizetype offset, qsizetype n, uchar value)
{
    if (!checkWrite(offset, n))
        return false;
    std::fill_n(m_bytes.begin() + offset, n, value);
    return true;
}

std::span<uchar> OrvoPSFObject::spanOf(QByteArray &bytes)
{
    return {reinterpret_cast<uchar *>(bytes.data()), size_t(bytes.size())};
}

bool OrvoPSFObject::checkRead(qsizetype offset, qsizetype n) const
{
    if (contains(offset, n))
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFObject::read")
        << "field of" << n << "bytes at offset" << offset << "lies outside the" << available()
        << "bytes of the record; read as absent";
    return false;
}

bool OrvoPSFObject::checkWrite(qsizetype offset, qsizetype n) const
{
    if (contains(offset, n))
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFObject::write")
        << "field of" << n << "bytes at offset" << offset << "lies outside the" << available()
        << "bytes of the record; not written";
    return false;
}
