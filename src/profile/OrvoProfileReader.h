#pragma once

#include <QByteArray>
#include <QDate>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

using OrvoProfileMap = QMap<QString, QString>;
using OrvoTodayFunction = std::function<QDate()>;

// One stored format of the user's profile. read() inserts the values that the format holds
// into the map (keys already there are overwritten, others stay); write() puts the map's
// values into the raw bytes in place, or into the file that they name. Both answer false and
// change nothing when the bytes or the file do not hold what the format needs.
class OrvoProfileReader : public QObject
{
    Q_OBJECT

public:
    explicit OrvoProfileReader(QObject *parent = nullptr);

    virtual bool read(const QByteArray &raw, OrvoProfileMap &map) = 0;
    virtual bool write(QByteArray &raw, const OrvoProfileMap &map) = 0;

    // The date that ages and birthdays are counted from; the local date unless set.
    void setTodayFunction(OrvoTodayFunction today);

protected:
    // Completed years on today's date of a "yyyy/MM/dd" birthday. A text that is no date and
    // a birthday still to come give 0.
    qint64 ageFromBirthday(const QString &birthday) const;
    // The formats that keep only an age give the first of January of the birth year back.
    QString birthdayFromAge(qint64 age) const;

private:
    OrvoTodayFunction m_today;
};
