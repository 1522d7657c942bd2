#include "psf14/OrvoPSFField.h"

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

QByteArrayView OrvoPSFField::bytesFrom(QByteArrayView area, quint32 offset)
{
    if (qsizetype(offset) >= area.size())
        return {};
    return area.sliced(qsizetype(offset));
}
