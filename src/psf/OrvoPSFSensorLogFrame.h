#pragma once

#include "psf/OrvoPSFField.h"
#include "psf/OrvoPSFLinkedArea.h"

// The sensor-log section: its first u32 is the offset of the data area from the section start.
// Sensor logs are reached only through the tracks' links into the data area.
class OrvoPSFSensorLogFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFSensorLogFrame(QByteArrayView bytes, QObject *parent = nullptr);

    quint32 dataOffset() const { return m_dataOffset; }
    // The data area, from its offset to the end of the image.
    OrvoPSFLinkedArea &dataArea() { return m_dataArea; }
    const OrvoPSFLinkedArea &dataArea() const { return m_dataArea; }

private:
    quint32 m_dataOffset = 0xFFFFFFFF;
    OrvoPSFLinkedArea m_dataArea;
};
