#include "psf14/OrvoPSFManagementHeaderRecord.h"

OrvoPSFManagementHeaderRecord::OrvoPSFManagementHeaderRecord(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    if (bytes.size() < kSize)
        return;
    OrvoByteReader reader = readerOf(bytes);
    m_address = reader.readU32Le();
    m_value = reader.readU16Le();
}
