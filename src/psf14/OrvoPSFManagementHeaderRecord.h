#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

// One 20-byte management header record of the distribution header, little-endian:
//   0   u32  address of its section, a byte offset from the start of the PSF image
//   4   u16  a value, held and not interpreted
//   6   14   not read
// A record cut short by the end of the image reads as absent (all 0xFF): no section.
class OrvoPSFManagementHeaderRecord : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kSize = 20;

    explicit OrvoPSFManagementHeaderRecord(QByteArrayView bytes, QObject *parent = nullptr);

    quint32 address() const { return m_address; }
    void setAddress(quint32 address) { m_address = address; }
    quint16 value() const { return m_value; }
    void setValue(quint16 value) { m_value = value; }

private:
    quint32 m_address = kOrvoPsfNone;
    quint16 m_value = 0xFFFF;
};
