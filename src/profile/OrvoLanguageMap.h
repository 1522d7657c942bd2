#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// Three-letter ISO 639-2 language codes and the English names of their languages, for the
// language lists that the program offers. Filled by the constructor and never changed.
class OrvoLanguageMap : public QObject
{
    Q_OBJECT

public:
    explicit OrvoLanguageMap(QObject *parent = nullptr);
    ~OrvoLanguageMap() override;

    // The name of the code in any letter case; empty when the code is unknown.
    QString languageName(const QString &code) const;
    // Every code, lower case, in ascending order.
    QStringList codes() const;
    // Code to name, as OrvoUtility::getSupportLanguage takes it.
    const QMap<QString, QString> &map() const;

private:
    QMap<QString, QString> m_names;
};
