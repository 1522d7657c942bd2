#pragma once

#include "psf14/OrvoPSFField.h"

// The header at the start of the route section, 24 bytes, little-endian:
//   0   u32  offset of the first route from the section start
//   4   u32  offset of the lap table from the section start
//   8   u16  number of routes (0xFFFF counts as 0)
//   10  14   not read; 0xFF when serialized
class OrvoPSFRouteHeader : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 24;

    // bytes holds at least kSize bytes.
    explicit OrvoPSFRouteHeader(QByteArrayView bytes, QObject *parent = nullptr);

    QByteArray serialize() const override;

    quint32 routeDataOffset() const { return m_routeDataOffset; }
    void setRouteDataOffset(quint32 offset) { m_routeDataOffset = offset; }
    quint32 lapTableOffset() const { return m_lapTableOffset; }
    void setLapTableOffset(quint32 offset) { m_lapTableOffset = offset; }
    quint16 routeCount() const { return m_routeCount; }
    void setRouteCount(quint16 count) { m_routeCount = count; }
    // The count as loading uses it: 0 for the absent value.
    quint16 effectiveRouteCount() const;

private:
    quint32 m_routeDataOffset = 0;
    quint32 m_lapTableOffset = 0;
    quint16 m_routeCount = 0;
};
