#include "devices/fs/OrvoKavel50Profile.h"

#include "devices/fs/OrvoFsDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"

#include <QFileInfo>

namespace {

const QString kUserFile = QStringLiteral("user_settings.xml");
const QString kDefaultFile = QStringLiteral("default_settings.xml");
const QString kCoreFolder = QStringLiteral("/morvia/applications/core/");
const QString kUnitSystem = QStringLiteral("unit system");
const QString kSystemLanguage = QStringLiteral("System Language");
const QString kDstUnit = QStringLiteral("Dst Unit");
const QString kMetric = QStringLiteral("Metric");
const QString kImperial = QStringLiteral("Imperial");
const QString kMetricUnitSystem = QStringLiteral("0");
const QString kImperialUnitSystem = QStringLiteral("1");

bool parseXml(const QString &path, QMap<QString, QString> &values)
{
    OrvoProfileData data(path.toUtf8(), OrvoProfileData::XmlFile);
    if (!data.parse())
        return false;
    values = data.values();
    return true;
}

bool writeXml(const QString &path, const QMap<QString, QString> &values, bool alignZones)
{
    OrvoProfileData data(path.toUtf8(), OrvoProfileData::XmlFile);
    data.setValues(values);
    if (alignZones)
        data.syncZoneBoundaries();
    return data.serialize();
}

QString withDefaultsName(const QString &path)
{
    QString defaults = path;
    return defaults.replace(kUserFile, kDefaultFile);
}

QStringList makeKeys()
{
    using namespace OrvoProfileKeys;
    QStringList keys = {QStringLiteral("User Name"),
                        kSex,
                        kBirthday,
                        kHeightMetric,
                        kHeightImperial,
                        kWeightMetric,
                        kWeightImperial,
                        kDstUnit};
    for (const char *family : kZoneFamilies) {
        keys.append(referenceKey(family));
        for (int zone = 1; zone <= kZoneCount; ++zone) {
            keys.append(zoneKey(family, zone, ZoneBound::Low));
            keys.append(zoneKey(family, zone, ZoneBound::High));
        }
    }
    return keys;
}

} // namespace

OrvoKavel50Profile::OrvoKavel50Profile(const QString &root, const QString &profilePath)
    : m_root(root)
    , m_profilePath(profilePath)
{}

const QStringList &OrvoKavel50Profile::keys()
{
    static const QStringList list = makeKeys();
    return list;
}

QString OrvoKavel50Profile::profileFile() const
{
    return QFileInfo::exists(m_profilePath) ? m_profilePath : defaultsFile();
}

QString OrvoKavel50Profile::defaultsFile() const
{
    return withDefaultsName(m_profilePath);
}

QString OrvoKavel50Profile::systemFile() const
{
    const QString user = m_root + kCoreFolder + kUserFile;
    return QFileInfo::exists(user) ? user : m_root + kCoreFolder + kDefaultFile;
}

bool OrvoKavel50Profile::read(QMap<QString, QString> &out) const
{
    QMap<QString, QString> user;
    if (!parseXml(profileFile(), user)) {
        ORVO_TRACE_DEBUG(lcOrvoFsDevice, "OrvoKavel50::getProfile")
            << " no profile not on kavel50 , send " << QStringLiteral(" profile not found ") << " to server";
        return false;
    }
    QMap<QString, QString> defaults;
    if (parseXml(defaultsFile(), defaults))
        out = defaults;
    else
        ORVO_TRACE_DEBUG(lcOrvoFsDevice, "OrvoKavel50::getProfile") << "read file " << defaultsFile() << "  failed";
    // A missing defaults file loses only the defaults: the user's values stay.
    for (auto it = user.cbegin(); it != user.cend(); ++it) {
        if (!it.value().isEmpty())
            out.insert(it.key(), it.value());
    }
    QMap<QString, QString> system;
    parseXml(systemFile(), system);
    out.insert(kDstUnit, system.value(kUnitSystem, kMetricUnitSystem) == kMetricUnitSystem ? kMetric : kImperial);
    out.insert(kSystemLanguage, system.value(kSystemLanguage));
    return true;
}

bool OrvoKavel50Profile::save(const QMap<QString, QString> &values) const
{
    QMap<QString, QString> current;
    read(current);
    for (const QString &key : keys()) {
        const auto it = values.constFind(key);
        if (it != values.cend())
            current.insert(key, it.value());
    }
    if (!writeXml(m_profilePath, current, false))
        return false;
    // The user's system file keeps every value the device had: from the defaults when it is new.
    const QString systemPath = m_root + kCoreFolder + kUserFile;
    QMap<QString, QString> system;
    parseXml(systemFile(), system);
    system.insert(kUnitSystem, values.value(kDstUnit) == kMetric ? kMetricUnitSystem : kImperialUnitSystem);
    if (!writeXml(systemPath, system, false))
        ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50::saveProfile") << "unit system not written to" << systemPath;
    return true;
}

bool OrvoKavel50Profile::writeUpload(const QString &path) const
{
    QMap<QString, QString> profile;
    if (!read(profile))
        return false;
    QMap<QString, QString> out;
    for (const QString &key : keys())
        out.insert(key, profile.value(key));
    return writeXml(path, out, true);
}
