#pragma once

#include <QLatin1String>
#include <QString>

// Key names of the user's profile map. The XML format carries any key; each binary format
// stores the ones it has a field for and skips the others.
namespace OrvoProfileKeys {

inline constexpr QLatin1String kBirthday{"User Birthday"};
inline constexpr QLatin1String kSex{"User Sex"};
inline constexpr QLatin1String kHeightMetric{"User Height.Metric"};
inline constexpr QLatin1String kHeightImperial{"User Height.Imperial"};
inline constexpr QLatin1String kWeightMetric{"User Weight.Metric"};
inline constexpr QLatin1String kWeightImperial{"User Weight.Imperial"};
inline constexpr QLatin1String kMhr{"User MHR"};
inline constexpr QLatin1String kMlss{"User MLSS"};
inline constexpr QLatin1String kLang{"User Lang"};
inline constexpr QLatin1String kUnit{"User Unit"};
inline constexpr QLatin1String kUserFirstUsePage{"User First Use Page"};

// The training-zone families, in the order the zone boundary rule walks them. Each has a
// reference value ("User LTHR") and a low and a high bound for zones 1 to 7.
inline constexpr const char *kZoneFamilies[] = {"LTHR", "MHR", "MAP", "FTP"};
inline constexpr int kZoneCount = 7;

enum class ZoneBound { Low, High };

inline QString referenceKey(const char *family)
{
    return QStringLiteral("User %1").arg(QLatin1String(family));
}

// "User LTHR.zone3.high" and the like.
inline QString zoneKey(const char *family, int zone, ZoneBound bound)
{
    return QStringLiteral("User %1.zone%2.%3")
        .arg(QLatin1String(family))
        .arg(zone)
        .arg(bound == ZoneBound::High ? QLatin1String("high") : QLatin1String("low"));
}

} // namespace OrvoProfileKeys
