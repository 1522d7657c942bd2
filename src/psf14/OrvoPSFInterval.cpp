#include "psf14/OrvoPSFInterval.h"

OrvoPSFInterval::OrvoPSFInterval(QObject *parent)
    : OrvoPSFField(parent)
{}

OrvoPSFInterval::OrvoPSFInterval(QByteArrayView bytes, QObject *parent)
    : OrvoPSFInterval(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    const quint8 kind = reader.readU8();
    m_stepType = kind & 0x07;
    m_flag3 = kind & 0x08;
    m_targetType = kind >> 4;
    m_durationType = reader.readU8();
    m_durationValue = reader.readU16Le();
    m_nextInterval = reader.readU32Le();
    m_repeatTarget = reader.readU32Le();
    m_repeatCount = reader.readU8();
    m_targetLow = reader.readU8();
    m_targetHigh = reader.readU8();
    m_value15 = reader.readU8();
    m_value16 = reader.readU8();
    m_flag17 = reader.readU8() != 0;
}
