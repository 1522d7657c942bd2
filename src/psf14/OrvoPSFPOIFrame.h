#pragma once

#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFPOI;
class OrvoPSFPOIHeader;

// The POI section: its header, then poiCount consecutive 148-byte POIs from the header's data
// offset. The count comes from device bytes: only the POIs that lie inside the image load.
class OrvoPSFPOIFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image; capacity: the POIs the POI area
    // holds, which no stored count can exceed.
    OrvoPSFPOIFrame(QByteArrayView bytes, qsizetype capacity, QObject *parent = nullptr);
    ~OrvoPSFPOIFrame() override;

    // The header's 28 bytes, then at most poiCount of the held POIs.
    QByteArray serialize() const override;

    OrvoPSFPOIHeader *header() const;
    QVector<QPointer<OrvoPSFPOI>> &pois();
    const QVector<QPointer<OrvoPSFPOI>> &pois() const;

private:
    void loadPois(QByteArrayView bytes, qsizetype capacity);

    QPointer<OrvoPSFPOIHeader> m_header;
    QVector<QPointer<OrvoPSFPOI>> m_pois;
};
