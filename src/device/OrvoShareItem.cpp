#include "device/OrvoShareItem.h"

#include "device/OrvoClientData.h"
#include "env/OrvoTimeText.h"

#include <QBuffer>
#include <QImage>

namespace {

QString pngHex(const QImage &image)
{
    if (image.isNull())
        return QString();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toHex());
}

QString utcText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    return psfTimeText(time.toSecsSinceEpoch());
}

} // namespace

QString OrvoShareItem::text(Text index) const
{
    return m_texts.at(index);
}

void OrvoShareItem::setText(Text index, const QString &value)
{
    m_texts.at(index) = value;
}

void OrvoShareItem::fromDeviceItem(const OrvoClientData &item)
{
    setText(ItemId, QString::number(item.id));
    setText(Name, item.name);
    setText(NamePicture, pngHex(item.nameImage));
    setText(Category, item.extraText);
    setText(Description, item.description);
    setText(Xyz, QString::number(item.longitude));
    setText(SecondValue, QString::number(item.latitude));
    setText(SecondText, item.place);
    setText(Distance, QString::number(item.totalLength));
    setText(ThirdValue, QString::number(item.activityType));
    setText(StartTime, utcText(item.startTime));
    setText(EndTime, utcText(item.endTime));
    setText(Uploaded, QString::number(item.uploaded ? 1 : 0));
    setText(WorkoutType, QString::number(item.workoutType));
    setText(SubType, QString::number(item.subType));
    setText(ItemIdText, QString::number(item.itemId));
}
