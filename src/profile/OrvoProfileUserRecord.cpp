#include "profile/OrvoProfileUserRecord.h"

#include "env/OrvoBytePacking.h"
#include "profile/OrvoProfileKeys.h"

namespace {

constexpr char kRecordFormat[] = "BBHffffH";

QString floatText(float value)
{
    return QString::number(double(value), 'g', 6);
}

// "1" and "Male" in any case are male; every other text stores female.
quint8 sexByte(const QString &text)
{
    return text == QLatin1String("1") || text.compare(QLatin1String("Male"), Qt::CaseInsensitive) == 0 ? 1 : 0;
}

void takeFloat(const OrvoProfileMap &map, QLatin1String key, float &field)
{
    if (map.contains(key))
        field = map.value(key).toFloat();
}

} // namespace

bool OrvoProfileUserRecord::read(const QByteArray &sector, qsizetype offset)
{
    OrvoProfileUserRecord record;
    quint16 reserved = 0;
    if (unpackStruct(sector, offset, kRecordFormat,
                     {&record.sex, &record.age, &reserved, &record.heightMetric, &record.heightImperial,
                      &record.weightMetric, &record.weightImperial, &record.mhr}) < 0)
        return false;
    *this = record;
    return true;
}

bool OrvoProfileUserRecord::write(QByteArray &sector, qsizetype offset) const
{
    return packStruct(sector, offset, kRecordFormat,
                      {qint64(sex), qint64(age), qint64(0), double(heightMetric), double(heightImperial),
                       double(weightMetric), double(weightImperial), qint64(mhr)}) >= 0;
}

void OrvoProfileUserRecord::insertInto(OrvoProfileMap &map, const QString &birthday) const
{
    using namespace OrvoProfileKeys;
    map.insert(kSex, QString::number(sex));
    map.insert(kHeightMetric, floatText(heightMetric));
    map.insert(kHeightImperial, floatText(heightImperial));
    map.insert(kWeightMetric, floatText(weightMetric));
    map.insert(kWeightImperial, floatText(weightImperial));
    map.insert(kMhr, QString::number(mhr));
    map.insert(kBirthday, birthday);
}

void OrvoProfileUserRecord::takeFrom(const OrvoProfileMap &map, qint64 ageOfBirthday)
{
    using namespace OrvoProfileKeys;
    if (map.contains(kSex))
        sex = sexByte(map.value(kSex));
    takeFloat(map, kHeightMetric, heightMetric);
    takeFloat(map, kHeightImperial, heightImperial);
    takeFloat(map, kWeightMetric, weightMetric);
    takeFloat(map, kWeightImperial, weightImperial);
    if (map.contains(kBirthday))
        age = quint8(ageOfBirthday);
    if (map.contains(kMhr))
        mhr = quint16(map.value(kMhr).toLongLong(nullptr, 10));
}
