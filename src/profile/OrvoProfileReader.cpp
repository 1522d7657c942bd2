#include "profile/OrvoProfileReader.h"

#include <utility>

namespace {

const QString kBirthdayFormat = QStringLiteral("yyyy/MM/dd");

// The day a birthday falls on in the given year. 29 February counts from 1 March in a year
// without it, so that nobody grows a year older before the day has come.
QDate birthdayIn(int year, const QDate &birthday)
{
    const QDate day(year, birthday.month(), birthday.day());
    return day.isValid() ? day : QDate(year, 3, 1);
}

} // namespace

OrvoProfileReader::OrvoProfileReader(QObject *parent)
    : QObject(parent)
    , m_today([] { return QDate::currentDate(); })
{}

void OrvoProfileReader::setTodayFunction(OrvoTodayFunction today)
{
    m_today = std::move(today);
}

qint64 OrvoProfileReader::ageFromBirthday(const QString &birthday) const
{
    const QDate born = QDate::fromString(birthday, kBirthdayFormat);
    if (!born.isValid())
        return 0;
    const QDate today = m_today();
    qint64 age = qint64(today.year()) - born.year() - 1;
    if (today >= birthdayIn(today.year(), born))
        ++age;
    return qMax<qint64>(age, 0);
}

QString OrvoProfileReader::birthdayFromAge(qint64 age) const
{
    return QString::number(qint64(m_today().year()) - age) + QStringLiteral("/01/01");
}
