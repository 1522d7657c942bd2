#pragma once

#include <QList>
#include <QString>

// A language as the devices name it: the country code, the two-letter ISO 639-1 code and the
// three-letter ISO 639-2 code.
struct OrvoLanguageTriple
{
    // Note the order: the ISO 639-1 code comes first, then the country.
    OrvoLanguageTriple(const QString &iso6391Code, const QString &countryCode, const QString &iso6392Code);

    // The 24 languages the devices use, as the devices spell them ("ME" for Arabic, "SP" for
    // Spanish, "grc" for Greek); English and Portuguese have two rows each.
    static const QList<OrvoLanguageTriple> &table();

    QString country;
    QString iso6391;
    QString iso6392;
};
