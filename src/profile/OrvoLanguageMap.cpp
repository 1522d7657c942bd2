#include "profile/OrvoLanguageMap.h"

#include "profile/OrvoLanguageName.h"

OrvoLanguageMap::OrvoLanguageMap(QObject *parent)
    : QObject(parent)
{
    for (const OrvoLanguageName &language : kOrvoLanguageNames)
        m_names.insert(QLatin1String(language.code), QLatin1String(language.name));
}

OrvoLanguageMap::~OrvoLanguageMap() = default;

QString OrvoLanguageMap::languageName(const QString &code) const
{
    return m_names.value(code.toLower());
}

QStringList OrvoLanguageMap::codes() const
{
    return m_names.keys();
}

const QMap<QString, QString> &OrvoLanguageMap::map() const
{
    return m_names;
}
