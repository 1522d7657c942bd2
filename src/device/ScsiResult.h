#pragma once

#include "device/ScsiTransport.h"

#include <QString>
#include <QtGlobal>

// The one judgement of a transport's answer: every command ends in exactly one category, and
// only Ok counts as success.
class ScsiResult
{
public:
    enum class Category {
        Ok,
        // The system or the adapter refused or lost the request.
        OsError,
        Timeout,
        // A status other than GOOD without usable sense data.
        Status,
        // CHECK CONDITION with sense data: key, asc and ascq are set.
        Sense,
        // The data phase moved fewer bytes than the command needed.
        ShortTransfer,
    };

    static constexpr quint8 kStatusGood = 0x00;
    static constexpr quint8 kStatusCheckCondition = 0x02;

    // expected: the bytes the data phase must move for the command to count as done.
    static ScsiResult check(const ScsiTransport::Answer &answer, qsizetype expected);

    bool ok() const { return m_category == Category::Ok; }
    Category category() const { return m_category; }
    quint8 senseKey() const { return m_senseKey; }
    quint8 asc() const { return m_asc; }
    quint8 ascq() const { return m_ascq; }

    // One line for the log: the category and its details.
    QString describe() const;

private:
    void readSense(const QByteArray &sense);

    Category m_category = Category::Ok;
    quint8 m_status = 0;
    quint8 m_senseKey = 0;
    quint8 m_asc = 0;
    quint8 m_ascq = 0;
    int m_osError = 0;
    qsizetype m_transferred = 0;
    qsizetype m_expected = 0;
};
