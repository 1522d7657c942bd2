#include "util/ZKXmlOutputBuffer.h"

#include <cstring>

namespace {

constexpr qsizetype kBlockSize = 64 * 1024;

} // namespace

ZKXmlOutputBuffer::ZKXmlOutputBuffer(QIODevice &target)
    : m_target(target)
    , m_block(kBlockSize, Qt::Uninitialized)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool ZKXmlOutputBuffer::flush()
{
    if (m_used > 0 && m_target.write(m_block.constData(), m_used) != m_used)
        m_failed = true;
    m_used = 0;
    return !m_failed;
}

qint64 ZKXmlOutputBuffer::readData(char *, qint64)
{
    return -1;
}

qint64 ZKXmlOutputBuffer::writeData(const char *data, qint64 size)
{
    if (size > kBlockSize - m_used && !flush())
        return -1;
    if (size > kBlockSize)
        return m_target.write(data, size) == size ? size : -1;
    std::memcpy(m_block.data() + m_used, data, size_t(size));
    m_used += qsizetype(size);
    return size;
}
