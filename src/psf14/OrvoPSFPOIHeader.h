#pragma once

#include "psf14/OrvoPSFField.h"

// The header at the start of the POI section, little-endian:
//   0   u32  number of POIs (0xFFFFFFFF counts as 0)
//   4   u32  offset of the first POI from the section start
//   8   20   not read; 0xFF when serialized
class OrvoPSFPOIHeader : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 28;

    // bytes holds at least kSize bytes.
    explicit OrvoPSFPOIHeader(QByteArrayView bytes, QObject *parent = nullptr);

    QByteArray serialize() const override;

    quint32 poiCount() const { return m_poiCount; }
    void setPoiCount(quint32 count) { m_poiCount = count; }
    // The count as loading uses it: 0 for the absent value.
    quint32 effectivePoiCount() const;
    quint32 poiDataOffset() const { return m_poiDataOffset; }
    void setPoiDataOffset(quint32 offset) { m_poiDataOffset = offset; }

private:
    quint32 m_poiCount = 0;
    quint32 m_poiDataOffset = 0;
};
