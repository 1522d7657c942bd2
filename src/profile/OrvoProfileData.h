#pragma once

#include "profile/OrvoProfileReader.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

// The user's profile of a device: named settings ("User Birthday", "User MHR.zone3.high", ...)
// read from and written back to raw bytes in one of five stored formats, chosen once by the
// format type. For the binary formats the raw bytes are the profile sector, which serialize()
// patches in place; for the XML format they are the file's path as UTF-8.
class OrvoProfileData : public QObject
{
    Q_OBJECT

public:
    enum FormatType {
        XmlFile = 0,
        PsfObsolete = 1,
        PsfObsoletePulmor30 = 2,
        Psf_1_0_0 = 3,
        Psf_2_0_0 = 4,
    };

    // A format type outside 0..4 leaves the profile without a format: parse() and serialize()
    // then answer false and change nothing.
    OrvoProfileData(const QByteArray &raw, int formatType, QObject *parent = nullptr);
    ~OrvoProfileData() override;

    bool parse();
    bool serialize();
    QByteArray rawData() const;

    void setValues(const OrvoProfileMap &values);
    OrvoProfileMap values() const;
    // The value of key, or a null string when the map has no such key.
    QString value(const QString &key) const;

    // Makes each zone's upper bound the next zone's lower bound and the last zone open-ended
    // ("-1"), for all four zone families; all 28 high keys exist afterwards.
    void syncZoneBoundaries();

    // The date that ages and birthdays are counted from; the local date unless set.
    void setTodayFunction(OrvoTodayFunction today);

private:
    QByteArray m_raw;
    OrvoProfileMap m_values;
    QPointer<OrvoProfileReader> m_reader;
};
