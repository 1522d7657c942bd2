#include "psf14/OrvoPSFField.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"

#include <algorithm>

OrvoPSFField::OrvoPSFField(QObject *parent)
    : QObject(parent)
{}

OrvoPSFField::~OrvoPSFField() = default;

QByteArray OrvoPSFField::serialize() const
{
    return {};
}

int OrvoPSFField::size() const
{
    return m_size;
}

void OrvoPSFField::setSize(int size)
{
    m_size = size;
}

bool OrvoPSFField::convertToBitfont(const QString &text, int &width, int &height, QByteArray &buffer,
                                    qsizetype capacity)
{
    const QByteArray image = OrvoPSFMultiLangString_1_5::convertToBitfont(text, width, height, 0);
    buffer = image.left(std::max<qsizetype>(capacity, 0));
    return true;
}

OrvoByteReader OrvoPSFField::readerOf(QByteArrayView bytes)
{
    return OrvoByteReader(QByteArray::fromRawData(bytes.data(), bytes.size()));
}

qsizetype OrvoPSFField::recordsThatFit(qsizetype areaSize, quint32 offset, qsizetype recordSize)
{
    if (recordSize <= 0 || qsizetype(offset) >= areaSize)
        return 0;
    return (areaSize - qsizetype(offset)) / recordSize;
}

qsizetype OrvoPSFField::recordsToLoad(qsizetype stored, qsizetype bytes, quint32 offset, qsizetype recordSize,
                                      qsizetype capacity, const char *function, const char *records)
{
    const qsizetype inImage = recordsThatFit(bytes, offset, recordSize);
    if (stored > inImage && inImage <= capacity) {
        ORVO_TRACE_WARNING(lcOrvoPsf, function)
            << stored << records << "from offset" << offset << ", only" << inImage << "lie inside the image";
        return inImage;
    }
    if (stored > capacity) {
        ORVO_TRACE_WARNING(lcOrvoPsf, function)
            << stored << records << "from offset" << offset << ", only" << capacity << "fit their area";
        return capacity;
    }
    return stored;
}

QByteArrayView OrvoPSFField::bytesFrom(QByteArrayView area, quint32 offset)
{
    if (qsizetype(offset) >= area.size())
        return {};
    return area.sliced(qsizetype(offset));
}
