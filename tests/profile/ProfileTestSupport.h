#pragma once

#include "profile/OrvoProfileReader.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <gtest/gtest.h>

namespace ProfileTest {

inline OrvoTodayFunction fixedToday(int year, int month, int day)
{
    return [=] { return QDate(year, month, day); };
}

// Compares two sectors whole and names the first byte that differs, which a hex dump of
// 4096 bytes would hide.
inline ::testing::AssertionResult sameBytes(const QByteArray &actual, const QByteArray &expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.size() << ", expected " << expected.size();
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (actual.at(i) != expected.at(i)) {
            return ::testing::AssertionFailure()
                   << "first difference at offset " << i << ": " << actual.mid(i, 8).toHex(' ').toStdString()
                   << ", expected " << expected.mid(i, 8).toHex(' ').toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace ProfileTest
