#pragma once

#include <QString>

#include <ctime>

// UTC times are exchanged as "yyyy-MM-ddThh:mm:ssZ", whatever the machine's time zone.
QString psfTimeText(std::time_t seconds);
// Seconds since 1970 of such a text read as UTC; 0 for a text that does not parse.
std::time_t parseUtcTime(const QString &text);
// The same, and *parsed tells a text that parsed (the epoch's own text included) from an empty
// or unparsable one, which callers store apart.
std::time_t parseUtcTime(const QString &text, bool *parsed);
