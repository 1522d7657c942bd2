#include "psf14/OrvoPSFPOIFrame.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIHeader.h"

#include <algorithm>

OrvoPSFPOIFrame::OrvoPSFPOIFrame(QByteArrayView bytes, qsizetype capacity, QObject *parent)
    : OrvoPSFField(parent)
{
    if (bytes.size() < OrvoPSFPOIHeader::kSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFPOIFrame::OrvoPSFPOIFrame")
            << "no POI header: the section holds" << bytes.size() << "bytes," << OrvoPSFPOIHeader::kSize << "expected";
        return;
    }
    m_header = new OrvoPSFPOIHeader(bytes, this);
    loadPois(bytes, capacity);
}

OrvoPSFPOIFrame::~OrvoPSFPOIFrame() = default;

void OrvoPSFPOIFrame::loadPois(QByteArrayView bytes, qsizetype capacity)
{
    const quint32 offset = m_header->poiDataOffset();
    const qsizetype stored = m_header->effectivePoiCount();
    const qsizetype loaded =
        recordsToLoad(stored, bytes.size(), offset, OrvoPSFPOI::kSize, capacity, "OrvoPSFPOIFrame::loadPois", "POIs");
    if (loaded < stored)
        m_header->setPoiCount(quint32(loaded));
    for (qsizetype i = 0; i < loaded; ++i)
        m_pois.append(new OrvoPSFPOI(bytes.sliced(offset + i * OrvoPSFPOI::kSize, OrvoPSFPOI::kSize), this));
}

QByteArray OrvoPSFPOIFrame::serialize() const
{
    if (!m_header)
        return {};
    QByteArray bytes = m_header->serialize();
    const qsizetype count = std::min<qsizetype>(m_header->effectivePoiCount(), m_pois.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (m_pois.at(i))
            bytes.append(m_pois.at(i)->serialize());
    }
    return bytes;
}

OrvoPSFPOIHeader *OrvoPSFPOIFrame::header() const
{
    return m_header;
}

QVector<QPointer<OrvoPSFPOI>> &OrvoPSFPOIFrame::pois()
{
    return m_pois;
}

const QVector<QPointer<OrvoPSFPOI>> &OrvoPSFPOIFrame::pois() const
{
    return m_pois;
}
