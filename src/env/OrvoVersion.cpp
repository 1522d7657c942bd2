#include "env/OrvoVersion.h"

#include <QStringList>

#include <algorithm>

namespace {

// A missing or empty part counts as "0".
QString partAt(const QStringList &parts, qsizetype i)
{
    const QString part = parts.value(i);
    return part.isEmpty() ? QStringLiteral("0") : part;
}

int comparePart(const QString &a, const QString &b)
{
    bool aNumber = false;
    bool bNumber = false;
    const qulonglong aValue = a.toULongLong(&aNumber);
    const qulonglong bValue = b.toULongLong(&bNumber);
    if (aNumber && bNumber)
        return aValue < bValue ? -1 : (aValue > bValue ? 1 : 0);
    return a.compare(b);
}

} // namespace

int OrvoVersion::compare(const QString &a, const QString &b)
{
    const QStringList aParts = a.trimmed().split(QLatin1Char('.'));
    const QStringList bParts = b.trimmed().split(QLatin1Char('.'));
    const qsizetype count = std::max(aParts.size(), bParts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int result = comparePart(partAt(aParts, i), partAt(bParts, i));
        if (result != 0)
            return result;
    }
    return 0;
}

bool OrvoVersion::isLower(const QString &a, const QString &b)
{
    return compare(a, b) < 0;
}
