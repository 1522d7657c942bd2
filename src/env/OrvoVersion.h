#pragma once

#include <QString>

// Version texts such as "1.0.10" or "2.8.0.20" compared part by part: numerically where both
// parts are numbers, as text otherwise; a missing part counts as "0". So "10.0" > "2.0" and
// "1.0.10" > "1.0.2".
class OrvoVersion
{
public:
    // Negative, zero or positive as a is lower than, equal to or higher than b.
    static int compare(const QString &a, const QString &b);
    static bool isLower(const QString &a, const QString &b);
};
