#pragma once

#include <QPointer>
#include <QVector>

// The records of a list of guarded pointers that still exist, in list order.
template<typename Record>
QVector<Record *> livingRecords(const QVector<QPointer<Record>> &list)
{
    QVector<Record *> records;
    for (const QPointer<Record> &record : list) {
        if (record)
            records.append(record.data());
    }
    return records;
}
