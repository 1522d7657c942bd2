#pragma once

#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFManagementHeaderRecord;

// The distribution header at offset 48 of the PSF image, little-endian:
//   0         u32  first header word, held
//   4         u32  second header word, held
//   8         4    reserved, not read
//   12 + 20i  20   management header record i (i = 0..5) of section i: 0 POIs, 1 routes,
//                  2 workouts, 3 workout logs, 4 tracks, 5 sensor logs
class OrvoPSFDistHeader : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr int kSectionCount = 6;
    static constexpr qsizetype kRecordsOffset = 12;

    explicit OrvoPSFDistHeader(QByteArrayView bytes, QObject *parent = nullptr);
    ~OrvoPSFDistHeader() override;

    // The two header words, four bytes 0xFF, records 0 and 1, 40 bytes 0xFF, records 4 and 5.
    // The records emit nothing of their own, so the result holds no section addresses.
    QByteArray serialize() const override;

    quint32 headerWord0() const { return m_headerWord0; }
    void setHeaderWord0(quint32 word) { m_headerWord0 = word; }
    quint32 headerWord1() const { return m_headerWord1; }
    void setHeaderWord1(quint32 word) { m_headerWord1 = word; }
    const QVector<QPointer<OrvoPSFManagementHeaderRecord>> &records() const { return m_records; }
    // The address of section i; 0xFFFFFFFF (none) when the record is missing.
    quint32 sectionAddress(int section) const;

private:
    QByteArray serializedRecord(int index) const;

    quint32 m_headerWord0 = kOrvoPsfNone;
    quint32 m_headerWord1 = kOrvoPsfNone;
    QVector<QPointer<OrvoPSFManagementHeaderRecord>> m_records;
};
