#include "psf14/OrvoPSFIntervalLog.h"

OrvoPSFIntervalLog::OrvoPSFIntervalLog(QByteArrayView bytes, QObject *parent)
    : OrvoPSFField(parent)
{
    OrvoByteReader reader = readerOf(bytes);
    m_startTime = reader.readU32Le();
    m_endTime = reader.readU32Le();
}
