#include "env/OrvoDecimalText.h"

#include <QString>

namespace {

// More digits than this never fit a signed 64-bit value.
constexpr qsizetype kMaxDigits = 18;
// Exponents beyond this only ever give 0 or an overflow; bounding them keeps shifts small.
constexpr int kMaxExponent = 400;

struct DecimalParts
{
    bool negative = false;
    QString digits; // integer and fraction digits, without the point
    int fractionLength = 0;
    int exponent = 0;
};

bool readDigits(QStringView text, qsizetype &pos, QString &out)
{
    const qsizetype start = pos;
    while (pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9') {
        out.append(text.at(pos));
        ++pos;
    }
    return pos > start;
}

bool readSign(QStringView text, qsizetype &pos)
{
    if (pos < text.size() && (text.at(pos) == u'-' || text.at(pos) == u'+'))
        return text.at(pos++) == u'-';
    return false;
}

bool readExponent(QStringView text, qsizetype &pos, int &exponent)
{
    if (pos >= text.size() || (text.at(pos) != u'e' && text.at(pos) != u'E'))
        return true;
    ++pos;
    const bool negative = readSign(text, pos);
    QString digits;
    if (!readDigits(text, pos, digits))
        return false;
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok || value > kMaxExponent)
        return false;
    exponent = negative ? -value : value;
    return true;
}

std::optional<DecimalParts> split(QStringView text)
{
    DecimalParts parts;
    qsizetype pos = 0;
    parts.negative = readSign(text, pos);
    const bool hasInteger = readDigits(text, pos, parts.digits);
    bool hasFraction = false;
    if (pos < text.size() && text.at(pos) == u'.') {
        ++pos;
        const qsizetype before = parts.digits.size();
        hasFraction = readDigits(text, pos, parts.digits);
        parts.fractionLength = int(parts.digits.size() - before);
    }
    if (!hasInteger && !hasFraction)
        return std::nullopt;
    if (!readExponent(text, pos, parts.exponent) || pos != text.size())
        return std::nullopt;
    return parts;
}

} // namespace

std::optional<qint64> parseScaledDecimal(QStringView text, int decimals)
{
    const std::optional<DecimalParts> parts = split(text.trimmed());
    if (!parts)
        return std::nullopt;
    QString digits = parts->digits;
    const int shift = parts->exponent - parts->fractionLength + decimals;
    if (shift >= 0)
        digits.append(QString(shift, u'0'));
    else
        digits.chop(qMin<qsizetype>(-qsizetype(shift), digits.size()));
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return 0;
    if (digits.size() > kMaxDigits)
        return std::nullopt;
    const qint64 magnitude = digits.toLongLong();
    return parts->negative ? -magnitude : magnitude;
}
