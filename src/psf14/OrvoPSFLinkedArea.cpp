#include "psf14/OrvoPSFLinkedArea.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"

#include <algorithm>

OrvoPSFLinkedArea::OrvoPSFLinkedArea(const QByteArray &bytes)
    : m_bytes(bytes)
    , m_unclaimed(bytes.size())
{}

const QByteArray &OrvoPSFLinkedArea::bytes() const
{
    return m_bytes;
}

qsizetype OrvoPSFLinkedArea::unclaimed() const
{
    return m_unclaimed;
}

QByteArrayView OrvoPSFLinkedArea::recordAt(quint32 link, qsizetype minSize) const
{
    if (qsizetype(link) >= m_bytes.size())
        return {};
    const qsizetype length = std::min(m_bytes.size() - qsizetype(link), m_unclaimed);
    if (length < minSize || length <= 0)
        return {};
    return QByteArrayView(m_bytes).sliced(qsizetype(link), length);
}

void OrvoPSFLinkedArea::claim(qsizetype n)
{
    m_unclaimed -= std::clamp<qsizetype>(n, 0, m_unclaimed);
}

bool OrvoPSFLinkedArea::enter(QSet<quint32> &visited, quint32 link, qsizetype headerSize) const
{
    if (visited.contains(link)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFLinkedArea::loadChain")
            << "chain loops back to offset" << link << "after" << visited.size() << "records";
        return false;
    }
    if (recordAt(link, headerSize).isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFLinkedArea::loadChain")
            << "link to offset" << link << "leaves no" << headerSize << "bytes in an area of" << m_bytes.size()
            << "bytes," << m_unclaimed << "of them not yet used";
        return false;
    }
    visited.insert(link);
    return true;
}
