#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The user's training profile of a file-system device and the system settings beside it, all
// "settings"/"property" XML files:
//   <profile path>                                       the user's values ("user_settings.xml")
//   the same folder's "default_settings.xml"             the device's defaults
//   <root>/morvia/applications/core/user_settings.xml    "unit system" and "System Language"
//     (its "default_settings.xml" when the user's file is missing)
class OrvoKavel50Profile
{
public:
    OrvoKavel50Profile(const QString &root, const QString &profilePath);

    // The keys that are uploaded and that save accepts, in upload order.
    static const QStringList &keys();

    // The user's non-empty values over the defaults, "Dst Unit" from "unit system" ("0" is
    // "Metric") and "System Language". False when neither profile file reads.
    bool read(QMap<QString, QString> &out) const;
    // Sets the known keys of values in the profile and writes it; then the system settings get
    // the unit of "Dst Unit". The profile's write decides the answer.
    bool save(const QMap<QString, QString> &values) const;
    // The known keys of the profile, zones aligned, written to path.
    bool writeUpload(const QString &path) const;

private:
    QString profileFile() const;
    QString defaultsFile() const;
    QString systemFile() const;

    QString m_root;
    QString m_profilePath;
};
