#include "env/OrvoTimeText.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

const QString kUtcFormat = QStringLiteral("yyyy-MM-ddThh:mm:ssZ");
const QString kUtcDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kUtcTimeFormat = QStringLiteral("hh:mm:ss");
constexpr qsizetype kDateLength = 10;
constexpr qsizetype kTimeLength = 8;
// Date, "T", time, "Z".
constexpr qsizetype kUtcTextLength = kDateLength + 1 + kTimeLength + 1;

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588;
// 10000-01-01T00:00:00Z: the first time whose year needs five digits.
constexpr qint64 kFirstFiveDigitYear = 253402300800;

// Writes value as digits decimal digits, zero-padded, and answers the position behind them.
char *putDigits(char *at, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = char('0' + value % 10);
        value /= 10;
    }
    return at + digits;
}

} // namespace

QString psfTimeText(std::time_t seconds)
{
    // Exports write one time per point: the common range is formatted directly, which gives
    // the same text as the date-time formatter at a fraction of its cost.
    if (seconds < 0 || seconds >= kFirstFiveDigitYear)
        return QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc()).toString(kUtcFormat);
    const qint64 days = qint64(seconds) / kSecondsPerDay;
    const int secondOfDay = int(qint64(seconds) % kSecondsPerDay);
    int year = 0;
    int month = 0;
    int day = 0;
    QDate::fromJulianDay(kUnixEpochJulianDay + days).getDate(&year, &month, &day);
    char text[20];
    char *at = putDigits(text, year, 4);
    *at++ = '-';
    at = putDigits(at, month, 2);
    *at++ = '-';
    at = putDigits(at, day, 2);
    *at++ = 'T';
    at = putDigits(at, secondOfDay / 3600, 2);
    *at++ = ':';
    at = putDigits(at, secondOfDay / 60 % 60, 2);
    *at++ = ':';
    at = putDigits(at, secondOfDay % 60, 2);
    *at = 'Z';
    return QString::fromLatin1(text, sizeof text);
}

std::time_t parseUtcTime(const QString &text)
{
    // The fields are read as they are and put together in UTC: read as local time first, a
    // time that the local clock skips would not exist and one it repeats would be ambiguous.
    if (text.size() != kUtcTextLength || text.at(kDateLength) != QLatin1Char('T') || !text.endsWith(QLatin1Char('Z')))
        return 0;
    const QDate date = QDate::fromString(text.left(kDateLength), kUtcDateFormat);
    const QTime time = QTime::fromString(text.mid(kDateLength + 1, kTimeLength), kUtcTimeFormat);
    if (!date.isValid() || !time.isValid())
        return 0;
    return std::time_t(QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch());
}

std::time_t parseUtcTime(const QString &text, bool *parsed)
{
    const std::time_t seconds = parseUtcTime(text);
    // 0 is also the answer to a text that does not parse; only the epoch itself parses to it.
    *parsed = seconds != 0 || text == psfTimeText(0);
    return seconds;
}
