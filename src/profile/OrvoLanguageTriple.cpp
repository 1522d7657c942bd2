#include "profile/OrvoLanguageTriple.h"

OrvoLanguageTriple::OrvoLanguageTriple(const QString &iso6391Code, const QString &countryCode,
                                       const QString &iso6392Code)
    : country(countryCode)
    , iso6391(iso6391Code)
    , iso6392(iso6392Code)
{}

const QList<OrvoLanguageTriple> &OrvoLanguageTriple::table()
{
    static const QList<OrvoLanguageTriple> triples = {
        {QStringLiteral("af"), QStringLiteral("ZA"), QStringLiteral("afr")},
        {QStringLiteral("ar"), QStringLiteral("ME"), QStringLiteral("ara")},
        {QStringLiteral("cs"), QStringLiteral("CZ"), QStringLiteral("cze")},
        {QStringLiteral("da"), QStringLiteral("DK"), QStringLiteral("dan")},
        {QStringLiteral("de"), QStringLiteral("DE"), QStringLiteral("ger")},
        {QStringLiteral("en"), QStringLiteral("US"), QStringLiteral("eng")},
        {QStringLiteral("en"), QStringLiteral("GB"), QStringLiteral("eng")},
        {QStringLiteral("es"), QStringLiteral("SP"), QStringLiteral("spa")},
        {QStringLiteral("fr"), QStringLiteral("FR"), QStringLiteral("fra")},
        {QStringLiteral("it"), QStringLiteral("IT"), QStringLiteral("ita")},
        {QStringLiteral("hu"), QStringLiteral("HU"), QStringLiteral("hun")},
        {QStringLiteral("nl"), QStringLiteral("NL"), QStringLiteral("dut")},
        {QStringLiteral("no"), QStringLiteral("NO"), QStringLiteral("nor")},
        {QStringLiteral("pl"), QStringLiteral("PL"), QStringLiteral("pol")},
        {QStringLiteral("pt"), QStringLiteral("PT"), QStringLiteral("por")},
        {QStringLiteral("pt"), QStringLiteral("BR"), QStringLiteral("por")},
        {QStringLiteral("ro"), QStringLiteral("RO"), QStringLiteral("rum")},
        {QStringLiteral("fi"), QStringLiteral("FI"), QStringLiteral("fin")},
        {QStringLiteral("sv"), QStringLiteral("SE"), QStringLiteral("swe")},
        {QStringLiteral("he"), QStringLiteral("IL"), QStringLiteral("heb")},
        {QStringLiteral("ja"), QStringLiteral("JP"), QStringLiteral("jpn")},
        {QStringLiteral("ko"), QStringLiteral("KR"), QStringLiteral("kor")},
        {QStringLiteral("zh"), QStringLiteral("TW"), QStringLiteral("zho")},
        {QStringLiteral("el"), QStringLiteral("GR"), QStringLiteral("grc")},
    };
    return triples;
}
