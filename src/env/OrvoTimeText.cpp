#include "env/OrvoTimeText.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

const QString kUtcFormat = QStringLiteral("yyyy-MM-ddThh:mm:ssZ");

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
    QDateTime time = QDateTime::fromString(text, kUtcFormat);
    if (!time.isValid())
        return 0;
    time.setTimeZone(QTimeZone::utc());
    return std::time_t(time.toSecsSinceEpoch());
}

std::time_t parseUtcTime(const QString &text, bool *parsed)
{
    const std::time_t seconds = parseUtcTime(text);
    // 0 is also the answer to a text that does not parse; only the epoch itself parses to it.
    *parsed = seconds != 0 || text == psfTimeText(0);
    return seconds;
}
