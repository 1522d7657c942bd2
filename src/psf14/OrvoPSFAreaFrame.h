#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"
#include "psf14/OrvoPSFLinkedArea.h"

// A section whose records are reached only through links from other records: its first u32 is
// the offset of its data area from the section start, and the data area reaches from there to
// the end of the image.
class OrvoPSFAreaFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFAreaFrame(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFAreaFrame() override;

    // 0xFFFFFFFF when the section is too short to hold it.
    quint32 dataOffset() const { return m_dataOffset; }
    // Empty when the offset lies outside the image.
    OrvoPSFLinkedArea &dataArea() { return m_dataArea; }
    const OrvoPSFLinkedArea &dataArea() const { return m_dataArea; }

private:
    quint32 m_dataOffset = kOrvoPsfNone;
    OrvoPSFLinkedArea m_dataArea;
};
