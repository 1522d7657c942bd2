#include "psf14/OrvoPSFAreaFrame.h"

OrvoPSFAreaFrame::OrvoPSFAreaFrame(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    const quint32 dataOffset = reader.readU32Le();
    if (!reader.ok())
        return;
    m_dataOffset = dataOffset;
    m_dataArea = OrvoPSFLinkedArea(bytesFrom(bytes, dataOffset).toByteArray());
}

OrvoPSFAreaFrame::~OrvoPSFAreaFrame() = default;
