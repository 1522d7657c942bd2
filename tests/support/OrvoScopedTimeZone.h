#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

// Runs the process under another local time zone while it lives and puts the previous TZ back
// afterwards. The suites run under a zone without daylight saving; times read as UTC must also
// survive a zone whose local clock skips an hour and repeats one.
class OrvoScopedTimeZone
{
public:
    explicit OrvoScopedTimeZone(const char *zone)
        : m_hadZone(qEnvironmentVariableIsSet("TZ"))
        , m_previous(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~OrvoScopedTimeZone()
    {
        if (m_hadZone)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        tzset();
    }
    OrvoScopedTimeZone(const OrvoScopedTimeZone &) = delete;
    OrvoScopedTimeZone &operator=(const OrvoScopedTimeZone &) = delete;

private:
    bool m_hadZone;
    QByteArray m_previous;
};
